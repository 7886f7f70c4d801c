#!/usr/bin/env bash
# Measures how fast fuzz targets run: each target fuzzes from its kept corpus
# (fuzz/corpus/<target>) into a scratch folder for SECONDS, and the script
# prints its inputs per second as the median over the run and as the mean.
#
#   scripts/fuzz-speed.sh [--sanitize] [SECONDS] [TARGET...]
#
# Without --sanitize the targets are built without sanitizers (build-fuzz-
# nosan), with it as CI runs them (build-fuzz, ASan + UBSan). SECONDS is 600
# unless given; the default targets are all of fuzz/fuzz_*.cpp, one after the
# other. The median is over time: every status line libFuzzer prints is
# stamped, each stretch between two lines contributes its rate for its
# duration, and the rate that half of the run's time was faster than is the
# median. Exits 1 when a target finds something or does not run.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-fuzz-nosan
sanitize=OFF
if [ "${1:-}" = --sanitize ]; then
  build=build-fuzz
  sanitize=ON
  shift
fi
seconds=600
if [[ "${1:-}" =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in fuzz/fuzz_*.cpp; do [ -e "$src" ] && targets+=("$(basename "$src" .cpp)"); done
fi
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets in fuzz/" >&2
  exit 1
fi

CXX=clang++-14 CC=clang-14 scripts/build.sh "$build" -DORONT_FUZZ=ON -DORONT_GUI=OFF -DORONT_TESTS=OFF \
  -DORONT_FUZZ_SANITIZE=$sanitize >/dev/null

status=0
printf '%-18s %10s %10s %12s\n' target median/s mean/s inputs
for t in "${targets[@]}"; do
  bin=$build/fuzz/$t
  if [ ! -x "$bin" ]; then
    echo "$t: not built ($bin)" >&2
    status=1
    continue
  fi
  work=$(mktemp -d)
  log=$build/$t.speed.log
  # Each line libFuzzer writes, stamped with the time it arrived.
  rc=0
  "$bin" -max_total_time="$seconds" -rss_limit_mb=2048 -artifact_prefix="$build/$t-" "$work" "fuzz/corpus/$t" 2>&1 |
    while IFS= read -r line; do printf '%s %s\n' "$EPOCHREALTIME" "$line"; done >"$log" || rc=$?
  rm -rf "$work"
  # Status lines: "<time> #<inputs> <event> ...". Rates between consecutive
  # lines, weighted by the time between them, from the end of the initial
  # corpus replay (INITED) on.
  awk '
    $2 ~ /^#[0-9]+$/ && $3 != "READ" {
      n = substr($2, 2) + 0
      if ($3 == "INITED") { pt = $1; pn = n; next }
      if (pt == "" || $1 <= pt) next
      print (n - pn) / ($1 - pt), $1 - pt, n
      pt = $1; pn = n
    }' "$log" | sort -g >"$log.rates"
  read -r median mean total < <(awk '
    { rate[NR] = $1; span[NR] = $2; whole += $2; runs += $1 * $2; if ($3 > total) total = $3 }
    END {
      if (NR == 0) { print "0 0 0"; exit }
      for (i = 1; i <= NR; i++) { acc += span[i]; if (acc >= whole / 2) break }
      printf "%d %d %d\n", rate[i], runs / whole, total
    }' "$log.rates")
  if [ $rc -ne 0 ] || grep -q 'ERROR: libFuzzer\|==ERROR\|runtime error' "$log"; then
    echo "$t: a finding, see $log and $build/$t-*" >&2
    status=1
  elif [ "$total" -eq 0 ]; then
    echo "$t: did not run, see $log" >&2
    status=1
  fi
  printf '%-18s %10s %10s %12s\n' "$t" "$median" "$mean" "$total"
done
exit $status
