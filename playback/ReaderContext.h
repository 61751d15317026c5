// What the handlers and the workers work with: the shared state and the platform behind its
// interfaces. One instance lives for the whole process; tests make their own.
#pragma once

namespace velarn {

class ReaderState;
class Waits;
class SoundOutput;
class SpeechEngine;
class Dialogs;
class EngineSession;

struct ReaderContext {
  ReaderState& state;
  Waits& waits;
  SoundOutput& sound;
  SpeechEngine& engine;
  Dialogs& dialogs;
  EngineSession& session;  // SessionParams, SessionId, SessionError (engine/Session.h)
};

}  // namespace velarn
