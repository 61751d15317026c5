// The Qt window over the shared model, offscreen: the state right after start-up, the
// Play/Stop cycle, typing and focus during reading, Esc, the clipboard and the event pump.
#include "ui/qt/MainWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <thread>

#include "playback/PlayControl.h"
#include "resources/WindowDefinition.h"
#include "tests/support/ReaderRig.h"
#include "ui/qt/ClipboardWatch.h"
#include "ui/qt/QtDialogs.h"
#include "ui/qt/QtEventPump.h"
#include "ui/qt/QtText.h"
#include "ui/qt/QtView.h"

namespace velarn {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const Text kHello = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7";  // 你好，世界
constexpr int kBoundMs = 5000;


class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    t_.waits.AttachWindowThread(pump_);
    handlers_.close_requested = [this] { ++closes_; };
    view_ = std::make_unique<QtView>(t_.context, window_, handlers_);
  }
  // Shown and active, as after start-up with the user at the window.
  void Show() {
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    window_.TextBox()->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window_.TextBox()->hasFocus(); }, kBoundMs));
  }
  bool Until(const std::function<bool(const SharedFields&)>& done) {
    return QTest::qWaitFor([&] { return t_.state.Read(done); }, kBoundMs);
  }
  void ClickPlay() { QTest::mouseClick(window_.PlayButton(), Qt::LeftButton); }

  test::ReaderRig t_;
  QtEventPump pump_;
  WindowHandlers handlers_;
  int closes_ = 0;
  MainWindow window_;
  std::unique_ptr<QtView> view_;
};

TEST_F(MainWindowTest, StartsHiddenWithTheControlsOfTheWindowDefinition) {
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(window_.windowTitle(), QString::fromUtf8("Velarn在线朗读 by orvik"));
  EXPECT_EQ(window_.minimumSize(), window_.maximumSize());  // fixed
  const Qt::WindowFlags flags = window_.windowFlags();
  EXPECT_TRUE(flags.testFlag(Qt::WindowMinimizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags.testFlag(Qt::WindowStaysOnTopHint));

  struct Expected {
    QWidget* widget;
    window::Geometry geometry;
    QString text;
    bool tab_stop;
  };
  const Expected controls[] = {
      {window_.SpeedBox(), window::kSpeedBox, "99", true},
      {window_.SpeedLabel(), window::kSpeedLabelBox, QString::fromUtf8("语速："), false},
      {window_.BrowseButton(), window::kBrowseButton, QString::fromUtf8("浏 览"), false},
      {window_.VoiceLabel(), window::kVoiceLabelBox, QString::fromUtf8("发音人："), false},
      {window_.VoiceList(), window::kVoiceList, QString::fromUtf8("一萍"), false},
      {window_.PlayButton(), window::kPlayButton, QString::fromUtf8("播 放"), true},
      {window_.SaveButton(), window::kSaveButton, QString::fromUtf8("保存语音"), false},
      {window_.TextBox(), window::kTextBox, QString::fromUtf8("[复制文本开始朗读]"), true},
  };
  for (const Expected& c : controls) {
    SCOPED_TRACE(c.widget->metaObject()->className());
    const window::Geometry& g = c.geometry;
    EXPECT_EQ(c.widget->geometry(), QRect(g.left, g.top, g.width, g.height));
    EXPECT_TRUE(c.widget->isEnabled());
    EXPECT_EQ((c.widget->focusPolicy() & Qt::TabFocus) != 0, c.tab_stop);
    QString text;
    if (auto* e = qobject_cast<QLineEdit*>(c.widget)) text = e->text();
    if (auto* l = qobject_cast<QLabel*>(c.widget)) text = l->text();
    if (auto* b = qobject_cast<QPushButton*>(c.widget)) text = b->text();
    if (auto* v = qobject_cast<QComboBox*>(c.widget)) text = v->currentText();
    if (auto* t = qobject_cast<QPlainTextEdit*>(c.widget)) text = t->toPlainText();
    EXPECT_EQ(text, c.text);
    EXPECT_LE(g.left + g.width, window_.width());
    EXPECT_LE(g.top + g.height, window_.height());
  }
  ASSERT_EQ(window_.VoiceList()->count(), 4);
  EXPECT_EQ(window_.VoiceList()->itemText(3), QString::fromUtf8("楠楠"));
  EXPECT_EQ(window_.VoiceList()->currentIndex(), 0);
  EXPECT_TRUE(window_.VoiceList()->isEditable());
}

TEST_F(MainWindowTest, PlayStopCycleShowsCaptionsAndEnabledStates) {
  Show();
  t_.state.SetTextBoxText(kHello);
  ClickPlay();
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.text_box_tag == kTagRequested; }));
  EXPECT_EQ(window_.PlayButton()->text(), QString::fromUtf8("停 止"));
  EXPECT_TRUE(window_.TextBox()->hasFocus());  // moved there before the caption changed

  // The player plays a clip; Stop cuts it and waits for its time with both buttons off.
  t_.state.SetClipPlaying(1);
  bool off_while_waiting = false;
  QMetaObject::Connection seen = QObject::connect(view_.get(), &QtView::refreshed, [&] {
    if (window_.PlayButton()->isEnabled() || t_.state.ClipPlaying() == 0) return;
    off_while_waiting = !window_.SaveButton()->isEnabled() &&
                        window_.PlayButton()->text() == QString::fromUtf8("播 放");
    QTimer::singleShot(200, [&] { t_.state.SetClipPlaying(0); });
  });
  QTest::mouseClick(window_.PlayButton(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return window_.PlayButton()->isEnabled(); }, kBoundMs));
  QObject::disconnect(seen);
  EXPECT_TRUE(off_while_waiting);
  EXPECT_TRUE(window_.SaveButton()->isEnabled());
  EXPECT_EQ(window_.PlayButton()->text(), QString::fromUtf8("播 放"));
  EXPECT_EQ(t_.sound.recording.Stops(), 1u);
  EXPECT_EQ(t_.state.PlayButtonTag(), kTagSet);
  EXPECT_EQ(t_.state.HoldPlayback(), 1);

  ClickPlay();  // resume
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.hold_playback == 0; }));
  EXPECT_EQ(window_.PlayButton()->text(), QString::fromUtf8("停 止"));
}

