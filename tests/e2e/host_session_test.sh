#!/usr/bin/env bash
# Whole host sessions: vantorhost.exe (under Wine) drives Vantor.dll against
# modemsim, as an HMI would. One session per message format (set the format,
# send, list, delete, list again), failing sends in both formats, the module
# loaded through COM registration, its trace lines, and register checks whose
# GBK error texts must reach the output intact.
#
#   tests/e2e/host_session_test.sh [RESULTS_XML]
#
# scripts/test calls it with the Wine environment exported and both build
# trees built; run by hand it sets up the Wine environment itself.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$HERE/../.." && pwd)}"
# shellcheck source=host_lib.sh
source "$HERE/host_lib.sh"

XML="${1:-$VANTOR_ROOT/build/results/e2e_host_session_test.xml}"
INBOX="$HERE/data/demo_inbox.txt"
mkdir -p "$VANTOR_ROOT/build"
E2E_RUN="$(mktemp -d "$VANTOR_ROOT/build/e2e-host-session.XXXXXX")"

cleanup() {
    modemsim_stop_all
    e2e_wine_down
}
trap cleanup EXIT

e2e_require_builds "$XML" host_session
e2e_wine_up

# host NAME ARGS... [< commands] : one vantorhost process; output in
# $E2E_RUN/NAME.out (shown indented), exit status in $E2E_RUN/NAME.rc.
# Commands go through standard input as UTF-8, so Chinese texts arrive
# intact whatever the Unix locale does to Wine's command line.
host() { host_run "$1" 120 "${@:2}"; }
count_lines() { grep -cF -- "$2" "$(out "$1")"; }
# The n-th message modemsim recorded, decoded by python3-gammu.
sent() { /usr/bin/python3 "$HERE/sent_record.py" "$E2E_RUN/$1.sent" "$2"; }

