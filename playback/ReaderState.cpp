#include "playback/ReaderState.h"

#include "resources/WindowDefinition.h"

namespace velarn {

ReaderState::ReaderState() {
  fields_.text_box_text = Text(window::kTextBoxInitial);
  fields_.play_caption = Text(window::kCaptionPlay);
  fields_.save_caption = Text(window::kSaveCaption);
  fields_.speed_box_text = Text(window::kSpeedInitial);
  for (std::string_view row : window::kVoiceRows) fields_.voice_rows.emplace_back(row);
  fields_.voice_index = 0;
}

void ReaderState::SetListener(std::function<void()> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

void ReaderState::Changed() {
  changed_.notify_all();
  std::function<void()> listener;
  {
    std::lock_guard lock(mutex_);
    listener = listener_;
  }
  if (listener) listener();
}

std::uint64_t ReaderState::Version() const {
  std::lock_guard lock(mutex_);
  return version_;
}

bool ReaderState::WaitForChange(std::uint64_t since, SteadyTime deadline) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_until(lock, deadline, [&] { return version_ != since; });
}

void ReaderState::AppendClip(ByteString clip, Text text) {
  Update([&](SharedFields& f) { f.clip_queue.push_back({std::move(clip), std::move(text)}); });
}

bool ReaderState::TakeHead() {
  return Update([](SharedFields& f) {
    if (f.clip_queue.empty()) return false;
    f.current_clip = std::move(f.clip_queue.front().clip);
    f.current_clip_text = std::move(f.clip_queue.front().text);
    f.clip_queue.pop_front();
    return true;
  });
}

void ReaderState::ResetReading() {
  Update([](SharedFields& f) {
    f.text_box_tag.clear();
    f.play_button_tag.clear();
    f.clip_queue.clear();
    ++f.reset_generation;
  });
}

bool ReaderState::RunAbandoned(std::uint64_t generation) const {
  return Read([&](const SharedFields& f) {
    return f.reset_generation != generation ||
           (f.text_box_tag != kTagRequested && f.text_box_tag != kTagDone);
  });
}

void ReaderState::FinishRun(std::uint64_t generation) {
  Update([&](SharedFields& f) {
    if (f.reset_generation != generation && f.text_box_tag == kTagRequested) return;
    f.text_box_tag = kTagDone;
  });
}

ViewFields ReaderState::ViewSnapshot() const {
  return Read([](const SharedFields& f) {
    return ViewFields{f.text_box_serial, f.text_box_selection, f.selection_serial,
                      f.focus_requests,  f.play_caption,       f.play_enabled,
                      f.save_caption,    f.save_enabled,       f.speed_box_text,
                      f.voice_index};
  });
}

void ReaderState::SetTextBoxText(Text text) {
  Update([&](SharedFields& f) {
    f.text_box_text = std::move(text);
    ++f.text_box_serial;
  });
}

void ReaderState::SetTextBoxSelection(Selection selection) {
  Update([&](SharedFields& f) {
    f.text_box_selection = selection;
    ++f.selection_serial;
  });
}

void ReaderState::RequestTextBoxFocus() {
  Update([](SharedFields& f) { ++f.focus_requests; });
}

void ReaderState::SetTextBoxTag(std::string_view tag) {
  Update([&](SharedFields& f) { f.text_box_tag = tag; });
}
void ReaderState::SetPlayButtonTag(std::string_view tag) {
  Update([&](SharedFields& f) { f.play_button_tag = tag; });
}
void ReaderState::SetSaveButtonTag(std::string_view tag) {
  Update([&](SharedFields& f) { f.save_button_tag = tag; });
}
void ReaderState::SetPlayCaption(std::string_view caption) {
  Update([&](SharedFields& f) { f.play_caption = caption; });
}
void ReaderState::SetHoldPlayback(std::int32_t value) {
  Update([&](SharedFields& f) { f.hold_playback = value; });
}
void ReaderState::SetClipPlaying(std::int32_t value) {
  Update([&](SharedFields& f) { f.clip_playing = value; });
}
void ReaderState::SetPlayEnabled(bool enabled) {
  Update([&](SharedFields& f) { f.play_enabled = enabled; });
}
void ReaderState::SetSaveEnabled(bool enabled) {
  Update([&](SharedFields& f) { f.save_enabled = enabled; });
}

}  // namespace velarn
