# Helpers for the end-to-end tests and the demo: vantorhost.exe under Wine
# against modemsim on a pty that a Wine COM port points at. Source it.
#
#   e2e_wine_up             use the exported Wine environment, or set one up
#                           (prefix, wineserver) when run by hand
#   e2e_wine_down           stop the wineserver if e2e_wine_up started it
#   e2e_require_builds XML SUITE   modemsim, vantorhost.exe and Vantor.dll are
#                           built, else a failed "setup" case, XML written, exit 1
#   modemsim_start NAME COM ARGS...   start modemsim; its pty becomes COM<COM>
#   modemsim_stop NAME
#   vantorhost ARGS...      run vantorhost.exe of the Windows tree under Wine
#   host_run NAME SECONDS ARGS...   one vantorhost process, output and exit
#                           status kept under NAME; rc NAME, out NAME read them
#   case_pass NAME / case_fail NAME WHY / expect_* ...   gtest-style results
#   write_results XML SUITE
#   sent_records FILE       modemsim's --sent record as tab-separated lines:
#                           mode, number, coding, text (decoded independently)

VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
VANTOR_NATIVE_DIR="${VANTOR_NATIVE_DIR:-$VANTOR_ROOT/build/native}"
# shellcheck source=../../scripts/lib/win-arch.sh
source "$VANTOR_ROOT/scripts/lib/win-arch.sh"
MODEMSIM="${MODEMSIM:-$VANTOR_NATIVE_DIR/modemsim}"
VANTORHOST_EXE="${VANTORHOST_EXE:-$VANTOR_WIN_DIR/vantorhost.exe}"

_e2e_own_server=0
declare -A _modemsim_pid=()

e2e_wine_up() {
    # An exported WINEPREFIX means the caller (scripts/test) runs the
    # wineserver; otherwise this script starts one and stops it at the end.
    local given="${WINEPREFIX:-}"
    # shellcheck source=../../scripts/lib/wine-env.sh
    source "$VANTOR_ROOT/scripts/lib/wine-env.sh"
    # shellcheck source=../../scripts/lib/utf8-locale.sh
    source "$VANTOR_ROOT/scripts/lib/utf8-locale.sh"
    vantor_utf8_locale
    if [[ -z "$given" ]]; then
        wine_prefix_init
        wine_server_start
        _e2e_own_server=1
    fi
}

e2e_wine_down() {
    if ((_e2e_own_server)); then
        wineserver -k 2>/dev/null || true
        _e2e_own_server=0
    fi
}

e2e_require_builds() {
    local xml="$1" suite="$2" tool
    for tool in "$MODEMSIM" "$VANTORHOST_EXE" "$VANTOR_WIN_DIR/Vantor.dll"; do
        if [[ ! -e "$tool" ]]; then
            case_fail setup "missing $tool (build both trees first)"
            write_results "$xml" "$suite"
            exit 1
        fi
    done
}

# modemsim_start NAME COM_NUMBER ARGS... : the pty link lives in $E2E_RUN.
modemsim_start() {
    local name="$1" com="$2"
    shift 2
    local link="$E2E_RUN/$name.pty"
    rm -f "$link"
    "$MODEMSIM" --link "$link" "$@" >"$E2E_RUN/$name.modemsim.log" 2>&1 &
    _modemsim_pid[$name]=$!
    local _
    for _ in $(seq 100); do
        [[ -e "$link" ]] && break
        kill -0 "${_modemsim_pid[$name]}" 2>/dev/null || break
        sleep 0.05
    done
    if [[ ! -e "$link" ]]; then
        echo "modemsim $name did not start:" >&2
        cat "$E2E_RUN/$name.modemsim.log" >&2
        return 1
    fi
    mkdir -p "$WINEPREFIX/dosdevices"
    ln -sfn "$(readlink -f "$link")" "$WINEPREFIX/dosdevices/com$com"
}

modemsim_stop() {
    local name="$1" pid="${_modemsim_pid[$1]:-}"
    [[ -z "$pid" ]] && return 0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    unset "_modemsim_pid[$name]"
}

