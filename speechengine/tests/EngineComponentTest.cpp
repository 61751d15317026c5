// msc.dll and speex.dll as the program uses them: copied into a scratch directory, loaded
// with dlopen from there, with that directory as the current directory.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "speechengine/tests/EngineTestSupport.h"
#include "text/Text.h"

namespace velarn::speechengine::testing {
namespace {

namespace fs = std::filesystem;

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CopyBuiltLibraries(scratch_.path());
    previous_ = fs::current_path();
    fs::current_path(scratch_.path());
  }
  void TearDown() override {
    engine_.reset();
    fs::current_path(previous_);
  }
  EngineLibrary& Load() {
    engine_ = std::make_unique<EngineLibrary>(scratch_.path() / "msc.dll");
    return *engine_;
  }
  EngineLibrary& Started() {
    EngineLibrary& engine = Load();
    EXPECT_EQ(engine.Init(kConfig), MSC_SUCCESS);
    return engine;
  }

  ScratchDirectory scratch_;
  fs::path previous_;
  std::unique_ptr<EngineLibrary> engine_;
};

TEST_F(EngineTest, InitsOnceWithTheProgramsConfigurationAndAgainAfterFini) {
  EngineLibrary& engine = Started();
  EXPECT_TRUE(fs::is_directory(scratch_.path() / MSC_ENGINE_CACHE_DIR));
  EXPECT_EQ(engine.Init(kConfig), MSC_ERROR_ALREADY_INITIALIZED);
  EXPECT_EQ(engine.Fini(), MSC_SUCCESS);
  EXPECT_EQ(engine.Fini(), MSC_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(engine.Init(kConfig), MSC_SUCCESS);
  const std::string session = BeginSession(engine, Params("x_yiping"));
  EXPECT_FALSE(Synthesize(engine, session.c_str(), GbkSentence()).pcm.empty());
  EXPECT_EQ(engine.Fini(), MSC_SUCCESS);
}

TEST_F(EngineTest, BadConfigurationsAreRefused) {
  EngineLibrary& engine = Load();
  const std::map<std::string, int> cases = {
      {"server_url=tts.example.net:80/index.htm,timeout=10000,coding_libs=speex.dll",
       MSC_ERROR_INVALID_CONFIG},
      {"appid=a,coding_libs=speex.dll,broken", MSC_ERROR_INVALID_CONFIG},
      {"server_url=http://tts.example.net/index.htm,appid=a,coding_libs=speex.dll",
       MSC_ERROR_INVALID_CONFIG},
      {"appid=a,coding_libs=other.dll", MSC_ERROR_CODEC_UNAVAILABLE},
  };
  for (const auto& [config, expected] : cases)
    EXPECT_EQ(engine.Init(config.c_str()), expected) << config;
  EXPECT_EQ(engine.Init(nullptr), MSC_ERROR_NULL_ARGUMENT);
  int error = 0;
  EXPECT_EQ(engine.SessionBegin(Params("x_yiping").c_str(), &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(engine.Init(kConfig), MSC_SUCCESS);  // nothing was left half started
}

TEST_F(EngineTest, TheCodecLibraryMustLieBesideTheEngineWithItsEntryPoints) {
  EngineLibrary& engine = Load();
  fs::remove(scratch_.path() / "speex.dll");
  EXPECT_EQ(engine.Init(kConfig), MSC_ERROR_CODEC_UNAVAILABLE);
  // An ELF library of the right name without the codec's entry points.
  fs::copy_file(scratch_.path() / "msc.dll", scratch_.path() / "speex.dll");
  EXPECT_EQ(engine.Init(kConfig), MSC_ERROR_CODEC_UNAVAILABLE);
  // Not a library at all.
  fs::remove(scratch_.path() / "speex.dll");
  std::ofstream(scratch_.path() / "speex.dll") << "not a library";
  EXPECT_EQ(engine.Init(kConfig), MSC_ERROR_CODEC_UNAVAILABLE);
}

TEST_F(EngineTest, CallsBeforeInitUnknownSessionsAndNullPointersAreErrors) {
  EngineLibrary& engine = Load();
  unsigned length = 99;
  int status = 0;
  int error = 0;
  EXPECT_EQ(engine.TextPut("velarn-tts-0000000000000001", "a", 1, ""), MSC_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(engine.AudioGet("velarn-tts-0000000000000001", &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(status, MSC_TTS_STATUS_COMPLETE);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(engine.SessionEnd("x", ""), MSC_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(engine.Fini(), MSC_ERROR_NOT_INITIALIZED);

  ASSERT_EQ(engine.Init(kConfig), MSC_SUCCESS);
  EXPECT_EQ(engine.SessionBegin(nullptr, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(engine.SessionBegin(Params("x_yiping").c_str(), nullptr) != nullptr,
            true);  // error pointer optional
  const std::string session = BeginSession(engine, Params("x_yiping"));
  EXPECT_EQ(engine.TextPut(nullptr, "a", 1, ""), MSC_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(engine.TextPut(session.c_str(), nullptr, 5, ""), MSC_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(engine.TextPut(session.c_str(), nullptr, 0, nullptr), MSC_SUCCESS);  // empty text
  EXPECT_EQ(engine.TextPut("nobody", "a", 1, ""), MSC_ERROR_UNKNOWN_SESSION);
  EXPECT_EQ(engine.AudioGet(nullptr, &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(status, MSC_TTS_STATUS_COMPLETE);
  EXPECT_EQ(engine.AudioGet(session.c_str(), nullptr, &status, &error), nullptr);
  EXPECT_EQ(engine.AudioGet("nobody", &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_UNKNOWN_SESSION);
  EXPECT_EQ(status, MSC_TTS_STATUS_COMPLETE);
  EXPECT_EQ(engine.SessionEnd(nullptr, nullptr), MSC_ERROR_NULL_ARGUMENT);
  EXPECT_EQ(engine.SessionEnd(session.c_str(), nullptr), MSC_SUCCESS);
  EXPECT_EQ(engine.SessionEnd(session.c_str(), ""), MSC_ERROR_UNKNOWN_SESSION);
  EXPECT_EQ(engine.TextPut(session.c_str(), "a", 1, ""), MSC_ERROR_UNKNOWN_SESSION);
  EXPECT_EQ(engine.AudioGet(session.c_str(), &length, &status, &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_UNKNOWN_SESSION);
}

TEST_F(EngineTest, SessionsNeedAKnownVoiceAndAtMostEightAreOpen) {
  EngineLibrary& engine = Started();
  int error = 0;
  for (const std::string& params :
       {Params("x_nobody"), Params(""), std::string("aue=raw,speed=50"),
        Params("x_binge", "50", ",auf=audio/L16;rate=44100"), Params("x_binge", "50", ",tte=BIG5"),
        Params("x_binge", "50", ",aue=speex")}) {
    EXPECT_EQ(engine.SessionBegin(params.c_str(), &error), nullptr) << params;
    EXPECT_EQ(error, MSC_ERROR_INVALID_PARAMS) << params;
  }
  std::vector<std::string> sessions;
  for (const char* speed : {"99", "abc", "", "50x", "\xA3\xB9\xA3\xB5", "-1", "101", "1,2"}) {
    sessions.push_back(BeginSession(engine, Params("x_xiaoyuan", speed)));
  }
  EXPECT_EQ(engine.SessionBegin(Params("x_binge").c_str(), &error), nullptr);
  EXPECT_EQ(error, MSC_ERROR_TOO_MANY_SESSIONS);
  EXPECT_EQ(engine.SessionEnd(sessions.front().c_str(), ""), MSC_SUCCESS);
  const std::string again = BeginSession(engine, Params("x_binge"));
  EXPECT_NE(again, sessions.front());  // ids are never reused
}

TEST_F(EngineTest, AudioComesInPiecesOfAtMostASecondWithTheLastMarked) {
  EngineLibrary& engine = Started();
  const std::string session = BeginSession(engine, Params("x_yiping"));
  for (int round = 0; round < 2; ++round) {  // the second comes from the cache
    const Speech speech = Synthesize(engine, session.c_str(), GbkSentence());
    EXPECT_EQ(speech.error, 0);
    ASSERT_FALSE(speech.statuses.empty());
    EXPECT_EQ(speech.statuses.back(), MSC_TTS_STATUS_COMPLETE);
    for (std::size_t i = 0; i + 1 < speech.statuses.size(); ++i)
      EXPECT_EQ(speech.statuses[i], MSC_TTS_STATUS_CONTINUE);
    for (const unsigned length : speech.lengths) EXPECT_LE(length, 32000u);
    EXPECT_GT(Seconds(speech.pcm, 16000), 3.0);
    EXPECT_EQ(speech.pcm.size() % 2, 0u);
    // Asked again after the end: nothing left, still complete.
    unsigned length = 1;
    int status = 0;
    int error = 1;
    EXPECT_EQ(engine.AudioGet(session.c_str(), &length, &status, &error), nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(status, MSC_TTS_STATUS_COMPLETE);
    EXPECT_EQ(error, 0);
  }
  // An empty text is complete at once.
  const Speech empty = Synthesize(engine, session.c_str(), "");
  EXPECT_EQ(empty.statuses, std::vector<int>{MSC_TTS_STATUS_COMPLETE});
  EXPECT_TRUE(empty.pcm.empty());
}

TEST_F(EngineTest, TheFourVoicesAreToldApartByPitch) {
  EngineLibrary& engine = Started();
  std::map<std::string, double> pitch;
  for (const char* voice : {"x_yiping", "x_xiaoyuan", "x_binge", "x_nannan"}) {
    const std::string session = BeginSession(engine, Params(voice));
    pitch[voice] = MedianPitchHz(Synthesize(engine, session.c_str(), GbkSentence()).pcm, 16000);
    engine.SessionEnd(session.c_str(), "");
    RecordProperty(std::string(voice) + "_hz", std::to_string(pitch[voice]));
  }
  EXPECT_GT(pitch["x_binge"], 50.0);
  EXPECT_LT(pitch["x_binge"], pitch["x_yiping"] * 0.8);
  EXPECT_LT(pitch["x_binge"], pitch["x_xiaoyuan"] * 0.8);
  EXPECT_GT(pitch["x_nannan"], pitch["x_yiping"] * 1.2);
  EXPECT_GT(pitch["x_nannan"], pitch["x_xiaoyuan"] * 1.2);
  EXPECT_GT(std::abs(pitch["x_yiping"] - pitch["x_xiaoyuan"]), 0.04 * pitch["x_yiping"])
      << pitch["x_yiping"] << " " << pitch["x_xiaoyuan"];
}

TEST_F(EngineTest, SpeedZeroFiftyAndHundredTakeTwiceOnceAndHalfTheTime) {
  EngineLibrary& engine = Started();
  std::map<std::string, double> seconds;
  for (const char* speed : {"0", "50", "100", "99", "abc"}) {
    const std::string session = BeginSession(engine, Params("x_yiping", speed));
    seconds[speed] = Seconds(Synthesize(engine, session.c_str(), GbkSentence()).pcm, 16000);
    engine.SessionEnd(session.c_str(), "");
    RecordProperty(std::string("speed_") + (*speed ? speed : "empty") + "_seconds",
                   std::to_string(seconds[speed]));
  }
  EXPECT_NEAR(seconds["0"] / seconds["50"], 2.0, 0.2);
  EXPECT_NEAR(seconds["100"] / seconds["50"], 0.5, 0.05);
  EXPECT_NEAR(seconds["abc"] / seconds["50"], 1.0, 0.02);  // no number: the normal speed
  EXPECT_GT(seconds["99"], seconds["100"] * 0.95);
}

TEST_F(EngineTest, VolumeAndSampleRateFollowTheParameters) {
  EngineLibrary& engine = Started();
  auto speak = [&](const std::string& extra) {
    const std::string session = BeginSession(engine, Params("x_binge", "50", extra));
    Speech speech = Synthesize(engine, session.c_str(), GbkSentence());
    engine.SessionEnd(session.c_str(), "");
    return speech.pcm;
  };
  const std::string normal = speak("");
  const std::string loud = speak(",volume=100");
  const std::string quiet = speak(",volume=10");
  const std::string narrow = speak(",auf=audio/L16;rate=8000");
  EXPECT_GT(Rms(loud), Rms(normal) * 1.4);
  EXPECT_LT(Rms(quiet), Rms(normal) * 0.3);
  EXPECT_NEAR(static_cast<double>(narrow.size()) / static_cast<double>(normal.size()), 0.5, 0.01);
}

TEST_F(EngineTest, LongTextsAreSpokenInPiecesAndBadBytesAreSpokenToo) {
  EngineLibrary& engine = Load();
  ASSERT_EQ(engine.Init("appid=a,coding_libs=speex.dll,max_text_size=64"), MSC_SUCCESS);
  const std::string session = BeginSession(engine, Params("x_yiping", "100"));
  const std::string text = GbkLongText(600);
  const Speech whole = Synthesize(engine, session.c_str(), text);
  const Speech one = Synthesize(engine, session.c_str(), GbkSentence());
  EXPECT_EQ(whole.error, 0);
  EXPECT_GT(Seconds(whole.pcm, 16000),
            Seconds(one.pcm, 16000) * (600.0 / static_cast<double>(GbkSentence().size())) * 0.8);
  const Speech bad =
      Synthesize(engine, session.c_str(), "\xD6\xD0\xFF\xFF\x80" + std::string("\0a", 2));
  EXPECT_EQ(bad.error, 0);
  EXPECT_EQ(bad.statuses.back(), MSC_TTS_STATUS_COMPLETE);
  const std::string utf8 = BeginSession(engine, Params("x_yiping", "50", ",tte=UTF8"));
  const Speech from_utf8 = Synthesize(engine, utf8.c_str(), GbkToUtf8(GbkSentence()));
  const Speech from_gbk = Synthesize(engine, session.c_str(), GbkSentence());
  EXPECT_GT(Seconds(from_utf8.pcm, 16000), Seconds(from_gbk.pcm, 16000));  // speed 50 against 100
}

// Synthesis waits when it is far ahead of its reader, and goes on when the reader catches up.
TEST_F(EngineTest, AReaderFarBehindHoldsSynthesisBackButGetsAllTheAudio) {
  EngineLibrary& engine = Load();
  ASSERT_EQ(engine.Init("appid=a,coding_libs=speex.dll,max_text_size=128"), MSC_SUCCESS);
  const std::string session = BeginSession(engine, Params("x_yiping", "100"));
  const std::string text = GbkLongText(3000);  // some 180 s of audio, in 64 pieces
  ASSERT_EQ(engine.TextPut(session.c_str(), text.data(), static_cast<unsigned>(text.size()), ""),
            MSC_SUCCESS);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));  // synthesis runs ahead meanwhile
  const Speech held = Collect(engine, session.c_str());
  EXPECT_EQ(held.error, 0);
  ASSERT_FALSE(held.statuses.empty());
  EXPECT_EQ(held.statuses.back(), MSC_TTS_STATUS_COMPLETE);
  const Speech one = Synthesize(engine, session.c_str(), GbkSentence());
  const double expected = Seconds(one.pcm, 16000) * static_cast<double>(text.size()) /
                          static_cast<double>(GbkSentence().size());
  EXPECT_NEAR(Seconds(held.pcm, 16000), expected, expected * 0.1);
}

TEST_F(EngineTest, ARepeatedChunkComesFromTheCache) {
  EngineLibrary& engine = Started();
  const std::string session = BeginSession(engine, Params("x_nannan"));
  const Speech first = Synthesize(engine, session.c_str(), GbkSentence());
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(scratch_.path() / MSC_ENGINE_CACHE_DIR))
    entries += entry.is_regular_file();
  EXPECT_EQ(entries, 1u);
  const Speech second = Synthesize(engine, session.c_str(), GbkSentence());
  EXPECT_TRUE(second.pcm == first.pcm);
  // Another voice setting is another entry.
  const std::string slower = BeginSession(engine, Params("x_nannan", "40"));
  EXPECT_FALSE(Synthesize(engine, slower.c_str(), GbkSentence()).pcm == first.pcm);
}

TEST_F(EngineTest, AnUnusableCacheDirectoryIsSkipped) {
  std::ofstream(scratch_.path() / MSC_ENGINE_CACHE_DIR) << "a file in the way";
  EngineLibrary& engine = Started();
  const std::string session = BeginSession(engine, Params("x_binge"));
  const Speech first = Synthesize(engine, session.c_str(), GbkSentence());
  const Speech second = Synthesize(engine, session.c_str(), GbkSentence());
  EXPECT_FALSE(first.pcm.empty());
  EXPECT_NEAR(Seconds(second.pcm, 16000), Seconds(first.pcm, 16000), 0.2);
  EXPECT_TRUE(fs::is_regular_file(scratch_.path() / MSC_ENGINE_CACHE_DIR));
}

TEST_F(EngineTest, EndingASessionStopsItsSynthesisAndWakesItsReader) {
  EngineLibrary& engine = Load();
  ASSERT_EQ(engine.Init("appid=a,coding_libs=speex.dll,max_text_size=64"), MSC_SUCCESS);
  const std::string session = BeginSession(engine, Params("x_yiping", "0"));
  ASSERT_EQ(engine.TextPut(session.c_str(), GbkLongText(20000).data(), 20000, ""), MSC_SUCCESS);
  std::thread reader([&] {
    unsigned length = 0;
    int status = 0;
    int error = 0;
    for (int i = 0; i < 100000 && status != MSC_TTS_STATUS_COMPLETE; ++i) {
      engine.AudioGet(session.c_str(), &length, &status, &error);
    }
    EXPECT_EQ(status, MSC_TTS_STATUS_COMPLETE);
    EXPECT_EQ(error, MSC_ERROR_UNKNOWN_SESSION);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(engine.SessionEnd(session.c_str(), ""), MSC_SUCCESS);
  reader.join();
  // The engine is free for the next session.
  const std::string next = BeginSession(engine, Params("x_binge"));
  EXPECT_FALSE(Synthesize(engine, next.c_str(), GbkSentence()).pcm.empty());
}

TEST_F(EngineTest, TwoThreadsWithTheirOwnSessionsAtOnce) {
  EngineLibrary& engine = Started();
  std::atomic<int> failures{0};
  auto work = [&](const char* voice) {
    const std::string session = BeginSession(engine, Params(voice, "100"));
    for (int i = 0; i < 3; ++i) {
      const std::string text = GbkSentence() + std::to_string(i) + voice;  // no cache hits
      const Speech speech = Synthesize(engine, session.c_str(), text);
      if (speech.error != 0 || speech.pcm.empty() ||
          speech.statuses.back() != MSC_TTS_STATUS_COMPLETE)
        ++failures;
    }
    engine.SessionEnd(session.c_str(), "");
  };
  std::thread a(work, "x_yiping");
  std::thread b(work, "x_binge");
  a.join();
  b.join();
  EXPECT_EQ(failures.load(), 0);
}

TEST_F(EngineTest, UnloadingWithoutFiniWhileSpeakingIsSafe) {
  EngineLibrary& engine = Started();
  const std::string session = BeginSession(engine, Params("x_yiping", "0"));
  ASSERT_EQ(engine.TextPut(session.c_str(), GbkLongText(20000).data(), 20000, ""), MSC_SUCCESS);
  unsigned length = 0;
  int status = 0;
  int error = 0;
  engine.AudioGet(session.c_str(), &length, &status, &error);
  engine.Unload();  // the worker is still speaking; the library stays mapped under it
  // Loaded again: the same engine, still running, the old session still open.
  EngineLibrary& again = Load();
  EXPECT_EQ(again.Init(kConfig), MSC_ERROR_ALREADY_INITIALIZED);
  EXPECT_EQ(again.SessionEnd(session.c_str(), ""), MSC_SUCCESS);
  const std::string next = BeginSession(again, Params("x_binge"));
  EXPECT_FALSE(Synthesize(again, next.c_str(), GbkSentence()).pcm.empty());
  // Process exit with a text still being spoken must be clean as well.
  ASSERT_EQ(again.TextPut(next.c_str(), GbkLongText(20000).data(), 20000, ""), MSC_SUCCESS);
}

}  // namespace
}  // namespace velarn::speechengine::testing
