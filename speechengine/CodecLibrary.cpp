#include "speechengine/CodecLibrary.h"

#include <dlfcn.h>

namespace velarn::speechengine {
namespace {

extern "C" void DeliverSamples(const short* samples, std::size_t count, void* user) {
  // Runs inside the codec's C code: nothing may escape from here.
  try {
    (*static_cast<const CodecLibrary::Sink*>(user))(samples, count);
  } catch (...) {
  }
}

template <typename Fn>
bool Bind(void* handle, const char* name, Fn& out, std::string& error) {
  void* symbol = ::dlsym(handle, name);
  if (symbol == nullptr) {
    error = std::string("the codec library lacks ") + name;
    return false;
  }
  out = reinterpret_cast<Fn>(symbol);
  return true;
}

}  // namespace

void CodecLibrary::Unloader::operator()(void* handle) const { ::dlclose(handle); }

bool CodecLibrary::Stream::Convert(const short* samples, std::size_t count, const Sink& sink) {
  return convert_(codec_.get(), samples, count, DeliverSamples, const_cast<Sink*>(&sink)) == 0;
}

bool CodecLibrary::Stream::Flush(const Sink& sink) {
  return convert_(codec_.get(), nullptr, 0, DeliverSamples, const_cast<Sink*>(&sink)) == 0;
}

std::optional<CodecLibrary> CodecLibrary::Load(const std::filesystem::path& path,
                                               std::string& error) {
  CodecLibrary library;
  // Never unmapped: libsoxr brings its OpenMP runtime, whose threads and allocations must
  // outlive any dlclose (like msc.dll itself, see CMakeLists.txt).
  library.handle_.reset(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE));
  if (!library.handle_) {
    const char* reason = ::dlerror();
    error = reason != nullptr ? reason : "the codec library cannot be loaded";
    return std::nullopt;
  }
  VelarnCodecVersionFn version = nullptr;
  if (!Bind(library.handle_.get(), "velarn_codec_version", version, error) ||
      !Bind(library.handle_.get(), "velarn_codec_open", library.open_, error) ||
      !Bind(library.handle_.get(), "velarn_codec_convert", library.convert_, error) ||
      !Bind(library.handle_.get(), "velarn_codec_close", library.close_, error)) {
    return std::nullopt;
  }
  if (version() != 1) {
    error = "the codec library has another interface version";
    return std::nullopt;
  }
  return library;
}

std::optional<CodecLibrary::Stream> CodecLibrary::Open(unsigned in_rate, unsigned out_rate,
                                                       double gain) const {
  VelarnCodec* codec = open_(in_rate, out_rate, gain);
  if (codec == nullptr) return std::nullopt;
  return Stream(codec, close_, convert_);
}

std::filesystem::path DirectoryOfObject(const void* address) {
  Dl_info info{};
  if (::dladdr(address, &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code error;
  const std::filesystem::path file = std::filesystem::canonical(info.dli_fname, error);
  return error ? std::filesystem::path(info.dli_fname).parent_path() : file.parent_path();
}

}  // namespace velarn::speechengine
