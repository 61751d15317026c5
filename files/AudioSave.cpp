#include "files/AudioSave.h"

#include <filesystem>
#include <fstream>
#include <optional>
#include <system_error>

#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "synth/ClipFormat.h"
#include "ui/Dialogs.h"

namespace velarn {
namespace {

// The RIFF size field holds the audio size plus 36 in 32 bits.
constexpr std::size_t kClipMaxAudio = 0xFFFFFFFFu - 36;

std::string ProgramDirectory() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  return exe.parent_path().string();
}

}  // namespace

bool WriteClipFile(const std::string& path, std::string_view audio) {
  if (audio.size() > kClipMaxAudio) return false;
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) return false;
  const ByteString header = ClipHeader(static_cast<std::uint32_t>(audio.size()));
  file.write(header.data(), static_cast<std::streamsize>(header.size()));
  file.write(audio.data(), static_cast<std::streamsize>(audio.size()));
  file.close();
  return static_cast<bool>(file);
}

bool SaveAudioFile(ReaderContext& context) {
  ReaderState& state = context.state;
  state.SetSaveButtonTag(kTagNone);

  FileDialogSettings settings;
  settings.kind = FileDialogKind::kSave;
  settings.filter = Text(kAudioFileFilter);
  settings.default_extension = std::string(kAudioFileExtension);
  settings.initial_directory = ProgramDirectory();
  const std::optional<std::string> path = context.dialogs.ShowFileDialog(settings);

  ByteString audio;
  state.Update([&](SharedFields& f) { audio.swap(f.audio_buffer); });
  const bool written = path && !path->empty() && WriteClipFile(*path, audio);

  state.Update([](SharedFields& f) {
    f.audio_buffer.clear();
    f.play_enabled = true;
    f.save_button_tag.clear();
  });
  return written;
}

}  // namespace velarn
