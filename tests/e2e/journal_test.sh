#!/usr/bin/env bash
# The journal under Wine: vantorhost.exe drives Vantor.dll against modemsim
# and the day file is read back as UTF-8. A confirmed, a refused and an
# unknown send, a listing and a deletion each give one line with the right
# fields; the Chinese text reads back as written; a folder that cannot be
# written changes nothing the host sees; old files go at the bounds; and the
# "vantorhost journal" commands move it, turn it off and on, and print it in
# the console's language.
#
#   tests/e2e/journal_test.sh [RESULTS_XML]
#
# scripts/test calls it with the Wine environment exported and both build
# trees built; run by hand it sets up the Wine environment itself. It leaves
# the prefix's journal settings at their defaults.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$HERE/../.." && pwd)}"
# shellcheck source=host_lib.sh
source "$HERE/host_lib.sh"
# shellcheck source=fault_lib.sh
source "$HERE/fault_lib.sh"

XML="${1:-$VANTOR_ROOT/build/results/e2e_journal_test.xml}"
INBOX="$HERE/data/demo_inbox.txt"
mkdir -p "$VANTOR_ROOT/build"
E2E_RUN="$(mktemp -d "$VANTOR_ROOT/build/e2e-journal.XXXXXX")"
FAULT_RUN="$E2E_RUN"

cleanup() {
    vantorhost journal --on --keep-days 0 --keep-mb 0 --keep-day-mb 0 --delivery-reports on >/dev/null 2>&1
    fault_cleanup
    modemsim_stop_all
    e2e_wine_down
}
trap cleanup EXIT

e2e_require_builds "$XML" journal
e2e_wine_up

JOURNAL="$E2E_RUN/journal"
JOURNAL_WIN="$(winpath "$JOURNAL")"
TODAY="journal-$(date +%F).txt"
# The day file's events as "event|number|parts|references|result|error|meaning|text"
# lines, each field without its text mark (a leading apostrophe); fails
# (non-zero) when the file is not UTF-8 with a byte-order mark and the header,
# when Python's csv (dialect excel-tab, as a spreadsheet reads it) makes other
# rows of it than its lines or a row has not all its fields, or when a field
# would be a formula in a spreadsheet.
events() {
    /usr/bin/python3 - "$1" <<'EOF'
import csv, io, sys
data = open(sys.argv[1], "rb").read()
bom, header = b"\xef\xbb\xbf", "time\tport\tevent\tnumber\tparts\treferences\tresult\terror\tmeaning\ttext"
if not data.startswith(bom):
    sys.exit("no byte-order mark")
text = data[3:].decode("utf-8")
lines = text.split("\r\n")
if lines[0] != header or lines[-1] != "":
    sys.exit("no header line or no line end at the end")
rows = list(csv.reader(io.StringIO(text, newline=""), dialect="excel-tab"))
if len(rows) != len(lines) - 1:
    sys.exit("%d lines read as %d rows" % (len(lines) - 1, len(rows)))
for row in rows[1:]:
    if len(row) != 10:
        sys.exit("a row of %d fields: %r" % (len(row), row))
    for f in row[1:]:
        if f.lstrip(" ")[:1] in ("=", "+", "-", "@"):
            sys.exit("a formula in a spreadsheet: %r" % f)
    print("|".join(f[1:] if f.startswith("'") else f for f in row[2:]))
EOF
}
count_events() { grep -c "^$2|" "$1" || true; }
# expect_line_ends NAME FILE END : FILE has a line that ends in END.
expect_line_ends() {
    if tr -d '\r' <"$2" | awk -v end="$3" '
        length($0) >= length(end) && substr($0, length($0) - length(end) + 1) == end { found = 1 }
        END { exit !found }'; then
        case_pass "$1"
    else
        case_fail "$1" "no line ending in '$3' in $(basename "$2")"
    fi
}

# --- where it goes -----------------------------------------------------------
host_run folder 60 journal --folder "$JOURNAL_WIN"
expect_eq folder_exit_status "$(rc folder)" 0
expect_contains folder_is_shown "$(out folder)" "$JOURNAL_WIN"

