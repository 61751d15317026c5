// The codec library: libsoxr resampling plus gain with a soft limiter.
#include "speechengine/speex.h"

#include <soxr.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <new>

namespace {

// Below the knee the gain is linear; above it the level bends smoothly towards full scale,
// so a gain above 1 makes speech louder without the harsh flat tops of clipping.
constexpr float kKnee = 0.75F;

float Limit(float x) {
  const float magnitude = std::fabs(x);
  if (magnitude <= kKnee) return x;
  const float headroom = 1.0F - kKnee;
  const float bent = kKnee + headroom * std::tanh((magnitude - kKnee) / headroom);
  return std::copysign(bent, x);
}

short ToSample(float x) {
  const float scaled = std::round(Limit(x) * 32767.0F);
  return static_cast<short>(std::clamp(scaled, -32768.0F, 32767.0F));
}

struct SoxrDeleter {
  void operator()(soxr_t soxr) const { soxr_delete(soxr); }
};

}  // namespace

struct VelarnCodec {
  std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter> soxr;
  float gain = 1.0F;
  // At gain 1 soxr writes 16-bit samples itself (clipped, not dithered): no float pass.
  bool direct = false;
  bool flushed = false;
};

namespace {

constexpr std::size_t kBlock = 4096;

// Hands out what soxr has ready for `in` (null `in` with 0 samples drains the stream).
int Drain(VelarnCodec& codec, const short* in, std::size_t count, VelarnCodecSink sink,
          void* user) {
  std::array<float, kBlock> out{};
  std::array<short, kBlock> samples{};
  std::size_t offset = 0;
  while (true) {
    std::size_t used = 0;
    std::size_t made = 0;
    const short* chunk = in == nullptr ? nullptr : in + offset;
    const std::size_t chunk_count = in == nullptr ? 0 : count - offset;
    void* target =
        codec.direct ? static_cast<void*>(samples.data()) : static_cast<void*>(out.data());
    if (soxr_process(codec.soxr.get(), chunk, chunk_count, &used, target, kBlock, &made) !=
        nullptr) {
      return -1;
    }
    offset += used;
    if (!codec.direct) {
      for (std::size_t i = 0; i < made; ++i) samples[i] = ToSample(out[i] * codec.gain);
    }
    if (made > 0) sink(samples.data(), made, user);
    // Input fully consumed and the output buffer not filled: nothing more is ready.
    if ((in == nullptr || offset >= count) && made < kBlock) return 0;
  }
}

}  // namespace

extern "C" {

VelarnCodec* velarn_codec_open(unsigned in_rate, unsigned out_rate, double gain) {
  if (in_rate < 1000 || in_rate > 192000 || out_rate < 1000 || out_rate > 192000) return nullptr;
  if (!(gain >= 0.0 && gain <= 4.0)) return nullptr;
  std::unique_ptr<VelarnCodec> codec;
  try {
    codec = std::make_unique<VelarnCodec>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  codec->direct = gain == 1.0;
  soxr_io_spec_t io = soxr_io_spec(SOXR_INT16_I, codec->direct ? SOXR_INT16_I : SOXR_FLOAT32_I);
  io.flags |= SOXR_NO_DITHER;  // the same text gives the same samples
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
  soxr_error_t error = nullptr;
  soxr_t soxr = soxr_create(in_rate, out_rate, 1, &error, &io, &quality, nullptr);
  if (error != nullptr || soxr == nullptr) return nullptr;
  codec->soxr.reset(soxr);
  codec->gain = static_cast<float>(gain);
  return codec.release();
}

int velarn_codec_convert(VelarnCodec* codec, const short* samples, size_t count,
                         VelarnCodecSink sink, void* user) {
  if (codec == nullptr || sink == nullptr || codec->flushed) return -1;
  if (samples == nullptr) {
    if (count != 0) return -1;
    codec->flushed = true;
    return Drain(*codec, nullptr, 0, sink, user);
  }
  if (count == 0) return 0;
  return Drain(*codec, samples, count, sink, user);
}

void velarn_codec_close(VelarnCodec* codec) { std::unique_ptr<VelarnCodec> owned(codec); }

int velarn_codec_version(void) { return 1; }

}  // extern "C"
