/* Velarn speech engine (msc.dll): Mandarin speech from espeak-ng, local, no network.
 *
 * Six calls, all thread-safe. Texts are zero-terminated byte strings; every integer is 32-bit.
 * Order of use: QTTSInit once; then any number of sessions: QTTSSessionBegin, for each text
 * QTTSTextPut followed by QTTSAudioGet until the status is MSC_TTS_STATUS_COMPLETE, and
 * QTTSSessionEnd. QTTSFini stops the engine; unloading the library without it is safe too.
 *
 * Every call returns (or stores) MSC_SUCCESS or one of the MSC_ERROR_* codes below. A null
 * pointer, a call before QTTSInit or an unknown or ended session id is an error code, never
 * a crash.
 */
#ifndef VELARN_SPEECHENGINE_MSC_H
#define VELARN_SPEECHENGINE_MSC_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define MSC_API __attribute__((visibility("default")))
#else
#define MSC_API
#endif

/* The cache directory that QTTSInit creates in the current directory (shared with the
 * program, which hides it at start and removes it at exit). */
#define MSC_ENGINE_CACHE_DIR "3f9c2a7be1d04c58a6e2b71d94f0c3e6"

#define MSC_SUCCESS 0
#define MSC_ERROR_NULL_ARGUMENT 10101       /* a required pointer argument is null */
#define MSC_ERROR_NOT_INITIALIZED 10102     /* QTTSInit has not succeeded (or QTTSFini ran) */
#define MSC_ERROR_ALREADY_INITIALIZED 10103 /* QTTSInit again without QTTSFini */
#define MSC_ERROR_INVALID_CONFIG 10104      /* the configuration string is malformed */
#define MSC_ERROR_CODEC_UNAVAILABLE 10105   /* coding_libs missing beside msc.dll, or incomplete */
#define MSC_ERROR_SPEECH_UNAVAILABLE 10106  /* espeak-ng or its Mandarin voice did not start */
#define MSC_ERROR_INVALID_PARAMS 10107      /* the session parameter string is not accepted */
#define MSC_ERROR_TOO_MANY_SESSIONS 10108   /* MSC_MAX_SESSIONS sessions are already open */
#define MSC_ERROR_UNKNOWN_SESSION 10109     /* no open session has this id */
#define MSC_ERROR_SYNTHESIS_FAILED 10110    /* synthesis of the text put last failed */
#define MSC_ERROR_OUT_OF_MEMORY 10111       /* memory ran out; the call had no effect */

#define MSC_MAX_SESSIONS 8

#define MSC_TTS_STATUS_CONTINUE 1 /* more audio of the text put last follows */
#define MSC_TTS_STATUS_COMPLETE 2 /* all audio of the text put last has been handed out */

/* Starts the engine. `configs`: comma-separated key=value pairs, unknown keys ignored:
 *   server_url     host:port/path (no scheme); optional, the engine is local
 *   appid          required, not empty
 *   timeout        optional, milliseconds, a positive decimal integer
 *   coding_libs    required: the codec library's file name, loaded from msc.dll's directory
 *   max_text_size  optional (default 2048), a positive decimal integer: longer texts are
 *                  synthesised in pieces of at most this many bytes
 * Creates MSC_ENGINE_CACHE_DIR in the current directory when it can (no cache otherwise).
 * Returns MSC_SUCCESS, MSC_ERROR_NULL_ARGUMENT, MSC_ERROR_ALREADY_INITIALIZED,
 * MSC_ERROR_INVALID_CONFIG, MSC_ERROR_CODEC_UNAVAILABLE, MSC_ERROR_SPEECH_UNAVAILABLE or
 * MSC_ERROR_OUT_OF_MEMORY. */
MSC_API int QTTSInit(const char* configs);

