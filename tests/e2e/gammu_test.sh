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

# gammu_expect NAME COMMAND [PATTERN WHY_MISSING]... : one case; gammu COMMAND
# succeeds and its output has a line matching each (basic) PATTERN.
gammu_expect() {
    local name=$1 command=$2 out="$work/$2.out" msg=""
    shift 2
    if ! gammu_run "$out" "$command"; then
        record "$name" "gammu $command failed: $(cat "$out")"
        return
    fi
    while [ $# -gt 0 ]; do
        grep -q -- "$1" "$out" || msg="${msg:+$msg }${2:-no line matching $1};"
        shift 2 || shift
    done
    [ -n "$msg" ] && msg="$msg output: $(cat "$out")"
    record "$name" "$msg"
}

# identify: the TC35's identification answers reach the client.
gammu_expect Identify identify \
    'Manufacturer *: Siemens' "no Siemens manufacturer" \
    'Model *: TC35' "no TC35 model" \
    'IMEI *: [0-9]\{15\}' "no IMEI"

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
gammu_expect GetAllSms getallsms \
    '^Hello$' "7-bit body missing" \
    '^你好$' "UCS-2 body missing" \
    'Remote number *: "+123"' "sender +123 missing" \
    '2 SMS parts in 2 SMS sequences' "not 2 messages"

write_result