TEST_F(MainWindowTest, TypingDuringReadingStopsAndResetsWithoutMovingTheCaret) {
  Show();
  t_.state.SetTextBoxText("abc");
  t_.state.Update([](SharedFields& f) {
    f.play_caption = window::kCaptionStop;
    f.text_box_tag = kTagRequested;
    f.clip_queue = {{"clip", "abc"}};
  });
  QTest::qWait(0);
  window_.TextBox()->moveCursor(QTextCursor::End);
  QTest::keyClicks(window_.TextBox(), "d");
  QKeyEvent han(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("中"));
  QApplication::sendEvent(window_.TextBox(), &han);
  ASSERT_TRUE(Until([](const SharedFields& f) {
    return f.play_caption == window::kCaptionPlay && f.text_box_tag == kTagNone &&
           f.clip_queue.empty();
  }));
  EXPECT_EQ(t_.state.TextBoxText(), "abcd\xD6\xD0");
  EXPECT_EQ(window_.TextBox()->toPlainText(), QString::fromUtf8("abcd中"));
  EXPECT_EQ(window_.TextBox()->textCursor().position(), 5);
  EXPECT_EQ(t_.sound.recording.Stops(), 1u);
}

TEST_F(MainWindowTest, PlayWithAnEmptyTextShowsStopForASecond) {
  Show();
  t_.state.SetTextBoxText("");
  QString caption_during;
  QTimer::singleShot(300, [&] { caption_during = window_.PlayButton()->text(); });
  const auto start = Clock::now();
  ClickPlay();
  EXPECT_GE(Clock::now() - start, milliseconds(900));  // the click's handler holds the second
  EXPECT_EQ(caption_during, QString::fromUtf8("停 止"));
  EXPECT_EQ(window_.PlayButton()->text(), QString::fromUtf8("播 放"));
  EXPECT_EQ(t_.state.TextBoxTag(), "");
}

