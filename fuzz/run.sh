#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ and runs each for the given
# number of seconds (default 60), starting from the seed corpus in
# fuzz/corpus/<target>/. Any crash, leak or sanitizer report fails the run
# and leaves the input that caused it in build-fuzz/artifacts/.
#   fuzz/run.sh [seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
build="${GEN_FUZZ_BUILD:-build-fuzz}"

cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2

mkdir -p "$build/artifacts"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for target in commandline override model_parser solve_readers run_record solve_options jani pnpro prism; do
  # New inputs go to a scratch corpus; the seeds in the repository stay as
  # they are.
  work="$build/corpus/$target"
  mkdir -p "$work"
  echo "fuzzing $target for $seconds s"
  if ! "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      "$work" "fuzz/corpus/$target"; then
    echo "fuzz target $target failed; see $build/artifacts/" >&2
    status=1
  fi
done
exit "$status"
