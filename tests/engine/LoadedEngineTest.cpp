#include "engine/LoadedEngine.h"

#include "ui/Dialogs.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <vector>

namespace velarn {
namespace {

struct Missing {
  std::string library;
  std::string entry_point;
};

// The fake library's own report of overlapping calls; the same path gives the same handle.
int Overlaps() {
  void* handle = dlopen(FAKE_MSC_PATH, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return -1;
  auto overlaps = reinterpret_cast<int (*)()>(dlsym(handle, "FakeOverlaps"));
  const int count = overlaps != nullptr ? overlaps() : -1;
  dlclose(handle);
  return count;
}

TEST(LoadedEngine, CallsGoToTheBoundLibraryAndResultsAreCopies) {
  std::vector<Missing> missing;
  LoadedEngine engine([&](const std::string& l, const std::string& e) { missing.push_back({l, e}); });
  engine.Bind(FAKE_MSC_PATH);
  ASSERT_TRUE(engine.FullyBound());

  EXPECT_EQ(engine.Init("server_url=x"), 0);
  std::int32_t error = -1;
  const Text session = engine.SessionBegin("ok", error);
  EXPECT_EQ(error, 0);
  EXPECT_EQ(session, "session-1");
  EXPECT_EQ(engine.TextPut(session, std::string_view("abcdef").substr(0, 3), ""), 3);

  const EngineAudio first = engine.AudioGet(session);
  const EngineAudio second = engine.AudioGet(session);
  EXPECT_EQ(first.data, std::string(64, 'a'));  // not overwritten by the engine's next call
  EXPECT_EQ(second.data, std::string(64, 'b'));
  EXPECT_EQ(first.status, 2);

  EXPECT_EQ(engine.SessionEnd(session, ""), 0);
  EXPECT_EQ(session, "session-1");  // the engine rewrote its own buffer, not our copy
  engine.SessionBegin("fail", error);
  EXPECT_EQ(error, 10);
  EXPECT_TRUE(missing.empty());
}

TEST(LoadedEngine, CallsFromTwoThreadsNeverOverlapInTheEngine) {
  LoadedEngine engine(nullptr);
  engine.Bind(FAKE_MSC_PATH);
  ASSERT_EQ(Overlaps(), 0);
  // The window thread restarting sessions while SynthThread puts text and fetches audio.
  std::thread restarts([&] {
    for (int i = 0; i < 200; ++i) {
      std::int32_t error = 0;
      engine.SessionEnd("session-1", "");
      engine.SessionBegin("ok", error);
    }
  });
  for (int i = 0; i < 200; ++i) {
    engine.TextPut("session-1", "text", "");
    engine.AudioGet("session-1");
  }
  restarts.join();
  EXPECT_EQ(Overlaps(), 0);
}

TEST(LoadedEngine, AnUnboundEntryPointIsReportedAtItsFirstCall) {
  std::vector<Missing> missing;
  LoadedEngine engine([&](const std::string& l, const std::string& e) { missing.push_back({l, e}); });
  engine.Bind("/nonexistent/velarn/msc.dll");
  EXPECT_FALSE(engine.FullyBound());

  EXPECT_EQ(engine.Init("server_url=x"), -1);  // the program's handler never returns
  ASSERT_EQ(missing.size(), 1u);
  EXPECT_EQ(missing[0].library, "/nonexistent/velarn/msc.dll");
  EXPECT_EQ(missing[0].entry_point, "QTTSInit");

  std::int32_t error = 0;
  EXPECT_EQ(engine.SessionBegin("ok", error), "");
  EXPECT_EQ(engine.AudioGet("s").data, "");
  ASSERT_EQ(missing.size(), 3u);
  EXPECT_EQ(missing[2].entry_point, "QTTSAudioGet");
}

TEST(LoadedEngine, TheMissingEntryPointMessageNamesLibraryAndEntryPoint) {
  const Text message = MissingEntryPointMessage("/tmp/velarn-0/msc.dll", "QTTSInit");
  EXPECT_NE(FindText(message, "/tmp/velarn-0/msc.dll"), 0u);
  EXPECT_NE(FindText(message, "QTTSInit"), 0u);
  // A UTF-8 path is shown in GBK, like every text of the program (朗读: C0CA B6C1).
  EXPECT_NE(FindText(MissingEntryPointMessage("/tmp/\xE6\x9C\x97\xE8\xAF\xBB/msc.dll", "QTTSInit"),
                     "/tmp/\xC0\xCA\xB6\xC1/msc.dll"),
            0u);
}

// The program's handler: the message names library and entry point, then exit code 1.
TEST(LoadedEngineDeathTest, TheProgramsReportEndsTheProcessNonZero) {
  class StderrDialogs final : public Dialogs {
   public:
    MessageAnswer ShowMessage(const Text& text, const Text&, MessageIcon, MessageButtons) override {
      std::fprintf(stderr, "shown: %s\n", GbkToUtf8(text).c_str());
      return MessageAnswer::kOk;
    }
    std::optional<std::string> ShowFileDialog(const FileDialogSettings&) override { return std::nullopt; }
  } dialogs;
  LoadedEngine engine(ReportAndExit(dialogs));
  engine.Bind("/nonexistent/velarn/msc.dll");
  EXPECT_EXIT(engine.Init("server_url=x"), ::testing::ExitedWithCode(1),
              "shown: .*/nonexistent/velarn/msc.dll.*QTTSInit");
}

}  // namespace
}  // namespace velarn
