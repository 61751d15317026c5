// espeak-ng behind one lock: it is one instance per process and not thread-safe.
// WORKAROUND: espeak-ng 1.51 deadlocks in espeak_Terminate when it was initialised a second
// time in the process, and can deadlock when Terminate follows Initialize closely (its event
// thread misses the stop). So espeak-ng is started once per process and never terminated;
// msc.dll is never unloaded (-z nodelete), so espeak's idle thread always has its code.
#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <string>

#include "speechengine/Parsing.h"

namespace velarn::speechengine {

class Synthesizer {
 public:
  // Receives espeak-ng's samples at sample_rate(); returning false aborts the synthesis.
  using Sink = std::function<bool(const short* samples, std::size_t count)>;
  enum class Outcome { kDone, kAborted, kFailed };

  Synthesizer() = default;
  Synthesizer(const Synthesizer&) = delete;
  Synthesizer& operator=(const Synthesizer&) = delete;
  ~Synthesizer() = default;

  // Starts espeak-ng with the system's data (once) and checks the Mandarin voice.
  bool Start();
  int sample_rate() const { return sample_rate_; }

  Outcome Speak(const std::string& utf8, const SessionParams& params, const Sink& sink);

 private:
  std::mutex mutex_;
  bool started_ = false;
  int sample_rate_ = 0;
  std::string voice_;  // the voice last set, so repeated texts skip reloading it
};

// espeak-ng's voice for a session voice, and its rate (words a minute) and pitch (0..100).
const char* EspeakVoiceName(Voice voice);
int EspeakRate(int speed);
int EspeakPitch(int pitch);

}  // namespace velarn::speechengine
