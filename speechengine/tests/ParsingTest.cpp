#include <gtest/gtest.h>

#include <string>

#include "speechengine/Parsing.h"

namespace velarn::speechengine {
namespace {

constexpr const char* kProgramConfig =
    "server_url=tts.example.net:80/index.htm,appid=a3f1c7e2,timeout=10000,coding_libs=speex.dll,"
    "max_text_size=2048";
constexpr const char* kProgramParams =
    "aue=raw,auf=audio/L16;rate=16000,bgs=0,ent=intp65,pitch=70,speed=99,tte=GB2312,vcn=x_yiping,"
    "volume=50";

TEST(EngineConfigTest, TheProgramsConfigurationIsRead) {
  const ConfigResult result = ParseEngineConfig(kProgramConfig);
  ASSERT_TRUE(result.config) << result.error;
  EXPECT_EQ(result.config->server_url, "tts.example.net:80/index.htm");
  EXPECT_EQ(result.config->appid, "a3f1c7e2");
  EXPECT_EQ(result.config->timeout_ms, 10000);
  EXPECT_EQ(result.config->coding_libs, "speex.dll");
  EXPECT_EQ(result.config->max_text_size, 2048u);
}

struct ConfigCase {
  const char* text;
  bool accepted;
};

class EngineConfigCases : public ::testing::TestWithParam<ConfigCase> {};

TEST_P(EngineConfigCases, AcceptsOrRefuses) {
  const ConfigResult result = ParseEngineConfig(GetParam().text);
  EXPECT_EQ(result.config.has_value(), GetParam().accepted)
      << GetParam().text << ": " << result.error;
  EXPECT_EQ(result.error.empty(), GetParam().accepted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, EngineConfigCases,
    ::testing::Values(
        ConfigCase{"appid=x,coding_libs=speex.dll", true},
        ConfigCase{"server_url=10.0.0.1:1028/index.htm,appid=x,coding_libs=speex.dll", true},
        ConfigCase{"appid=x,coding_libs=speex.dll,unknown=whatever,other=", true},
        ConfigCase{" appid =x,coding_libs=speex.dll", true},
        ConfigCase{"coding_libs=speex.dll", false},             // no appid
        ConfigCase{"appid=,coding_libs=speex.dll", false},      // empty appid
        ConfigCase{"appid=x", false},                           // no codec library
        ConfigCase{"appid=x,coding_libs=../speex.dll", false},  // not a plain name
        ConfigCase{"appid=x,coding_libs=/tmp/speex.dll", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,junk", false},  // malformed pair
        ConfigCase{"appid=x,coding_libs=speex.dll,", false},      // empty pair
        ConfigCase{"=x,appid=x,coding_libs=speex.dll", false},    // empty key
        ConfigCase{"", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,server_url=http://h:80/index.htm", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,server_url=host/index.htm", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,server_url=host:80", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,server_url=:80/index.htm", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,server_url=host:0/index.htm", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,server_url=host:65536/index.htm", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,timeout=abc", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,timeout=0", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,max_text_size=0", false},
        ConfigCase{"appid=x,coding_libs=speex.dll,max_text_size=99999999999999999999", false}));

TEST(SessionParamsTest, TheProgramsParametersAreRead) {
  const ParamsResult result = ParseSessionParams(kProgramParams);
  ASSERT_TRUE(result.params) << result.error;
  EXPECT_EQ(result.params->voice, Voice::kYiping);
  EXPECT_EQ(result.params->speed, 99);
  EXPECT_EQ(result.params->pitch, 70);
  EXPECT_EQ(result.params->volume, 50);
  EXPECT_EQ(result.params->sample_rate, 16000);
  EXPECT_EQ(result.params->encoding, TextEncoding::kGbk);
}

TEST(SessionParamsTest, EveryVoiceRateAndEncoding) {
  EXPECT_EQ(ParseSessionParams("vcn=x_xiaoyuan").params->voice, Voice::kXiaoyuan);
  EXPECT_EQ(ParseSessionParams("vcn=x_binge").params->voice, Voice::kBinge);
  EXPECT_EQ(ParseSessionParams("vcn=x_nannan").params->voice, Voice::kNannan);
  EXPECT_EQ(ParseSessionParams("vcn=x_nannan,auf=audio/L16;rate=8000").params->sample_rate, 8000);
  EXPECT_EQ(ParseSessionParams("vcn=x_nannan,tte=UTF8").params->encoding, TextEncoding::kUtf8);
  EXPECT_EQ(ParseSessionParams("vcn=x_nannan,tte=gbk").params->encoding, TextEncoding::kGbk);
}

TEST(SessionParamsTest, RefusedStrings) {
  for (const char* text :
       {"", "vcn=x_nobody", "speed=50", "aue=raw", "vcn=x_binge,aue=speex",
        "vcn=x_binge,auf=audio/L16;rate=44100", "vcn=x_binge,tte=BIG5", "garbage,vcn=x_binge"}) {
    const ParamsResult result = ParseSessionParams(text);
    EXPECT_FALSE(result.params) << text;
    EXPECT_FALSE(result.error.empty()) << text;
  }
}

// Whatever SpeedBox holds reaches the engine; a session never fails on it.
TEST(SessionParamsTest, SpeedBoxTextNeverFails) {
  struct Case {
    std::string speed;
    int expected;
  };
  const Case cases[] = {
      {"99", 99},
      {"0", 0},
      {"100", 100},
      {"abc", 50},
      {"", 50},
      {"50x", 50},
      {"  7", 7},
      {"\xA3\xB9\xA3\xB5", 95},  // full-width 95
      {"-5", 0},
      {"+20", 20},
      {"101", 100},
      {"-", 50},
      {"9999999999999999999999", 100},
      {"1,2", 1},
      {"a=b", 50},
  };
  for (const Case& c : cases) {
    const std::string text =
        "aue=raw,pitch=70,speed=" + c.speed + ",tte=GB2312,vcn=x_binge,volume=50";
    const ParamsResult result = ParseSessionParams(text);
    ASSERT_TRUE(result.params) << c.speed << ": " << result.error;
    EXPECT_EQ(result.params->speed, c.expected) << c.speed;
    EXPECT_EQ(result.params->voice, Voice::kBinge) << c.speed;
  }
}

TEST(SessionParamsTest, TheLastOfAKeyCounts) {
  EXPECT_EQ(ParseSessionParams("vcn=x_binge,vcn=x_nannan").params->voice, Voice::kNannan);
}

TEST(DecodeTextTest, GbkBecomesUtf8AndBadBytesBecomeSubstitutes) {
  EXPECT_EQ(DecodeText("\xD6\xD0\xCE\xC4", TextEncoding::kGbk),
            "\xE4\xB8\xAD\xE6\x96\x87");  // 中文
  EXPECT_EQ(DecodeText("a\xFF"
                       "b",
                       TextEncoding::kGbk),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(DecodeText(std::string("a\0b", 3), TextEncoding::kGbk), "a b");
  EXPECT_EQ(DecodeText("\xD6", TextEncoding::kGbk), "\xEF\xBF\xBD");  // cut-off character
}

TEST(DecodeTextTest, Utf8IsCheckedStrictly) {
  const std::string good = "\xE4\xB8\xAD \xF0\x9F\x98\x80";
  EXPECT_EQ(DecodeText(good, TextEncoding::kUtf8), good);
  EXPECT_EQ(SanitizeUtf8("\xC0\xAF"), "\xEF\xBF\xBD\xEF\xBF\xBD");                  // overlong
  EXPECT_EQ(SanitizeUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // surrogate
  EXPECT_EQ(SanitizeUtf8("\xF4\x90\x80\x80").find("\xF4"), std::string::npos);  // above U+10FFFF
  EXPECT_EQ(SanitizeUtf8("\xE4\xB8"), "\xEF\xBF\xBD\xEF\xBF\xBD");              // cut off
  EXPECT_EQ(DecodeText(std::string("\0", 1), TextEncoding::kUtf8), " ");
}

TEST(SplitPiecesTest, PiecesCoverTheTextAtCharacterBoundaries) {
  std::string text;
  for (int i = 0; i < 300; ++i)
    text += i % 17 == 16 ? "\xEF\xBC\x8C" : "\xE4\xB8\xAD";  // 中 and ，
  for (std::size_t limit : {1u, 4u, 5u, 64u, 100u, 2048u}) {
    const auto pieces = SplitPieces(text, limit);
    std::string joined;
    for (const std::string& piece : pieces) {
      EXPECT_LE(piece.size(), std::max<std::size_t>(limit, 4)) << limit;
      EXPECT_EQ(SanitizeUtf8(piece), piece) << "cut inside a character at limit " << limit;
      joined += piece;
    }
    EXPECT_EQ(joined, text) << limit;
  }
  EXPECT_TRUE(SplitPieces("", 10).empty());
  EXPECT_EQ(SplitPieces("short", 10).size(), 1u);
}

TEST(SplitPiecesTest, PrefersToCutAfterPunctuation) {
  const std::string text = "abcdefgh, ijklmnopqrstuvwxyz";
  const auto pieces = SplitPieces(text, 16);
  ASSERT_GE(pieces.size(), 2u);
  EXPECT_EQ(pieces[0], "abcdefgh, ");
}

}  // namespace
}  // namespace velarn::speechengine
