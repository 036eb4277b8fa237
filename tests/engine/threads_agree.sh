#!/bin/sh
# The whole vehicle over the first SECONDS of its cycle on 1, 2 and 4 threads: each run ends 0 and
# the results agree to the byte. Under ThreadSanitizer a race in the hand-over between the
# threads ends the run with the sanitizer's report.
set -eu
sim=$1 seconds=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for threads in 1 2 4; do
  "$sim" --no-progress --no-plots --stop-time "$seconds" --threads "$threads" --output-dir "$out/$threads" >"$out/log" 2>&1 || {
    cat "$out/log"
    exit 1
  }
done
cmp "$out/1/results.csv" "$out/2/results.csv"
cmp "$out/1/results.csv" "$out/4/results.csv"
echo "1, 2 and 4 threads agree over $seconds s"
