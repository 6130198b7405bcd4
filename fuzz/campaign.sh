#!/usr/bin/env bash
# A fuzzing campaign: runs one target (through run.sh, so the corpus carries over) until it
# has run for at least MINUTES and made at least EXECUTIONS executions, in rounds of at most
# ten minutes, and stops at the first finding.
#
#   fuzz/campaign.sh TARGET [MINUTES [EXECUTIONS [JOBS]]]  (defaults: 30 minutes, 2000000, 1)
#
# With JOBS > 1 each round runs that many fuzzers side by side on the one corpus (see run.sh);
# the campaign stops at the end of a round in which any of them found something.
#
# Exits 0 when the campaign ends without a finding, 1 at a finding, 2 on a usage or build error.
set -euo pipefail

[[ $# -ge 1 && $# -le 4 ]] || {
    echo "usage: $0 fuzz_analyze|fuzz_roundtrip|fuzz_edit|fuzz_gpslog [MINUTES [EXECUTIONS [JOBS]]]" >&2
    exit 2
}
target=$1
minutes=${2:-30}
wanted=${3:-2000000}
jobs=${4:-1}
[[ $minutes =~ ^[0-9]+$ && $wanted =~ ^[0-9]+$ && $jobs =~ ^[1-9][0-9]*$ ]] || exit 2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

seconds=0
executions=0
cpu=0
round=0
while ((seconds < minutes * 60 || executions < wanted)); do
    round=$((round + 1))
    left=$((minutes * 60 - seconds))
    chunk=$((left > 600 ? 600 : left < 60 ? 600 : left))
    echo "== $target, round $round: ${chunk}s"
    set +e
    out=$("$here/run.sh" "$target" "$chunk" "$jobs" 2>&1)
    status=$?
    set -e
    echo "$out" | grep -vE '^running ' || true
    # "average: R exec/s (N executions in S s)" and "per CPU second: R executions (C s of CPU time)"
    n=$(echo "$out" | sed -nE 's/^average: .*\(([0-9]+) executions in ([0-9]+) s\)$/\1/p')
    s=$(echo "$out" | sed -nE 's/^average: .*\(([0-9]+) executions in ([0-9]+) s\)$/\2/p')
    c=$(echo "$out" | sed -nE 's/^per CPU second: .*\(([0-9]+) s of CPU time\)$/\1/p')
    executions=$((executions + ${n:-0}))
    seconds=$((seconds + ${s:-0}))
    cpu=$((cpu + ${c:-0}))
    if ((status != 0)); then
        echo "campaign stopped in round $round: $executions executions in ${seconds}s"
        exit "$status"
    fi
done
echo "campaign done: $target, $executions executions in ${seconds}s ($((executions / seconds)) exec/s," \
    "$((cpu > 0 ? executions / cpu : 0)) per CPU second), $round round(s), nothing found"
