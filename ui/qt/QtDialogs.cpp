#include "ui/qt/QtDialogs.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include "ui/qt/QtText.h"

namespace velarn {

QtDialogs::QtDialogs() = default;
QtDialogs::~QtDialogs() = default;

template <typename F>
auto QtDialogs::OnGuiThread(F&& f) {
  using Result = decltype(f());
  if (QThread::currentThread() == gui_.thread()) return f();
  Result result{};
  // The GUI thread never waits for a worker, so this cannot deadlock; it runs the call at its
  // next event dispatch, also inside a handler's wait.
  QMetaObject::invokeMethod(&gui_, [&] { result = f(); }, Qt::BlockingQueuedConnection);
  return result;
}

MessageAnswer QtDialogs::ShowMessage(const Text& text, const Text& title, MessageIcon icon,
                                     MessageButtons buttons) {
  return OnGuiThread([&] {
    QMessageBox box(icon == MessageIcon::kError ? QMessageBox::Critical : QMessageBox::Information,
                    ToQString(title), ToQString(text),
                    buttons == MessageButtons::kYesNo ? QMessageBox::Yes | QMessageBox::No
                                                      : QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    const int answer = box.exec();
    if (buttons == MessageButtons::kOk) return MessageAnswer::kOk;
    return answer == QMessageBox::Yes ? MessageAnswer::kYes : MessageAnswer::kNo;
  });
}

QStringList QtDialogs::NameFilters(const Text& filter) {
  const QStringList parts = ToQString(filter).split(QLatin1Char('|'));
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    filters << parts[i] + QStringLiteral(" (") + parts[i + 1].split(QLatin1Char(';')).join(' ') +
                   QLatin1Char(')');
  }
  if (filters.isEmpty()) filters << QStringLiteral("(*)");
  return filters;
}

std::optional<std::string> QtDialogs::ShowFileDialog(const FileDialogSettings& settings) {
  return OnGuiThread([&]() -> std::optional<std::string> {
    if (!file_dialog_) {
      file_dialog_ = std::make_unique<QFileDialog>();
      // Qt's own dialog: the same on every desktop, and one object that keeps its state.
      file_dialog_->setOption(QFileDialog::DontUseNativeDialog);
      file_dialog_->setWindowModality(Qt::ApplicationModal);
    }
    QFileDialog& dialog = *file_dialog_;
    const bool save = settings.kind == FileDialogKind::kSave;
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(NameFilters(settings.filter));
    QString suffix = QString::fromStdString(settings.default_extension);
    if (suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!settings.initial_directory.empty()) {
      dialog.setDirectory(QFile::decodeName(settings.initial_directory.c_str()));
    }
    dialog.selectFile(confirmed_file_);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
      return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().constFirst();
    const QFileInfo info(chosen);
    confirmed_file_ = info.fileName();
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    (void)::chdir(folder.constData());  // the chosen folder becomes the current directory
    return QFile::encodeName(chosen).toStdString();
  });
}

}  // namespace velarn
