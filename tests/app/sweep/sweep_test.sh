#!/bin/bash
# Whole sweeps through vehicle-sim: 2 vehicle masses x 2 cycles, 40 s of each, full results.
#   local  the sweep on 2 jobs; each case's results.csv equals byte for byte that of the same
#          case run alone, sweep.csv carries the single runs' figures, a rerun skips every case;
#          a sweep with a health check failure and an error counts, lists, plots and ends by
#          status, its cases are lean, and its rerun runs only the cases not ok.
#   slurm  the same sweep as a job array on a one-node Slurm cluster started here (munge,
#          slurmctld, slurmd), collected; its sweep.csv equals the local one.
#   plan   10 000 cases planned against stand-ins for the Slurm commands: the arrays under
#          MaxArraySize, their lists, no case run; collect over 10 000 summaries.
#   check-step  vehicle-sim check-step on a converged case and on one that is not, and a sweep
#          whose first case's step is not converged, which does not start.
# Usage: sweep_test.sh local|slurm|plan|check-step VEHICLE_SIM SLURM_CLUSTER_SCRIPT
set -uo pipefail
mode=$1 sim=$2 cluster=$3

skip() { echo "SKIPPED: $*"; exit 77; }
fail() { echo "FAILED: $*" >&2; exit 1; }

# The whole help first: grep -q would close the pipe early, and vehicle-sim fails on a closed
# output (pipefail would then skip the test on a sound build).
help=$("$sim" --help 2>&1)
if ! grep -q -- '--output-dir' <<<"$help"; then
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

if [ "$mode" = check-step ]; then
  cd "$work" || fail "cd $work"
  mkdir tmp
  export TMPDIR=$work/tmp  # the checks' temporary folders, removed with the test's
  # The default stepping on 120 s of the WLTC is converged; its runs, in a temporary folder, go;
  # the chosen run's figures are those of the same run made alone.
  "$sim" check-step --stop-time 120 --no-progress >ok.out 2>&1
  code=$?
  [ "$code" -eq 0 ] && grep -q '^The step 0.01 s (multirate) is converged within 0.5 %: ' ok.out \
    && grep -q '^  0.0025 s  multirate: every component at 0.0025 s  (the finest)$' ok.out \
    || fail "the converged case (exit $code): $(cat ok.out)"
  [ -z "$(ls -A tmp)" ] || fail "the converged check left its runs: $(ls -R tmp)"
  "$sim" --stop-time 120 --no-progress --quiet --output-dir single || fail "the single run"
  fuel=$(LC_NUMERIC=C printf '%.6g' "$(jq .fuelGrams single/summary.json)")
  grep -q "^  fuel (g) *$fuel (+[0-9.]* %)  " ok.out || fail "the chosen run's fuel is not the single run's $fuel g: $(cat ok.out)"
  # Every component at 0.05 s with feedthrough is not; its runs stay in --output-dir, which a
  # second check does not write over.
  "$sim" check-step --stop-time 60 --coupling feedthrough --step 0.05 --output-dir coarse --no-progress >coarse.out 2>&1
  code=$?
  [ "$code" -eq 2 ] && grep -q '^The step 0.05 s (feedthrough) is NOT converged within 0.5 %: fuel (g) +' coarse.out \
    || fail "the unconverged case (exit $code): $(cat coarse.out)"
  [ "$(ls coarse/cases | tr '\n' ' ')" = "step-0.0025 step-0.0125 step-0.025 step-0.05 " ] || fail "the runs: $(ls coarse/cases)"
  cp coarse/check-step.txt earlier.txt
  "$sim" check-step --stop-time 60 --output-dir coarse --no-progress >again.out 2>&1
  code=$?
  [ "$code" -eq 1 ] && grep -q "^vehicle-sim: --output-dir 'coarse' exists and is not an empty folder" again.out \
    && cmp -s earlier.txt coarse/check-step.txt || fail "a check into an earlier one's folder (exit $code): $(cat again.out)"
  # A run option before the subcommand's name would be lost to the check: refused.
  "$sim" --stop-time 60 check-step >before.out 2>&1
  code=$?
  [ "$code" -eq 1 ] && grep -q "^vehicle-sim: '--stop-time=60' before check-step" before.out || fail "an option before check-step (exit $code): $(cat before.out)"
  # A sweep whose first case is not converged does not start (the sweep file's check-step, or --check-step).
  # (0.05 s is within 0.2 % of the finest on 60 s of the WLTC: the file asks for 0.01 %)
  printf '[check-step]\ntolerance = 0.0001\n[settings]\nstop-time = 60\n[grid]\nstep = [0.05]\n"chassis.vehicleMass" = [1200, 1500]\n' >coarse.toml
  "$sim" sweep coarse.toml --output-dir sweep --no-progress >sweep.out 2>&1
  code=$?
  [ "$code" -eq 2 ] && grep -q '^vehicle-sim: the sweep does not start: the step of case 0 is not converged' sweep.out \
    || fail "the sweep of an unconverged case (exit $code): $(cat sweep.out)"
  [ ! -e sweep ] || fail "the refused sweep wrote its folder: $(ls -R sweep)"
  sed -i '1,2d; s/0\.05/0.5/' coarse.toml
  "$sim" sweep coarse.toml --check-step --output-dir sweep --no-progress >sweep.out 2>&1
  code=$?
  [ "$code" -eq 2 ] && [ ! -e sweep ] || fail "the sweep with --check-step (exit $code): $(cat sweep.out)"
  echo "sweep_check-step: a converged case exit 0, an unconverged one exit 2 with its runs kept, never written over; the sweep of an unconverged case refused"
  exit 0
