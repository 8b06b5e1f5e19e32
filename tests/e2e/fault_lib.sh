# Helpers for the fault campaign and the Wine soak: one modemsim per
# scenario with a control FIFO, and one vantorhost session per scenario that
# the script feeds one command at a time, so that faults can be switched on
# and off between two commands of the same open port. Source host_lib.sh
# first and set FAULT_RUN to a directory.
#
#   fault_sim_start NAME COM ARGS...  modemsim linked straight at COM<COM> of
#                                     the prefix (after a hang-up the new pty
#                                     is found under the same name), with
#                                     NAME.ctl, NAME.sent, NAME.received and
#                                     NAME.simlog
#   fault_sim_stop NAME
#   fault_ctl NAME LINE               one control line to that modemsim
#   fault_session_start NAME COM ARGS...   vantorhost --port COM<COM> ARGS session
#   fault_do NAME COMMAND [SECONDS]   run COMMAND in the session and wait for it;
#                                     its output lines go to NAME.last
#   fault_session_end NAME            close the session's input, wait for exit
#   fault_sent_count NAME             messages the modem accepted

declare -A _fault_sim_pid=()
declare -A _fault_session_pid=()
declare -A _fault_session_fd=()
declare -A _fault_session_step=()

fault_sim_start() {
    local name="$1" com="$2"
    shift 2
    local link="$WINEPREFIX/dosdevices/com$com"
    mkdir -p "$WINEPREFIX/dosdevices"
    rm -f "$link" "$FAULT_RUN/$name.ctl" "$FAULT_RUN/$name.sent" "$FAULT_RUN/$name.received"
    mkfifo "$FAULT_RUN/$name.ctl"
    "$MODEMSIM" --link "$link" --control "$FAULT_RUN/$name.ctl" --sent "$FAULT_RUN/$name.sent" \
        --received "$FAULT_RUN/$name.received" \
        --log "$FAULT_RUN/$name.simlog" "$@" >"$FAULT_RUN/$name.modemsim.out" 2>&1 &
    _fault_sim_pid[$name]=$!
    local _
    for _ in $(seq 100); do
        [[ -e "$link" ]] && return 0
        kill -0 "${_fault_sim_pid[$name]}" 2>/dev/null || break
        sleep 0.05
    done
    echo "modemsim $name did not start:" >&2
    cat "$FAULT_RUN/$name.modemsim.out" >&2
    return 1
}

fault_sim_stop() {
    local pid="${_fault_sim_pid[$1]:-}"
    [[ -z "$pid" ]] && return 0
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    unset "_fault_sim_pid[$1]"
}

fault_ctl() {
    # The FIFO has a reader as long as modemsim runs; a timeout keeps a dead
    # simulator from blocking the script.
    timeout 5 bash -c 'printf "%s\n" "$2" >"$1"' _ "$FAULT_RUN/$1.ctl" "$2"
    sleep 0.1
}

fault_sent_count() {
    if [[ -f "$FAULT_RUN/$1.sent" ]]; then grep -c . "$FAULT_RUN/$1.sent"; else echo 0; fi
}

fault_session_start() {
    local name="$1" com="$2"
    shift 2
    local in="$FAULT_RUN/$name.in" out="$FAULT_RUN/$name.out"
    rm -f "$in" "$out"
    mkfifo "$in"
    "$VANTOR_WINE" "$VANTORHOST_EXE" --port "COM$com" --echo --keep-going "$@" session <"$in" >"$out" 2>&1 &
    _fault_session_pid[$name]=$!
    local fd
    exec {fd}>"$in"
    _fault_session_fd[$name]=$fd
    _fault_session_step[$name]=0
}

# Each command is followed by an echo of a marker; the command is done when
# its marker is in the output.
fault_do() {
    local name="$1" command="$2" seconds="${3:-60}"
    local fd="${_fault_session_fd[$name]}" out="$FAULT_RUN/$name.out"
    local step=$((_fault_session_step[$name] + 1))
    _fault_session_step[$name]=$step
    local before
    before=$(wc -l <"$out" 2>/dev/null || echo 0)
    printf '%s\necho @@%s\n' "$command" "$step" >&"$fd"
    local deadline=$((SECONDS + seconds))
    while ! grep -qx "@@$step" "$out" 2>/dev/null; do
        if ((SECONDS >= deadline)) || ! kill -0 "${_fault_session_pid[$name]}" 2>/dev/null; then
            echo "(no end of '$command' within ${seconds}s)" >"$FAULT_RUN/$name.last"
            return 1
        fi
        sleep 0.05
    done
    tail -n +"$((before + 1))" "$out" | sed "/^@@$step\$/,\$d" >"$FAULT_RUN/$name.last"
}

fault_last() { cat "$FAULT_RUN/$1.last"; }

fault_session_end() {
    local name="$1" fd="${_fault_session_fd[$1]:-}" pid="${_fault_session_pid[$1]:-}"
    [[ -n "$fd" ]] && exec {fd}>&-
    if [[ -n "$pid" ]]; then
        local _
        for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    fi
    unset "_fault_session_fd[$name]" "_fault_session_pid[$name]"
}

fault_cleanup() {
    local name
    for name in "${!_fault_session_pid[@]}"; do fault_session_end "$name"; done
    for name in "${!_fault_sim_pid[@]}"; do fault_sim_stop "$name"; done
}
