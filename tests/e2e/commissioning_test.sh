#!/usr/bin/env bash
# Commissioning and uninstall: vantorhost.exe (under Wine) looks for the
# modem with "detect" against modemsim in each state a plant can meet (ready,
# PIN needed, no SIM, no signal, registration denied, a modem set to a rate the
# driver does not open, a silent port, no port at all), in Chinese under code
# page 936 and in English otherwise; the check
# must send only read commands. "unregister" must remove exactly what
# registration wrote, only for the Vantor.dll beside it. --help and --version.
#
#   tests/e2e/commissioning_test.sh [RESULTS_XML]
#
# scripts/test calls it with the Wine environment exported and both build
# trees built; run by hand it sets up the Wine environment itself.
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$HERE/../.." && pwd)}"
# shellcheck source=host_lib.sh
source "$HERE/host_lib.sh"

XML="${1:-$VANTOR_ROOT/build/results/e2e_commissioning_test.xml}"
mkdir -p "$VANTOR_ROOT/build"
E2E_RUN="$(mktemp -d "$VANTOR_ROOT/build/e2e-commissioning.XXXXXX")"

cleanup() {
    modemsim_stop_all
    e2e_wine_down
}
trap cleanup EXIT

e2e_require_builds "$XML" commissioning
e2e_wine_up

# host NAME ARGS... : one vantorhost process (host_run).
host() { host_run "$1" 180 "${@:2}"; }
# The same in an English locale: Wine's ANSI code page is then 1252.
host_english() {
    local name="$1"
    shift
    LC_ALL=en_US.UTF-8 host "$name" "$@"
}
last_line() { tail -n 1 "$(out "$1")"; }

# Ports of this suite: 41 and 42 carry modemsims, 43 and 44 do not exist.
PORTS=COM41-COM44

# --- a ready modem, Chinese report --------------------------------------------
modemsim_start ready 41 --log "$E2E_RUN/ready.log" </dev/null
host found detect --ports "$PORTS"
expect_eq found_exit_status "$(rc found)" 0
expect_contains found_at_first_baud "$(out found)" "COM41：调制解调器在 9600 波特应答"
expect_contains found_identity "$(out found)" "厂商、型号：  SIEMENS TC35"
expect_contains found_sim_ready "$(out found)" "SIM 卡：      就绪"
expect_contains found_signal "$(out found)" "信号：        -75 dBm，3/5 格（AT+CSQ 19）"
expect_contains found_network "$(out found)" "网络注册：    已注册，本地网络"
expect_contains found_service_centre "$(out found)" "短信中心：    +8613800100500（类型 145）"
expect_contains found_message_format "$(out found)" "短信格式：    0（PDU 模式）"
expect_eq found_options_last "$(last_line found)" "COM41 可以收发短信。请使用参数：  --port COM41 --baud 9600"
expect_not_contains found_no_todo "$(out found)" "需要处理"

# The check only reads: every command line the modem heard is AT or a query
# of the list (no "=", so no setting changed).
heard="$(grep -o '<< .*' "$E2E_RUN/ready.log" | sed 's/^<< //; s/\\r$//' | sort -u | tr '\n' ' ')"
expect_eq detect_sends_only_reads "$heard" "AT AT+CGMI AT+CGMM AT+CMGF? AT+CPIN? AT+CPMS? AT+CREG? AT+CSCA? AT+CSQ "

# --- the same modem, English report, text mode, roaming, weak ----------------
modemsim_stop ready
modemsim_start ready_en 41 --set "cmgf 1" --set "creg 5" --set "csq 4 99" </dev/null
host_english found_en detect --ports COM41 --bauds 19200,9600
expect_eq found_en_exit_status "$(rc found_en)" 0
expect_contains found_en_baud "$(out found_en)" "COM41: a modem answers at 19200 baud"
expect_contains found_en_signal "$(out found_en)" "Signal:              -105 dBm, 1 of 5 bars (AT+CSQ 4)"
expect_contains found_en_roaming "$(out found_en)" "Network:             registered, roaming"
expect_contains found_en_text_mode "$(out found_en)" "Message format:      1 (text mode)"
expect_eq found_en_options_last "$(last_line found_en)" "COM41 is ready to send messages. Use:  --port COM41 --baud 19200"
modemsim_stop ready_en