# --- one session: each outcome once ------------------------------------------
fault_sim_start main 42 --inbox "$INBOX"
fault_session_start main 42 --timeout 1500 --trace
fault_do main "send 13800138000 你好，Vantor 日志"
grep -qF "read SReturn: 1" "$E2E_RUN/main.last" && case_pass send_confirmed || case_fail send_confirmed "$(fault_last main)"
fault_ctl main "cms 330 CMGS 1"
fault_do main "send 13900139000 Tank 4 low"
grep -qF "read SReturn: 2" "$E2E_RUN/main.last" && case_pass send_refused || case_fail send_refused "$(fault_last main)"
fault_do main "inbox --new"
grep -qF "inbox (unread): 5 message(s)" "$E2E_RUN/main.last" && case_pass listed_five ||
    case_fail listed_five "$(fault_last main)"
fault_do main "inbox --old"
fault_do main "delete 1"
fault_ctl main "prompt-silence on"
fault_do main "send 13700137000 Door open" 90
grep -qF "read SReturn: 2" "$E2E_RUN/main.last" && case_pass send_unknown || case_fail send_unknown "$(fault_last main)"
fault_ctl main "prompt-silence off"
fault_session_end main
fault_sim_stop main
expect_not_contains no_journal_failure_traced "$E2E_RUN/main.out" "Journal: cannot write"

if events "$JOURNAL/$TODAY" >"$E2E_RUN/main.events" 2>"$E2E_RUN/main.events.err"; then
    case_pass file_is_utf8_with_header
else
    case_fail file_is_utf8_with_header "$(cat "$E2E_RUN/main.events.err")"
fi
sed 's/^/    journal| /' "$E2E_RUN/main.events"
expect_eq one_sent "$(count_events "$E2E_RUN/main.events" sent)" 1
expect_eq one_refused "$(count_events "$E2E_RUN/main.events" refused)" 1
expect_eq one_unknown "$(count_events "$E2E_RUN/main.events" "outcome unknown")" 1
expect_eq five_received_once "$(count_events "$E2E_RUN/main.events" received)" 5
expect_eq one_deleted "$(count_events "$E2E_RUN/main.events" deleted)" 1
# The sent line: number, one part, the modem's reference, ok, the text as UTF-8.
sent_line=$(grep '^sent|' "$E2E_RUN/main.events")
if [[ "$sent_line" =~ ^sent\|13800138000\|1\|[0-9]+\|ok\|\|\|你好，Vantor\ 日志$ ]]; then
    case_pass sent_fields_and_chinese_text
else
    case_fail sent_fields_and_chinese_text "$sent_line"
fi
expect_contains refused_fields "$E2E_RUN/main.events" \
    "refused|13900139000|1||refused, not tried again|+CMS ERROR: 330|SMSC address unknown|Tank 4 low"
expect_contains unknown_fields "$E2E_RUN/main.events" \
    "outcome unknown|13700137000|1||outcome unknown, not tried again||no final result within 60 s of the Ctrl-Z|Door open"
expect_contains received_chinese "$E2E_RUN/main.events" "|你好，世界！今晚七点见。"
expect_contains received_fields "$E2E_RUN/main.events" "received|10086|1|1|unread, stamped 2026-12-09 08:30:15 +00:00|||Hello from the network"
expect_contains deleted_fields "$E2E_RUN/main.events" "deleted|||1|OK|||"

# --- printed in the console's language ---------------------------------------
host_run print_zh 60 journal --days 2
expect_contains print_chinese_columns "$(out print_zh)" "时间	端口	事件	号码"
expect_contains print_chinese_event "$(out print_zh)" "已发送	13800138000"
expect_contains print_chinese_text "$(out print_zh)" "你好，Vantor 日志"
expect_contains print_chinese_count "$(out print_zh)" "最近 2 天共 9 条记录。"
LC_ALL=en_US.UTF-8 host_run print_en 60 journal
expect_contains print_english_columns "$(out print_en)" "time	port	event	number"
expect_contains print_english_event "$(out print_en)" "	sent	13800138000"
expect_contains print_english_count "$(out print_en)" "9 entries in the last 1 day(s)."

