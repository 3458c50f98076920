#!/usr/bin/env bash
# The mutation check: puts the small faults of scripts/mutants.txt into the code one at a time,
# rebuilds only the test programs that cover the changed file and runs their tests. A mutant
# that no test notices (SURVIVED) is a gap in the tests, or a change that alters nothing.
#
#   scripts/mutants.sh [-l LIST] [-t SECONDS] [--no-baseline] [ID...]
#
# Without IDs every mutant of the list runs. -t is each test's time limit (a test that hangs
# counts as failed). The tests first run once unchanged (the baseline): a test that fails
# anyway would "kill" every mutant. Builds in build/mutants (debug, no sanitizers, no Qt), so
# that each mutant costs one object and a link and build/asan stays as it is. The mutated
# file is always restored, also on Ctrl+C; a run killed hard is mended by the next one.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

list=scripts/mutants.txt
limit=120
baseline=1
usage() { sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
  case $1 in
    -l) list=$2; shift 2 ;;
    -t) limit=$2; shift 2 ;;
    --no-baseline) baseline=0; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) echo "unknown option $1" >&2; usage >&2; exit 2 ;;
    *) break ;;
  esac
done

build=build/mutants
state=$build/mutant-state
logs=$build/mutant-logs
results=$build/mutant-results.tsv
helper=(python3 scripts/mutants.py)
export QT_QPA_PLATFORM=offscreen
mkdir -p "$state" "$logs"

# Puts the file being mutated back as it was. Rewritten rather than moved, so that its time is
# new and the next build compiles it again.
restore() {
  if [ -f "$state/file" ]; then
    local file
    file=$(cat "$state/file")
    cat "$state/backup" >"$file" && rm -f "$state/file" "$state/backup"
  fi
}
restore

started=$(date +%s)
summary() {
  [ -s "$results" ] || return 0
  echo
  printf '%-13s %-40s %-9s %5s  %s\n' MUTANT FILE RESULT SECS "FIRST FAILED TEST"
  sort "$results" | while IFS=$'\t' read -r id file result seconds killer; do
    printf '%-13s %-40s %-9s %5s  %s\n' "$id" "$file" "$result" "$seconds" "$killer"
  done
  echo
  printf '%-10s %6s %7s %8s %7s %6s\n' AREA KILLED SURVIVED INVALID STALE SCORE
  awk -F'\t' '
    { area = $1; sub(/-[^-]*$/, "", area); areas[area] = 1; n[area, $3]++; n["all", $3]++ }
    function line(a,   k, s) {
      k = n[a, "KILLED"] + 0; s = n[a, "SURVIVED"] + 0
      printf "%-10s %6d %7d %8d %7d %5s\n", a, k, s, n[a, "INVALID"] + 0,
             n[a, "STALE"] + n[a, "NOTESTS"], (k + s) ? sprintf("%d%%", 100 * k / (k + s)) : "-"
    }
    END { for (a in areas) line(a); line("all")
          k = n["all", "KILLED"] + 0; s = n["all", "SURVIVED"] + 0
          printf "\nScore: %d killed of %d valid mutants", k, k + s
          if (k + s) printf " (%.1f%%)", 100 * k / (k + s)
          printf "; %d invalid (the build failed), %d stale or without tests\n",
                 n["all", "INVALID"] + 0, n["all", "STALE"] + n["all", "NOTESTS"] }' "$results"
  echo "Time: $(( ($(date +%s) - started) / 60 )) min $(( ($(date +%s) - started) % 60 )) s"
  echo "Logs: $logs/"
}
trap restore EXIT
trap 'restore; echo; echo "Interrupted: the file is restored."; summary; exit 130' INT TERM

