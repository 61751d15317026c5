#include "app/Startup.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/Display.h"

namespace velarn {
namespace {

std::vector<std::string> RunRecorded(bool engine_starts) {
  std::vector<std::string> order;
  const CreatedHandlerSteps steps{
      .watch_clipboard = [&] { order.push_back("clipboard"); },
      .select_first_voice = [&] { order.push_back("voice"); },
      .prepare_engine =
          [&] {
            order.push_back("engine");
            return engine_starts;
          },
      .show_window = [&] { order.push_back("show"); },
      .start_player = [&] { order.push_back("player"); },
      .start_synth = [&] { order.push_back("synth"); },
  };
  EXPECT_EQ(RunCreatedHandler(steps), engine_starts);
  return order;
}

TEST(CreatedHandlerTest, RunsItsStepsInOrderAndStopsAfterAFailedEngineStart) {
  EXPECT_EQ(RunRecorded(true),
            (std::vector<std::string>{"clipboard", "voice", "engine", "show", "player", "synth"}));
  EXPECT_EQ(RunRecorded(false), (std::vector<std::string>{"clipboard", "voice", "engine"}));
}

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
 public:
  ScopedEnv(std::initializer_list<std::pair<const char*, const char*>> values) {
    for (const auto& [name, value] : values) {
      const char* old = std::getenv(name);
      saved_.push_back({name, old != nullptr, old != nullptr ? old : ""});
      if (value != nullptr) {
        ::setenv(name, value, 1);
      } else {
        ::unsetenv(name);
      }
    }
  }
  ~ScopedEnv() {
    for (const Saved& s : saved_) {
      if (s.had) {
        ::setenv(s.name.c_str(), s.value.c_str(), 1);
      } else {
        ::unsetenv(s.name.c_str());
      }
    }
  }

 private:
  struct Saved {
    std::string name;
    bool had;
    std::string value;
  };
  std::vector<Saved> saved_;
};

std::string Platform() {
  const char* p = std::getenv("QT_QPA_PLATFORM");
  return p == nullptr ? "<unset>" : p;
}

TEST(DisplayTest, AWaylandSessionUsesXcbUnlessTheUserChoseAPlatform) {
  {
    ScopedEnv env{{"QT_QPA_PLATFORM", nullptr}, {"WAYLAND_DISPLAY", "wayland-0"}};
    ChooseDisplayPlatform();
    EXPECT_EQ(Platform(), "xcb");
  }
  {
    ScopedEnv env{{"QT_QPA_PLATFORM", nullptr}, {"WAYLAND_DISPLAY", nullptr},
                  {"XDG_SESSION_TYPE", "wayland"}};
    ChooseDisplayPlatform();
    EXPECT_EQ(Platform(), "xcb");
  }
  {
    ScopedEnv env{{"QT_QPA_PLATFORM", "wayland"}, {"WAYLAND_DISPLAY", "wayland-0"}};
    ChooseDisplayPlatform();
    EXPECT_EQ(Platform(), "wayland");
  }
  {
    ScopedEnv env{{"QT_QPA_PLATFORM", nullptr}, {"WAYLAND_DISPLAY", nullptr},
                  {"XDG_SESSION_TYPE", "x11"}};
    ChooseDisplayPlatform();
    EXPECT_EQ(Platform(), "<unset>");
  }
}

TEST(DisplayTest, ADisplayThatIsMissingOrDoesNotAnswerIsReportedInOneLine) {
  {
    ScopedEnv env{{"QT_QPA_PLATFORM", nullptr}, {"DISPLAY", nullptr}};
    const auto problem = DisplayProblem();
    ASSERT_TRUE(problem.has_value());
    EXPECT_EQ(problem->find('\n'), std::string::npos);
  }
  {
    ScopedEnv env{{"QT_QPA_PLATFORM", "xcb"}, {"DISPLAY", ":4711"}};
    const auto problem = DisplayProblem();
    ASSERT_TRUE(problem.has_value());
    EXPECT_NE(problem->find(":4711"), std::string::npos);
  }
  {
    ScopedEnv env{{"QT_QPA_PLATFORM", "offscreen"}, {"DISPLAY", nullptr}};
    EXPECT_FALSE(DisplayProblem().has_value());  // the user's platform needs no X display
  }
}

}  // namespace
}  // namespace velarn
