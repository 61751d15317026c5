// Session configuration: the parameter string, the restart order, a failed begin, and the
// SpeedBox and VoiceList handlers on the headless view.
#include <gtest/gtest.h>

#include "engine/Session.h"
#include "tests/support/ReaderRig.h"
#include "ui/HeadlessView.h"

namespace velarn {
namespace {

TEST(SessionTest, ParamsOfTheFirstVoiceAndSpeed99) {
  EXPECT_EQ(BuildSessionParams("99", "x_yiping"),
            "aue=raw,auf=audio/L16;rate=16000,bgs=0,ent=intp65,pitch=70,speed=99,tte=GB2312,"
            "vcn=x_yiping,volume=50");
}

TEST(SessionTest, RestartEndsTheOpenSessionFirst) {
  test::ReaderRig rig;
  rig.session.EndSession(rig.engine);  // no session yet: no engine call
  rig.session.RestartSession(rig.context);
  rig.session.RestartSession(rig.context);
  EXPECT_EQ(rig.engine.Calls(), (std::vector<std::string>{"begin", "end s1", "begin"}));
  EXPECT_EQ(rig.session.Id(), "s2");
  EXPECT_EQ(rig.session.Params(), rig.engine.Begins().back());
  EXPECT_TRUE(rig.dialogs.Messages().empty());
}

TEST(SessionTest, FailedBeginShowsTheMessageAndGoesOn) {
  test::ReaderRig rig;
  rig.engine.script().begin_error = 10114;
  rig.session.RestartSession(rig.context);
  EXPECT_EQ(rig.session.Error(), 10114);
  EXPECT_EQ(rig.dialogs.Messages(), std::vector<Text>{Text(kSessionFailedMessage)});
  rig.engine.script().begin_error = 0;
  rig.session.RestartSession(rig.context);  // tried again from scratch
  EXPECT_EQ(rig.session.Error(), 0);
  EXPECT_EQ(rig.dialogs.Messages().size(), 1u);
}

TEST(SessionTest, NoSelectedRowKeepsThePreviousVoice) {
  test::ReaderRig rig;
  rig.state.Update([](SharedFields& f) { f.voice_index = 3; });
  rig.session.RestartSession(rig.context);
  rig.state.Update([](SharedFields& f) { f.voice_index = -1; });
  rig.session.RestartSession(rig.context);
  EXPECT_NE(rig.engine.Begins().back().find(",vcn=x_nannan,"), Text::npos);
}

TEST(SpeedBoxTest, KeepsZeroToHundredElse99) {
  struct Case {
    Text typed;
    Text kept;
  };
  const Case cases[] = {
      {"101", "99"}, {"-1", "99"}, {"100", "100"}, {"0", "0"}, {"", ""},
      {"\xA3\xB9\xA3\xB5", "\xA3\xB9\xA3\xB5"},  // ９５ reads as 95 and is sent full-width
      {"abc", "abc"}, {"50x", "50x"}, {"\xA3\xB1\xA3\xB0\xA3\xB1", "99"},  // １０１
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.typed));
    test::ReaderRig rig;
    HeadlessView view(rig.state, rig.waits);
    rig.state.Update([&](SharedFields& f) { f.speed_box_text = c.typed; });
    OnSpeedBoxChanged(rig.context);
    EXPECT_EQ(rig.state.Read([](const SharedFields& f) { return f.speed_box_text; }), c.kept);
    ASSERT_EQ(rig.engine.Begins().size(), 1u);  // the session restarts in every case
    EXPECT_NE(rig.engine.Begins()[0].find(",speed=" + c.kept + ",tte="), Text::npos);
  }
}

}  // namespace
}  // namespace velarn
