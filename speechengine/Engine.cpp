#include "speechengine/Engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <utility>

#include "speechengine/msc.h"

namespace velarn::speechengine {
namespace {

// How long AudioGet waits for the next audio before it answers "nothing yet, more follows".
constexpr auto kAudioWait = std::chrono::seconds(5);
// Consumed audio is dropped from the front once it is this large and half the buffer.
constexpr std::size_t kCompactAt = 1u << 20;
// Synthesis runs at most this far ahead of the reader (it resumes at half of it).
constexpr std::size_t kAheadSeconds = 30;

std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return out;
}

}  // namespace

std::string CacheKey(const SessionParams& params, std::string_view utf8) {
  std::string key = "velarn-tts 1\nvoice=" + std::string(EspeakVoiceName(params.voice)) +
                    "\nspeed=" + std::to_string(params.speed) +
                    "\npitch=" + std::to_string(params.pitch) +
                    "\nvolume=" + std::to_string(params.volume) +
                    "\nrate=" + std::to_string(params.sample_rate) + "\ntext=";
  key.append(utf8);
  return key;
}

Engine::Engine(std::filesystem::path library_directory)
    : library_directory_(std::move(library_directory)) {}

Engine::CallScope::CallScope(Engine& engine) : engine_(engine) {
  const std::lock_guard lock(engine_.mutex_);
  ++engine_.active_calls_;
}

Engine::CallScope::~CallScope() {
  const std::lock_guard lock(engine_.mutex_);
  if (--engine_.active_calls_ == 0) engine_.idle_.notify_all();
}

Engine::~Engine() {
  std::unique_lock lock(mutex_);
  if (state_ == State::kRunning) StopWorker(lock);
  // Callers waiting for audio were woken by the stop and find their sessions gone.
  idle_.wait(lock, [&] { return active_calls_ == 0; });
}

std::int32_t Engine::Init(std::string_view config_text) {
  const CallScope call(*this);
  {
    const std::lock_guard lock(mutex_);
    if (state_ != State::kStopped) return MSC_ERROR_ALREADY_INITIALIZED;
    state_ = State::kStarting;  // other calls see no engine; a second Init is refused
  }
  // Started without the lock: the worker takes the espeak lock before the engine lock.
  std::int32_t result = MSC_SUCCESS;
  ConfigResult parsed = ParseEngineConfig(config_text);
  std::optional<CodecLibrary> codec;
  std::shared_ptr<AudioCache> cache;
  if (!parsed.config) {
    result = MSC_ERROR_INVALID_CONFIG;
  } else {
    std::string why;
    codec = CodecLibrary::Load(library_directory_ / parsed.config->coding_libs, why);
    if (!codec) {
      result = MSC_ERROR_CODEC_UNAVAILABLE;
    } else if (!synthesizer_.Start()) {
      result = MSC_ERROR_SPEECH_UNAVAILABLE;
    } else {
      cache = AudioCache::Open(MSC_ENGINE_CACHE_DIR);
    }
  }
  const std::lock_guard lock(mutex_);
  if (result != MSC_SUCCESS) {
    state_ = State::kStopped;
    return result;
  }
  config_ = std::move(*parsed.config);
  codec_ = std::move(codec);
  cache_ = std::move(cache);
  stop_worker_ = false;
  worker_ = std::thread([this] { WorkerLoop(); });
  state_ = State::kRunning;
  return MSC_SUCCESS;
}

void Engine::StopWorker(std::unique_lock<std::mutex>& lock) {
  state_ = State::kStopping;
  stop_worker_ = true;
  for (auto& [id, session] : sessions_) {
    session->open = false;
    ++session->generation;
    session->parked.reset();  // a parked job holds its session: break the cycle
  }
  sessions_.clear();
  jobs_.clear();
  work_.notify_all();
  audio_.notify_all();
  std::thread worker = std::move(worker_);
  lock.unlock();
  if (worker.joinable()) worker.join();
  lock.lock();
  jobs_.clear();  // their codec streams go before the codec library
  codec_.reset();
  cache_.reset();
  state_ = State::kStopped;
}

std::int32_t Engine::Fini() {
  const CallScope call(*this);
  std::unique_lock lock(mutex_);
  if (state_ != State::kRunning) return MSC_ERROR_NOT_INITIALIZED;
  StopWorker(lock);
  return MSC_SUCCESS;
}

std::shared_ptr<Engine::Session> Engine::FindSession(std::string_view id) const {
  const auto it = sessions_.find(id);
  return it == sessions_.end() ? nullptr : it->second;
}