TEST_F(MainWindowTest, TheFocusStaysInTextBoxWhileReading) {
  Show();
  t_.state.SetPlayCaption(window::kCaptionStop);
  QTest::mouseClick(window_.SpeedBox(), Qt::LeftButton);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_.TextBox()->hasFocus(); }, kBoundMs));
  QTest::keyClick(window_.TextBox(), Qt::Key_Tab);
  EXPECT_TRUE(QTest::qWaitFor([&] { return window_.TextBox()->hasFocus(); }, kBoundMs));
  EXPECT_EQ(t_.state.PlayCaption(), window::kCaptionStop);

  t_.state.SetPlayCaption(window::kCaptionPlay);
  QTest::mouseClick(window_.SpeedBox(), Qt::LeftButton);
  QTest::qWait(50);
  EXPECT_TRUE(window_.SpeedBox()->hasFocus());
}

TEST_F(MainWindowTest, EscClosesTheWindowThroughTheCloseHandler) {
  Show();
  QTest::keyClick(window_.TextBox(), Qt::Key_Escape);
  EXPECT_EQ(closes_, 1);
  EXPECT_FALSE(window_.isVisible());
}

TEST_F(MainWindowTest, AChunkSelectionInGbkBytesSelectsTheRightCharacters) {
  Show();
  t_.state.SetTextBoxText("ab\xC4\xE3\xBA\xC3" "cd");  // ab你好cd
  t_.state.SetTextBoxSelection({2, 4});                   // 你好
  QTest::qWait(0);
  EXPECT_EQ(window_.TextBox()->textCursor().selectedText(), QString::fromUtf8("你好"));
  t_.state.SetTextBoxSelection({-1, 0});
  QTest::qWait(0);
  EXPECT_FALSE(window_.TextBox()->textCursor().hasSelection());
  EXPECT_EQ(window_.TextBox()->textCursor().position(), 6);
}

TEST_F(MainWindowTest, ChunksAfterWindowsLineBreaksAreSelectedWhereTheyAre) {
  // A file from Windows: the editor keeps each CR LF as one line break, so byte positions
  // after a few lines must not drift by one per line. A chunk may also end between CR and LF.
  Show();
  const Text text = "ab\r\ncd\r\n\xC4\xE3\xBA\xC3\r\n\r\nxy\rz";  // ...你好...
  t_.state.SetTextBoxText(text);
  struct Case {
    std::int64_t start, length;
    const char* selected;
  };
  for (const Case& c : {Case{8, 4, "你好"}, Case{16, 2, "xy"}, Case{19, 1, "z"},
                        Case{12, 1, "\u2029"}, Case{13, 3, "\u2029"}, Case{0, 4, "ab\u2029"}}) {
    t_.state.SetTextBoxSelection({c.start, c.length});
    QTest::qWait(0);
    EXPECT_EQ(window_.TextBox()->textCursor().selectedText(), QString::fromUtf8(c.selected))
        << c.start << "+" << c.length;
  }
}

TEST_F(MainWindowTest, ALongTextIsShownWithTheSelectionMadeWhileItLoaded) {
  Show();
  Text long_text;
  while (long_text.size() < 1024 * 1024) long_text += "ab\xC4\xE3\xBA\xC3" "cd\n";  // ab你好cd
  long_text += "\xCA\xC0\xBD\xE7";  // 世界, at the end
  t_.state.SetTextBoxText(long_text);
  t_.state.SetTextBoxSelection({static_cast<std::int64_t>(long_text.size()) - 4, 4});
  // Read only while its document is built: keys would edit the text being replaced.
  EXPECT_TRUE(window_.TextBox()->isReadOnly());
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window_.TextBox()->isReadOnly(); }, kBoundMs));
  EXPECT_EQ(FromQString(window_.TextBox()->toPlainText()), long_text);
  EXPECT_EQ(window_.TextBox()->textCursor().selectedText(), QString::fromUtf8("世界"));

  // A short text written while a long one loads wins: the late document is dropped.
  t_.state.SetTextBoxText(long_text + long_text);
  t_.state.SetTextBoxText(kHello);
  EXPECT_FALSE(window_.TextBox()->isReadOnly());
  QTest::qWait(1500);
  EXPECT_EQ(window_.TextBox()->toPlainText(), QString::fromUtf8("你好，世界"));
}

