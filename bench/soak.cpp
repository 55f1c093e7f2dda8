// SPDX-License-Identifier: Apache-2.0
// Soak figures: fifty consecutive batches of eight simulated phones through
// tarn-flash's host loop in this one process (test clock), with descriptors,
// threads and resident memory before and after each batch.
//   tarn-soak [batches]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/reliability/soak_run.h"

int main(int argc, char** argv) {
  tarn::test::SoakOptions options;
  if (argc > 1) options.batches = std::atoi(argv[1]);
  if (options.batches <= 0) {
    std::fprintf(stderr, "usage: tarn-soak [batches]\n");
    return 2;
  }
  std::printf("%5s %6s %9s %9s %9s %15s %6s\n", "batch", "passed", "fds", "threads", "RSS KiB", "RSS after KiB", "sec");
  tarn::test::Resources first;
  tarn::test::Resources last;
  int failures = 0;
  std::string error;
  const bool ran = tarn::test::RunSoak(
      options,
      [&](const tarn::test::BatchFigures& f) {
        if (f.batch == 1) first = f.after;
        last = f.after;
        if (f.passed != options.phones || f.exact != options.phones) ++failures;
        std::printf("%5d %3d/%-2d %4d>%-4d %4d>%-4d %9ld %15ld %6.2f\n", f.batch, f.passed, options.phones,
                    f.before.fds, f.after.fds, f.before.threads, f.after.threads, f.before.rssKiB, f.after.rssKiB,
                    f.seconds);
        std::fflush(stdout);
      },
      &error);
  if (!ran) {
    std::fprintf(stderr, "tarn-soak: %s\n", error.c_str());
    return 2;
  }
  std::printf(
      "after batch 1: fds %d, threads %d, RSS %ld KiB; after batch %d: fds %d, threads %d, RSS %ld KiB "
      "(growth %ld KiB)\n",
      first.fds, first.threads, first.rssKiB, options.batches, last.fds, last.threads, last.rssKiB,
      last.rssKiB - first.rssKiB);
  return failures == 0 ? 0 : 1;
}
