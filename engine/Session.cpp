#include "engine/Session.h"

#include "engine/SpeechEngine.h"
#include "playback/ReaderContext.h"
#include "playback/PlayControl.h"
#include "playback/ReaderState.h"
#include "ui/Dialogs.h"

namespace velarn {

Text BuildSessionParams(std::string_view speed, std::string_view vcn) {
  Text params = "aue=raw,auf=audio/L16;rate=16000,bgs=0,ent=intp65,pitch=70,speed=";
  params += speed;
  params += ",tte=GB2312,vcn=";
  params += vcn;
  params += ",volume=50";
  return params;
}

Text EngineSession::Params() const {
  std::lock_guard lock(mutex_);
  return params_;
}

Text EngineSession::Id() const {
  std::lock_guard lock(mutex_);
  return id_;
}

std::int32_t EngineSession::Error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void EngineSession::EndSession(SpeechEngine& engine) {
  const Text id = Id();
  if (!id.empty()) engine.SessionEnd(id, Text());
}

void EngineSession::RestartSession(ReaderContext& context) {
  struct Settings {
    Text speed;
    int voice_index;
  };
  const Settings settings = context.state.Read([](const SharedFields& f) {
    return Settings{f.speed_box_text, f.voice_index};
  });

  Text ended;
  Text params;
  {
    std::lock_guard lock(mutex_);
    ended = id_;
    if (settings.voice_index >= 0 &&
        settings.voice_index < static_cast<int>(std::size(kVoiceTable))) {
      voice_ = kVoiceTable[settings.voice_index];
    }
    params = BuildSessionParams(settings.speed, voice_);
    params_ = params;
  }
  if (!ended.empty()) context.engine.SessionEnd(ended, Text());

  std::int32_t error = 0;
  const Text id = context.engine.SessionBegin(params, error);

  Text orphan;
  {
    std::lock_guard lock(mutex_);
    // A restart on the other thread may have begun a session between our end and our begin;
    // ours replaces it, and it is ended here so that no session stays open unseen.
    if (id_ != ended) orphan = id_;
    id_ = id;
    error_ = error;
  }
  if (!orphan.empty() && orphan != id) context.engine.SessionEnd(orphan, Text());

  if (error != 0) {
    context.dialogs.ShowMessage(Text(kSessionFailedMessage), Text(), MessageIcon::kError,
                                MessageButtons::kOk);
  }
}

void OnSpeedBoxChanged(ReaderContext& context) {
  context.state.Update([](SharedFields& f) {
    const std::int64_t speed = ReadInteger(f.speed_box_text);
    if (speed < 0 || speed > 100) f.speed_box_text = "99";
  });
  context.session.RestartSession(context);
}

void OnVoiceSelected(ReaderContext& context) {
  ReaderState& state = context.state;
  state.SetSaveEnabled(false);
  state.RequestTextBoxFocus();
  StopAndWaitForClip(context);
  state.ResetReading();
  context.session.RestartSession(context);
  state.SetSaveEnabled(true);
}

}  // namespace velarn
