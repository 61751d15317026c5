// The window's message box and its one file dialog, behind an interface: the Qt view supplies
// real dialogs, tests scripted ones. Both may be called from any thread and block the caller
// until the user answers; the window keeps handling its events meanwhile.
#pragma once

#include <optional>
#include <string>

#include "text/Text.h"

namespace velarn {

enum class MessageIcon { kError, kInformation };
enum class MessageButtons { kOk, kYesNo };
enum class MessageAnswer { kOk, kYes, kNo };

enum class FileDialogKind { kOpen, kSave };

struct FileDialogSettings {
  FileDialogKind kind = FileDialogKind::kOpen;
  Text filter;                    // GBK, "description|pattern"
  std::string default_extension;  // e.g. ".mp3"; empty: nothing appended
  std::string initial_directory;  // a file-system path (the platform's bytes)
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // An application-modal message box with no owner; texts are GBK.
  virtual MessageAnswer ShowMessage(const Text& text, const Text& title, MessageIcon icon,
                                    MessageButtons buttons) = 0;
  // The file dialog; the chosen full path, or nothing when the user cancelled. Confirming
  // moves the process's current directory to the chosen folder.
  virtual std::optional<std::string> ShowFileDialog(const FileDialogSettings& settings) = 0;
};

}  // namespace velarn
