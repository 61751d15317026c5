// clipboard_storm RATE SECONDS: another program copying to the clipboard RATE times a second
// for SECONDS seconds ("第N次复制的文字。" for copy N), serving every request for the text all
// along. The pace is kept by the clock, so a slow copy is made up for, not carried over. Prints
// "copies=N elapsed_ms=M requests=R" at the end (R: the requests for the clipboard that other
// programs made meanwhile); the last text is served for one period more, then the clipboard is
// left without owner.
// clipboard_storm --stuck SECONDS: a copy whose program never answers: the clipboard is taken
// and held for SECONDS seconds, every request for it left unanswered.
#include <charconv>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "tests/support/X11SelectionOwner.h"

namespace {

bool ParseCount(std::string_view arg, long max, long& value) {
  const auto [end, error] = std::from_chars(arg.data(), arg.data() + arg.size(), value);
  return error == std::errc{} && end == arg.data() + arg.size() && value >= 1 && value <= max;
}

std::string CopyText(long n) { return "第" + std::to_string(n) + "次复制的文字。"; }

}  // namespace

int HoldStuck(long seconds) {
  // Taken first with an empty text, which the reading program ignores, and only then copied
  // again stuck: no request is answered between the two.
  std::optional<velarn::test::X11SelectionOwner> owner = velarn::test::X11SelectionOwner::Open("");
  if (!owner) {
    std::fprintf(stderr, "clipboard_storm: cannot take the clipboard (is DISPLAY an X server?)\n");
    return 1;
  }
  owner->SetMode(velarn::test::X11SelectionOwner::Mode::kStuck);
  if (!owner->SetText("不会被读到的文字。")) {
    std::fprintf(stderr, "clipboard_storm: could not take the clipboard again\n");
    return 1;
  }
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  return 0;
}

int main(int argc, char** argv) {
  long seconds = 0;
  if (argc == 3 && std::string_view(argv[1]) == "--stuck" && ParseCount(argv[2], 3600, seconds)) {
    return HoldStuck(seconds);
  }
  long rate = 0;
  if (argc != 3 || !ParseCount(argv[1], 1000, rate) || !ParseCount(argv[2], 3600, seconds)) {
    std::fprintf(stderr,
                 "usage: clipboard_storm RATE SECONDS (1-1000 copies a second, 1-3600 s)\n"
                 "       clipboard_storm --stuck SECONDS\n");
    return 2;
  }
  using Clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::seconds(1)) / rate;
  const long total = rate * seconds;

  const Clock::time_point start = Clock::now();
  std::optional<velarn::test::X11SelectionOwner> owner =
      velarn::test::X11SelectionOwner::Open(CopyText(1));
  if (!owner) {
    std::fprintf(stderr, "clipboard_storm: cannot take the clipboard (is DISPLAY an X server?)\n");
    return 1;
  }
  for (long n = 2; n <= total; ++n) {
    std::this_thread::sleep_until(start + period * (n - 1));
    if (!owner->SetText(CopyText(n))) {
      std::fprintf(stderr, "clipboard_storm: copy %ld could not take the clipboard\n", n);
      return 1;
    }
  }
  std::this_thread::sleep_until(start + period * total);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  std::printf("copies=%ld elapsed_ms=%lld requests=%zu\n", total,
              static_cast<long long>(elapsed.count()), owner->RequestCount());
  return 0;
}