mapfile -t rows < <("${helper[@]}" list "$list" "$@") || exit 2
[ ${#rows[@]} -gt 0 ] || { echo "No mutants chosen." >&2; exit 2; }

cmake --preset mutants >/dev/null || exit 2
# Everything is built first (quick when the folder is up to date): a new folder knows only
# the tests of programs that are not built yet, and a mutant's rebuild needs the rest.
echo "Building the unchanged code in $build..."
cmake --build "$build" >"$logs/first-build.log" 2>&1 ||
  { echo "The unchanged code does not build; see $logs/first-build.log" >&2; exit 2; }

# The tests of the named suites; value-parameterized ones are named "Prefix/Suite.Test/N".
suite_regex() {  # suites
  local word re=""
  for word in $1; do re+="${re:+|}$word"; done
  echo "^([A-Za-z0-9_]*/)?($re)\\."
}

# Runs the tests of one selection; fails at the first test that fails.
run_tests() {  # labels suites log
  local word
  for word in $1; do
    ctest --test-dir "$build" -L "^$word\$" -j2 --timeout "$limit" --stop-on-failure \
      --no-tests=error --output-on-failure >>"$3" 2>&1 || return 1
  done
  if [ -n "$2" ]; then
    ctest --test-dir "$build" -R "$(suite_regex "$2")" -j2 --timeout "$limit" --stop-on-failure \
      --no-tests=error --output-on-failure >>"$3" 2>&1 || return 1
  fi
  return 0
}

# The test programs behind a selection (their build targets bear the programs' names).
targets_of() {  # labels suites
  local patterns=() word
  for word in $1; do patterns+=("label:^$word\$"); done
  [ -z "$2" ] || patterns+=("$(suite_regex "$2")")
  for p in "${patterns[@]}"; do "${helper[@]}" targets "$build" "$p"; done | tr ' ' '\n' |
    grep -v '^$' | sort -u
}

if [ "$baseline" -eq 1 ]; then
  echo "Baseline: the chosen tests on the unchanged code..."
  declare -A done_selections=()
  for row in "${rows[@]}"; do
    IFS=$'\t' read -r id file labels suites <<<"$row"
    labels=${labels#-} suites=${suites#-}
    key="$labels|$suites"
    [ -z "${done_selections[$key]:-}" ] || continue
    done_selections[$key]=1
    mapfile -t targets < <(targets_of "$labels" "$suites")
    log=$logs/baseline.log
    if [ ${#targets[@]} -eq 0 ] || ! cmake --build "$build" --target "${targets[@]}" >>"$log" 2>&1 ||
       ! run_tests "$labels" "$suites" "$log"; then
      echo "The tests '$labels $suites' do not pass (or build) on the unchanged code; see $log" >&2
      exit 2
    fi
  done
fi

: >"$results"
total=${#rows[@]}
n=0
for row in "${rows[@]}"; do
  IFS=$'\t' read -r id file labels suites <<<"$row"
  labels=${labels#-} suites=${suites#-}
  n=$((n + 1))
  log=$logs/$id.log
  : >"$log"
  begin=$(date +%s)
  killer=""
  mapfile -t targets < <(targets_of "$labels" "$suites")
  if [ ${#targets[@]} -eq 0 ]; then
    result=NOTESTS
  else
    cp "$file" "$state/backup" 2>/dev/null && echo "$file" >"$state/file"
    "${helper[@]}" apply "$list" "$id" >>"$log" 2>&1
    applied=$?
    if [ "$applied" -eq 3 ] || [ ! -f "$state/file" ]; then
      rm -f "$state/file" "$state/backup"
      result=STALE
    elif [ "$applied" -ne 0 ]; then
      restore
      result=STALE
    elif ! cmake --build "$build" --target "${targets[@]}" >>"$log" 2>&1; then
      result=INVALID
    elif run_tests "$labels" "$suites" "$log"; then
      result=SURVIVED
    else
      result=KILLED
      killer=$(grep -m1 -E '^[[:space:]]*[0-9]+ - .*\((Failed|Timeout|SEGFAULT|Subprocess aborted|Child aborted|Exception)' "$log" |
        sed -E 's/^[[:space:]]*[0-9]+ - //')
    fi
    restore
  fi
  seconds=$(($(date +%s) - begin))
  printf '%s\t%s\t%s\t%s\t%s\n' "$id" "$file" "$result" "$seconds" "$killer" >>"$results"
  printf '[%d/%d] %-13s %-9s %4ss %s\n' "$n" "$total" "$id" "$result" "$seconds" "$killer"
done
summary
