// Watches the desktop's clipboard (the CLIPBOARD selection, not the PRIMARY one) and hands
// each change to the clipboard capture of the play control. The text on the clipboard when
// the watch starts is not read: only changes after it count.
#pragma once

#include <QObject>

#include "playback/ReaderContext.h"
#include "text/Text.h"

namespace velarn {

class ClipboardWatch final : public QObject {
  Q_OBJECT
 public:
  // On the GUI thread.
  explicit ClipboardWatch(ReaderContext& context);

  // The clipboard's text in GBK ("?" for what GBK lacks), or "" when it holds no text.
  static Text ClipboardText();

 private:
  void OnChanged();

  ReaderContext& context_;
};

}  // namespace velarn
