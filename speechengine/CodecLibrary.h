// msc.dll's handle on the codec library (speex.dll): loaded by path, every entry point
// checked, unloaded with the handle.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "speechengine/speex.h"

namespace velarn::speechengine {

class CodecLibrary {
 public:
  // Receives converted samples.
  using Sink = std::function<void(const short* samples, std::size_t count)>;

  // One conversion stream, closed with the object.
  class Stream {
   public:
    bool Convert(const short* samples, std::size_t count, const Sink& sink);
    bool Flush(const Sink& sink);

   private:
    friend class CodecLibrary;
    struct Closer {
      VelarnCodecCloseFn close;
      void operator()(VelarnCodec* codec) const { close(codec); }
    };
    Stream(VelarnCodec* codec, VelarnCodecCloseFn close, VelarnCodecConvertFn convert)
        : codec_(codec, Closer{close}), convert_(convert) {}
    std::unique_ptr<VelarnCodec, Closer> codec_;
    VelarnCodecConvertFn convert_;
  };

  // The library at `path`, or nothing with the reason in `error`.
  static std::optional<CodecLibrary> Load(const std::filesystem::path& path, std::string& error);

  std::optional<Stream> Open(unsigned in_rate, unsigned out_rate, double gain) const;

 private:
  struct Unloader {
    void operator()(void* handle) const;
  };
  std::unique_ptr<void, Unloader> handle_;
  VelarnCodecOpenFn open_ = nullptr;
  VelarnCodecConvertFn convert_ = nullptr;
  VelarnCodecCloseFn close_ = nullptr;
};

// The directory that holds the shared object containing `address`, or empty.
std::filesystem::path DirectoryOfObject(const void* address);

}  // namespace velarn::speechengine
