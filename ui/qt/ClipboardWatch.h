// Watches the desktop's clipboard (the CLIPBOARD selection, not the PRIMARY one) and hands
// each change to the clipboard capture of the play control. The text on the clipboard when
// the watch starts is not read: only changes after it count.
//
// On X11 the text is read on a thread of the watch's own, straight from the X server: the
// owner of the clipboard may answer slowly, never, or with megabytes, and the window thread
// must not wait for it. Elsewhere (offscreen tests) the toolkit's own read is used.
#pragma once

#include <QObject>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <thread>

#include "playback/ReaderContext.h"
#include "text/Text.h"
#include "ui/x11/SelectionReader.h"

namespace velarn {

class ClipboardWatch final : public QObject {
  Q_OBJECT
 public:
  // On the GUI thread.
  explicit ClipboardWatch(ReaderContext& context);
  ~ClipboardWatch() override;

  // The clipboard's text through the toolkit, in GBK ("?" for what GBK lacks), or "" when it
  // holds no text.
  static Text ClipboardText();

 private:
  void OnChanged();
  void ReadChanges(std::stop_token stop);
  void Deliver(std::uint64_t change, Text text);

  ReaderContext& context_;
  std::optional<SelectionReader> reader_;
  std::mutex mutex_;
  std::condition_variable_any changed_;
  std::uint64_t changes_ = 0;  // clipboard changes seen, under mutex_
  std::jthread read_thread_;   // last: stopped before the members it uses go
};

}  // namespace velarn
