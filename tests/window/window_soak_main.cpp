// SPDX-License-Identifier: Apache-2.0
// Window soak figures: fifty consecutive batches of eight simulated phones
// through one operator window (offscreen, test clock), with descriptors,
// threads and resident memory before and after each batch.
//   tarn-window-soak [batches]
#include <cstdio>
#include <cstdlib>
#include <string>

#include <QApplication>

#include "tests/window/window_soak_run.h"

int main(int argc, char** argv) {
  tarn::test::WindowSoakOptions options;
  if (argc > 1) options.batches = std::atoi(argv[1]);
  if (options.batches <= 0) {
    std::fprintf(stderr, "usage: tarn-window-soak [batches]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);  // a display is not needed, nor used when there is one
  QApplication app(argc, argv);
  constexpr int kPhones = 8;
  // fds and threads leave out the toolkit's painting pool, shown apart.
  std::printf("%5s %6s %9s %9s %9s %9s %15s %6s\n", "batch", "passed", "fds", "threads", "paint", "RSS KiB",
              "RSS after KiB", "sec");
  tarn::test::Resources first;
  tarn::test::Resources last;
  int failures = 0;
  std::string error;
  const bool ran = tarn::test::RunWindowSoak(
      options,
      [&](const tarn::test::WindowBatchFigures& f) {
        if (f.batch == 1) first = f.after.own;
        last = f.after.own;
        if (f.passed != kPhones || f.exact != kPhones) ++failures;
        std::printf("%5d %3d/%-2d %4d>%-4d %4d>%-4d %4d>%-4d %9ld %15ld %6.2f\n", f.batch, f.passed, kPhones,
                    f.before.own.fds, f.after.own.fds, f.before.own.threads, f.after.own.threads, f.before.paintPool,
                    f.after.paintPool, f.before.own.rssKiB, f.after.own.rssKiB, f.seconds);
        std::fflush(stdout);
      },
      &error);
  if (!ran) {
    std::fprintf(stderr, "tarn-window-soak: %s\n", error.c_str());
    return 2;
  }
  std::printf(
      "after batch 1: fds %d, threads %d, RSS %ld KiB; after batch %d: fds %d, threads %d, RSS %ld KiB "
      "(growth %ld KiB)\n",
      first.fds, first.threads, first.rssKiB, options.batches, last.fds, last.threads, last.rssKiB,
      last.rssKiB - first.rssKiB);
  return failures == 0 ? 0 : 1;
}
