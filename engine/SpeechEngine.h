// The six calls of the speech engine, behind one interface. The program's real engine is the
// loaded msc.dll (engine/LoadedEngine); tests use scripted ones.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/Text.h"

namespace velarn {

struct EngineAudio {
  ByteString data;          // a copy of the audio the engine handed out; empty when none
  std::int32_t status = 0;  // 2: all audio of the text put last has been delivered
  std::int32_t error = 0;
};

class SpeechEngine {
 public:
  virtual ~SpeechEngine() = default;
  // QTTSInit: 0 when the engine is ready.
  virtual std::int32_t Init(const Text& config) = 0;
  // QTTSSessionBegin: the session identifier, empty when the engine returned none; `error` is
  // set by the engine, 0 when the session is open.
  virtual Text SessionBegin(const Text& params, std::int32_t& error) = 0;
  // QTTSTextPut.
  virtual std::int32_t TextPut(const Text& session, std::string_view text, const Text& params) = 0;
  // QTTSAudioGet.
  virtual EngineAudio AudioGet(const Text& session) = 0;
  // QTTSSessionEnd.
  virtual std::int32_t SessionEnd(const Text& session, const Text& hints) = 0;
  // QTTSFini.
  virtual std::int32_t Fini() = 0;
};

}  // namespace velarn
