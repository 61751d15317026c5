#include "files/BrowseButton.h"

#include "app/ProgramDirectory.h"
#include "files/TextImport.h"
#include "playback/PlayControl.h"
#include "playback/ReaderState.h"
#include "resources/WindowDefinition.h"
#include "ui/Dialogs.h"

namespace velarn {

void OnBrowseButtonClicked(ReaderContext& context) {
  context.state.RequestTextBoxFocus();
  FileDialogSettings settings;
  settings.kind = FileDialogKind::kOpen;
  settings.filter = Text(window::kTextFileFilter);
  settings.initial_directory = ProgramDirectory();
  const std::optional<std::string> path = context.dialogs.ShowFileDialog(settings);
  if (!path || path->empty()) return;
  if (std::optional<Text> text = LoadTextFile(*path)) WriteTextBox(context, std::move(*text));
}

}  // namespace velarn
