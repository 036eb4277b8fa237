#!/bin/bash
# Whole sweeps through vehicle-sim: 2 vehicle masses x 2 cycles, 40 s of each, full results.
#   local  the sweep on 2 jobs; each case's results.csv equals byte for byte that of the same
#          case run alone, sweep.csv carries the single runs' figures, a rerun skips every case;
#          a sweep with a health check failure and an error counts, lists, plots and ends by
#          status, its cases are lean, and its rerun runs only the cases not ok.
#   slurm  the same sweep as a job array on a one-node Slurm cluster started here (munge,
#          slurmctld, slurmd), collected; its sweep.csv equals the local one.
# Usage: sweep_test.sh local|slurm VEHICLE_SIM SLURM_CLUSTER_SCRIPT
set -uo pipefail
mode=$1 sim=$2 cluster=$3

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

if ! "$sim" --help 2>&1 | grep -q -- '--output-dir'; then
  skip "sweep_$mode: the cases need vehicle-sim's --output-dir/--start-value/summary.json command line, which this build does not have yet"
fi

work=$(mktemp -d /tmp/sweep-test-XXXXXX)
cluster_dir=
cleanup() {
  [ -n "$cluster_dir" ] && "$cluster" stop "$cluster_dir"
  rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" INT TERM

cat >"$work/masses.toml" <<EOF
cycles = ["nedc", "udds"]
[settings]
stop-time = 40
[grid]
"chassis.vehicleMass" = [1200, 1650.5]
[results]
EOF

# column NAME FILE: the values of a column of a CSV without quoted commas, one per row.
column() { awk -F, -v name="$1" 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == name) c = i; next } { print $c }' "$2"; }
# same_number CSV_TEXT JSON_TEXT: the same double, or both absent (empty and null).
same_number() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a == "" ? b == "null" : a + 0 == b + 0 && b != "null") }'; }

"$sim" sweep "$work/masses.toml" --jobs 2 --output-dir "$work/local" --no-progress >"$work/local.out" 2>&1 \
  || fail "the local sweep: $(cat "$work/local.out")"
csv=$work/local/sweep.csv
[ "$(wc -l <"$csv")" -eq 5 ] || fail "sweep.csv has not 4 cases: $(cat "$csv")"