fi

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
  printf 'cycles = ["nedc"]\n[settings]\nstop-time = 70\n[grid]\n"chassis.vehicleMass" = [1200, -1500, 0, 1500]\n' \
    >"$work/status.toml"
  "$sim" sweep "$work/status.toml" --output-dir "$work/status" --no-progress >"$work/status.out" 2>&1
  code=$?
  [ "$code" -eq 1 ] || fail "a sweep with an error exits $code, not 1: $(cat "$work/status.out")"
  grep -q "^4 cases: 2 ok, 1 health check failed, 1 error, 0 interrupted, 0 not run$" "$work/status.out" \
    || fail "the counts: $(cat "$work/status.out")"
  grep -q "^case 1 (.*chassis.vehicleMass=-1500): health check failed (exit code 2): the vehicle runs away" "$work/status.out" \
    || fail "no line names the health check failure: $(cat "$work/status.out")"
  grep -q "^case 2 (.*chassis.vehicleMass=0): error (exit code 1): [a-z]*\.[A-Za-z]* is NaN" "$work/status.out" \
    || fail "no line names the error: $(cat "$work/status.out")"
  grep -q "folder $work/status/cases/.*, log $work/status/logs/" "$work/status.out" || fail "the failed case's folder is not named"
  [ "$(column status "$work/status/sweep.csv" | tr '\n' ' ')" = "ok health-check-failed error ok " ] \
    || fail "sweep.csv's status column: $(cat "$work/status/sweep.csv")"
  grep -q "title 'fuelLitresPer100Km (2 cases not ok left out)'" "$work/status/plots/sweep.gp" \
    || fail "the plot's legend does not say that 2 cases were left out: $(grep plot "$work/status/plots/sweep.gp")"
  # Lean by default: the summary, the report and a results file of two rows, some tens of kB (the provenance makes most of it).
  lean=$work/status/$(column folder "$work/status/sweep.csv" | head -1)
  [ "$(wc -l <"$lean/results.csv")" -eq 3 ] || fail "a lean case's results: $(head -5 "$lean/results.csv")"
  bytes=$(du -sb --apparent-size "$lean" | cut -f1)
  [ "$bytes" -lt 40000 ] || fail "a lean case takes $bytes bytes: $(ls -l "$lean")"
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

