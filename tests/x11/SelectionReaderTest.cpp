// The clipboard read straight from the X server, against a test owner on the same private X
// server (the test runs under xvfb-run): texts as a copying program offers them, and owners
// that offer no text, never answer, stop halfway or answer too late.
#include "ui/x11/SelectionReader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>

#include "tests/support/X11SelectionOwner.h"

namespace velarn {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Outcome = SelectionReader::Outcome;
using Mode = test::X11SelectionOwner::Mode;

// Generous: an owner that answers at all answers well within it, even on a loaded machine.
constexpr auto kBound = 5s;
// For the owners that do not answer: short, so that the tests stay quick.
constexpr auto kShortBound = 300ms;

// Distinct lines, so that a piece lost, doubled or out of order shows.
std::string NumberedLines(std::size_t bytes) {
  std::string text;
  for (int i = 0; text.size() < bytes; ++i) {
    text += "第" + std::to_string(i) + "行：春眠不觉晓，处处闻啼鸟。\n";
  }
  text.resize(bytes);  // may cut a character in two: the bytes must still arrive as they were
  return text;
}

class SelectionReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reader_ = SelectionReader::Open();
    ASSERT_TRUE(reader_) << "no X server at DISPLAY; the test runs under xvfb-run";
  }

  // A read that must end with kTimedOut after about `bound`, not much later.
  void ExpectTimedOut(std::chrono::milliseconds bound) {
    const Clock::time_point start = Clock::now();
    const SelectionReader::Result result = reader_->ReadClipboard(bound);
    const auto took = Clock::now() - start;
    EXPECT_EQ(result.outcome, Outcome::kTimedOut);
    EXPECT_TRUE(result.utf8.empty());
    EXPECT_GE(took, bound);
    EXPECT_LT(took, bound + 2s);
  }

  std::optional<SelectionReader> reader_;
};

struct OfferCase {
  const char* name;
  Mode mode;
  std::size_t chunk_bytes;  // texts above it go in pieces
  std::string text;         // what the owner was given
  Outcome outcome;
  std::string utf8;  // what the read must return
};

class OfferTest : public SelectionReaderTest, public ::testing::WithParamInterface<OfferCase> {};

TEST_P(OfferTest, ReadReturnsWhatTheOwnerOffers) {
  const OfferCase& c = GetParam();
  std::optional<test::X11SelectionOwner> owner = test::X11SelectionOwner::Open(c.text);
  ASSERT_TRUE(owner);
  owner->SetMode(c.mode);
  owner->SetChunkSize(c.chunk_bytes);

  const SelectionReader::Result result = reader_->ReadClipboard(kBound);
  EXPECT_EQ(result.outcome, c.outcome);
  EXPECT_EQ(result.utf8.size(), c.utf8.size());
  EXPECT_TRUE(result.utf8 == c.utf8) << "the text read differs from the one offered";
}

const std::string kChinese = "你好，世界。今天天气很好。";
const std::string kLatin1Text = "Crème brûlée à la carte, ½ × 3 ÷ 4, déjà vu: ÿ";
const std::string kSeveralMb = NumberedLines(std::size_t{6} << 20);

INSTANTIATE_TEST_SUITE_P(
    Owners, OfferTest,
    ::testing::Values(
        OfferCase{"ShortChinese", Mode::kAnswer, 64 << 10, kChinese, Outcome::kText, kChinese},
        OfferCase{"EmptyText", Mode::kAnswer, 64 << 10, "", Outcome::kText, ""},
        // 6 MB in 64 KiB pieces: about a hundred rounds of the transfer.
        OfferCase{"SeveralMbInPieces", Mode::kAnswer, 64 << 10, kSeveralMb, Outcome::kText,
                  kSeveralMb},
        // One property of 6 MB: more than one reply of the property's value is needed.
        OfferCase{"SeveralMbInOneProperty", Mode::kAnswer, 8 << 20, kSeveralMb, Outcome::kText,
                  kSeveralMb},
        // Pieces of 7 bytes cut the 3-byte characters: the pieces are joined as bytes.
        OfferCase{"PiecesCuttingCharacters", Mode::kAnswer, 7, kChinese, Outcome::kText, kChinese},
        // Exactly one piece's size: sent whole; one byte more: a piece and a byte.
        OfferCase{"TextOfOnePiece", Mode::kAnswer, kChinese.size(), kChinese, Outcome::kText,
                  kChinese},
        OfferCase{"TextOfOnePieceAndAByte", Mode::kAnswer, kChinese.size() - 1, kChinese,
                  Outcome::kText, kChinese},
        // An old program's Latin-1 STRING, read as UTF-8.
        OfferCase{"Latin1StringOnly", Mode::kLatin1Only, 64 << 10, kLatin1Text, Outcome::kText,
                  kLatin1Text},
        OfferCase{"Latin1StringOnlyInPieces", Mode::kLatin1Only, 5, kLatin1Text, Outcome::kText,
                  kLatin1Text},
        // STRING cannot hold Chinese: such an owner offers no text at all.
        OfferCase{"Latin1OnlyOwnerOfChinese", Mode::kLatin1Only, 64 << 10, kChinese,
                  Outcome::kNoText, ""},
        OfferCase{"ImageOnly", Mode::kImageOnly, 64 << 10, kChinese, Outcome::kNoText, ""}),
    [](const ::testing::TestParamInfo<OfferCase>& info) { return std::string(info.param.name); });

