#include "files/SaveButton.h"

#include "playback/ReaderState.h"
#include "ui/Dialogs.h"

namespace velarn {
namespace {

constexpr std::string_view kSaveQuestion = "\xCA\xC7\xB7\xF1\xD0\xE8\xD2\xAA\xCE\xC4\xB1\xBE\xD7\xAA\xD3\xEF\xD2\xF4";  // 是否需要文本转语音
constexpr std::string_view kSaveQuestionTitle =
    "\xD7\xAA\xBB\xBB\xCA\xB1\xC7\xEB\xB2\xBB\xD2\xAA\xBD\xF8\xD0\xD0\xC6\xE4\xCB\xFB\xB2\xD9\xD7\xF7";  // 转换时请不要进行其他操作

}  // namespace

void OnSaveButtonClicked(ReaderContext& context) {
  const MessageAnswer answer = context.dialogs.ShowMessage(
      Text(kSaveQuestion), Text(kSaveQuestionTitle), MessageIcon::kInformation, MessageButtons::kYesNo);
  if (answer != MessageAnswer::kYes) return;
  context.state.Update([](SharedFields& f) {
    f.play_enabled = false;
    f.audio_buffer.clear();
    f.save_button_tag = kTagSet;
    f.text_box_tag = kTagRequested;
  });
}

}  // namespace velarn