/* Opens a session. `params`: comma-separated key=value pairs, the last of a key counts, a
 * piece without "=" continues the value before it, unknown keys ignored:
 *   vcn     required: x_yiping, x_xiaoyuan (female), x_binge (male), x_nannan (child)
 *   speed, pitch, volume   0..100, read as a leading integer (full-width digits too) and
 *           clamped; a value holding no number, or a missing key, means 50
 *   aue     raw (the default)
 *   auf     audio/L16;rate=16000 (the default) or audio/L16;rate=8000: 16-bit mono PCM
 *   tte     GB2312 or GBK (the default) or UTF8: the encoding of the texts put
 * Sets *errorCode (when errorCode is not null) to MSC_SUCCESS, MSC_ERROR_NULL_ARGUMENT,
 * MSC_ERROR_NOT_INITIALIZED, MSC_ERROR_INVALID_PARAMS, MSC_ERROR_TOO_MANY_SESSIONS or
 * MSC_ERROR_OUT_OF_MEMORY. Returns the session id, or null on error; the id stays valid until
 * QTTSSessionEnd of that session (or QTTSFini). */
MSC_API const char* QTTSSessionBegin(const char* params, int* errorCode);

/* Starts synthesis of `textLen` bytes of `textString` in the session's encoding, replacing
 * any text put before (its audio not yet handed out is dropped). Any length is accepted;
 * invalid bytes are spoken as substitution characters; `params` is ignored and may be null.
 * Returns MSC_SUCCESS, MSC_ERROR_NULL_ARGUMENT (session id null, or text null with a length),
 * MSC_ERROR_NOT_INITIALIZED, MSC_ERROR_UNKNOWN_SESSION or MSC_ERROR_OUT_OF_MEMORY. */
MSC_API int QTTSTextPut(const char* sessionID, const char* textString, unsigned int textLen,
                        const char* params);

/* Hands out the next piece (at most about one second) of the audio of the text put last,
 * waiting a little for synthesis when none is ready. Sets *audioLen to the piece's byte
 * count, *synthStatus to MSC_TTS_STATUS_CONTINUE while more follows or
 * MSC_TTS_STATUS_COMPLETE with the last piece (length 0 when nothing is left), and *errorCode
 * to MSC_SUCCESS, MSC_ERROR_NULL_ARGUMENT, MSC_ERROR_NOT_INITIALIZED,
 * MSC_ERROR_UNKNOWN_SESSION or MSC_ERROR_SYNTHESIS_FAILED; on every error the status is
 * MSC_TTS_STATUS_COMPLETE, so no caller waits forever. Returns the piece, or null when it is
 * empty; the pointer stays valid until the next QTTSAudioGet or QTTSSessionEnd of that session.
 * A null audioLen, synthStatus or errorCode makes the call return null and store what it
 * can. */
MSC_API const void* QTTSAudioGet(const char* sessionID, unsigned int* audioLen, int* synthStatus,
                                 int* errorCode);

/* Ends a session and stops its synthesis; `hints` is ignored and may be null.
 * Returns MSC_SUCCESS, MSC_ERROR_NULL_ARGUMENT, MSC_ERROR_NOT_INITIALIZED or
 * MSC_ERROR_UNKNOWN_SESSION. */
MSC_API int QTTSSessionEnd(const char* sessionID, const char* hints);

/* Stops the engine: ends every session and stops synthesis; QTTSInit may follow.
 * Returns MSC_SUCCESS or MSC_ERROR_NOT_INITIALIZED. */
MSC_API int QTTSFini(void);

typedef int (*QTTSInitFn)(const char* configs);
typedef const char* (*QTTSSessionBeginFn)(const char* params, int* errorCode);
typedef int (*QTTSTextPutFn)(const char* sessionID, const char* textString, unsigned int textLen,
                             const char* params);
typedef const void* (*QTTSAudioGetFn)(const char* sessionID, unsigned int* audioLen,
                                      int* synthStatus, int* errorCode);
typedef int (*QTTSSessionEndFn)(const char* sessionID, const char* hints);
typedef int (*QTTSFiniFn)(void);

#ifdef __cplusplus
}
#endif

#endif /* VELARN_SPEECHENGINE_MSC_H */