modemsim_stop_all() {
    local name
    for name in "${!_modemsim_pid[@]}"; do modemsim_stop "$name"; done
}

vantorhost() {
    "$VANTOR_WINE" "$VANTORHOST_EXE" "$@"
}

# host_run NAME SECONDS ARGS... [< input] : one vantorhost process ended after
# SECONDS at the latest; output in $E2E_RUN/NAME.out (shown indented), exit
# status in $E2E_RUN/NAME.rc.
host_run() {
    local name="$1" seconds="$2"
    shift 2
    timeout "$seconds" "$VANTOR_WINE" "$VANTORHOST_EXE" "$@" >"$E2E_RUN/$name.out" 2>&1
    echo $? >"$E2E_RUN/$name.rc"
    echo "--- $name"
    sed 's/^/    | /' "$E2E_RUN/$name.out"
}
rc() { cat "$E2E_RUN/$1.rc"; }
out() { printf '%s' "$E2E_RUN/$1.out"; }

# --- results ---
_case_names=()
_case_failures=()
_case_seconds=()
_case_started=$SECONDS

_record() {
    _case_names+=("$1")
    _case_failures+=("$2")
    _case_seconds+=("$((SECONDS - _case_started))")
    _case_started=$SECONDS
    if [[ -z "$2" ]]; then
        printf '[  PASSED  ] %s\n' "$1"
    else
        printf '[  FAILED  ] %s: %s\n' "$1" "$2"
    fi
}
case_pass() { _record "$1" ""; }
case_fail() { _record "$1" "${2:-failed}"; }

# expect_contains NAME FILE TEXT : FILE has a line containing TEXT.
expect_contains() {
    if grep -qF -- "$3" "$2"; then case_pass "$1"; else case_fail "$1" "no line with '$3' in $(basename "$2")"; fi
}
expect_not_contains() {
    if grep -qF -- "$3" "$2"; then case_fail "$1" "unexpected '$3' in $(basename "$2")"; else case_pass "$1"; fi
}
# expect_eq NAME ACTUAL EXPECTED
expect_eq() {
    if [[ "$2" == "$3" ]]; then case_pass "$1"; else case_fail "$1" "got '$2', expected '$3'"; fi
}

# The replacements are quoted: with bash 5.2's patsub_replacement an unquoted
# '&' in them would stand for the matched text.
_xml_escape() {
    local s="$1"
    s="${s//&/"&amp;"}"
    s="${s//</"&lt;"}"
    s="${s//>/"&gt;"}"
    s="${s//\"/"&quot;"}"
    printf '%s' "$s"
}

# write_results XML SUITE : returns 1 when a case failed.
write_results() {
    local xml="$1" suite="$2" i failures=0
    for i in "${!_case_names[@]}"; do [[ -n "${_case_failures[$i]}" ]] && ((failures += 1)); done
    mkdir -p "$(dirname "$xml")"
    {
        printf '<?xml version="1.0" encoding="UTF-8"?>\n'
        printf '<testsuites tests="%d" failures="%d" errors="0" name="AllTests">\n' "${#_case_names[@]}" "$failures"
        printf '  <testsuite name="%s" tests="%d" failures="%d" errors="0">\n' "$suite" "${#_case_names[@]}" "$failures"
        for i in "${!_case_names[@]}"; do
            printf '    <testcase name="%s" classname="%s" time="%s"' \
                "$(_xml_escape "${_case_names[$i]}")" "$suite" "${_case_seconds[$i]}"
            if [[ -n "${_case_failures[$i]}" ]]; then
                printf '>\n      <failure message="%s"/>\n    </testcase>\n' "$(_xml_escape "${_case_failures[$i]}")"
            else
                printf '/>\n'
            fi
        done
        printf '  </testsuite>\n</testsuites>\n'
    } >"$xml"
    printf '%d tests, %d failed\n' "${#_case_names[@]}" "$failures"
    ((failures == 0))
}