if [ "$mode" = plan ]; then
  # 10 000 cases planned for a cluster whose commands are stand-ins: arrays, files, collect.
  mkdir -p "$work/bin"
  printf '#!/bin/sh\necho "MaxArraySize            = 1001"\n' >"$work/bin/scontrol"
  printf '#!/bin/sh\nn=$(cat "%s/jobs" 2>/dev/null || echo 0); n=$((n + 1)); echo $n >"%s/jobs"; cp "$2" "%s/submitted-$n"; echo "$n;cluster"\n' \
    "$work" "$work" "$work" >"$work/bin/sbatch"
  printf '#!/bin/sh\nexit 0\n' >"$work/bin/squeue"
  printf '#!/bin/sh\nexit 1\n' >"$work/bin/sacct"
  chmod +x "$work"/bin/*
  printf 'limit = 10000\n[grid]\n"chassis.vehicleMass" = [%s]\nstop-time = [%s]\n' "$(seq -s, 1000 1099)" "$(seq -s, 1 100)" >"$work/huge.toml"
  echo "$(date +%T) submitting"
  PATH=$work/bin:$PATH "$sim" sweep "$work/huge.toml" --slurm --output-dir "$work/huge" >"$work/huge.out" 2>&1 \
    || fail "the 10 000-case submission: $(cat "$work/huge.out")"
  grep -q "^Submitted 10000 cases as 10 job arrays (1 2 3 4 5 6 7 8 9 10)" "$work/huge.out" || fail "$(cat "$work/huge.out")"
  [ "$(grep -h '^#SBATCH --array=' "$work"/submitted-* | sort | uniq -c | tr -s ' ')" = "$(printf ' 9 #SBATCH --array=0-1000\n 1 #SBATCH --array=0-990')" ] \
    || fail "the arrays: $(grep -h '^#SBATCH --array=' "$work"/submitted-*)"
  grep -q '^#SBATCH --requeue$' "$work/submitted-1" || fail "the arrays are not requeued"
  [ "$(cat "$work"/huge/slurm/submit-1/array-*.cases | sort -n | uniq | wc -l)" -eq 10000 ] || fail "the lists do not name each case once"
  [ ! -e "$work/huge/cases" ] || fail "cases were made before any ran"
  plan_bytes=$(stat -c %s "$work/huge/sweep-plan.json")
  # One case run as its task would; its summary stands in for the 9999 others.
  "$sim" sweep run-case "$work/huge" --list "$work/huge/slurm/submit-1/array-0.cases" 0 >"$work/case.out" 2>&1 || fail "run-case: $(cat "$work/case.out")"
  first=$(ls "$work/huge/cases")
  jq -r '.cases[].id' "$work/huge/sweep-plan.json" | grep -v "$first" | sed "s|^|$work/huge/cases/|" | xargs mkdir
  jq -r '.cases[].id' "$work/huge/sweep-plan.json" | grep -v "$first" | sed "s|^|$work/huge/cases/|; s|$|/summary.json|" \
    | xargs sh -c 'tee "$@" <"$0" >/dev/null' "$work/huge/cases/$first/summary.json"
  echo "$(date +%T) the stand-in summaries are written"
  start=$(date +%s.%N)
  "$sim" sweep collect "$work/huge" >"$work/collect.out" 2>&1 || fail "collect: $(tail -3 "$work/collect.out")"
  end=$(date +%s.%N)
  grep -q "^10000 cases: 10000 ok, 0 health check failed" "$work/collect.out" || fail "collect: $(tail -3 "$work/collect.out")"
  [ "$(wc -l <"$work/huge/sweep.csv")" -eq 10001 ] || fail "sweep.csv has not 10000 rows"
  PATH=$work/bin:$PATH "$sim" sweep status "$work/huge" >"$work/status.out" 2>&1 || fail "status: $(cat "$work/status.out")"
  grep -q "^10000 cases: 10000 ok, .*; in Slurm 0 running, 0 pending$" "$work/status.out" || fail "status: $(cat "$work/status.out")"
  awk -v a="$start" -v b="$end" -v p="$plan_bytes" 'BEGIN {
    printf "sweep_plan: 10000 cases in 10 arrays under MaxArraySize 1001; plan %.0f bytes per case; collect of 10000 cases %.2f s\n", p / 10000, b - a }'
  exit 0
fi

# slurm
cluster_dir=$work/cluster
# Arrays of at most 300 tasks; scheduling at once when a task ends (these cases are short).
export SLURM_CLUSTER_CONF=$'MaxArraySize=300\nSchedulerParameters=sched_min_interval=0,batch_sched_delay=0'
"$cluster" start "$cluster_dir" >"$work/cluster.out" 2>&1
case $? in
  0) ;;
  3) cluster_dir=; skip "sweep_slurm: $(tail -1 "$work/cluster.out")" ;;
  *) fail "the Slurm cluster script: $(cat "$work/cluster.out")" ;;
esac
export SLURM_CONF=$cluster_dir/slurm.conf
"$sim" sweep "$work/masses.toml" --slurm --output-dir "$work/slurm" >"$work/submit.out" 2>&1 \
  || fail "the submission: $(cat "$work/submit.out")"
job=$(sed -n 's/^Submitted 4 cases as 1 job array (\([0-9]*\)).*/\1/p' "$work/submit.out")
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