TEST_F(MainWindowTest, AWorkerChangeReachesTheWidgetsThroughTheGuiThread) {
  std::thread worker([&] {
    t_.state.SetPlayCaption(window::kCaptionStop);
    t_.state.SetPlayEnabled(false);
  });
  worker.join();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !window_.PlayButton()->isEnabled(); }, kBoundMs));
  EXPECT_EQ(window_.PlayButton()->text(), QString::fromUtf8("停 止"));
}

TEST_F(MainWindowTest, ClipboardTextIsReadAloudAndAnImageChangesNothing) {
  Show();
  ClipboardWatch watch(t_.context);
  QGuiApplication::clipboard()->setText(QString::fromUtf8("你好，世界"));
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.text_box_tag == kTagRequested; }));
  EXPECT_EQ(t_.state.TextBoxText(), kHello);
  EXPECT_EQ(window_.TextBox()->toPlainText(), QString::fromUtf8("你好，世界"));
  EXPECT_EQ(window_.PlayButton()->text(), QString::fromUtf8("停 止"));

  const std::uint64_t serial = t_.state.ViewSnapshot().text_box_serial;
  auto* image = new QMimeData;
  image->setImageData(QImage(4, 4, QImage::Format_RGB32));
  QGuiApplication::clipboard()->setMimeData(image);
  QTest::qWait(100);
  EXPECT_EQ(t_.state.ViewSnapshot().text_box_serial, serial);
  EXPECT_EQ(t_.state.TextBoxTag(), kTagRequested);
  EXPECT_EQ(t_.sound.recording.Stops(), 0u);
}

TEST(QtEventPumpTest, EndsAtTheDeadlineOrAsSoonAsAWorkersChangeMakesDoneHold) {
  test::ReaderRig t;
  QtEventPump pump;
  MainWindow window;
  QtView view(t.context, window, {});
  auto start = Clock::now();
  pump.DispatchUntil(start + milliseconds(300), [] { return false; });
  EXPECT_GE(Clock::now() - start, milliseconds(300));

  int ran = 0;
  QTimer::singleShot(50, [&] { ++ran; });
  std::thread worker([&] {
    std::this_thread::sleep_for(milliseconds(200));
    t.state.SetTextBoxTag(kTagRequested);
  });
  start = Clock::now();
  pump.DispatchUntil(start + milliseconds(5000), [&] { return t.state.TextBoxTag() == "N"; });
  worker.join();
  EXPECT_LT(Clock::now() - start, milliseconds(4000));
  EXPECT_EQ(ran, 1);  // events kept running during the wait
}

TEST(QtDialogsTest, AWorkersMessageBoxRunsOnTheGuiThreadAndReturnsTheAnswer) {
  QtDialogs dialogs;
  MessageAnswer answer = MessageAnswer::kNo;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    answer = dialogs.ShowMessage("\xB4\xED\xCE\xF3", "", MessageIcon::kError, MessageButtons::kOk);
    returned = true;
  });
  // The box runs its own event loop on this thread; answer it from a timer inside that loop.
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    text = box->text();
    icon = box->icon();
    box->button(QMessageBox::Ok)->click();
  });
  answerer.start(20);
  ASSERT_TRUE(QTest::qWaitFor([&] { return returned.load(); }, kBoundMs));
  worker.join();
  EXPECT_EQ(text, QString::fromUtf8("错误"));
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(answer, MessageAnswer::kOk);
}

TEST(QtDialogsTest, FiltersBecomeQtNameFilters) {
  EXPECT_EQ(QtDialogs::NameFilters(Text(window::kTextFileFilter)),
            QStringList{QString::fromUtf8("文本文件（*.txt） (*.txt)")});
  EXPECT_EQ(QtDialogs::NameFilters("a|*.wav;*.mp3|b|*"),
            (QStringList{"a (*.wav *.mp3)", "b (*)"}));
}

}  // namespace
}  // namespace velarn