# --- spreadsheet-safe lines ----------------------------------------------------
# Texts a spreadsheet would take for a quoted field or a formula, an
# international number: each line one row of text (events checks the rows
# with Python's csv), and vantorhost shows the fields as they were.
fault_sim_start sheet 45
fault_session_start sheet 45 --timeout 1500
fault_do sheet 'send +8613912345678 "Pump 3" pressure high'
fault_do sheet 'send 13800138000 =HYPERLINK("http://x.example","click")'
fault_do sheet 'send 0755123456 @SUM(A1:A9)'
fault_session_end sheet
fault_sim_stop sheet
if events "$JOURNAL/$TODAY" >"$E2E_RUN/sheet.events" 2>"$E2E_RUN/sheet.events.err"; then
    case_pass spreadsheet_one_row_per_line
else
    case_fail spreadsheet_one_row_per_line "$(cat "$E2E_RUN/sheet.events.err")"
fi
expect_contains spreadsheet_quote_text "$E2E_RUN/sheet.events" 'sent|+8613912345678|1|'
expect_contains spreadsheet_formula_text "$E2E_RUN/sheet.events" '|=HYPERLINK("http://x.example","click")'
# The number marked wherever it stands: the send's recipient here, and the
# sender of the message received from it earlier in the day.
expect_eq spreadsheet_number_marked "$(grep -c "	'+8613912345678	" "$JOURNAL/$TODAY")" 2
LC_ALL=en_US.UTF-8 host_run print_sheet 60 journal
expect_contains print_unmarked_number "$(out print_sheet)" '	sent	+8613912345678	1	'
expect_contains print_unmarked_quote "$(out print_sheet)" '	"Pump 3" pressure high'
expect_contains print_unmarked_phone "$(out print_sheet)" '	0755123456	1	'

# --- a folder that cannot be written changes nothing the host sees -------------
cat >"$E2E_RUN/plain.cmds" <<'CMDS'
send 13800138000 报警：三号泵压力过高
inbox --new
delete 2
read AT
CMDS
plain_session() {
    fault_sim_start "$1" 43 --inbox "$INBOX"
    host_run "$1" 120 --port COM43 --timeout 1500 --trace session <"$E2E_RUN/plain.cmds"
    fault_sim_stop "$1"
    # The results without the trace and the time stamps of the reads.
    grep -v '^  trace|' "$(out "$1")" | sed -E 's/, [0-9-]+ [0-9:.]+\)$/)/' >"$E2E_RUN/$1.results"
}
plain_session writable
host_run unwritable_folder 60 journal --folder 'Q:\no drive\journal'
plain_session unwritable
if cmp -s "$E2E_RUN/writable.results" "$E2E_RUN/unwritable.results"; then
    case_pass unwritable_folder_same_host_results
else
    case_fail unwritable_folder_same_host_results "$(diff "$E2E_RUN/writable.results" "$E2E_RUN/unwritable.results" | head -5)"
fi
expect_eq unwritable_traced_once "$(grep -c 'Journal: cannot write Q:' "$(out unwritable)")" 1
expect_eq writable_traced_nothing "$(grep -c 'Journal:' "$(out writable)")" 0

# --- bounds -----------------------------------------------------------------
LC_ALL=en_US.UTF-8 host_run folder_again 60 journal --folder "$JOURNAL_WIN" --keep-days 30 --keep-mb 1
expect_contains bounds_shown "$(out folder_again)" "kept 30 days, at most 1 MB"
/usr/bin/python3 - "$JOURNAL" <<'EOF'
import datetime, os, sys
today = datetime.date.today()
def put(day, size):
    with open(os.path.join(sys.argv[1], "journal-%s.txt" % day.isoformat()), "wb") as f:
        f.write(b"\xef\xbb\xbf" + b"x" * size)
