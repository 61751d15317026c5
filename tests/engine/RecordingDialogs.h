// Dialogs that record every message and answer OK at once.
#pragma once

#include <vector>

#include "ui/Dialogs.h"

namespace velarn::testing {

struct ShownMessage {
  Text text;
  Text title;
  MessageIcon icon;
  MessageButtons buttons;
};

class RecordingDialogs final : public Dialogs {
 public:
  MessageAnswer ShowMessage(const Text& text, const Text& title, MessageIcon icon,
                            MessageButtons buttons) override {
    messages.push_back({text, title, icon, buttons});
    return MessageAnswer::kOk;
  }
  std::optional<std::string> ShowFileDialog(const FileDialogSettings&) override { return std::nullopt; }

  std::vector<ShownMessage> messages;
};

}  // namespace velarn::testing