# --- states that keep a modem from sending -----------------------------------
# state NAME CONTROL_LINE EXPECTED_LINE EXPECTED_TODO
state_case() {
    local name="$1" control="$2" line="$3" todo="$4"
    modemsim_start "$name" 41 --set "$control" </dev/null
    host_english "$name" detect --ports COM41
    expect_eq "${name}_exit_status" "$(rc "$name")" 1
    expect_contains "${name}_line" "$(out "$name")" "$line"
    expect_contains "${name}_todo" "$(out "$name")" "  To do: $todo"
    expect_eq "${name}_names_options" "$(last_line "$name")" \
        "A modem answers on COM41 (--port COM41 --baud 9600) but cannot send messages yet: $todo."
    modemsim_stop "$name"
}
state_case pin_needed "sim pin" "SIM card:            PIN needed (SIM PIN)" \
    "switch the SIM's PIN request off in a mobile phone: the driver enters no PIN"
state_case no_sim "sim absent" "SIM card:            no SIM card, or a SIM the modem cannot use (ERROR)" \
    "insert a working SIM card (power the modem off first)"
state_case no_signal "csq 99 99" "Signal:              no signal (unknown, AT+CSQ 99)" \
    "no usable signal: check the antenna and its cable"
state_case denied "creg 3" "Network:             registration denied" \
    "the modem is not in the network: check the SIM's subscription and the antenna"

# PIN needed, in Chinese: the service centre cannot be read without the PIN.
modemsim_start pin_zh 41 --set "sim pin" </dev/null
host pin_zh detect --ports COM41
expect_eq pin_zh_exit_status "$(rc pin_zh)" 1
expect_contains pin_zh_sim "$(out pin_zh)" "SIM 卡：      需要输入 PIN 码 (SIM PIN)"
expect_contains pin_zh_centre "$(out pin_zh)" "短信中心：    无法读取 (ERROR)"
expect_eq pin_zh_options "$(last_line pin_zh)" \
    "COM41 上的调制解调器有应答（--port COM41 --baud 9600），但还不能收发短信：请在手机上关闭 SIM 卡的 PIN 码请求：驱动程序不会输入 PIN 码。"
modemsim_stop pin_zh

# --- baud rates above those the driver opens ------------------------------------
# A modem fixed at 115200 (AT+IPR=115200) is silent at every other rate of the
# default list and answers last, at 115200: a To do line and no options.
FAST_TODO_EN="the driver opens the port at 57600 baud at most: set the modem to 57600 or lower (AT+IPR=57600, or AT+IPR=0 to autobaud)"
modemsim_start fast 41 --set "ipr 115200" --log "$E2E_RUN/fast.log" </dev/null
host_english fast detect --ports COM41
expect_eq fast_exit_status "$(rc fast)" 1
expect_contains fast_found_at_115200 "$(out fast)" "COM41: a modem answers at 115200 baud"
expect_contains fast_todo "$(out fast)" "  To do: $FAST_TODO_EN"
expect_eq fast_sentence "$(last_line fast)" \
    "A modem answers on COM41 at 115200 baud, which the driver does not use: $FAST_TODO_EN."
expect_not_contains fast_no_options "$(out fast)" "--baud 115200"
expect_contains fast_unheard_below "$E2E_RUN/fast.log" "(at 57600 baud: not heard)"
host fast_zh detect --ports COM41 --bauds 115200
expect_eq fast_zh_exit_status "$(rc fast_zh)" 1
expect_contains fast_zh_todo "$(out fast_zh)" \
    "  需要处理：驱动程序最高以 57600 波特打开串口：请把调制解调器设为 57600 或更低（AT+IPR=57600，或 AT+IPR=0 自动识别波特率）"
expect_eq fast_zh_sentence "$(last_line fast_zh)" \
    "COM41 上的调制解调器在 115200 波特应答，驱动程序不使用该波特率：驱动程序最高以 57600 波特打开串口：请把调制解调器设为 57600 或更低（AT+IPR=57600，或 AT+IPR=0 自动识别波特率）。"
modemsim_stop fast

# An autobauding modem answers at any rate: a list that names 115200 first
# still finds it at a rate the driver opens.
modemsim_start auto 41 </dev/null
host_english auto detect --ports COM41 --bauds 115200,19200
expect_eq auto_exit_status "$(rc auto)" 0
expect_contains auto_search_order "$(out auto)" "Looking for a modem on COM41 at 19200, 115200 baud"
expect_eq auto_options "$(last_line auto)" "COM41 is ready to send messages. Use:  --port COM41 --baud 19200"
modemsim_stop auto

# --- no modem: a silent port, then no port at all -----------------------------
modemsim_start silent 42 --silent </dev/null
host_english silent detect --ports COM42-COM44 --bauds 9600,19200
expect_eq silent_exit_status "$(rc silent)" 1
expect_contains silent_port_line "$(out silent)" "COM42: no answer to AT at any baud rate"
expect_eq silent_sentence "$(last_line silent)" \
    "No modem answered on COM42-COM44 at 9600, 19200 baud. Check the modem's power, the cable and the port."