const char* Engine::SessionBegin(std::string_view params_text, std::int32_t& error) {
  const CallScope call(*this);
  const std::lock_guard lock(mutex_);
  if (state_ != State::kRunning) {
    error = MSC_ERROR_NOT_INITIALIZED;
    return nullptr;
  }
  ParamsResult parsed = ParseSessionParams(params_text);
  if (!parsed.params) {
    error = MSC_ERROR_INVALID_PARAMS;
    return nullptr;
  }
  if (sessions_.size() >= MSC_MAX_SESSIONS) {
    error = MSC_ERROR_TOO_MANY_SESSIONS;
    return nullptr;
  }
  auto session = std::make_shared<Session>();
  // Never reused, not even after QTTSFini: a stale id cannot reach a newer session.
  session->id = "velarn-tts-" + Hex(next_session_++);
  session->params = *parsed.params;
  const char* id = session->id.c_str();
  sessions_.emplace(session->id, std::move(session));
  error = MSC_SUCCESS;
  return id;
}

std::int32_t Engine::TextPut(std::string_view session_id, std::string_view text) {
  const CallScope call(*this);
  std::shared_ptr<Session> session;
  std::shared_ptr<AudioCache> cache;
  std::size_t max_text_size = 0;
  {
    const std::lock_guard lock(mutex_);
    if (state_ != State::kRunning) return MSC_ERROR_NOT_INITIALIZED;
    session = FindSession(session_id);
    if (!session) return MSC_ERROR_UNKNOWN_SESSION;
    cache = cache_;
    max_text_size = config_.max_text_size;
  }
  // Conversion and the cache look-up need no lock; session->params never changes.
  std::string utf8 = DecodeText(text, session->params.encoding);
  std::string key = CacheKey(session->params, utf8);
  std::optional<std::string> cached = cache ? cache->Find(key) : std::nullopt;
  std::vector<std::string> pieces;
  if (!cached) pieces = SplitPieces(utf8, max_text_size);

  const std::lock_guard lock(mutex_);
  if (state_ != State::kRunning) return MSC_ERROR_NOT_INITIALIZED;
  if (!session->open) return MSC_ERROR_UNKNOWN_SESSION;
  ++session->generation;
  session->audio.clear();
  session->read = 0;
  session->error = 0;
  session->parked.reset();
  if (cached) {
    session->audio = std::move(*cached);
    session->done = true;
  } else if (pieces.empty()) {
    session->done = true;
  } else {
    session->done = false;
    Job job;
    job.session = session;
    job.generation = session->generation;
    job.pieces = std::move(pieces);
    job.cache_key = std::move(key);
    job.keep_all = cache != nullptr;
    jobs_.push_back(std::move(job));
    work_.notify_one();
  }
  audio_.notify_all();
  return MSC_SUCCESS;
}

AudioPiece Engine::AudioGet(std::string_view session_id) {
  const CallScope call(*this);
  std::unique_lock lock(mutex_);
  if (state_ != State::kRunning)
    return {nullptr, 0, MSC_TTS_STATUS_COMPLETE, MSC_ERROR_NOT_INITIALIZED};
  const std::shared_ptr<Session> session = FindSession(session_id);
  if (!session) return {nullptr, 0, MSC_TTS_STATUS_COMPLETE, MSC_ERROR_UNKNOWN_SESSION};
  const bool ready = audio_.wait_for(lock, kAudioWait, [&] {
    return !session->open || session->done || session->read < session->audio.size();
  });
  if (!session->open) return {nullptr, 0, MSC_TTS_STATUS_COMPLETE, MSC_ERROR_UNKNOWN_SESSION};
  if (!ready) return {nullptr, 0, MSC_TTS_STATUS_CONTINUE, MSC_SUCCESS};
  if (session->error != 0) return {nullptr, 0, MSC_TTS_STATUS_COMPLETE, session->error};

  const std::size_t second = static_cast<std::size_t>(session->params.sample_rate) * 2;
  const std::size_t length = std::min(second, session->audio.size() - session->read);
  session->handed.assign(session->audio, session->read, length);
  session->read += length;
  if (session->read >= kCompactAt && session->read * 2 >= session->audio.size()) {
    session->audio.erase(0, session->read);
    session->read = 0;
  }
  if (session->parked && Unread(*session) <= AheadLimit(*session) / 2) {
    jobs_.push_back(std::move(*session->parked));
    session->parked.reset();
    work_.notify_one();
  }
  const bool last = session->done && session->read >= session->audio.size();
  return {length == 0 ? nullptr : session->handed.data(), static_cast<std::uint32_t>(length),
          last ? MSC_TTS_STATUS_COMPLETE : MSC_TTS_STATUS_CONTINUE, MSC_SUCCESS};
}

std::int32_t Engine::SessionEnd(std::string_view session_id) {
  const CallScope call(*this);
  const std::lock_guard lock(mutex_);
  if (state_ != State::kRunning) return MSC_ERROR_NOT_INITIALIZED;
  const auto it = sessions_.find(session_id);
  if (it == sessions_.end()) return MSC_ERROR_UNKNOWN_SESSION;
  it->second->open = false;
  ++it->second->generation;  // its synthesis stops at the next block
  it->second->parked.reset();
  sessions_.erase(it);
  audio_.notify_all();
  return MSC_SUCCESS;
}

