#include "synth/SynthWorker.h"

#include <algorithm>
#include <functional>
#include <string>

#include "engine/EngineFiles.h"
#include "engine/Session.h"
#include "engine/SpeechEngine.h"
#include "files/AudioSave.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"
#include "synth/HanCharacter.h"

namespace velarn {
namespace {

using Clock = std::chrono::steady_clock;

// What one run works with.
struct Run {
  ReaderContext& context;
  const SynthOptions& options;
  std::stop_token stop;
  bool save;  // a save run gathers audio in AudioBuffer instead of queueing clips
  std::uint64_t generation;  // the reset generation at the start of the run
  Text chunk;  // SpeechChunk
  SaveAudio* save_audio = nullptr;  // where a save run gathers its audio
};

// Collects the engine's audio for the text put last, handing every piece to `sink`. Ends at
// status 2, at an engine error, when nothing came for the engine time-out, or (reading only)
// when the run was abandoned.
void FetchAudio(Run& run, const std::function<void(const ByteString&)>& sink) {
  ReaderContext& context = run.context;
  auto last_delivery = Clock::now();
  std::int32_t status = 0;
  while (status != 2 && !run.stop.stop_requested()) {
    const EngineAudio audio = context.engine.AudioGet(context.session.Id());
    status = audio.status;
    if (!audio.data.empty()) {
      context.waits.ProcessEvents();
      sink(audio.data);
      last_delivery = Clock::now();
    }
    if (audio.error != 0) return;  // a failed engine never reaches status 2
    // Nothing ready yet: one step before asking again. The final, empty answer needs no wait:
    // the chunk's clip is complete and the listener should hear it now.
    if (audio.data.empty() && status != 2) {
      if (Clock::now() - last_delivery >= run.options.engine_timeout) return;
      // A reading whose text was replaced drops this chunk's clip anyway: no reason to keep
      // the new text waiting on a slow or stalled engine.
      if (!run.save && context.state.RunAbandoned(run.generation)) return;
      context.waits.OneSecondStep();
    }
  }
}

// Sends SpeechChunk and empties it: its clip is queued, or in a save run its audio is added to
// AudioBuffer.
void SendChunk(Run& run) {
  ReaderContext& context = run.context;
  const Text put = std::move(run.chunk);
  run.chunk.clear();
  context.engine.TextPut(context.session.Id(), put, Text());
  if (run.save) {
    FetchAudio(run, [&](const ByteString& piece) { run.save_audio->Append(piece); });
    return;
  }
  ByteString audio;
  FetchAudio(run, [&](const ByteString& piece) { audio += piece; });
  // Queued only while the run still stands: a clip of a text that was replaced during its
  // engine call must not play after the new text's clips.
  ByteString clip = MakeClip(audio);
  context.state.Update([&](SharedFields& f) {
    if (f.reset_generation != run.generation ||
        (f.text_box_tag != kTagRequested && f.text_box_tag != kTagDone)) {
      return;
    }
    f.clip_queue.push_back({std::move(clip), put});
  });
}

// Adds the character at `i` to SpeechChunk, sends the chunk when it has grown past the
// threshold at a character that may end it, and returns the index of the next character.
std::size_t TakeCharacter(Run& run, std::string_view text, std::size_t i) {
  if (IsLeadByte(static_cast<unsigned char>(text[i]))) {
    const std::string_view piece = text.substr(i, 2);  // one byte when the text ends there
    run.chunk += piece;
    if (!IsHanCharacter(piece) && run.chunk.size() > kChunkThreshold) SendChunk(run);
    return i + 2;
  }
  run.chunk += text[i];
  if (run.chunk.size() > kChunkThreshold) SendChunk(run);
  return i + 1;
}

// The tests a reading run makes after every character; false when the run must leave its
// loop. A save request leaves it too: the worker then starts a fresh run over the whole text,
// so that the file always holds all of it.
bool ReadingMayGoOn(Run& run) {
  ReaderState& state = run.context.state;
  while (state.PlayButtonTag() == kTagSet && !state.SaveMode() && !run.stop.stop_requested()) {
    run.context.waits.OneSecondStep();  // paused while reading is stopped
  }
  if (run.stop.stop_requested() || state.SaveMode() || state.RunAbandoned(run.generation)) {
    return false;
  }
  if (state.ClipCount() > kQueueLimit) run.context.waits.OneSecondStep();
  return true;
}

// SaveButton shows how much of the text a save run has converted: 保存中 37%.
void ShowSaveProgress(ReaderState& state, std::size_t done, std::size_t total, int& shown) {
  const int percent = static_cast<int>(done * 100 / total);
  if (percent == shown) return;
  shown = percent;
  state.Update([&](SharedFields& f) {
    f.save_caption = Text(window::kSavingCaption) + " " + std::to_string(percent) + "%";
  });
}

}  // namespace

void SynthesisRun(ReaderContext& context, const SynthOptions& options, std::stop_token stop) {
  context.session.RestartSession(context);
  struct Snapshot {
    std::uint64_t generation;
    Text text;
    bool save;
  };
  const Snapshot snapshot = context.state.Read([](const SharedFields& f) {
    return Snapshot{f.reset_generation, f.text_box_text, f.save_button_tag == kTagSet};
  });
  struct Finish {
    ReaderState& state;
    std::uint64_t generation;
    ~Finish() { state.FinishRun(generation); }
  } finish{context.state, snapshot.generation};

  const std::string_view text = snapshot.text;
  if (text.empty()) {
    if (snapshot.save) EndSaveRequest(context);
    return;
  }

  // Past 64 MiB a save's audio goes to the private temporary directory, not to memory.
  SaveAudio save_audio(snapshot.save ? EngineDirectory().value_or("") : "");
  Run run{context, options, stop, snapshot.save, snapshot.generation, Text(), &save_audio};
  int shown_percent = -1;
  std::size_t i = 0;
  while (i < text.size()) {
    i = TakeCharacter(run, text, i);
    if (stop.stop_requested()) return;
    if (run.save) {
      if (!context.state.SaveMode()) return;  // the save was withdrawn: nothing is written
      // Audio too long for one file: nothing more is worth converting.
      if (save_audio.TooLongForOneFile() || save_audio.Failed()) break;
      ShowSaveProgress(context.state, std::min(i, text.size()), text.size(), shown_percent);
      continue;
    }
    if (!ReadingMayGoOn(run)) return;
  }

  // The last character's tests may have waited: a reset or a save request meanwhile still
  // ends a reading run without sending the rest.
  if (!run.save && (context.state.SaveMode() || context.state.RunAbandoned(snapshot.generation))) {
    return;
  }
  // A save always sends what is left and writes the file, even when the whole text formed
  // one chunk: a save left standing would start the same run again and again.
  if (!run.chunk.empty() && !save_audio.TooLongForOneFile() && !save_audio.Failed()) SendChunk(run);
  if (run.save && !stop.stop_requested()) SaveAudioFile(context, save_audio);
}

SynthWorker::SynthWorker(ReaderContext& context, SynthOptions options)
    : context_(context), options_(options),
      thread_([this](std::stop_token stop) { Loop(std::move(stop)); }) {}

SynthWorker::~SynthWorker() {
  thread_.request_stop();
  context_.state.Update([](SharedFields&) {});  // wakes the worker's wait
  thread_.join();
}

void SynthWorker::Loop(std::stop_token stop) {
  while (!stop.stop_requested()) {
    const bool requested = context_.state.Read([](const SharedFields& f) {
      return f.text_box_tag == kTagRequested || f.save_button_tag == kTagSet;
    });
    if (requested) {
      SynthesisRun(context_, options_, stop);
    } else {
      context_.waits.OneSecondStep();
    }
  }
}

}  // namespace velarn