put(datetime.date(2020, 1, 1), 10)                    # far beyond 30 days
put(today - datetime.timedelta(days=31), 10)          # just beyond
put(today - datetime.timedelta(days=20), 700 * 1024)  # the oldest within: over 1 MB with the rest
put(today - datetime.timedelta(days=10), 10)
put(today - datetime.timedelta(days=1), 500 * 1024)
EOF
cat >"$E2E_RUN/bounds.cmds" <<'CMDS'
delete 3
CMDS
fault_sim_start bounds 44
host_run bounds 60 --port COM44 session <"$E2E_RUN/bounds.cmds"
fault_sim_stop bounds
kept=$(cd "$JOURNAL" && ls journal-*.txt | tr '\n' ' ')
expected="journal-$(date -d '-10 days' +%F).txt journal-$(date -d '-1 day' +%F).txt $TODAY "
expect_eq bounds_remove_oldest_first "$kept" "$expected"

# --- delivery reports ----------------------------------------------------------
# On (the default, and switched on here), the host's poll sets the modem up
# and a message asks for a status report; the network's report, read at the
# next poll, is journaled against the message.
LC_ALL=en_US.UTF-8 host_run reports_on 60 journal --delivery-reports on
expect_contains reports_on_shown "$(out reports_on)" "Delivery reports: on"
fault_sim_start reports 45
fault_ctl reports "reports delivered 2000"
fault_session_start reports 45 --timeout 1500
fault_do reports "read AT"
fault_do reports "send +8613912345678 Pump 9 high"
LONG_TEXT="Line 5 report:$(printf ' pressure %02d ok;' $(seq 15))"
fault_do reports "send 13800138001 $LONG_TEXT"
fault_do reports "sleep 3000"
fault_do reports "read AT"
# A report that the service centre gave up, and one that it is still trying.
fault_ctl reports "reports expired 1000"
fault_do reports "send 13800138002 Valve 2 stuck"
fault_ctl reports "reports trying 1000"
fault_do reports "send 13800138003 Fan 1 off"
fault_do reports "sleep 2500"
fault_do reports "read AT"
fault_session_end reports
fault_sim_stop reports
events "$JOURNAL/$TODAY" >"$E2E_RUN/reports.events" 2>&1
delivered_line=$(grep '^delivered|.*|Pump 9 high$' "$E2E_RUN/reports.events" || true)
if [[ "$delivered_line" =~ ^delivered\|\+8613912345678\|1\|[0-9]+\|delivered\ 20[0-9-]+\ [0-9:]+\ [+-][0-9:]+,\ [0-9]+\ s\ after\ sending\|status\ 0\|received\ by\ the\ phone\|Pump\ 9\ high$ ]]; then
    case_pass report_journaled
else
    case_fail report_journaled "$delivered_line"
fi
# The messages without a report: those sent before reports were on, not the
# one whose report came.
LC_ALL=en_US.UTF-8 host_run undelivered 60 journal --undelivered 0
expect_contains undelivered_lists_unreported "$(out undelivered)" "	sent	13800138000	1	"
expect_contains undelivered_reference_reused "$(out undelivered)" '"Pump 3" pressure high'
expect_not_contains undelivered_skips_delivered "$(out undelivered)" "Pump 9 high"
expect_contains undelivered_counted "$(out undelivered)" "without a delivery report 0 minutes after sending."
long_parts=$(sed -nE 's/^sent\|13800138001\|([0-9]+)\|.*/\1/p' "$E2E_RUN/reports.events")
expect_eq long_message_reported_per_part "$(grep -c '^delivered|13800138001|[0-9]*/[0-9]*|' "$E2E_RUN/reports.events")" \
    "${long_parts:-none}"
expect_contains expired_journaled "$E2E_RUN/reports.events" "not delivered|13800138002|1|"
expect_contains trying_journaled "$E2E_RUN/reports.events" "still trying|13800138003|1|"

