#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan, UBSan), writes their
# seed inputs from the generated sample ROMs (tools/write_fuzz_seeds), and runs
# each target to a fixed number of executions, so a run is equally deep on any
# machine. Prints, per target, the executions, executions per second and the
# coverage that libFuzzer reports at the end (cov: edges, ft: features). Exits
# non-zero when a target crashes, leaks, times out or fails one of its checks.
#
#   .ci/fuzz.sh                    each target to its depth in the list below
#   .ci/fuzz.sh --runs 10000000    a long campaign: that many executions per target
#
# The depths below take all targets together about 5 minutes on an idle
# two-core machine; the two decoders, at three million executions each, take
# four of them (some 15,000 and 66,000 executions a second).
# A long campaign of 10^7 executions per target takes hours; the corpora grow
# under build/fuzz/runs/ and a later run goes on from them.
#
# Corpora, seeds and crash inputs stay under build/fuzz/, never in the source
# tree. A target in the list whose binary was not built is skipped with a note.
set -euo pipefail
cd "$(dirname "$0")/.."

# target                      executions  dictionary in fuzz/ (- for none)
targets=(
  "fuzz_lz_decoder              3000000    lz.dict"
  "fuzz_run_length_decoder      3000000    run_length.dict"
  "fuzz_lz_encoder                30000    -"
  "fuzz_lz_optimal_encoder         1000    -"
  "fuzz_run_length_encoder        20000    -"
  "fuzz_png_sheet_reader         500000    -"
)

runs_override=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs)
      [ $# -ge 2 ] || { echo "--runs needs a number"; exit 2; }
      runs_override="$2"
      shift 2
      ;;
    *)
      echo "usage: .ci/fuzz.sh [--runs EXECUTIONS_PER_TARGET]"
      exit 2
      ;;
  esac
done
if [ -n "$runs_override" ] && ! [[ "$runs_override" =~ ^[1-9][0-9]*$ ]]; then
  echo "--runs needs a positive number, not '$runs_override'"
  exit 2
fi

cmake --preset fuzz
cmake --build --preset fuzz -j 2

seeds="build/fuzz/seeds"
rm -rf "$seeds"
build/fuzz/tools/write_fuzz_seeds "$seeds"

work="build/fuzz/runs"
TIMEFORMAT='%R %U %S'
status=0
summary=()
for entry in "${targets[@]}"; do
  read -r target runs dictionary <<<"$entry"
  [ -n "$runs_override" ] && runs="$runs_override"
  binary="build/fuzz/fuzz/$target"
  if [ ! -x "$binary" ]; then
    echo "== $target: not built, skipped =="
    continue
  fi
  corpus="$work/$target/corpus"
  artifacts="$work/$target/artifacts"
  log="$work/$target/log.txt"
  mkdir -p "$corpus" "$artifacts"
  options=(-runs="$runs" -seed=1 -max_len=32768 -len_control=20 -timeout=20 -rss_limit_mb=2048
           -print_final_stats=1 -artifact_prefix="$artifacts/")
  if [ "$dictionary" != "-" ]; then
    options+=(-dict="fuzz/$dictionary")
  fi
  inputs=("$corpus")
  [ -d "$seeds/$target" ] && inputs+=("$seeds/$target")
  echo "== $target: $runs executions =="
  # Real and processor seconds: on a busy machine the second tells what an
  # idle one would take.
  failed=0
  { time "$binary" "${inputs[@]}" "${options[@]}" >"$log" 2>&1 || failed=1; } 2>"$work/$target/time.txt"
  if [ "$failed" -ne 0 ]; then
    echo "$target FAILED; last lines of $log:"
    tail -n 40 "$log"
    status=1
    continue
  fi
  read -r elapsed user system <"$work/$target/time.txt"
  processor="$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.1f", u + s }')"
  executed="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")"
  speed="$(awk -v runs="$executed" -v seconds="$elapsed" 'BEGIN { printf "%d", (seconds > 0 ? runs / seconds : 0) }')"
  coverage="$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [^ ]+' || true)"
  line="$target: $executed executions in $elapsed s ($processor s of processor time), $speed exec/s, $coverage"
  echo "$line"
  summary+=("$line")
done

echo "== Summary =="
for line in "${summary[@]}"; do
  echo "$line"
done
if [ "$status" -eq 0 ]; then
  echo "Fuzzing passed."
else
  echo "Fuzzing found failures; crash inputs are under $work/*/artifacts/."
fi
exit "$status"
