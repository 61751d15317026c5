#include "engine/LoadedEngine.h"

#include <unistd.h>

#include <bit>
#include <limits>

#include "engine/MscEntryPoints.h"
#include "ui/Dialogs.h"

namespace velarn {

LoadedEngine::LoadedEngine(MissingEntryPoint on_missing) : on_missing_(std::move(on_missing)) {}

void LoadedEngine::Bind(const std::string& library_path) {
  std::lock_guard lock(mutex_);
  library_path_ = library_path;
  for (const char* name : kEntryPointNames) binder_.BindEntryPoint(library_path, name);
}

bool LoadedEngine::FullyBound() const {
  std::lock_guard lock(mutex_);
  for (const char* name : kEntryPointNames) {
    if (binder_.Bound(name) == nullptr) return false;
  }
  return true;
}

template <typename Fn, typename Result, typename Body>
Result LoadedEngine::Call(const char* name, Result failed, Body body) {
  std::string library;
  {
    std::lock_guard lock(mutex_);
    if (void* address = binder_.Bound(name)) return body(std::bit_cast<Fn>(address));
    library = library_path_;
  }
  // No lock across the report: it shows a message box.
  if (on_missing_) on_missing_(library, name);
  return failed;
}

std::int32_t LoadedEngine::Init(const Text& config) {
  return Call<decltype(&QTTSInit)>("QTTSInit", std::int32_t{-1},
                                   [&](auto fn) { return std::int32_t{fn(config.c_str())}; });
}

Text LoadedEngine::SessionBegin(const Text& params, std::int32_t& error) {
  return Call<decltype(&QTTSSessionBegin)>("QTTSSessionBegin", Text(), [&](auto fn) {
    int code = 0;
    const char* id = fn(params.c_str(), &code);
    error = code;
    return id != nullptr ? Text(id) : Text();
  });
}

std::int32_t LoadedEngine::TextPut(const Text& session, std::string_view text, const Text& params) {
  if (text.size() > std::numeric_limits<unsigned int>::max()) return -1;
  return Call<decltype(&QTTSTextPut)>("QTTSTextPut", std::int32_t{-1}, [&](auto fn) {
    // The engine reads exactly textLen bytes; a view need not be terminated.
    return std::int32_t{fn(session.c_str(), text.data(), static_cast<unsigned int>(text.size()),
                           params.c_str())};
  });
}

EngineAudio LoadedEngine::AudioGet(const Text& session) {
  return Call<decltype(&QTTSAudioGet)>("QTTSAudioGet", EngineAudio{}, [&](auto fn) {
    unsigned int length = 0;
    int status = 0;
    int code = 0;
    const void* audio = fn(session.c_str(), &length, &status, &code);
    EngineAudio result;
    // The engine's buffer lives only until its next call: copy it while still locked.
    if (audio != nullptr && length > 0) result.data.assign(static_cast<const char*>(audio), length);
    result.status = status;
    result.error = code;
    return result;
  });
}

std::int32_t LoadedEngine::SessionEnd(const Text& session, const Text& hints) {
  return Call<decltype(&QTTSSessionEnd)>("QTTSSessionEnd", std::int32_t{-1}, [&](auto fn) {
    return std::int32_t{fn(session.c_str(), hints.c_str())};
  });
}

std::int32_t LoadedEngine::Fini() {
  return Call<decltype(&QTTSFini)>("QTTSFini", std::int32_t{-1},
                                   [&](auto fn) { return std::int32_t{fn()}; });
}

Text MissingEntryPointMessage(const std::string& library, const std::string& entry_point) {
  // 无法调用引擎库 <library> 中的入口点 <entry point>，程序将退出。
  return Text("\xCE\xDE\xB7\xA8\xB5\xF7\xD3\xC3\xD2\xFD\xC7\xE6\xBF\xE2 ") + Utf8ToGbk(library) +
         " \xD6\xD0\xB5\xC4\xC8\xEB\xBF\xDA\xB5\xE3 " + entry_point +
         "\xA3\xAC\xB3\xCC\xD0\xF2\xBD\xAB\xCD\xCB\xB3\xF6\xA1\xA3";
}

LoadedEngine::MissingEntryPoint ReportAndExit(Dialogs& dialogs) {
  return [&dialogs](const std::string& library, const std::string& entry_point) {
    dialogs.ShowMessage(MissingEntryPointMessage(library, entry_point), Text(), MessageIcon::kError,
                        MessageButtons::kOk);
    _exit(1);
  };
}

}  // namespace velarn
