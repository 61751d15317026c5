// audio_probe FILE [FROM_BYTE]: how much of a raw recording (s16le, 16 kHz, mono) is sound,
// from byte FROM_BYTE on. Prints "loud_ms=N first_ms=F last_ms=L total_ms=T resume_ms=R" in
// 10 ms steps: F and L are -1 when nothing was heard; R is the first sound after the first
// silence of at least 40 ms (a sound that was cut and another that began), -1 when none.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: audio_probe FILE [FROM_BYTE]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "audio_probe: cannot read %s\n", argv[1]);
    return 2;
  }
  const long long from = argc > 2 ? std::atoll(argv[2]) : 0;
  in.seekg(from - from % 2);
  constexpr int kWindow = 160;        // 10 ms
  constexpr double kLoudRms = 300.0;  // well above the silence of an idle null sink
  std::vector<std::int16_t> samples(kWindow);
  long long windows = 0, loud = 0, first = -1, last = -1, resume = -1, quiet_run = 0;
  bool gap_seen = false;
  while (in.read(reinterpret_cast<char*>(samples.data()), kWindow * 2)) {
    double sum = 0;
    for (std::int16_t s : samples) sum += static_cast<double>(s) * s;
    if (std::sqrt(sum / kWindow) > kLoudRms) {
      ++loud;
      if (first < 0) first = windows;
      last = windows;
      if (gap_seen && resume < 0) resume = windows;
      quiet_run = 0;
    } else if (++quiet_run >= 4) {
      gap_seen = true;
    }
    ++windows;
  }
  std::printf("loud_ms=%lld first_ms=%lld last_ms=%lld total_ms=%lld resume_ms=%lld\n",
              loud * 10, first < 0 ? -1 : first * 10, last < 0 ? -1 : last * 10, windows * 10,
              resume < 0 ? -1 : resume * 10);
  return 0;
}