std::size_t Engine::AheadLimit(const Session& session) {
  return kAheadSeconds * static_cast<std::size_t>(session.params.sample_rate) * 2;
}

bool Engine::IsCurrent(const Job& job) const {
  return !stop_worker_ && job.session->open && job.session->generation == job.generation;
}

void Engine::WorkerLoop() {
  std::unique_lock lock(mutex_);
  while (true) {
    work_.wait(lock, [&] { return stop_worker_ || !jobs_.empty(); });
    if (stop_worker_) return;
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    if (!IsCurrent(job)) continue;
    lock.unlock();
    const bool more = RunPiece(job);
    lock.lock();
    if (!more || !IsCurrent(job)) continue;
    Session& session = *job.session;
    if (Unread(session) > AheadLimit(session)) {
      session.parked = std::move(job);  // AudioGet brings it back
    } else {
      jobs_.push_back(std::move(job));  // behind the other sessions' texts
    }
  }
}

bool Engine::RunPiece(Job& job) {
  const SessionParams& params = job.session->params;
  if (!job.stream) {
    const std::lock_guard lock(mutex_);
    // The codec stays loaded while the worker runs: it is unloaded only after the join.
    if (codec_) {
      job.stream = codec_->Open(static_cast<unsigned>(synthesizer_.sample_rate()),
                                static_cast<unsigned>(params.sample_rate), params.volume / 50.0);
    }
  }
  if (!job.stream) {
    FinishJob(job, false);
    return false;
  }
  // Runs on the conversion stage only, while the piece is spoken and until the Drain below.
  std::string batch;  // converted audio not yet handed to the session
  std::atomic<bool> current = true;
  std::atomic<bool> ok = true;
  const CodecLibrary::Sink collect = [&](const short* samples, std::size_t count) {
    batch.append(reinterpret_cast<const char*>(samples), count * sizeof(short));
  };
  // The first audio goes to the reader at once; after that in blocks of a second, so that the
  // reader is woken (and the lock taken) once a second of audio, not every 100 ms.
  const std::size_t block = static_cast<std::size_t>(params.sample_rate) * 2;
  const auto deliver = [&](bool force) {
    if (!force && job.delivered && batch.size() < block) return;
    job.delivered = true;
    if (job.keep_all) {
      job.all += batch;
      job.keep_all = job.all.size() <= AudioCache::kDefaultCapacity;
      if (!job.keep_all) std::string().swap(job.all);
    }
    const std::lock_guard lock(mutex_);
    current = IsCurrent(job);
    if (current && !batch.empty()) {
      job.session->audio += batch;
      audio_.notify_all();
    }
    batch.clear();
  };
  const auto convert = [&](const std::vector<short>& samples) {
    if (!ok || !current) return;
    if (!job.stream->Convert(samples.data(), samples.size(), collect)) {
      ok = false;
      return;
    }
    deliver(false);
  };
  // espeak-ng's blocks go to the stage in batches of half a second (the first at once), so
  // that the stage thread is woken a few times a second rather than for every block.
  const std::size_t raw_batch = static_cast<std::size_t>(synthesizer_.sample_rate()) / 2;
  std::vector<short> raw;
  const auto post = [&] {
    conversion_.Post([&convert, samples = std::move(raw)] { convert(samples); });
    raw = {};
    job.posted = true;
  };
  const auto outcome = synthesizer_.Speak(job.pieces[job.next_piece++], params,
                                          [&](const short* samples, std::size_t count) {
                                            raw.insert(raw.end(), samples, samples + count);
                                            if (!job.posted || raw.size() >= raw_batch) post();
                                            return ok && current;
                                          });
  if (!raw.empty()) post();
  const bool last = job.next_piece >= job.pieces.size();
  conversion_.Post([&] {
    if (ok && current && last) ok = job.stream->Flush(collect);
    if (current) deliver(true);  // what the piece left over
  });
  conversion_.Drain();
  if (outcome == Synthesizer::Outcome::kFailed) ok = false;
  if (!current) return false;
  if (!ok || last) {
    FinishJob(job, ok);
    return false;
  }
  return true;
}

void Engine::FinishJob(Job& job, bool ok) {
  std::shared_ptr<AudioCache> cache;
  {
    const std::lock_guard lock(mutex_);
    if (!IsCurrent(job)) return;
    if (ok && job.keep_all) cache = cache_;
  }
  // Stored before the text counts as complete, so a chunk read again right away is a hit.
  if (cache) cache->Store(job.cache_key, job.all);
  const std::lock_guard lock(mutex_);
  if (!IsCurrent(job)) return;
  job.session->done = true;
  if (!ok) job.session->error = MSC_ERROR_SYNTHESIS_FAILED;
  audio_.notify_all();
}

}  // namespace velarn::speechengine
