// The BrowseButton and SaveButton handlers on the window thread, with scripted dialogs.
#include <gtest/gtest.h>

#include "files/BrowseButton.h"
#include "files/SaveButton.h"
#include "files/TextImport.h"
#include "resources/WindowDefinition.h"
#include "tests/TestData.h"
#include "tests/support/ReaderRig.h"

namespace velarn {
namespace {

class AnsweringDialogs final : public Dialogs {
 public:
  MessageAnswer ShowMessage(const Text& text, const Text& title, MessageIcon icon,
                            MessageButtons buttons) override {
    questions.push_back({text, title, icon, buttons});
    return answer;
  }
  std::optional<std::string> ShowFileDialog(const FileDialogSettings& settings) override {
    dialogs.push_back(settings);
    return path;
  }
  struct Question {
    Text text, title;
    MessageIcon icon;
    MessageButtons buttons;
  };
  MessageAnswer answer = MessageAnswer::kYes;
  std::optional<std::string> path;
  std::vector<Question> questions;
  std::vector<FileDialogSettings> dialogs;
};

class FileButtonsTest : public testing::Test {
 protected:
  test::ReaderRig rig;
  AnsweringDialogs dialogs;
  ReaderContext context{rig.state, rig.waits, rig.sound, rig.engine, dialogs, rig.session};
};

TEST_F(FileButtonsTest, SaveAnsweredNoChangesNothing) {
  rig.state.Update([](SharedFields& f) { f.audio_buffer = "kept"; });
  const std::uint64_t before = rig.state.Version();
  dialogs.answer = MessageAnswer::kNo;
  OnSaveButtonClicked(context);
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, "\xCA\xC7\xB7\xF1\xD0\xE8\xD2\xAA\xCE\xC4\xB1\xBE\xD7\xAA\xD3\xEF\xD2\xF4");
  EXPECT_EQ(dialogs.questions[0].title,
            "\xD7\xAA\xBB\xBB\xCA\xB1\xC7\xEB\xB2\xBB\xD2\xAA\xBD\xF8\xD0\xD0\xC6\xE4\xCB\xFB\xB2\xD9\xD7\xF7");
  EXPECT_EQ(dialogs.questions[0].icon, MessageIcon::kInformation);
  EXPECT_EQ(dialogs.questions[0].buttons, MessageButtons::kYesNo);
  EXPECT_EQ(rig.state.Version(), before);
  EXPECT_EQ(rig.state.Read([](const SharedFields& f) { return f.audio_buffer; }), "kept");
}

TEST_F(FileButtonsTest, SaveAnsweredYesRequestsASaveRun) {
  rig.state.Update([](SharedFields& f) { f.audio_buffer = "old"; });
  OnSaveButtonClicked(context);
  rig.state.Read([](const SharedFields& f) {
    EXPECT_FALSE(f.play_enabled);
    EXPECT_TRUE(f.save_enabled);
    EXPECT_TRUE(f.audio_buffer.empty());
    EXPECT_EQ(f.save_button_tag, " ");
    EXPECT_EQ(f.text_box_tag, "N");
    EXPECT_EQ(f.play_caption, window::kCaptionPlay);  // untouched
  });
}

TEST_F(FileButtonsTest, BrowseLoadsTheChosenFileAndResetsReading) {
  rig.state.AppendClip("clip", "text");
  rig.state.SetTextBoxTag("Y");
  dialogs.path = TestDataPath("import/utf8_plain.txt");
  OnBrowseButtonClicked(context);
  ASSERT_EQ(dialogs.dialogs.size(), 1u);
  EXPECT_EQ(dialogs.dialogs[0].kind, FileDialogKind::kOpen);
  EXPECT_EQ(dialogs.dialogs[0].filter, window::kTextFileFilter);
  EXPECT_EQ(dialogs.dialogs[0].default_extension, "");
  EXPECT_FALSE(dialogs.dialogs[0].initial_directory.empty());
  EXPECT_EQ(rig.state.TextBoxText(), LoadTextFile(TestDataPath("import/gbk_prose.txt")));
  EXPECT_EQ(rig.state.ClipCount(), 0u);  // the text-changed handler reset the reading
  EXPECT_EQ(rig.state.TextBoxTag(), "");
}

TEST_F(FileButtonsTest, BrowseCancelledOrUtf16KeepsTheText) {
  const Text before = rig.state.TextBoxText();
  dialogs.path = std::nullopt;
  OnBrowseButtonClicked(context);
  dialogs.path = "";
  OnBrowseButtonClicked(context);
  dialogs.path = TestDataPath("import/utf16le_bom.txt");
  OnBrowseButtonClicked(context);
  EXPECT_EQ(rig.state.TextBoxText(), before);
}

TEST_F(FileButtonsTest, BrowseOfAnEmptyFileEmptiesTheText) {
  dialogs.path = TestDataPath("import/empty.txt");
  OnBrowseButtonClicked(context);
  EXPECT_EQ(rig.state.TextBoxText(), "");
}

}  // namespace
}  // namespace velarn