# The listing: each sent message's delivery in a last column of its own.
LC_ALL=en_US.UTF-8 host_run listing 60 journal
expect_contains listing_delivery_column "$(out listing)" "	meaning	text	delivery"
# As its report says: the time (with the date and zone where they are not
# the message's own) and the seconds after sending.
report_time=$(sed -nE 's/^delivered\|.*\|delivered [0-9-]+ ([0-9:]+)( [+-][0-9:]+)?, ([0-9]+) s after sending\|.*\|Pump 9 high$/\1 \3/p' \
    "$E2E_RUN/reports.events")
pump_sent=$(tr -d '\r' <"$(out listing)" | grep '	sent	+8613912345678	.*	Pump 9 high	' || true)
pattern="	Pump 9 high	delivered ([0-9-]+ )?${report_time% *}( [+-][0-9:]+)?, ${report_time#* } s after sending$"
if [[ -n "$report_time" && "$pump_sent" =~ $pattern ]]; then
    case_pass listing_delivered_as_reported
else
    case_fail listing_delivered_as_reported "report '$report_time', listed: $pump_sent"
fi
# A long message: when its last part was delivered, and at least as long
# after sending as that part took.
last_part=$(sed -nE 's/^delivered\|13800138001\|.*\|delivered [0-9-]+ ([0-9:]+)( [+-][0-9:]+)?, ([0-9]+) s after sending; all [0-9]+ parts\|.*/\1 \3/p' \
    "$E2E_RUN/reports.events")
