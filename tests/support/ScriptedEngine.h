// A speech engine for tests: records what it is given and answers from a script; can fail on
// demand. Thread-safe: the window thread and the synthesis worker may call it at once.
#pragma once

#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "engine/SpeechEngine.h"

namespace velarn::test {

class ScriptedEngine final : public SpeechEngine {
 public:
  struct Script {
    // The audio for a text put; by default every byte of the text twice, so the order of the
    // chunks can be read back from any audio.
    std::function<ByteString(const Text&)> audio_for = [](const Text& text) {
      ByteString audio;
      for (char c : text) audio.append(2, c);
      return audio;
    };
    int pieces = 2;              // the audio comes in this many AudioGet answers
    std::int32_t begin_error = 0;
    bool never_done = false;     // AudioGet never reports status 2 and delivers nothing
    std::int32_t audio_error = 0;  // reported with the first piece
  };

  Script& script() { return script_; }  // set before the workers start

  std::int32_t Init(const Text&) override { return 0; }

  Text SessionBegin(const Text& params, std::int32_t& error) override {
    std::lock_guard lock(mutex_);
    begins_.push_back(params);
    calls_.push_back("begin");
    error = script_.begin_error;
    return "s" + std::to_string(begins_.size());
  }

  std::int32_t TextPut(const Text& session, std::string_view text, const Text&) override {
    std::function<ByteString(const Text&)> audio_for;
    {
      std::lock_guard lock(mutex_);
      puts_.emplace_back(text);
      put_sessions_.push_back(session);
      audio_for = script_.audio_for;
    }
    ByteString audio = audio_for(Text(text));  // may block, as a slow engine would
    std::lock_guard lock(mutex_);
    pending_ = std::move(audio);
    pieces_left_ = std::max(1, script_.pieces);
    return 0;
  }

  EngineAudio AudioGet(const Text&) override {
    std::lock_guard lock(mutex_);
    ++audio_gets_;
    EngineAudio audio;
    if (script_.never_done) return audio;
    const std::size_t size = (pending_.size() + pieces_left_ - 1) / pieces_left_;
    audio.data = pending_.substr(0, size);
    pending_.erase(0, size);
    audio.status = --pieces_left_ <= 0 ? 2 : 1;
    audio.error = script_.audio_error;
    return audio;
  }

  std::int32_t SessionEnd(const Text& session, const Text&) override {
    std::lock_guard lock(mutex_);
    ends_.push_back(session);
    calls_.push_back("end " + session);
    return 0;
  }

  std::int32_t Fini() override { return 0; }

  std::vector<Text> Begins() const { std::lock_guard l(mutex_); return begins_; }
  std::vector<Text> Puts() const { std::lock_guard l(mutex_); return puts_; }
  std::vector<Text> Ends() const { std::lock_guard l(mutex_); return ends_; }
  std::vector<std::string> Calls() const { std::lock_guard l(mutex_); return calls_; }
  std::size_t PutCount() const { std::lock_guard l(mutex_); return puts_.size(); }
  std::size_t AudioGets() const { std::lock_guard l(mutex_); return audio_gets_; }

 private:
  mutable std::mutex mutex_;
  Script script_;
  std::vector<Text> begins_, puts_, put_sessions_, ends_;
  std::vector<std::string> calls_;
  ByteString pending_;
  int pieces_left_ = 0;
  std::size_t audio_gets_ = 0;
};

}  // namespace velarn::test