# 1000 cases of 0.1 s: arrays split under MaxArraySize, one running task requeued (as Slurm does
# when its node is lost) and run again, a rerun after part of the sweep failed submits only the
# failed cases.
masses=$(seq -s, 1000 1999)
printf 'limit = 2000\n[settings]\nstop-time = 0.1\n[grid]\n"chassis.vehicleMass" = [%s]\n' "$masses" >"$work/big.toml"
start=$(date +%s.%N)
"$sim" sweep "$work/big.toml" --slurm --output-dir "$work/big" >"$work/big.out" 2>&1 || fail "the 1000 cases: $(cat "$work/big.out")"
grep -q "^Submitted 1000 cases as 4 job arrays" "$work/big.out" || fail "not 4 arrays: $(cat "$work/big.out")"
[ "$(cat "$work"/big/slurm/submit-1/array-*.cases | sort -n | uniq | wc -l)" -eq 1000 ] || fail "the arrays' lists do not name each case once"
requeued=
for _ in $(seq 300); do
  requeued=$(squeue -h -t R -o %i 2>/dev/null | grep _ | head -1)
  [ -n "$requeued" ] && break
  sleep 0.2
done
[ -n "$requeued" ] || fail "no task ran"
scontrol requeue "$requeued" || fail "scontrol requeue $requeued"
"$sim" sweep status "$work/big" >"$work/status.out" 2>&1 || fail "sweep status: $(cat "$work/status.out")"
grep -q "^1000 cases: .*; in Slurm [0-9]* running, [1-9][0-9]* pending$" "$work/status.out" || fail "sweep status: $(cat "$work/status.out")"
for _ in $(seq 900); do
  [ -z "$(squeue -h 2>/dev/null)" ] && break
  sleep 1
done
[ -z "$(squeue -h 2>/dev/null)" ] || fail "the 1000 cases did not finish in 15 minutes"
ran=$(date +%s.%N)
scontrol show job "$requeued" | grep -q "Restarts=1" || fail "task $requeued was not run again: $(scontrol show job "$requeued")"
"$sim" sweep collect "$work/big" >"$work/big-collect.out" 2>&1 || fail "collect: $(cat "$work/big-collect.out")"
collected=$(date +%s.%N)
grep -q "^1000 cases: 1000 ok, 0 health check failed, 0 error, 0 interrupted, 0 not run$" "$work/big-collect.out" \
  || fail "collect: $(cat "$work/big-collect.out")"
kb=$(du -sk "$work/big/cases" | cut -f1)
awk -v a="$start" -v b="$ran" -v c="$collected" -v kb="$kb" 'BEGIN {
  printf "sweep_slurm: 1000 cases of 0.1 s in 4 arrays: %.1f s (%.1f cases/s), collect %.2f s, %.1f kB per case\n", b - a, 1000 / (b - a), c - b, kb / 1000 }'
# Two cases fail (killed, as their exit files say): the rerun submits those two only.
for row in 6 701; do
  id=$(column folder "$work/big/sweep.csv" | sed -n "${row}p" | sed 's|cases/||')
  echo 137 >"$work/big/logs/$id.exit"
done
"$sim" sweep "$work/big.toml" --slurm --output-dir "$work/big" >"$work/big-rerun.out" 2>&1 || fail "the rerun: $(cat "$work/big-rerun.out")"
grep -q "^Submitted 2 cases as 1 job array .* 998 cases already ok" "$work/big-rerun.out" || fail "the rerun: $(cat "$work/big-rerun.out")"
[ "$(tr '\n' ' ' <"$work/big/slurm/submit-2/array-0.cases")" = "5 700 " ] || fail "the rerun's cases: $(cat "$work/big/slurm/submit-2/array-0.cases")"
for _ in $(seq 120); do [ -z "$(squeue -h 2>/dev/null)" ] && break; sleep 0.5; done
"$sim" sweep collect "$work/big" >"$work/big-collect.out" 2>&1 || fail "collect after the rerun: $(cat "$work/big-collect.out")"
grep -q "^1000 cases: 1000 ok," "$work/big-collect.out" || fail "collect after the rerun: $(cat "$work/big-collect.out")"
echo "sweep_slurm: job array $job of 4 cases ran on a one-node Slurm cluster; collected sweep.csv equals the local one; 1000 cases split under MaxArraySize, a requeued task run again, a rerun ran only the failed cases"
