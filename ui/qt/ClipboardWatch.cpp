#include "ui/qt/ClipboardWatch.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <chrono>
#include <cstdio>

#include "playback/PlayControl.h"
#include "ui/qt/QtText.h"

namespace velarn {
namespace {

// How long the clipboard's owner may take to answer, and to send each piece of a long text.
constexpr std::chrono::milliseconds kOwnerBound{2000};

const char* Problem(SelectionReader::Outcome outcome) {
  switch (outcome) {
    case SelectionReader::Outcome::kTimedOut:
      return "the clipboard's owner did not answer in time; the copy is not read";
    case SelectionReader::Outcome::kTooLarge: return "the copied text is too large to read";
    case SelectionReader::Outcome::kFailed: return "the clipboard could not be read";
    default: return nullptr;
  }
}

}  // namespace

ClipboardWatch::ClipboardWatch(ReaderContext& context) : context_(context) {
  if (QGuiApplication::platformName() == QLatin1String("xcb")) reader_ = SelectionReader::Open();
  if (reader_) read_thread_ = std::jthread([this](std::stop_token stop) { ReadChanges(stop); });
  QClipboard* clipboard = QGuiApplication::clipboard();
  // dataChanged is the CLIPBOARD selection's signal; PRIMARY has selectionChanged.
  connect(clipboard, &QClipboard::dataChanged, this, [this] {
    if (reader_) {
      {
        const std::lock_guard lock(mutex_);
        ++changes_;
      }
      changed_.notify_one();
      return;
    }
    // Handled as its own event, not inside the toolkit's selection handling: the capture may
    // wait for the cut clip's time, with more clipboard events arriving meanwhile.
    QMetaObject::invokeMethod(this, &ClipboardWatch::OnChanged, Qt::QueuedConnection);
  });
}

ClipboardWatch::~ClipboardWatch() {
  if (!read_thread_.joinable()) return;
  read_thread_.request_stop();
  reader_->Interrupt();  // a read waiting for an owner ends now
  read_thread_.join();
}

Text ClipboardWatch::ClipboardText() {
  const QMimeData* data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
  if (data == nullptr || !data->hasText()) return {};
  return FromQString(data->text());
}

void ClipboardWatch::OnChanged() { OnClipboardChanged(context_, ClipboardText()); }

void ClipboardWatch::ReadChanges(std::stop_token stop) {
  std::uint64_t read = 0;
  for (;;) {
    std::uint64_t change = 0;
    {
      std::unique_lock lock(mutex_);
      if (!changed_.wait(lock, stop, [&] { return changes_ != read; })) return;
      change = changes_;
    }
    // Changes that come during the read are covered by the next one: only the last counts.
    SelectionReader::Result result = reader_->ReadClipboard(kOwnerBound);
    read = change;
    if (result.outcome == SelectionReader::Outcome::kInterrupted) return;
    if (const char* problem = Problem(result.outcome)) std::fprintf(stderr, "velarn: %s\n", problem);
    if (result.outcome != SelectionReader::Outcome::kText) continue;
    Text text = Utf8ToGbk(result.utf8);
    QMetaObject::invokeMethod(
        this, [this, change, text = std::move(text)]() mutable { Deliver(change, std::move(text)); },
        Qt::QueuedConnection);
  }
}

void ClipboardWatch::Deliver(std::uint64_t change, Text text) {
  {
    const std::lock_guard lock(mutex_);
    if (change != changes_) return;  // the clipboard changed again; that text is being read
  }
  OnClipboardChanged(context_, std::move(text));
}

}  // namespace velarn
