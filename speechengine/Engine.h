// The engine behind the six calls of msc.h: sessions, one synthesis worker thread, the cache.
// One lock guards every session; espeak-ng runs on the worker thread alone, so a text put
// returns at once and its first audio follows within milliseconds. The worker takes the texts
// of all sessions in turns, one piece at a time, and parks a text whose reader is far behind.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "speechengine/AudioCache.h"
#include "speechengine/CodecLibrary.h"
#include "speechengine/ConversionStage.h"
#include "speechengine/Parsing.h"
#include "speechengine/Synthesizer.h"

namespace velarn::speechengine {

struct AudioPiece {
  const void* data = nullptr;
  std::uint32_t length = 0;
  std::int32_t status = 2;
  std::int32_t error = 0;
};

class Engine {
 public:
  // `library_directory`: where the codec library is looked for.
  explicit Engine(std::filesystem::path library_directory);
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
  // Stops the worker: the library may be unloaded without QTTSFini.
  ~Engine();

  std::int32_t Init(std::string_view config);
  const char* SessionBegin(std::string_view params, std::int32_t& error);
  std::int32_t TextPut(std::string_view session_id, std::string_view text);
  AudioPiece AudioGet(std::string_view session_id);
  std::int32_t SessionEnd(std::string_view session_id);
  std::int32_t Fini();

 private:
  struct Session;
  // The synthesis of one text put: its pieces, its conversion stream, its audio so far.
  struct Job {
    std::shared_ptr<Session> session;
    std::uint64_t generation = 0;
    std::vector<std::string> pieces;
    std::size_t next_piece = 0;
    std::string cache_key;
    std::optional<CodecLibrary::Stream> stream;
    std::string all;  // the whole audio, for the cache; dropped once too large to store
    bool keep_all = true;
    bool delivered = false;  // some audio has reached the session
    bool posted = false;     // some audio has gone to the conversion stage
  };
  struct Session {
    std::string id;
    SessionParams params;
    std::uint64_t generation = 0;  // bumped by every text put and by the end
    bool open = true;
    std::string audio;  // audio of the text put last, from `read` on not handed out yet
    std::size_t read = 0;
    bool done = true;  // no more audio will be added for the text put last
    std::int32_t error = 0;
    std::string handed;         // the piece handed out last; its pointer belongs to the caller
    std::optional<Job> parked;  // its synthesis, waiting for the reader to catch up
  };
  enum class State { kStopped, kStarting, kRunning, kStopping };

  // Counts a call in progress, so that the destructor (at exit) waits for callers to leave.
  class CallScope {
   public:
    explicit CallScope(Engine& engine);
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

   private:
    Engine& engine_;
  };

  void WorkerLoop();
  // Synthesises the job's next piece; false when the job is over (finished, failed, dropped).
  bool RunPiece(Job& job);
  void FinishJob(Job& job, bool ok);
  bool IsCurrent(const Job& job) const;  // mutex_ held
  static std::size_t Unread(const Session& session) { return session.audio.size() - session.read; }
  static std::size_t AheadLimit(const Session& session);
  std::shared_ptr<Session> FindSession(std::string_view id) const;  // mutex_ held
  void StopWorker(std::unique_lock<std::mutex>& lock);

  const std::filesystem::path library_directory_;
  mutable std::mutex mutex_;
  std::condition_variable work_;   // the worker waits for jobs
  std::condition_variable audio_;  // AudioGet waits for audio
  std::condition_variable idle_;   // the destructor waits for calls in progress
  int active_calls_ = 0;
  State state_ = State::kStopped;
  EngineConfig config_;
  std::optional<CodecLibrary> codec_;
  std::shared_ptr<AudioCache> cache_;  // null when the directory cannot be used
  Synthesizer synthesizer_;
  std::map<std::string, std::shared_ptr<Session>, std::less<>> sessions_;
  std::deque<Job> jobs_;
  bool stop_worker_ = false;
  std::thread worker_;
  std::uint64_t next_session_ = 1;
  ConversionStage conversion_;  // the worker's resampling, on a thread of its own
};

// The cache key: every voice setting and the text.
std::string CacheKey(const SessionParams& params, std::string_view utf8);

}  // namespace velarn::speechengine
