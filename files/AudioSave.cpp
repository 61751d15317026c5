#include "files/AudioSave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>

#include "app/ProgramDirectory.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"
#include "ui/Dialogs.h"

namespace velarn {
namespace {

void ShowError(ReaderContext& context, const Text& message) {
  context.dialogs.ShowMessage(message, Text(), MessageIcon::kError, MessageButtons::kOk);
}

}  // namespace

bool WriteClipFile(const std::string& path, const SaveAudio& audio) {
  if (audio.TooLongForOneFile() || audio.Failed()) return false;
  std::string temporary = path + ".velarn-XXXXXX";
  FileDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd) return false;
  // mkostemp makes the file 0600; give it what a newly created file gets.
  const mode_t mask = umask(0);
  umask(mask);
  fchmod(fd.Get(), 0666 & ~mask);
  const bool written = WriteAll(fd.Get(), ClipHeader(static_cast<std::uint32_t>(audio.Size()))) &&
                       audio.CopyTo(fd.Get()) && fsync(fd.Get()) == 0 && close(fd.Release()) == 0;
  if (!written || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

void EndSaveRequest(ReaderContext& context) {
  context.state.Update([](SharedFields& f) {
    f.audio_buffer.clear();
    f.play_enabled = true;
    f.save_button_tag.clear();
    f.save_caption = window::kSaveCaption;
  });
}

bool SaveAudioFile(ReaderContext& context, const SaveAudio& audio) {
  context.state.Update([](SharedFields& f) {
    f.save_button_tag.clear();
    f.save_caption = window::kSaveCaption;
  });
  bool written = false;
  if (audio.TooLongForOneFile()) {
    ShowError(context, Text(kAudioTooLongMessage));
  } else {
    FileDialogSettings settings;
    settings.kind = FileDialogKind::kSave;
    settings.filter = Text(kAudioFileFilter);
    settings.default_extension = std::string(kAudioFileExtension);
    settings.initial_directory = ProgramDirectory();
    const std::optional<std::string> path = context.dialogs.ShowFileDialog(settings);
    if (path && !path->empty()) {
      written = WriteClipFile(*path, audio);
      if (!written) ShowError(context, Text(kAudioWriteFailedMessage) + Utf8ToGbk(*path));
    }
  }
  EndSaveRequest(context);
  return written;
}

}  // namespace velarn