TEST(SelectionReaderOpenTest, NoXServerGivesNoReader) {
  EXPECT_FALSE(SelectionReader::Open(":65000"));
}

TEST_F(SelectionReaderTest, NoOwnerGivesNoText) {
  // An owner that came and went: its destructor gave the clipboard up.
  test::X11SelectionOwner::Open("早已不在的文字。").reset();
  const SelectionReader::Result result = reader_->ReadClipboard(kBound);
  EXPECT_EQ(result.outcome, Outcome::kNoText);
  EXPECT_TRUE(result.utf8.empty());
}

TEST_F(SelectionReaderTest, EachReadFollowsTheOwnersLatestCopy) {
  std::optional<test::X11SelectionOwner> owner = test::X11SelectionOwner::Open("第一次复制。");
  ASSERT_TRUE(owner);
  owner->SetChunkSize(4 << 10);
  for (const std::string& text : {std::string("第一次复制。"), NumberedLines(100 << 10),
                                  std::string("第三次复制。"), NumberedLines(50 << 10)}) {
    ASSERT_TRUE(owner->SetText(text));
    const SelectionReader::Result result = reader_->ReadClipboard(kBound);
    EXPECT_EQ(result.outcome, Outcome::kText);
    EXPECT_TRUE(result.utf8 == text)
        << "read " << result.utf8.size() << " bytes, copied " << text.size();
  }
}

struct StuckCase {
  const char* name;
  Mode mode;
};

class StuckOwnerTest : public SelectionReaderTest,
                       public ::testing::WithParamInterface<StuckCase> {};

TEST_P(StuckOwnerTest, TimesOutAndTheOwnersNextCopyIsRead) {
  std::optional<test::X11SelectionOwner> owner =
      test::X11SelectionOwner::Open(NumberedLines(64 << 10));
  ASSERT_TRUE(owner);
  owner->SetMode(GetParam().mode);
  owner->SetChunkSize(1 << 10);
  ExpectTimedOut(kShortBound);

  owner->SetMode(Mode::kAnswer);
  ASSERT_TRUE(owner->SetText(kChinese));
  const SelectionReader::Result result = reader_->ReadClipboard(kBound);
  EXPECT_EQ(result.outcome, Outcome::kText);
  EXPECT_EQ(result.utf8, kChinese);
}

INSTANTIATE_TEST_SUITE_P(Owners, StuckOwnerTest,
                         ::testing::Values(StuckCase{"AnswersNothing", Mode::kStuck},
                                           StuckCase{"AnswersTargetsOnly", Mode::kStuckOnText},
                                           StuckCase{"StopsMidTransfer", Mode::kStopMidIncr}),
                         [](const ::testing::TestParamInfo<StuckCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(SelectionReaderTest, LateAnswerOfATimedOutReadIsNotTakenForTheNextRead) {
  std::optional<test::X11SelectionOwner> old_owner =
      test::X11SelectionOwner::Open("来得太晚的旧文字。");
  ASSERT_TRUE(old_owner);
  old_owner->SetMode(Mode::kStuckOnText);
  ExpectTimedOut(kShortBound);

  // The next owner keeps the next read waiting for its text, and meanwhile the old owner's
  // answer to the given-up request arrives: the same target, to the same reader.
  std::optional<test::X11SelectionOwner> new_owner =
      test::X11SelectionOwner::Open("新复制的文字。");
  ASSERT_TRUE(new_owner);
  new_owner->SetMode(Mode::kStuckOnText);
  std::future<SelectionReader::Result> read =
      std::async(std::launch::async, [&] { return reader_->ReadClipboard(kBound); });
  const bool asked = new_owner->WaitForHeld(1, kBound);
  old_owner->AnswerHeld();
  new_owner->AnswerHeld();
  const SelectionReader::Result result = read.get();
  ASSERT_TRUE(asked) << "the reader did not ask the new owner for its text";
  EXPECT_EQ(result.outcome, Outcome::kText);
  EXPECT_EQ(result.utf8, "新复制的文字。");
}

}  // namespace
}  // namespace velarn