modemsim_stop silent

# Links that other suites left in a reused prefix would make these ports exist.
rm -f "$WINEPREFIX/dosdevices/com43" "$WINEPREFIX/dosdevices/com44"
host no_port detect --ports COM43-COM44
expect_eq no_port_exit_status "$(rc no_port)" 1
expect_contains no_port_line "$(out no_port)" "本机上不存在端口 COM43-COM44 中的任何一个。"
expect_contains no_port_sentence "$(out no_port)" "在 COM43-COM44（波特率 9600, 19200, 38400, 57600, 4800, 2400, 1200, 115200）上没有调制解调器应答。"

host bad_ports detect --ports COM0-COM3
expect_eq bad_ports_exit_status "$(rc bad_ports)" 2

# --- unregister ---------------------------------------------------------------
CLSID='{515F9096-5B37-4924-9429-55E63A6DFFA5}'
PROGID='Vantor.VantorPro'
# reg_has KEY [VALUE]: the key (or its named value) exists in HKCR.
reg_has() {
    local key="HKCR\\$1"
    if [[ -n "${2:-}" ]]; then
        "$VANTOR_WINE" reg query "$key" /v "$2" >/dev/null 2>&1
    else
        "$VANTOR_WINE" reg query "$key" >/dev/null 2>&1
    fi
}
# The five keys registration writes, as "1" (present) or "0" each.
five_keys() {
    local key flags=""
    for key in "$PROGID" "$PROGID\\CLSID" "CLSID\\$CLSID" "CLSID\\$CLSID\\ProgID" "CLSID\\$CLSID\\InProcServer32"; do
        if reg_has "$key"; then flags+=1; else flags+=0; fi
    done
    printf '%s' "$flags"
}

host register1 --register check AT
expect_eq registered_five_keys "$(five_keys)" 11111
host unregister1 unregister
expect_eq unregister_exit_status "$(rc unregister1)" 0
expect_contains unregister_reports "$(out unregister1)" "unregister: done"
expect_eq unregister_removes_all_five "$(five_keys)" 00000
host unregister_again unregister
expect_eq unregister_again_exit_status "$(rc unregister_again)" 0
expect_contains unregister_again_nothing "$(out unregister_again)" "Vantor is not registered; nothing to remove"

# Another program's entry under the class key stays, and so does the key.
host register2 --register check AT
"$VANTOR_WINE" reg add "HKCR\\CLSID\\$CLSID" /v AppID /d '{00000000-0000-0000-0000-000000000001}' /f >/dev/null 2>&1
host unregister2 unregister
expect_eq unregister_foreign_exit_status "$(rc unregister2)" 0
expect_eq unregister_keeps_foreign_entry "$(five_keys)" 00100
if reg_has "CLSID\\$CLSID" AppID; then case_pass unregister_foreign_value_kept; else case_fail unregister_foreign_value_kept "AppID gone"; fi
"$VANTOR_WINE" reg delete "HKCR\\CLSID\\$CLSID" /f >/dev/null 2>&1

# Registered for another copy of the DLL: nothing is removed.
host register3 --register check AT
"$VANTOR_WINE" reg add "HKCR\\CLSID\\$CLSID\\InProcServer32" /ve /d 'C:\Program Files\Other\Vantor.dll' /f >/dev/null 2>&1
host unregister3 unregister
expect_eq unregister_other_dll_exit_status "$(rc unregister3)" 1
expect_contains unregister_other_dll_names_it "$(out unregister3)" "registered for C:\\Program Files\\Other\\Vantor.dll"
expect_eq unregister_other_dll_keeps_all "$(five_keys)" 11111
# Leave the prefix registered for this build, as the other suites find it.
host register4 --register check AT

# --- help and version ---------------------------------------------------------
host help --help
expect_eq help_exit_status "$(rc help)" 0
missing=""
for command in check read write send inbox delete poll linktest sleep echo stats detect unregister run session; do
    grep -qE "^ +$command( |$)|vantorhost \[options\] $command|vantorhost $command|\| $command" "$(out help)" ||
        missing+=" $command"
done
expect_eq help_lists_every_command "$missing" ""

version="$(sed -n 's/^project(Vantor VERSION \([0-9.]*\).*/\1/p' "$VANTOR_ROOT/CMakeLists.txt")"
host version --version
expect_eq version_exit_status "$(rc version)" 0
expect_contains version_of_host "$(out version)" "vantorhost $version"
expect_contains version_of_dll "$(out version)" "Vantor.dll beside it: $version"

write_results "$XML" commissioning
