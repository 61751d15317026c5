#include "ui/qt/QtView.h"

#include <algorithm>
#include <QPlainTextDocumentLayout>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QTextCursor>
#include <QThread>
#include <QTimer>

#include "playback/PlayControl.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtText.h"

namespace velarn {
namespace {

// A focus change caused by the window as a whole (another program activated, a menu popping
// up) is no move of the focus between controls: the lost-focus handlers ignore it.
bool MovedWithinWindow(Qt::FocusReason reason) {
  return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}

// A longer text is laid into its document off the window thread: for 10 MB that takes a third
// of a second, during which the window would not answer.
constexpr std::size_t kLoadAsideBytes = 256 * 1024;

void SetEnabled(QWidget* widget, bool enabled) {
  if (widget->isEnabled() != enabled) widget->setEnabled(enabled);
}

}  // namespace

QtView::QtView(ReaderContext& context, MainWindow& window, WindowHandlers handlers)
    : context_(context), window_(window), handlers_(std::move(handlers)) {
  loader_.setMaxThreadCount(1);
  const ViewFields v = context_.state.ViewSnapshot();
  focus_requests_ = v.focus_requests;
  text_serial_ = v.text_box_serial - 1;  // shows the model's text at the first refresh
  selection_serial_ = v.selection_serial;
  context_.state.SetListener([this] { OnModelChanged(); });

  TextBoxEdit* text_box = window_.TextBox();
  connect(text_box, &QPlainTextEdit::textChanged, this, &QtView::OnUserEditedText);
  connect(text_box, &TextBoxEdit::lostFocus, this, &QtView::OnTextBoxLostFocus);
  connect(window_.PlayButton(), &PlayButtonWidget::lostFocus, this,
          &QtView::OnPlayButtonLostFocus);
  connect(window_.PlayButton(), &QPushButton::clicked, this, [this] { TogglePlay(context_); });
  connect(window_.SpeedBox(), &QLineEdit::textEdited, this, [this](const QString& text) {
    context_.state.Update([&](SharedFields& f) { f.speed_box_text = FromQString(text); });
    if (handlers_.speed_changed) handlers_.speed_changed();
  });
  connect(window_.VoiceList(), &QComboBox::activated, this, [this](int index) {
    context_.state.Update([&](SharedFields& f) { f.voice_index = index; });
    if (handlers_.voice_selected) handlers_.voice_selected();
  });
  connect(window_.BrowseButton(), &QPushButton::clicked, this, [this] {
    if (handlers_.browse_clicked) handlers_.browse_clicked();
  });
  connect(window_.SaveButton(), &QPushButton::clicked, this, [this] {
    if (handlers_.save_clicked) handlers_.save_clicked();
  });
  connect(&window_, &MainWindow::closeRequested, this, [this] {
    if (handlers_.close_requested) handlers_.close_requested();
  });
  Refresh();
}

QtView::~QtView() {
  context_.state.SetListener({});
  loader_.waitForDone();  // before the built document is deleted with the members
}

void QtView::OnModelChanged() {
  if (QThread::currentThread() == thread()) {
    // A change made on the GUI thread shows at once, above all a focus request: the focus
    // change it stands for happens inside the request, so that the lost-focus handler of the
    // control that had it runs first (TogglePlay relies on that order).
    Refresh();
    return;
  }
  if (refresh_queued_.exchange(true)) return;  // one queued call covers every change until it runs
  QMetaObject::invokeMethod(
      this,
      [this] {
        refresh_queued_ = false;
        Refresh();
      },
      Qt::QueuedConnection);
}

void QtView::Refresh() {
  Apply(++passes_);
  emit refreshed();
}

void QtView::Apply(std::uint64_t pass) {
  const ViewFields v = context_.state.ViewSnapshot();
  TextBoxEdit* text_box = window_.TextBox();
  const bool text_moved = v.text_box_serial != text_serial_;
  if (text_moved) {
    text_serial_ = v.text_box_serial;
    Text text = context_.state.TextBoxText();
    if (text.size() > kLoadAsideBytes) {
      LoadAside(text_serial_, std::move(text));
    } else {
      loading_serial_ = 0;  // a load still under way is of an older text
      text_box->setReadOnly(false);
      const QSignalBlocker block(text_box);  // a program write is no user edit
      text_box->setPlainText(ToQString(text));
    }
  }
  // The selection waits for the document it is in.
  if (loading_serial_ == 0 && (reselect_ || v.selection_serial != selection_serial_)) {
    selection_serial_ = v.selection_serial;
    reselect_ = false;
    QTextCursor cursor = text_box->textCursor();
    if (v.text_box_selection.start < 0) {
      cursor.movePosition(QTextCursor::End);
    } else {
      // Counted in the model's text where it lies, not copied: the chunks move forward, so
      // each count starts from the last one and a long text is walked once, not per chunk.
      const auto [start, end] = context_.state.Read([&](const SharedFields& f) {
        const std::string_view text = f.text_box_text;
        const auto start_byte =
            std::min(static_cast<std::size_t>(v.text_box_selection.start), text.size());
        if (positions_.serial != f.text_box_serial || start_byte < positions_.byte) {
          positions_ = {.serial = f.text_box_serial};
        }
        const auto after_cr = [&](std::size_t byte) { return byte > 0 && text[byte - 1] == '\r'; };
        positions_.position += TextBoxLength(
            text.substr(positions_.byte, start_byte - positions_.byte), after_cr(positions_.byte));
        positions_.byte = start_byte;
        const qsizetype from = positions_.position;
        const std::size_t end_byte = std::min(
            text.size(), start_byte + static_cast<std::size_t>(
                                          std::max<std::int64_t>(v.text_box_selection.length, 0)));
        return std::pair{from, from + TextBoxLength(text.substr(start_byte, end_byte - start_byte),
                                                    after_cr(start_byte))};
      });
      cursor.setPosition(static_cast<int>(start));
      cursor.setPosition(static_cast<int>(end), QTextCursor::KeepAnchor);
    }
    text_box->setTextCursor(cursor);
    text_box->ensureCursorVisible();
  }

  const QString caption = ToQString(v.play_caption);
  if (window_.PlayButton()->text() != caption) window_.PlayButton()->setText(caption);
  const QString save_caption = ToQString(v.save_caption);
  if (window_.SaveButton()->text() != save_caption) window_.SaveButton()->setText(save_caption);
  const QString speed = ToQString(v.speed_box_text);
  if (window_.SpeedBox()->text() != speed) window_.SpeedBox()->setText(speed);
  if (v.voice_index != window_.VoiceList()->currentIndex() && v.voice_index >= 0) {
    const QSignalBlocker block(window_.VoiceList());  // a program selection runs no handler
    window_.VoiceList()->setCurrentIndex(v.voice_index);
  }
  // A disabled button that had the focus passes it on, and a focus request moves it: the
  // lost-focus handlers run inside, and the state they leave was shown by a nested pass, so
  // this older pass must stop there. Until then a handler's wait keeps the window current.
  SetEnabled(window_.PlayButton(), v.play_enabled);
  if (pass != passes_) return;
  SetEnabled(window_.SaveButton(), v.save_enabled);
  if (pass != passes_) return;
  ApplyFocusRequest(v.focus_requests);
}

void QtView::LoadAside(std::uint64_t serial, Text text) {
  loading_serial_ = serial;
  // Keys typed meanwhile would edit the text that is being replaced.
  window_.TextBox()->setReadOnly(true);
  QThread* gui = thread();
  loader_.start([this, serial, gui, text = std::move(text)] {
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    document->setPlainText(ToQString(text));
    document->moveToThread(gui);
    {
      const std::lock_guard lock(built_mutex_);
      built_.push_back({serial, std::move(document)});
    }
    QMetaObject::invokeMethod(this, &QtView::ShowBuiltDocument, Qt::QueuedConnection);
  });
}

void QtView::ShowBuiltDocument() {
  std::vector<Built> built;
  {
    const std::lock_guard lock(built_mutex_);
    built.swap(built_);
  }
  // Those of older texts, replaced meanwhile, are deleted here, on the thread they belong to.
  const auto current = std::find_if(built.begin(), built.end(), [this](const Built& b) {
    return loading_serial_ != 0 && b.serial == loading_serial_;
  });
  if (current == built.end()) return;
  TextBoxEdit* text_box = window_.TextBox();
  QTextDocument* document = current->document.release();
  document->setParent(text_box);
  document->setDefaultFont(text_box->font());
  document->setDocumentLayout(new QPlainTextDocumentLayout(document));
  // The editor deletes a document of its own when it is replaced, not one it was given.
  const QPointer<QTextDocument> old = text_box->document();
  {
    const QSignalBlocker block(text_box);  // a program write is no user edit
    text_box->setDocument(document);
  }
  if (old && old != document && old->parent() == text_box) delete old.data();
  loading_serial_ = 0;
  text_box->setReadOnly(false);
  reselect_ = true;  // the model's selection, in the new document
  Refresh();
}

void QtView::ApplyFocusRequest(std::uint64_t requests) {
  if (requests == focus_requests_) return;
  focus_requests_ = requests;
  window_.TextBox()->setFocus(Qt::OtherFocusReason);
}

void QtView::OnUserEditedText() {
  const Text text = FromQString(window_.TextBox()->toPlainText());
  // The serial is recorded inside the update, before the refresh it causes: the editor
  // already shows this text, and setting it again would move the user's caret.
  context_.state.Update([&](SharedFields& f) {
    f.text_box_text = text;
    text_serial_ = ++f.text_box_serial;
  });
  // Its own event, not inside the editor's signal: the handler may wait for seconds, and more
  // keys typed meanwhile must reach an editor that is not in the middle of an edit.
  QMetaObject::invokeMethod(this, [this] { OnTextBoxChanged(context_); }, Qt::QueuedConnection);
}

void QtView::OnTextBoxLostFocus(Qt::FocusReason reason) {
  if (!MovedWithinWindow(reason)) return;
  velarn::OnTextBoxLostFocus(context_);
}

void QtView::OnPlayButtonLostFocus(Qt::FocusReason reason) {
  if (!MovedWithinWindow(reason)) return;
  velarn::OnPlayButtonLostFocus(context_);
}

}  // namespace velarn