# session NAME COM MODEMSIM_ARGS... -- HOST_ARGS... < commands : a modemsim
# on COM<COM> recording its sends in $E2E_RUN/NAME.sent (for sent), one
# vantorhost session on that port (as host NAME), then the modemsim stopped.
session() {
    local name="$1" com="$2" sim_args=()
    shift 2
    while (($#)) && [[ "$1" != "--" ]]; do
        sim_args+=("$1")
        shift
    done
    (($#)) && shift
    modemsim_start "$name" "$com" --sent "$E2E_RUN/$name.sent" "${sim_args[@]}" </dev/null
    host "$name" --port "COM$com" "$@" session
    modemsim_stop "$name"
}

# --- register checks and module loading (no port) -------------------------
host checks --keep-going run "check CMGF" "check cmgf" "check MsgNew10" "check MsgNew03"
expect_eq check_failure_exit_status "$(rc checks)" 1
expect_contains check_valid_register "$(out checks)" "check CMGF: kind 1, sub-index 0, type 2"
expect_contains check_index_with_leading_zero "$(out checks)" "check MsgNew03: kind 5, sub-index 3, type 256"
expect_contains check_name_error_text_gbk "$(out checks)" "check cmgf: invalid: 寄存器名字错误!"
expect_contains check_index_error_text_gbk "$(out checks)" "check MsgNew10: invalid: 寄存器数据地址错误!"
expect_contains check_error_text_second_line "$(out checks)" "请查阅README文档或帮助文档!"

host registered --register --verbose check AT
expect_contains register_server "$(out registered)" "register: DllRegisterServer: 0x00000000"
expect_contains created_through_com "$(out registered)" "module: CoCreateInstance of the registered class"

host noport --port COM49 read AT
expect_eq missing_port_exit_status "$(rc noport)" 3

# --- PDU mode session -------------------------------------------------------
session pdu 41 --inbox "$INBOX" -- --timeout 1500 --echo --trace <<'CMDS'
write CMGF 0
read CMGF
read CSCA
write CodeMod 1
send 13800138000 你好，Vantor 测试
write CodeMod 0
send 10086 plain seven bit text
inbox --new
delete 1
inbox --old
poll --count 1 --interval 0
CMDS
expect_eq pdu_session_exit_status "$(rc pdu)" 0
expect_contains pdu_format_read_back "$(out pdu)" "read CMGF: 0  (quality 192,"
expect_contains pdu_service_centre_read "$(out pdu)" 'read CSCA: "+8613800100500"'
# The delivered time stamp is the time of the read (vantorhost prints it in
# local time, the same clock as this shell's).
stamp=$(grep -m1 -oE 'read CSCA: .*quality 192, [0-9-]+ [0-9:]{8}' "$(out pdu)" |
        grep -oE '[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}' || true)
age=$(( $(date +%s) - $(date -d "${stamp:-1970-01-01}" +%s) ))
if [[ -n "$stamp" ]] && (( age >= 0 && age < 600 )); then
    case_pass pdu_service_centre_time_stamp_current
else
    case_fail pdu_service_centre_time_stamp_current "time stamp '${stamp}' is ${age} s from now"
fi
expect_eq pdu_send_ucs2_received "$(sent pdu 0)" "pdu|13800138000|ucs2|你好，Vantor 测试"
expect_eq pdu_send_gsm7_received "$(sent pdu 1)" "pdu|10086|gsm7|plain seven bit text"
expect_eq pdu_sends_report_sreturn_1 "$(count_lines pdu "read SReturn: 1  (sent)")" 2
expect_contains pdu_trace_lines_shown "$(out pdu)" "trace| TX:AT+CMGF=0"
expect_contains pdu_list_gsm7_header "$(out pdu)" "MsgNew0: <1>26年12月09日08:30:15来自:10086的消息"
expect_contains pdu_list_gsm7_body "$(out pdu)" "MsgNec0: Hello from the network"
expect_contains pdu_list_ucs2_header "$(out pdu)" "MsgNew1: <2>26年12月09日09:05:42来自:8613912345678的消息"
expect_contains pdu_list_ucs2_body "$(out pdu)" "MsgNec1: 你好，世界！今晚七点见。"
expect_contains pdu_list_international_sender "$(out pdu)" "MsgNew2: <3>26年12月09日09:12:03来自:447700900123的消息"
expect_contains pdu_list_part_1_place "$(out pdu)" "MsgNew3: <4>26年12月09日10:00:00来自:8613700000001的消息(1/2)"
expect_contains pdu_list_part_2_place "$(out pdu)" "MsgNew4: <5>26年12月09日10:00:00来自:8613700000001的消息(2/2)"
expect_contains pdu_list_unread_count "$(out pdu)" "inbox (unread): 5 message(s)"
expect_contains pdu_delete_ok "$(out pdu)" "write CMGD 1: ok"
expect_contains pdu_list_again_count "$(out pdu)" "inbox (read): 4 message(s)"
expect_not_contains pdu_deleted_message_gone "$(out pdu)" "MsgOld0: <1>"
expect_contains pdu_list_again_first_is_2 "$(out pdu)" "MsgOld0: <2>26年12月09日09:05:42来自:8613912345678的消息"
expect_contains pdu_poll_round "$(out pdu)" "poll 1: link 1"

# --- text mode session ------------------------------------------------------
session text 42 --inbox "$INBOX" -- --timeout 1500 --echo <<'CMDS'
write CMGF 1
read CMGF
send +8613800138000 hello in text mode
inbox --new
delete 3
inbox --old
CMDS
expect_eq text_session_exit_status "$(rc text)" 0
expect_contains text_format_read_back "$(out text)" "read CMGF: 1  (quality 192,"
expect_eq text_send_received "$(sent text 0)" "text|+8613800138000|gsm7|hello in text mode"
expect_contains text_send_sreturn_1 "$(out text)" "read SReturn: 1  (sent)"
expect_contains text_list_header "$(out text)" "MsgNew1: <2> 26/12/09,09:05:42 Message From +8613912345678"
expect_contains text_list_body "$(out text)" "MsgNec2: Meeting moved to 10:30"
expect_contains text_list_unread_count "$(out text)" "inbox (unread): 5 message(s)"
expect_contains text_delete_ok "$(out text)" "write CMGD 3: ok"
expect_contains text_list_again_count "$(out text)" "inbox (read): 4 message(s)"
expect_not_contains text_deleted_message_gone "$(out text)" "MsgOld2: <3>"
expect_contains text_list_again_slot_2 "$(out text)" "MsgOld2: <4> 26/12/09,10:00:00 Message From +8613700000001"

# --- failing sends ----------------------------------------------------------
# PDU mode: the network refuses every submission (+CMS ERROR: 500 after the PDU).
session refuse 43 --set "cms 500 CMGS" -- --timeout 1000 --echo <<'CMDS'
write CMGF 0
write ReSTime 2
send 13800138000 this one is refused
read SReturn
CMDS
expect_eq pdu_failed_send_exit_status "$(rc refuse)" 1
expect_contains pdu_failed_send_result_0 "$(out refuse)" "write SEND 1: FAILED (result 0)"
expect_contains pdu_failed_send_sreturn_2 "$(out refuse)" "read SReturn: 2  (all attempts failed)"
expect_eq pdu_failed_send_nothing_sent "$(sent refuse count)" 0

# Text mode: after the prompt the modem falls silent.
session mute 44 --set "prompt-silence on" -- --timeout 1000 --echo <<'CMDS'
write CMGF 1
send +8613800138000 nobody answers
CMDS
expect_eq text_failed_send_exit_status "$(rc mute)" 1
expect_contains text_failed_send_sreturn_2 "$(out mute)" "read SReturn: 2  (all attempts failed)"

write_results "$XML" host_session
