#!/usr/bin/env bash
# Builds the libFuzzer targets of the codecs (fuzz preset: clang, ASan, UBSan)
# and runs each one for a bounded time. Exits non-zero when a target crashes,
# leaks, times out or fails one of its checks.
#
#   .ci/fuzz.sh [seconds per target]      (default 60, or FUZZ_SECONDS)
#
# Corpora and crash inputs stay under build/fuzz/, never in the source tree.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-${FUZZ_SECONDS:-60}}"
targets=(fuzz_lz_decoder fuzz_run_length_decoder fuzz_lz_encoder fuzz_run_length_encoder)

cmake --preset fuzz
cmake --build --preset fuzz -j 2

work="build/fuzz/runs"
status=0
for target in "${targets[@]}"; do
  corpus="$work/$target/corpus"
  artifacts="$work/$target/artifacts"
  mkdir -p "$corpus" "$artifacts"
  echo "== $target: ${seconds} s =="
  if ! "build/fuzz/fuzz/$target" "$corpus" \
      -max_total_time="$seconds" -seed=1 -max_len=32768 -timeout=20 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$artifacts/" >"$work/$target/log.txt" 2>&1; then
    echo "$target FAILED; last lines of $work/$target/log.txt:"
    tail -n 40 "$work/$target/log.txt"
    status=1
  else
    grep -E '^stat::number_of_executed_units|^Done ' "$work/$target/log.txt" || true
  fi
done

if [ "$status" -eq 0 ]; then
  echo "Fuzzing passed."
else
  echo "Fuzzing found failures; crash inputs are under $work/*/artifacts/."
fi
exit "$status"