if [ "$mode" = local ]; then
  mapfile -t folders < <(column folder "$csv")
  mapfile -t cycles < <(column cycle "$csv")
  mapfile -t masses < <(column chassis.vehicleMass "$csv")
  mapfile -t statuses < <(column status "$csv")
  for k in 0 1 2 3; do
    [ "${statuses[k]}" = ok ] || fail "case $k: status ${statuses[k]}"
    single=$work/single/$k
    "$sim" --output-dir "$single" --no-progress --threads 1 --no-plots --cycle "${cycles[k]}" --stop-time 40 \
      --start-value "chassis.vehicleMass=${masses[k]}" >"$work/single-$k.out" 2>&1 \
      || fail "the single run of case $k: $(tail -3 "$work/single-$k.out")"
    cmp "$single/results.csv" "$work/local/${folders[k]}/results.csv" \
      || fail "case $k (${cycles[k]}, ${masses[k]} kg): results.csv differs from the single run's"
    for figure in fuelLitresPer100Km co2GramsPerKm distanceKm cycleFollowing.excursions; do
      expected=$(jq -r ".${figure}" "$single/summary.json")
      actual=$(column "$figure" "$csv" | sed -n "$((k + 1))p")
      same_number "$actual" "$expected" || fail "case $k: $figure is '$actual' in sweep.csv, $expected in the single run"
    done
  done

  # A rerun finds every case complete.
  "$sim" sweep "$work/masses.toml" --output-dir "$work/local" --no-progress >"$work/rerun.out" 2>&1 \
    || fail "the rerun: $(cat "$work/rerun.out")"
  grep -q "4 cases already ok, skipped" "$work/rerun.out" || fail "the rerun ran cases again: $(cat "$work/rerun.out")"

  # A misspelt cycle is refused before any case runs, with the file and line.
  printf 'cycles = ["nedc",\n  "udds", "wltp"]\n[settings]\nstop-time = 5\n' >"$work/typo.toml"
  "$sim" sweep "$work/typo.toml" --output-dir "$work/typo" --no-progress >"$work/typo.out" 2>&1
  code=$?
  [ "$code" -eq 1 ] && grep -q "^vehicle-sim: $work/typo.toml:2: the cycle 'wltp' is no standard cycle, nor a cycle file" "$work/typo.out" \
    || fail "the misspelt cycle (exit $code): $(cat "$work/typo.out")"
  [ ! -e "$work/typo" ] || fail "a case of the refused sweep ran: $(ls -R "$work/typo")"

  # Case status: ok, health check failed (a negative mass runs away), error (no mass: NaN).
  printf 'cycles = ["nedc"]\n[settings]\nstop-time = 15\n[grid]\n"chassis.vehicleMass" = [1200, -1500, 0, 1500]\n' \
    >"$work/status.toml"
  "$sim" sweep "$work/status.toml" --output-dir "$work/status" --no-progress >"$work/status.out" 2>&1
  code=$?
  [ "$code" -eq 1 ] || fail "a sweep with an error exits $code, not 1: $(cat "$work/status.out")"
  grep -q "^4 cases: 2 ok, 1 health check failed, 1 error, 0 interrupted, 0 not run$" "$work/status.out" \
    || fail "the counts: $(cat "$work/status.out")"
  grep -q "^case 1 (.*chassis.vehicleMass=-1500): health check failed (exit code 2): the vehicle runs away" "$work/status.out" \
    || fail "no line names the health check failure: $(cat "$work/status.out")"
  grep -q "^case 2 (.*chassis.vehicleMass=0): error (exit code 1): chassis.wheelSpeed is NaN" "$work/status.out" \
    || fail "no line names the error: $(cat "$work/status.out")"
  grep -q "folder $work/status/cases/.*, log $work/status/logs/" "$work/status.out" || fail "the failed case's folder is not named"
  [ "$(column status "$work/status/sweep.csv" | tr '\n' ' ')" = "ok health-check-failed error ok " ] \
    || fail "sweep.csv's status column: $(cat "$work/status/sweep.csv")"
  grep -q "title 'fuelLitresPer100Km (2 cases not ok left out)'" "$work/status/plots/sweep.gp" \
    || fail "the plot's legend does not say that 2 cases were left out: $(grep plot "$work/status/plots/sweep.gp")"
  # Lean by default: the summary, the report and a results file of two rows, a few kB.
  lean=$work/status/$(column folder "$work/status/sweep.csv" | head -1)
  [ "$(wc -l <"$lean/results.csv")" -eq 3 ] || fail "a lean case's results: $(head -5 "$lean/results.csv")"
  bytes=$(du -sb --apparent-size "$lean" | cut -f1)
  [ "$bytes" -lt 20000 ] || fail "a lean case takes $bytes bytes: $(ls -l "$lean")"
  # A rerun runs only the cases not ok (the ok ones' logs keep a mark), and ends 1 again.
  mapfile -t logs < <(column folder "$work/status/sweep.csv" | sed 's|^cases/\(.*\)|'"$work"'/status/logs/\1.log|')
  for log in "${logs[@]}"; do echo mark >>"$log"; done
  "$sim" sweep "$work/status.toml" --output-dir "$work/status" --no-progress >"$work/status-rerun.out" 2>&1
  code=$?
  [ "$code" -eq 1 ] && grep -q "^2 cases already ok, skipped" "$work/status-rerun.out" \
    || fail "the rerun (exit $code): $(cat "$work/status-rerun.out")"
  [ "$(for log in "${logs[@]}"; do tail -1 "$log" | grep -c '^mark$'; done | tr '\n' ' ')" = "1 0 0 1 " ] \
    || fail "the rerun did not run exactly the cases not ok"
  # Without the error, the health check failure alone: exit 2.
  sed -i 's/, 0, 1500\]/]/' "$work/status.toml"
  "$sim" sweep "$work/status.toml" --output-dir "$work/status" --no-progress >"$work/status-2.out" 2>&1
  code=$?
  [ "$code" -eq 2 ] || fail "a sweep whose only failure is a health check exits $code, not 2: $(cat "$work/status-2.out")"
  echo "sweep_local: 4 cases equal to their single runs bit for bit; rerun skipped them; statuses counted, listed and plotted apart; a rerun ran only the cases not ok"
  exit 0
fi

# slurm
cluster_dir=$work/cluster
"$cluster" start "$cluster_dir" >"$work/cluster.out" 2>&1
case $? in
  0) ;;
  3) cluster_dir=; skip "sweep_slurm: $(tail -1 "$work/cluster.out")" ;;
  *) fail "the Slurm cluster script: $(cat "$work/cluster.out")" ;;
esac
export SLURM_CONF=$cluster_dir/slurm.conf
"$sim" sweep "$work/masses.toml" --slurm --output-dir "$work/slurm" >"$work/submit.out" 2>&1 \
  || fail "the submission: $(cat "$work/submit.out")"
job=$(sed -n 's/^Submitted job array \([0-9]*\):.*/\1/p' "$work/submit.out")
[ -n "$job" ] || fail "no job id: $(cat "$work/submit.out")"
for _ in $(seq 600); do
  [ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && break
  sleep 1
done
[ -z "$(squeue -h -j "$job" 2>/dev/null)" ] && [ -z "$(squeue -h 2>/dev/null)" ] || fail "the job array $job did not finish in 10 minutes"
"$sim" sweep collect "$work/slurm" >"$work/collect.out" 2>&1 || fail "collect: $(cat "$work/collect.out") $(cat "$work"/slurm/logs/* 2>/dev/null | tail -5)"
# realTimeFactor is the wall time of each run: the only column that may differ.
strip() { awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "realTimeFactor") c = i } { $c = ""; print }' OFS=, "$1"; }
diff <(strip "$csv") <(strip "$work/slurm/sweep.csv") || fail "the collected sweep.csv differs from the local one"
for folder in $(column folder "$csv"); do
  cmp "$work/local/$folder/results.csv" "$work/slurm/$folder/results.csv" || fail "$folder: results.csv differs"
done
echo "sweep_slurm: job array $job of 4 cases ran on a one-node Slurm cluster; collected sweep.csv equals the local one"
