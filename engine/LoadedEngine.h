// The program's engine: the SpeechEngine calls made through the entry points bound from the
// engine library. Every call is serialised by one lock, so that a session restart on the
// window thread never overlaps SynthThread's text and audio calls on the same session;
// returned strings and audio are copied before the lock is released.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "engine/Binder.h"
#include "engine/SpeechEngine.h"

namespace velarn {

class Dialogs;

// The six entry points in the order PrepareEngine binds them.
inline constexpr const char* kEntryPointNames[] = {"QTTSSessionEnd",   "QTTSFini",
                                                   "QTTSAudioGet",     "QTTSTextPut",
                                                   "QTTSSessionBegin", "QTTSInit"};

class LoadedEngine final : public SpeechEngine {
 public:
  // Runs, outside the lock, when a call finds its entry point unbound: the program's handler
  // reports library and entry point and ends the process. If it returns, the call fails.
  using MissingEntryPoint = std::function<void(const std::string& library, const std::string& entry_point)>;

  explicit LoadedEngine(MissingEntryPoint on_missing);

  // Binds the six entry points from `library_path` in the fixed order; the results are not
  // examined (an unbound entry point is reported at its first call).
  void Bind(const std::string& library_path);
  // True when all six are bound.
  bool FullyBound() const;

  std::int32_t Init(const Text& config) override;
  Text SessionBegin(const Text& params, std::int32_t& error) override;
  std::int32_t TextPut(const Text& session, std::string_view text, const Text& params) override;
  EngineAudio AudioGet(const Text& session) override;
  std::int32_t SessionEnd(const Text& session, const Text& hints) override;
  std::int32_t Fini() override;

 private:
  // Runs `body(entry point)` under the lock; when `name` is unbound, reports it (unlocked)
  // and returns `failed`.
  template <typename Fn, typename Result, typename Body>
  Result Call(const char* name, Result failed, Body body);

  mutable std::mutex mutex_;
  EntryPointBinder binder_;
  std::string library_path_ = "msc.dll";
  MissingEntryPoint on_missing_;
};

// The program's MissingEntryPoint: an error message through `dialogs` naming the library and
// the entry point, then the process ends with exit code 1.
LoadedEngine::MissingEntryPoint ReportAndExit(Dialogs& dialogs);

// The message of ReportAndExit (GBK; the library path converted from the file system's UTF-8).
Text MissingEntryPointMessage(const std::string& library, const std::string& entry_point);

}  // namespace velarn
