#!/usr/bin/env bash
# A long fuzz campaign: every libFuzzer target runs for SECONDS (under ASan and
# UBSan, as the fuzz preset builds them), starting from its checked-in corpus.
# The inputs it finds that add coverage are merged into fuzz/corpus/<target>, and
# the executions, coverage and corpus sizes are printed per target. A crash,
# leak or sanitizer report is kept under fuzz/findings/ and makes the script
# end with exit code 1 after all targets ran.
#
#   fuzz/campaign.sh SECONDS [TARGET...]       e.g. fuzz/campaign.sh 600 renderer
#
# JOBS (default: the number of processors) fuzzing processes run side by side
# on one target for SECONDS each, sharing its working corpus. An input that
# runs longer than TIMEOUT seconds (default 10, wall clock) is kept as a hang;
# give more when the machine does other heavy work beside the campaign.
#
# Every target's run adds a line to fuzz/campaign.tsv (UTC time, target,
# seconds, jobs, executions, coverage, corpus before and after, result), so
# that campaigns over several sittings add up. (A result "paused" marks a run
# whose processes were stopped for a while by hand: libFuzzer then takes the
# wall-clock gap for a hang, so the timeout it reported was no finding; a
# result "loaded" marks a run whose timeouts came while a build and test run
# took the processors: every input it kept ran in well under a second alone.)
#
#   fuzz/campaign.sh --totals     the executions and seconds per target so far
set -euo pipefail
cd "$(dirname "$0")/.."
record=fuzz/campaign.tsv

if [[ ${1:-} == --totals ]]; then
  printf '%-18s %5s %8s %14s %9s %7s\n' target runs seconds executions coverage corpus
  awk -F'\t' 'NR > 1 { runs[$2]++; secs[$2] += $3; execs[$2] += $5; cov[$2] = $6; corp[$2] = $8 }
    END { for (t in runs) printf "%-18s %5d %8d %14d %9s %7s\n", t, runs[t], secs[t], execs[t], cov[t], corp[t] }' \
    "$record" | sort
  exit 0
fi

if [[ $# -lt 1 || ! "$1" =~ ^[0-9]+$ || "$1" -eq 0 ]]; then
  echo "usage: fuzz/campaign.sh SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift
jobs=${JOBS:-$(nproc)}
timeout=${TIMEOUT:-10}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz >/dev/null

targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for binary in build-fuzz/bin/*_fuzz; do
    targets+=("$(basename "$binary" _fuzz)")
  done
fi

# AddressSanitizer records no stack for each allocation: that unwinding took
# a quarter of the time of the targets that allocate much (the renderer). A
# report then lacks where the memory was allocated; the replay of the kept
# input with build-asan/bin/NAME_replay (the asan preset) shows it.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=0}

mkdir -p fuzz/findings
failed=0
printf '%-18s %14s %10s %10s %8s %8s %s\n' target executions exec/s coverage before after result
for name in "${targets[@]}"; do
  binary=build-fuzz/bin/${name}_fuzz
  corpus=fuzz/corpus/$name
  if [[ ! -x $binary ]]; then
    echo "no fuzz target '$name'" >&2
    exit 2
  fi
  mkdir -p "$corpus"
  work=$(mktemp -d)
  logs=$(mktemp -d)
  cp -r "$corpus/." "$work/"
  before=$(find "$corpus" -type f | wc -l)

  # Each job writes its own log; the executions are summed over the jobs, the
  # coverage is the greatest any job reached.
  result=clean
  for ((j = 0; j < jobs; j++)); do
    "$binary" -max_total_time="$seconds" -print_final_stats=1 -timeout="$timeout" -rss_limit_mb=2048 \
      -artifact_prefix="fuzz/findings/$name-" "$work" >"$logs/$j.log" 2>&1 &
  done
  for ((j = 0; j < jobs; j++)); do
    if ! wait -n; then
      result=FOUND
    fi
  done
  executions=$(grep -h '^stat::number_of_executed_units' "$logs"/*.log | awk '{s += $2} END {print s + 0}')
  coverage=$(grep -h -o 'cov: [0-9]*' "$logs"/*.log | awk '{if ($2 > m) m = $2} END {print m + 0}')

  # Only inputs that reach code the checked-in corpus does not (edges, not
  # hit counts) join it, as few as cover it (named by their SHA-1); the seeds
  # already there keep their names.
  if ! "$binary" -set_cover_merge=1 -use_counters=0 -timeout="$timeout" -rss_limit_mb=2048 "$corpus" "$work" >"$logs/merge.log" 2>&1; then
    result=FOUND
  fi
  if [[ $result != clean ]]; then
    failed=1
    for log in "$logs"/*.log; do
      cp "$log" "fuzz/findings/$name-$(basename "$log")"
    done
  fi
  after=$(find "$corpus" -type f | wc -l)
  printf '%-18s %14s %10s %10s %8s %8s %s\n' "$name" "$executions" "$((executions / seconds))" \
    "$coverage" "$before" "$after" "$result"
  [[ -f $record ]] || printf 'time\ttarget\tseconds\tjobs\texecutions\tcoverage\tbefore\tafter\tresult\n' >"$record"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%M:%SZ)" "$name" "$seconds" "$jobs" \
    "$executions" "$coverage" "$before" "$after" "$result" >>"$record"
  rm -rf "$work" "$logs"
done

if [[ $failed -ne 0 ]]; then
  echo "findings are in fuzz/findings/" >&2
  exit 1
fi
