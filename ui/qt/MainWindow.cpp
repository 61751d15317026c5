#include "ui/qt/MainWindow.h"

#include <QLineEdit>

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include "resources/WindowDefinition.h"
#include "ui/qt/QtText.h"

namespace velarn {
namespace {

// The client area: the outer 407 x 252 less the frame of the design's platform (3-pixel
// borders, a 20-pixel title bar). The window manager adds its own frame around it.
constexpr int kClientWidth = window::kOuterWidth - 6;
constexpr int kClientHeight = window::kOuterHeight - 26;

void Place(QWidget* widget, const window::Geometry& g) {
  widget->setGeometry(g.left, g.top, g.width, g.height);
}

}  // namespace

TextBoxEdit::TextBoxEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setTabChangesFocus(true);  // Tab moves to the next tab stop, as in the window definition
  // The chunk being read is shown as the selection, visible only while TextBox has the focus.
  QPalette p = palette();
  p.setColor(QPalette::Inactive, QPalette::Highlight, p.color(QPalette::Inactive, QPalette::Base));
  p.setColor(QPalette::Inactive, QPalette::HighlightedText,
             p.color(QPalette::Inactive, QPalette::Text));
  setPalette(p);
}

void TextBoxEdit::focusOutEvent(QFocusEvent* event) {
  QPlainTextEdit::focusOutEvent(event);
  emit lostFocus(event->reason());
}

PlayButtonWidget::PlayButtonWidget(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {}

void PlayButtonWidget::focusOutEvent(QFocusEvent* event) {
  QPushButton::focusOutEvent(event);
  setDown(false);  // a press that lost the focus is no click
  emit lostFocus(event->reason());
}

void PlayButtonWidget::mousePressEvent(QMouseEvent* event) {
  // The press has given the button the focus already, unless a handler took it away. Asked
  // of the window, not hasFocus(): a click that activates the window is a click too.
  if (window()->focusWidget() != this) {
    event->ignore();
    return;
  }
  QPushButton::mousePressEvent(event);
}

MainWindow::MainWindow()
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint) {
  setWindowTitle(ToQString(window::kTitle));
  setFixedSize(kClientWidth, kClientHeight);

  // In the order of the window definition, which is also the tab order.
  speed_box_ = new QLineEdit(ToQString(window::kSpeedInitial), this);
  speed_label_ = new QLabel(ToQString(window::kSpeedLabel), this);
  browse_button_ = new QPushButton(ToQString(window::kBrowseCaption), this);
  voice_label_ = new QLabel(ToQString(window::kVoiceLabel), this);
  voice_list_ = new QComboBox(this);
  play_button_ = new PlayButtonWidget(ToQString(window::kCaptionPlay), this);
  save_button_ = new QPushButton(ToQString(window::kSaveCaption), this);
  text_box_ = new TextBoxEdit(this);
  text_box_->setPlainText(ToQString(window::kTextBoxInitial));

  Place(speed_box_, window::kSpeedBox);
  Place(speed_label_, window::kSpeedLabelBox);
  Place(browse_button_, window::kBrowseButton);
  Place(voice_label_, window::kVoiceLabelBox);
  Place(voice_list_, window::kVoiceList);
  Place(play_button_, window::kPlayButton);
  Place(save_button_, window::kSaveButton);
  Place(text_box_, window::kTextBox);
  // The labels are created before the boxes they name but must not cover them.
  speed_label_->lower();
  voice_label_->lower();

  voice_list_->setEditable(true);
  voice_list_->setInsertPolicy(QComboBox::NoInsert);
  for (std::string_view row : window::kVoiceRows) voice_list_->addItem(ToQString(row));
  voice_list_->setCurrentIndex(0);
  // WORKAROUND: at its fixed 45 px the style's arrow and the field's margins leave too little
  // room for a two-character name ("一萍" showed as "-萍"); a narrower arrow and no inner margin.
  voice_list_->setStyleSheet(QStringLiteral("QComboBox { padding: 0px 0px 0px 1px; }"
                                            "QComboBox::drop-down { width: 12px; }"));
  voice_list_->lineEdit()->setTextMargins(0, 0, 0, 0);
  voice_list_->setMaxVisibleItems(static_cast<int>(window::kVoiceRows.size()));

  // TextBox, SpeedBox and PlayButton are the tab stops; the rest take the focus by click only.
  for (QWidget* w : {static_cast<QWidget*>(browse_button_), static_cast<QWidget*>(voice_list_),
                     static_cast<QWidget*>(save_button_)}) {
    w->setFocusPolicy(Qt::ClickFocus);
  }
  for (QWidget* w : {static_cast<QWidget*>(speed_box_), static_cast<QWidget*>(play_button_),
                     static_cast<QWidget*>(text_box_)}) {
    w->setFocusPolicy(Qt::StrongFocus);
  }
  setTabOrder(speed_box_, play_button_);
  setTabOrder(play_button_, text_box_);
  play_button_->setAutoDefault(false);
  save_button_->setAutoDefault(false);
  browse_button_->setAutoDefault(false);

  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect s = screen->geometry();
    move(s.left() + (s.width() - window::kOuterWidth) / 2,
         s.top() + (s.height() - window::kOuterHeight) / 2);
  }
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  // Reaches the window only when the control with the focus did not keep the key.
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  emit closeRequested();
  event->accept();
}

}  // namespace velarn
