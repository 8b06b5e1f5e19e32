#!/bin/bash
# End-to-end check of modemsim with a client nobody here wrote: Debian's gammu
# command-line tool over its "at" connection identifies the modem, sends a
# message (modemsim must record it with the right number and text) and reads
# all stored messages.
#
# Usage: tests/e2e/gammu_test.sh RESULT.xml
# modemsim is taken from $VANTOR_MODEMSIM, else build/native/modemsim.
set -u

result_file=${1:?usage: $0 RESULT.xml}
repo=$(cd "$(dirname "$0")/../.." && pwd)
modemsim=${VANTOR_MODEMSIM:-$repo/build/native/modemsim}
work=$(mktemp -d /tmp/vantor-gammu.XXXXXX)
sim_pid=""

cleanup() {
    if [ -n "$sim_pid" ] && kill -0 "$sim_pid" 2>/dev/null; then
        kill -TERM "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$work"
}
trap cleanup EXIT

names=()
failures=()
record() {  # name, failure message ("" when passed)
    names+=("$1")
    failures+=("$2")
    if [ -z "$2" ]; then echo "PASS $1"; else echo "FAIL $1: $2"; fi
}

xml_escape() {
    sed -e 's/&/\&amp;/g' -e 's/</\&lt;/g' -e 's/>/\&gt;/g' -e 's/"/\&quot;/g'
}

write_result() {
    local total=${#names[@]} failed=0 i
    for f in "${failures[@]}"; do [ -n "$f" ] && failed=$((failed + 1)); done
    {
        echo '<?xml version="1.0" encoding="UTF-8"?>'
        echo "<testsuites tests=\"$total\" failures=\"$failed\" errors=\"0\">"
        echo "  <testsuite name=\"GammuEndToEnd\" tests=\"$total\" failures=\"$failed\" errors=\"0\">"
        for i in "${!names[@]}"; do
            if [ -z "${failures[$i]}" ]; then
                echo "    <testcase name=\"${names[$i]}\" classname=\"GammuEndToEnd\"/>"
            else
                echo "    <testcase name=\"${names[$i]}\" classname=\"GammuEndToEnd\">"
                echo "      <failure message=\"$(printf '%s' "${failures[$i]}" | head -c 300 | tr '\n' ' ' | xml_escape)\"/>"
                echo "    </testcase>"
            fi
        done
        echo "  </testsuite>"
        echo "</testsuites>"
    } > "$result_file"
    [ "$failed" -eq 0 ] && [ "$total" -gt 0 ]
}

if [ ! -x "$modemsim" ]; then
    record Setup "modemsim not found at $modemsim"
    write_result
    exit 1
fi
if ! command -v gammu > /dev/null; then
    record Setup "gammu is not installed"
    write_result
    exit 1
fi

# Two stored messages: an unread 7-bit one and a read UCS-2 one.
cat > "$work/inbox.txt" <<'INBOX'
unread 0004039121F300005021801231542305C8329BFD06
read 0891683108100005F0040D91683119325476F8000850218012315423044F60597D
INBOX
printf '[gammu]\ndevice = %s\nconnection = at\n' "$work/com5" > "$work/gammurc"

"$modemsim" --link "$work/com5" --inbox "$work/inbox.txt" --sent "$work/sent.jsonl" \
    --log "$work/traffic.log" > "$work/modemsim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 50); do [ -L "$work/com5" ] && break; sleep 0.1; done
if [ ! -L "$work/com5" ]; then
    record Setup "modemsim did not create its link: $(cat "$work/modemsim.out")"
    write_result
    exit 1
fi

gammu_run() {  # output file, gammu arguments...
    local out=$1
    shift
    timeout 60 gammu -c "$work/gammurc" "$@" > "$out" 2>&1
}

# identify: the TC35's identification answers reach the client.
if gammu_run "$work/identify.out" identify; then
    msg=""
    grep -q 'Manufacturer *: Siemens' "$work/identify.out" || msg="no Siemens manufacturer;"
    grep -q 'Model *: TC35' "$work/identify.out" || msg="$msg no TC35 model;"
    grep -q 'IMEI *: [0-9]\{15\}' "$work/identify.out" || msg="$msg no IMEI;"
    [ -n "$msg" ] && msg="$msg output: $(cat "$work/identify.out")"
    record Identify "$msg"
else
    record Identify "gammu identify failed: $(cat "$work/identify.out")"
fi

# sendsms: the message modemsim recorded has gammu's number and our text,
# including characters of the GSM extension table.
if gammu_run "$work/send.out" sendsms TEXT +8613912345678 -text 'hello [€]'; then
    line=$(tail -n 1 "$work/sent.jsonl" 2> /dev/null)
    expected='"number":"+8613912345678","toa":145,"coding":"gsm7","text":"hello [€]"'
    if grep -q 'message reference=1' "$work/send.out" && [[ "$line" == *"$expected"* ]]; then
        record SendSms ""
    else
        record SendSms "recorded: '$line'; gammu: $(cat "$work/send.out")"
    fi
else
    record SendSms "gammu sendsms failed: $(cat "$work/send.out")"
fi

# getallsms: both inbox messages, decoded by gammu.
if gammu_run "$work/all.out" getallsms; then
    msg=""
    grep -q '^Hello$' "$work/all.out" || msg="7-bit body missing;"
    grep -q '^你好$' "$work/all.out" || msg="$msg UCS-2 body missing;"
    grep -q 'Remote number *: "+123"' "$work/all.out" || msg="$msg sender +123 missing;"
    grep -q '2 SMS parts in 2 SMS sequences' "$work/all.out" || msg="$msg not 2 messages;"
    [ -n "$msg" ] && msg="$msg output: $(cat "$work/all.out")"
    record GetAllSms "$msg"
else
    record GetAllSms "gammu getallsms failed: $(cat "$work/all.out")"
fi

write_result
