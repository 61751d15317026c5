// velarn: the read-aloud window. Process start, the created handler, the message loop.
#include <unistd.h>

#include <QApplication>
#include <cstdio>
#include <memory>
#include <optional>

#include "app/Display.h"
#include "app/ReadingWorkers.h"
#include "app/ProgramDirectory.h"
#include "app/Shutdown.h"
#include "app/Startup.h"
#include "app/waits/Waits.h"
#include "engine/LoadedEngine.h"
#include "engine/PrepareEngine.h"
#include "engine/Session.h"
#include "files/BrowseButton.h"
#include "files/SaveButton.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "playback/SdlSoundOutput.h"
#include "resources/CarriedEngine.h"
#include "ui/qt/ClipboardWatch.h"
#include "ui/qt/MainWindow.h"
#include "ui/qt/QtDialogs.h"
#include "ui/qt/QtEventPump.h"
#include "ui/qt/QtView.h"

int main(int argc, char** argv) {
  using namespace velarn;
  ChooseDisplayPlatform();
  if (const std::optional<std::string> problem = DisplayProblem()) {
    std::fprintf(stderr, "velarn: %s\n", problem->c_str());
    return 2;
  }

  // Process start: relative paths resolve in the program's directory.
  const std::string program_directory = ProgramDirectory();
  if (!program_directory.empty()) (void)::chdir(program_directory.c_str());

  QApplication app(argc, argv);
  ReaderState state;  // the empty clip queues among it
  Waits waits(state);
  QtEventPump pump;
  waits.AttachWindowThread(pump);
  QtDialogs dialogs;
  SdlSoundOutput sound;
  LoadedEngine engine(ReportAndExit(dialogs));
  EngineSession session;
  ReaderContext context{state, waits, sound, engine, dialogs, session};

  MainWindow window;  // hidden and centred
  WindowHandlers handlers;
  handlers.speed_changed = [&context] { OnSpeedBoxChanged(context); };
  handlers.voice_selected = [&context] { OnVoiceSelected(context); };
  handlers.browse_clicked = [&context] { OnBrowseButtonClicked(context); };
  handlers.save_clicked = [&context] { OnSaveButtonClicked(context); };
  handlers.close_requested = [] { RunShutdownSequence(); };
  QtView view(context, window, handlers);
  // The window destroyed without a close request (the session ends) takes the same way out.
  QObject::connect(&app, &QCoreApplication::aboutToQuit, [] { RunShutdownSequence(); });

  std::optional<ClipboardWatch> clipboard;
  ReadingWorkers workers;
  EngineStartup startup{dialogs, engine, {CarriedMscDll(), CarriedSpeexDll()}, program_directory};
  const CreatedHandlerSteps steps{
      .watch_clipboard = [&] { clipboard.emplace(context); },
      .select_first_voice = [&] { state.Update([](SharedFields& f) { f.voice_index = 0; }); },
      .prepare_engine = [&] { return PrepareEngine(startup); },
      .show_window = [&] { window.show(); },
      .start_player = [&] { workers.StartPlayer(context); },
      .start_synth = [&] { workers.StartSynth(context); },
  };
  if (!RunCreatedHandler(steps)) return 1;  // the user has seen why
  return app.exec();
}
