#include "speechengine/Synthesizer.h"

#include <espeak-ng/speak_lib.h>

#include <cmath>

namespace velarn::speechengine {
namespace {

struct SpeakContext {
  const Synthesizer::Sink* sink;
  bool aborted = false;
};

int OnSamples(short* samples, int count, espeak_EVENT* events) {
  auto* context = events != nullptr ? static_cast<SpeakContext*>(events->user_data) : nullptr;
  if (context == nullptr) return 1;
  if (samples == nullptr || count <= 0) return 0;
  try {
    if (!(*context->sink)(samples, static_cast<std::size_t>(count))) context->aborted = true;
  } catch (...) {
    context->aborted = true;
  }
  return context->aborted ? 1 : 0;
}

// The Mandarin voice read as pinyin; Debian's plain "cmn" reads many characters as English.
constexpr const char* kBaseVoice = "cmn-latn-pinyin";

}  // namespace

const char* EspeakVoiceName(Voice voice) {
  switch (voice) {
    case Voice::kYiping:
      return "cmn-latn-pinyin+f2";
    case Voice::kXiaoyuan:
      return "cmn-latn-pinyin+f5";
    case Voice::kBinge:
      return "cmn-latn-pinyin+m3";
    case Voice::kNannan:
      return "cmn-latn-pinyin+zac";
  }
  return kBaseVoice;
}

int EspeakRate(int speed) {
  // 50 is espeak-ng's normal 175 words a minute; every 50 steps double or halve the speaking
  // speed. espeak-ng's durations go about as rate^-1.12 (measured on 1.51: rate 87 took 2.15
  // times as long as 175, rate 350 0.46 times), hence the smaller exponent.
  return static_cast<int>(std::lround(175.0 * std::exp2((speed - 50) / 50.0 / 1.12)));
}

int EspeakPitch(int pitch) {
  // Half of espeak-ng's range either side of its normal 50, so that 70 is a little higher.
  return 50 + (pitch - 50) / 2;
}

bool Synthesizer::Start() {
  const std::lock_guard lock(mutex_);
  if (!started_) {
    sample_rate_ = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, nullptr, 0);
    if (sample_rate_ <= 0) return false;
    started_ = true;
    espeak_SetSynthCallback(OnSamples);
  }
  voice_.clear();
  if (espeak_SetVoiceByName(kBaseVoice) != EE_OK) return false;
  voice_ = kBaseVoice;
  return true;
}

Synthesizer::Outcome Synthesizer::Speak(const std::string& utf8, const SessionParams& params,
                                        const Sink& sink) {
  const std::lock_guard lock(mutex_);
  if (!started_) return Outcome::kFailed;
  const char* voice = EspeakVoiceName(params.voice);
  if (voice_ != voice) {
    if (espeak_SetVoiceByName(voice) != EE_OK) {
      voice_.clear();
      return Outcome::kFailed;
    }
    voice_ = voice;
  }
  if (espeak_SetParameter(espeakRATE, EspeakRate(params.speed), 0) != EE_OK ||
      espeak_SetParameter(espeakPITCH, EspeakPitch(params.pitch), 0) != EE_OK) {
    return Outcome::kFailed;
  }
  SpeakContext context{&sink};
  const espeak_ERROR result = espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0,
                                           espeakCHARS_UTF8, nullptr, &context);
  if (context.aborted) return Outcome::kAborted;
  return result == EE_OK ? Outcome::kDone : Outcome::kFailed;
}

}  // namespace velarn::speechengine
