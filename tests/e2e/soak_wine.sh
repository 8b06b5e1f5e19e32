#!/usr/bin/env bash
# Wine soak, run by hand: one vantorhost process polls modemsim N times (each
# round the link test, an unread listing and the 20 store reads) and reports
# its own figures before and after (working set, private bytes, open handles,
# global atoms: vantorhost --stats) together with the Wine process's VmRSS
# sampled from /proc while it runs. The figures before are taken after one
# warm-up poll, so that what Wine and the module set up once (lazily loaded
# parts, the first atoms) is not counted as growth.
#
#   tests/e2e/soak_wine.sh [--polls N] [--interval MS] [--xml FILE]
#
# Defaults: 2000 polls, 10 ms apart. With --xml it writes GoogleTest-style
# results: every poll saw the link, the handle count did not grow, the
# global atom count grew by fewer than one atom per ten polls (the table is
# shared with Wine's own processes, so it is not exact), and the private bytes
# grew by less than 1 MiB.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$HERE/../.." && pwd)}"
# shellcheck source=host_lib.sh
source "$HERE/host_lib.sh"
# shellcheck source=fault_lib.sh
source "$HERE/fault_lib.sh"

POLLS=2000
INTERVAL=10
XML=""
COM=78
while (($#)); do
    case "$1" in
        --polls) POLLS="$2"; shift 2 ;;
        --interval) INTERVAL="$2"; shift 2 ;;
        --xml) XML="$2"; shift 2 ;;
        --com) COM="$2"; shift 2 ;;
        *) echo "usage: $0 [--polls N] [--interval MS] [--xml FILE]" >&2; exit 2 ;;
    esac
done

mkdir -p "$VANTOR_ROOT/build"
FAULT_RUN="$(mktemp -d "$VANTOR_ROOT/build/soak-wine.XXXXXX")"
host_pid=""
cleanup() {
    [[ -n "$host_pid" ]] && kill "$host_pid" 2>/dev/null
    fault_cleanup
    e2e_wine_down
}
trap cleanup EXIT

e2e_wine_up
fault_sim_start soak "$COM" --inbox "$HERE/data/demo_inbox.txt" || exit 1

out="$FAULT_RUN/soak.out"
started=$SECONDS
"$VANTOR_WINE" "$VANTORHOST_EXE" --port "COM$COM" --timeout 1000 run "stats start" "poll --count 1 --interval 0" \
    "stats warm" "poll --count $POLLS --interval $INTERVAL" "stats end" >"$out" 2>&1 &
host_pid=$!

# VmRSS of the Wine process, every 2 s, in KiB.
rss_first="" rss_max=0 rss_last=""
while kill -0 "$host_pid" 2>/dev/null; do
    rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$host_pid/status" 2>/dev/null)"
    if [[ -n "$rss" ]]; then
        # The first samples are taken while Wine is still starting up.
        grep -q '^stats warm' "$out" && [[ -z "$rss_first" ]] && rss_first="$rss"
        ((rss > rss_max)) && rss_max="$rss"
        rss_last="$rss"
    fi
    sleep 2
done
wait "$host_pid"
rc=$?
host_pid=""
seconds=$((SECONDS - started))
fault_sim_stop soak

# The rounds of the long poll, after the warm-up round.
rounds="$(sed '1,/^stats warm/d' "$out" | grep -c '^poll [0-9]*:')"
up="$(sed '1,/^stats warm/d' "$out" | grep -c '^poll [0-9]*: link 1$')"
start_line="$(grep '^stats warm' "$out")"
end_line="$(grep '^stats end' "$out")"
figure() { sed -nE "s/.*$2 ([0-9]+).*/\1/p" <<<"$1"; }
ws0="$(figure "$start_line" 'working set')" ws1="$(figure "$end_line" 'working set')"
pv0="$(figure "$start_line" 'private')" pv1="$(figure "$end_line" 'private')"
h0="$(figure "$start_line" 'handles')" h1="$(figure "$end_line" 'handles')"
a0="$(figure "$start_line" 'global atoms')" a1="$(figure "$end_line" 'global atoms')"

echo "polls: $rounds in ${seconds}s (exit status $rc), link up in $up"
grep '^stats start' "$out"
echo "$start_line"
echo "$end_line"
echo "VmRSS of the Wine process: ${rss_first:-?} KiB after start, ${rss_last:-?} KiB at the end, ${rss_max} KiB at most"
echo "output: $out"

[[ -z "$XML" ]] && exit "$rc"
expect_eq soak_polls_completed "$rounds" "$POLLS"
expect_eq soak_link_up_every_poll "$up" "$POLLS"
expect_eq soak_handles_not_grown "$h1" "$h0"
if [[ -n "$a0" && -n "$a1" ]] && ((a1 - a0 < (POLLS / 10 > 20 ? POLLS / 10 : 20))); then
    case_pass soak_global_atoms_flat
else
    case_fail soak_global_atoms_flat "global atoms $a0 -> $a1"
fi
if [[ -n "$pv0" && -n "$pv1" ]] && ((pv1 - pv0 < 1024)); then
    case_pass soak_private_bytes_flat
else
    case_fail soak_private_bytes_flat "private bytes $pv0 -> $pv1 KiB"
fi
write_results "$XML" soak_wine
