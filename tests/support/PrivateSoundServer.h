// A home and runtime directory of the test's own, so that a PulseAudio it starts and the SDL
// output it tests meet there and no desktop sound server is touched.
#pragma once

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

namespace velarn::test {

// Makes the directory, points HOME and XDG_RUNTIME_DIR into it and SDL at PulseAudio; the
// server's socket will be <returned>/run/pulse/native.
inline std::filesystem::path MakePrivateSoundServerDirectory() {
  char pattern[] = "/tmp/velarn-pulse-XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  std::filesystem::create_directories(dir / "home");
  std::filesystem::create_directories(dir / "run");
  chmod((dir / "run").c_str(), 0700);
  setenv("HOME", (dir / "home").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
  setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
  return dir;
}

}  // namespace velarn::test
