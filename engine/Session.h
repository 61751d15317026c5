// The engine session: its parameter string, identifier and error, the restart that every
// reading, save and setting change goes through, and the two handlers that change its settings.
#pragma once

#include <cstdint>
#include <mutex>
#include <string_view>

#include "text/Text.h"

namespace velarn {

struct ReaderContext;
class SpeechEngine;
class Dialogs;

// 会话失败，请重新启动再试
inline constexpr std::string_view kSessionFailedMessage =
    "\xBB\xE1\xBB\xB0\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xC6\xF4\xB6\xAF\xD4\xD9"
    "\xCA\xD4";

// The engine voice names of the VoiceList rows, in row order.
inline constexpr std::string_view kVoiceTable[] = {"x_yiping", "x_xiaoyuan", "x_binge",
                                                   "x_nannan"};

// The nine key=value pairs, keys in their fixed order; `speed` goes in exactly as typed.
Text BuildSessionParams(std::string_view speed, std::string_view vcn);

// SessionParams, SessionId and SessionError. Safe to use from the window thread and the
// synthesis worker at once; no lock is held across an engine call or a message box.
class EngineSession {
 public:
  EngineSession() = default;
  EngineSession(const EngineSession&) = delete;
  EngineSession& operator=(const EngineSession&) = delete;

  Text Params() const;
  Text Id() const;
  std::int32_t Error() const;

  // Ends the open session, if any; the identifier is left as it was.
  void EndSession(SpeechEngine& engine);
  // Ends the open session and begins one with the current voice and speed of the window;
  // a failed begin shows kSessionFailedMessage and leaves the caller to go on.
  void RestartSession(ReaderContext& context);

 private:
  mutable std::mutex mutex_;
  Text params_;
  Text id_;
  std::int32_t error_ = 0;
  // Kept when no VoiceList row is selected.
  std::string_view voice_ = kVoiceTable[0];
};

// SpeedBox's change handler: a speed outside 0..100 becomes "99"; the session restarts.
void OnSpeedBoxChanged(ReaderContext& context);

// VoiceList's selection handler (window thread): stops reading, waits for the cut clip, resets
// reading and restarts the session with the selected voice. Reading does not resume by itself.
void OnVoiceSelected(ReaderContext& context);

}  // namespace velarn
