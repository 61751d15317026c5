// MainWindow: the frame and its controls at the positions and with the contents of the window
// definition. It only shows and reports; the view binds it to the shared model.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>

namespace velarn {

// TextBox: multi-line, wrapping, its selection hidden while it lacks the focus.
class TextBoxEdit final : public QPlainTextEdit {
  Q_OBJECT
 public:
  explicit TextBoxEdit(QWidget* parent);
 signals:
  void lostFocus(Qt::FocusReason reason);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
};

// PlayButton. A press after which the button does not hold the focus (TextBox took it back
// while reading), or whose button loses the focus before the release, is no click: the
// lost-focus handler has already stopped the reading, and the click must not resume it.
class PlayButtonWidget final : public QPushButton {
  Q_OBJECT
 public:
  PlayButtonWidget(const QString& caption, QWidget* parent);
 signals:
  void lostFocus(Qt::FocusReason reason);

 protected:
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
};

class MainWindow final : public QWidget {
  Q_OBJECT
 public:
  // Created hidden and centred on the primary screen.
  MainWindow();

  QLineEdit* SpeedBox() const { return speed_box_; }
  QLabel* SpeedLabel() const { return speed_label_; }
  QPushButton* BrowseButton() const { return browse_button_; }
  QLabel* VoiceLabel() const { return voice_label_; }
  QComboBox* VoiceList() const { return voice_list_; }
  PlayButtonWidget* PlayButton() const { return play_button_; }
  QPushButton* SaveButton() const { return save_button_; }
  TextBoxEdit* TextBox() const { return text_box_; }

 signals:
  // The user asked to close the window (close button, system menu, Esc). The window closes
  // only if nothing connected ends the process first.
  void closeRequested();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QLineEdit* speed_box_;
  QLabel* speed_label_;
  QPushButton* browse_button_;
  QLabel* voice_label_;
  QComboBox* voice_list_;
  PlayButtonWidget* play_button_;
  QPushButton* save_button_;
  TextBoxEdit* text_box_;
};

}  // namespace velarn
