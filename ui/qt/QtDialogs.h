// The message box and the window's one file dialog on Qt. Callable from any thread: a worker's
// call runs on the GUI thread through a blocking queued call; on the GUI thread the dialog's
// own event loop keeps the window working.
#pragma once

#include <QFileDialog>
#include <QObject>
#include <memory>

#include "ui/Dialogs.h"

namespace velarn {

class QtDialogs final : public Dialogs {
 public:
  // On the GUI thread.
  QtDialogs();
  ~QtDialogs() override;

  MessageAnswer ShowMessage(const Text& text, const Text& title, MessageIcon icon,
                            MessageButtons buttons) override;
  std::optional<std::string> ShowFileDialog(const FileDialogSettings& settings) override;

  // "desc|pattern|desc|pattern" (GBK) as Qt's name filters, "desc (pattern)".
  static QStringList NameFilters(const Text& filter);

 private:
  template <typename F>
  auto OnGuiThread(F&& f);

  QObject gui_;  // lives on the GUI thread; the target of the queued calls
  std::unique_ptr<QFileDialog> file_dialog_;
  QString confirmed_file_;  // the file name persists between uses, changed only on confirm
};

}  // namespace velarn
