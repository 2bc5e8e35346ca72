#!/usr/bin/env bash
# Builds every fuzz target with clang and libFuzzer (under AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60), one after
# the other. New inputs go to a corpus folder outside the tree, one folder per
# target ($KILN_FUZZ_CORPUS, default ~/.cache/kiln-fuzz); the seeds in
# tests/fuzz/seeds are read but never written. Crashing inputs are kept beside
# the corpus as <target>/crash-*. Prints runs and coverage per target.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_PER_TARGET=${1:-60}
shift || true
BUILD=build/fuzz
CORPUS=${KILN_FUZZ_CORPUS:-$HOME/.cache/kiln-fuzz}
JOBS=${KILN_FUZZ_JOBS:-2}

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" -DCMAKE_C_FLAGS_DEBUG="-g -O1" \
  -DKILN_FUZZ=ON -DKILN_SANITIZE=ON -DKILN_BENCH=OFF >/dev/null

if [ "$#" -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in tests/fuzz/fuzz_*.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build "$BUILD" --target "${targets[@]}" -- -j "$JOBS"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
summary=""
for t in "${targets[@]}"; do
  mkdir -p "$CORPUS/$t"
  log="$CORPUS/$t.log"
  echo "== $t: ${SECONDS_PER_TARGET}s, corpus $CORPUS/$t"
  if ! "$BUILD/tests/fuzz/$t" -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2560 \
      -print_final_stats=1 -artifact_prefix="$CORPUS/$t/" "$CORPUS/$t" "tests/fuzz/seeds/$t" >"$log" 2>&1; then
    echo "   FAILED: see $log"
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  ft=$(grep -o 'ft: [0-9]*' "$log" | tail -1 | grep -o '[0-9]*' || true)
  files=$(find "$CORPUS/$t" -maxdepth 1 -type f ! -name 'crash-*' ! -name 'timeout-*' ! -name 'oom-*' | wc -l)
  line=$(printf '%-22s runs %-10s coverage %-6s features %-6s corpus %s' "$t" "${runs:-?}" "${cov:-?}" "${ft:-?}" "$files")
  echo "   $line"
  summary+="$line"$'\n'
done
echo
echo "Summary (${SECONDS_PER_TARGET}s per target):"
printf '%s' "$summary"
exit $status
