/* Velarn codec library (speex.dll): the engine's audio conversion stage. Resamples 16-bit
 * mono PCM with libsoxr at high quality and applies a gain with a soft limiter, so that a
 * louder volume never clips. msc.dll loads it by path and binds the four calls below. */
#ifndef VELARN_SPEECHENGINE_SPEEX_H
#define VELARN_SPEECHENGINE_SPEEX_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define VELARN_CODEC_API __attribute__((visibility("default")))
#else
#define VELARN_CODEC_API
#endif

typedef struct VelarnCodec VelarnCodec;

/* Receives converted samples; `user` is the pointer given to velarn_codec_convert. */
typedef void (*VelarnCodecSink)(const short* samples, size_t count, void* user);

/* A converter from `in_rate` to `out_rate` Hz (both 1000..192000) that multiplies by `gain`
 * (0..4). Returns null when an argument is out of range or memory runs out. */
VELARN_CODEC_API VelarnCodec* velarn_codec_open(unsigned in_rate, unsigned out_rate, double gain);

/* Converts `count` samples and hands what is ready to `sink` (zero or more calls). With
 * `samples` null and `count` 0 it flushes: the rest of the stream is handed out, and the
 * codec accepts no more input. Returns 0, or -1 on a bad argument or a resampler failure. */
VELARN_CODEC_API int velarn_codec_convert(VelarnCodec* codec, const short* samples, size_t count,
                                          VelarnCodecSink sink, void* user);

/* Frees the codec; null is allowed. */
VELARN_CODEC_API void velarn_codec_close(VelarnCodec* codec);

/* The version of this interface: 1. */
VELARN_CODEC_API int velarn_codec_version(void);

typedef VelarnCodec* (*VelarnCodecOpenFn)(unsigned, unsigned, double);
typedef int (*VelarnCodecConvertFn)(VelarnCodec*, const short*, size_t, VelarnCodecSink, void*);
typedef void (*VelarnCodecCloseFn)(VelarnCodec*);
typedef int (*VelarnCodecVersionFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* VELARN_SPEECHENGINE_SPEEX_H */