long_sent=$(tr -d '\r' <"$(out listing)" | grep "	sent	13800138001	" || true)
pattern="	delivered ([0-9-]+ )?${last_part% *}( [+-][0-9:]+)?, ([0-9]+) s after sending$"
if [[ -n "$last_part" && "$long_sent" =~ $pattern ]] && ((BASH_REMATCH[3] >= ${last_part#* })); then
    case_pass listing_long_message_delivered
else
    case_fail listing_long_message_delivered "last part '$last_part', listed: $long_sent"
fi
expect_line_ends listing_not_delivered "$(out listing)" "	Valve 2 stuck	not delivered: validity period expired"
expect_line_ends listing_still_trying "$(out listing)" "	Fan 1 off	still trying: congestion"
expect_line_ends listing_sent_without_report "$(out listing)" "	你好，Vantor 日志	no report yet"
expect_line_ends listing_report_line_empty "$(out listing)" "	received by the phone	Pump 9 high	"
host_run listing_zh 60 journal
expect_contains listing_chinese_column "$(out listing_zh)" "	含义	内容	送达"
if tr -d '\r' <"$(out listing_zh)" | grep -E "	Pump 9 high	已送达 [0-9: +-]+，发出后 ${report_time#* } 秒$" >/dev/null; then
    case_pass listing_chinese_delivered
else
    case_fail listing_chinese_delivered "$(grep '	Pump 9 high	已' "$(out listing_zh)")"
fi
expect_line_ends listing_chinese_not_delivered "$(out listing_zh)" "	Valve 2 stuck	未送达：validity period expired"
expect_line_ends listing_chinese_no_report "$(out listing_zh)" "	你好，Vantor 日志	尚无报告"
LC_ALL=en_US.UTF-8 host_run reports_off 60 journal --delivery-reports off
expect_contains reports_off_shown "$(out reports_off)" "Delivery reports: off"

# The delivery of each message of a journal written here, every case known:
# a long message's parts reported out of order, a delivery the next day or
# by a service centre in another zone, a report without a zone, a reference
# reused by a later message to the same number, a part not delivered
# whatever the others say, still trying, some parts without a report, and a
# status that the service centre defines, without a meaning.
KNOWN="$E2E_RUN/known"
mkdir -p "$KNOWN"
D1=$(date -d yesterday +%F)
D2=$(date +%F)
{
    printf '\xef\xbb\xbftime\tport\tevent\tnumber\tparts\treferences\tresult\terror\tmeaning\ttext\r\n'
    sed -e 's/^\([^|]*\)|/\1|COM5|/' -e 's/|/\t/g' -e 's/$/\r/' <<LINES
$D1 10:00:00.000 +08:00|sent|13800000001|2|11 12|ok|||Tank 7 overflow
$D1 10:00:09.500 +08:00|delivered|13800000001|'2/2|12|delivered $D1 10:00:09 +08:00, 5 s after sending|status 0|received by the phone|Tank 7 overflow
$D1 10:00:09.600 +08:00|delivered|13800000001|'1/2|11|delivered $D1 10:00:07 +08:00, 7 s after sending; all 2 parts|status 0|received by the phone|Tank 7 overflow
$D1 10:00:00.000 +08:00|sent|13800000001|2|13 14|ok|||Tank 8 overflow
$D1 10:00:08.000 +08:00|delivered|13800000001|'2/2|14|delivered $D1 10:00:07 +08:00, 3 s after sending|status 0|received by the phone|Tank 8 overflow
$D1 10:00:13.000 +08:00|delivered|13800000001|'1/2|13|delivered $D1 10:00:12 +08:00, 12 s after sending; all 2 parts|status 0|received by the phone|Tank 8 overflow
$D1 23:59:58.000 +08:00|sent|13800000002|1|21|ok|||Gate 1 open
$D2 00:00:04.000 +08:00|delivered|13800000002|1|21|delivered $D2 00:00:03 +08:00, 4 s after sending|status 0|received by the phone|Gate 1 open
$D1 10:00:00.000 +08:00|sent|13800000003|1|31|ok|||Boiler 2 hot
$D1 10:00:06.000 +08:00|delivered|13800000003|1|31|delivered $D1 02:00:05 +00:00, 5 s after sending|status 0|received by the phone|Boiler 2 hot
$D1 10:00:00.000 +08:00|sent|13800000004|1|41|ok|||Fan 3 off
$D1 10:00:06.000 +08:00|delivered|13800000004|1|41|delivered $D1 10:00:05|status 0|received by the phone|Fan 3 off
$D1 10:01:00.000 +08:00|sent|'+8613800000005|1|51|ok|||Alarm A
$D1 10:01:01.000 +08:00|delivered|13800000009|1|51|delivered $D1 10:01:01 +08:00, 1 s after sending|status 0|received by the phone|Alarm Z
$D1 10:02:00.000 +08:00|sent|'+8613800000005|1|51|ok|||Alarm B
$D1 10:02:02.000 +08:00|delivered|'+8613800000005|1|51|delivered $D1 10:02:02 +08:00, 2 s after sending|status 0|received by the phone|Alarm B
$D1 10:03:00.000 +08:00|sent|13800000007|3|71 72 73|ok|||Pump 4 dry
$D1 10:03:05.000 +08:00|still trying|13800000007|'1/3|71|still trying, last tried $D1 10:03:04 +08:00|status 32|congestion|Pump 4 dry
$D1 10:09:00.000 +08:00|not delivered|13800000007|'3/3|73|not delivered, given up $D1 10:08:59 +08:00|status 70|validity period expired|Pump 4 dry
$D1 10:09:01.000 +08:00|not delivered|13800000007|'2/3|72|not delivered, given up $D1 10:09:00 +08:00|status 67|not obtainable|Pump 4 dry
$D1 10:09:02.000 +08:00|delivered|13800000007|'1/3|71|delivered $D1 10:09:01 +08:00, 361 s after sending|status 0|received by the phone|Pump 4 dry
$D1 10:04:00.000 +08:00|sent|13800000008|1|81|ok|||Door 2 open
$D1 10:04:09.000 +08:00|still trying|13800000008|1|81|still trying, last tried $D1 10:04:08 +08:00|status 33|phone busy|Door 2 open
$D1 10:05:00.000 +08:00|sent|13800000010|1|91|ok|||Heater off
$D1 10:05:09.000 +08:00|still trying|13800000010|1|91|still trying, last tried $D1 10:05:08 +08:00|status 33|phone busy|Heater off
$D1 10:10:01.000 +08:00|delivered|13800000010|1|91|delivered $D1 10:10:00 +08:00, 300 s after sending|status 0|received by the phone|Heater off
$D1 10:06:00.000 +08:00|sent|13800000011|2|95 96|ok|||Line 9 stop
$D1 10:06:03.000 +08:00|delivered|13800000011|'1/2|95|delivered $D1 10:06:02 +08:00, 2 s after sending|status 0|received by the phone|Line 9 stop
$D1 10:07:00.000 +08:00|sent|13800000012|1|97|ok|||Siren on
$D1 10:07:30.000 +08:00|not delivered|13800000012|1|97|not delivered, given up $D1 10:07:29 +08:00|status 80||Siren on
LINES
} >"$KNOWN/$TODAY"
LC_ALL=en_US.UTF-8 host_run known_folder 60 journal --folder "$(winpath "$KNOWN")"
LC_ALL=en_US.UTF-8 host_run known 60 journal
while IFS='|' read -r name text delivery; do
    expect_line_ends "known_$name" "$(out known)" "	$text	$delivery"
done <<CASES
last_part_from_first_sending|Tank 7 overflow|delivered 10:00:09, 9 s after sending
first_part_last_delivered|Tank 8 overflow|delivered 10:00:12, 12 s after sending
next_day_dated|Gate 1 open|delivered $D2 00:00:03, 4 s after sending
other_zone_whole_stamp|Boiler 2 hot|delivered $D1 02:00:05 +00:00, 5 s after sending
no_zone_no_seconds|Fan 3 off|delivered 10:00:05
reused_reference_earlier|Alarm A|no report yet
reused_reference_later|Alarm B|delivered 10:02:02, 2 s after sending
first_part_not_delivered|Pump 4 dry|not delivered: not obtainable
still_trying|Door 2 open|still trying: phone busy
trying_then_delivered|Heater off|delivered 10:10:00, 300 s after sending
some_parts_unreported|Line 9 stop|no report yet
status_without_meaning|Siren on|not delivered: status 80
report_line_empty|Alarm Z|
CASES
# --undelivered by the same matching: the messages without a final report
# on every part.
LC_ALL=en_US.UTF-8 host_run known_undelivered 60 journal --undelivered 0
expect_eq known_undelivered_listed \
    "$(tr -d '\r' <"$(out known_undelivered)" | awk -F '\t' '$3 == "sent" { print $10 }' | tr '\n' ',')" \
    "Alarm A,Door 2 open,Line 9 stop,"
LC_ALL=en_US.UTF-8 host_run known_folder_back 60 journal --folder "$JOURNAL_WIN"

# --- off and on --------------------------------------------------------------
LC_ALL=en_US.UTF-8 host_run off 60 journal --off
expect_contains off_shown "$(out off)" "Journal: off"
before=$(wc -l <"$JOURNAL/$TODAY")
fault_sim_start quiet 44
host_run while_off 60 --port COM44 session <"$E2E_RUN/bounds.cmds"
fault_sim_stop quiet
expect_eq off_writes_nothing "$(wc -l <"$JOURNAL/$TODAY")" "$before"
LC_ALL=en_US.UTF-8 host_run on 60 journal --on --keep-days 0 --keep-mb 0 --keep-day-mb 0
expect_contains on_default_folder "$(out on)" 'C:\ProgramData\Vantor\journal (day files kept 90 days, at most 20 MB in all, 4 MB a day)'
default_file="$WINEPREFIX/drive_c/ProgramData/Vantor/journal/$TODAY"
lines_before=0
[[ -f "$default_file" ]] && lines_before=$(wc -l <"$default_file")
fault_sim_start default 44
host_run while_on 60 --port COM44 session <"$E2E_RUN/bounds.cmds"
fault_sim_stop default
lines_after=0
[[ -f "$default_file" ]] && lines_after=$(wc -l <"$default_file")
expect_eq on_writes_default_folder "$((lines_after - lines_before))" "$((lines_before == 0 ? 2 : 1))"
host_run bad_folder 60 journal --folder relative\\path
expect_eq relative_folder_refused "$(rc bad_folder)" 2

write_results "$XML" journal
