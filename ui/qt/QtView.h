// The Qt view of the shared model: shows the model in MainWindow and hands the user's events to
// the handlers. Workers change the model from their threads; one listener turns each change
// into a queued call on the GUI thread, and the view reads the small fields with
// ViewSnapshot() and the text only when its serial moved. No widget is touched off the GUI
// thread, and the view never blocks on a worker.
#pragma once

#include <QObject>
#include <QTextDocument>
#include <QThreadPool>
#include <memory>
#include <mutex>
#include <vector>
#include <atomic>
#include <cstdint>
#include <functional>

#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "text/Text.h"

namespace velarn {

class MainWindow;

// The handlers of other parts of the program that the window's events run; any may be empty.
struct WindowHandlers {
  std::function<void()> speed_changed;   // SpeedBox edited; the model holds the new text
  std::function<void()> voice_selected;  // a VoiceList row chosen; the model holds its index
  std::function<void()> browse_clicked;
  std::function<void()> save_clicked;
  std::function<void()> close_requested;  // the shutdown sequence
};

class QtView final : public QObject {
  Q_OBJECT
 public:
  // On the GUI thread, before the workers start.
  QtView(ReaderContext& context, MainWindow& window, WindowHandlers handlers);
  ~QtView() override;

  // Brings the window up to date with the model at once (GUI thread).
  void Refresh();

 signals:
  // After every refresh of the window from the model (GUI thread).
  void refreshed();

 private:
  void OnModelChanged();
  void Apply(std::uint64_t pass);
  void ApplyFocusRequest(std::uint64_t requests);
  // Builds the document of a long text on the loader, then shows it (GUI thread).
  void LoadAside(std::uint64_t serial, Text text);
  void ShowBuiltDocument();
  void OnUserEditedText();
  void OnTextBoxLostFocus(Qt::FocusReason reason);
  void OnPlayButtonLostFocus(Qt::FocusReason reason);

  ReaderContext& context_;
  MainWindow& window_;
  WindowHandlers handlers_;
  std::atomic<bool> refresh_queued_{false};
  std::uint64_t passes_ = 0;  // refresh passes begun, nested ones included
  std::uint64_t text_serial_ = 0;
  std::uint64_t selection_serial_ = 0;
  // The QString position of a byte of the model's text (by its serial), where the last
  // selection started.
  struct Position {
    std::uint64_t serial = 0;
    std::size_t byte = 0;
    qsizetype position = 0;
  };
  Position positions_;
  std::uint64_t loading_serial_ = 0;  // the text whose document is being built, or 0
  bool reselect_ = false;             // a built document shown: its selection is due
  struct Built {
    std::uint64_t serial = 0;
    std::unique_ptr<QTextDocument> document;
  };
  std::mutex built_mutex_;
  std::vector<Built> built_;  // handed from the loader to the GUI thread
  QThreadPool loader_;
  std::uint64_t focus_requests_ = 0;
};

}  // namespace velarn
