#include "ui/qt/ClipboardWatch.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "playback/PlayControl.h"
#include "ui/qt/QtText.h"

namespace velarn {

ClipboardWatch::ClipboardWatch(ReaderContext& context) : context_(context) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  // dataChanged is the CLIPBOARD selection's signal; PRIMARY has selectionChanged.
  connect(clipboard, &QClipboard::dataChanged, this, [this] {
    // Handled as its own event, not inside the toolkit's selection handling: the capture may
    // wait for the cut clip's time, with more clipboard events arriving meanwhile.
    QMetaObject::invokeMethod(this, &ClipboardWatch::OnChanged, Qt::QueuedConnection);
  });
}

Text ClipboardWatch::ClipboardText() {
  // On X11 the read asks the clipboard's owner and gives up after Qt's own timeout, so a
  // program that does not answer cannot freeze the window for good.
  const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
  if (data == nullptr || !data->hasText()) return {};
  return FromQString(data->text());
}

void ClipboardWatch::OnChanged() { OnClipboardChanged(context_, ClipboardText()); }

}  // namespace velarn
