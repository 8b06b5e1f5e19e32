# Test suites. Each writes GoogleTest-style XML (a <testsuites tests= failures=
# errors=> root) into $VANTOR_RESULTS/<suite>.xml; the summary adds them up.
# A suite that exits non-zero without a failure in its XML, or writes no XML,
# counts as one failed test.

VANTOR_SUITES=()            # names, in run order
declare -A VANTOR_SUITE_RC  # name -> exit status ("skipped: why" when not run)
declare -A VANTOR_SUITE_LABEL  # name -> name as the summary shows it

# [VANTOR_SUITE_ARCH=ARCH] run_suite NAME TIMEOUT_SECONDS COMMAND... : runs one
# suite, output to NAME.log. A suite that executes Windows code is given the
# architecture it ran on, and the summary shows it: "win32_tests [x86_64]".
run_suite() {
    local name="$1" seconds="$2"
    shift 2
    local xml="$VANTOR_RESULTS/$name.xml" log="$VANTOR_RESULTS/$name.log"
    rm -f "$xml"
    VANTOR_SUITES+=("$name")
    VANTOR_SUITE_LABEL[$name]="$name${VANTOR_SUITE_ARCH:+ [$VANTOR_SUITE_ARCH]}"
    local started=$SECONDS rc=0
    timeout --kill-after=10 "$seconds" "$@" >"$log" 2>&1 || rc=$?
    VANTOR_SUITE_RC[$name]=$rc
    printf '  %-36s exit %-3s %4ss  (%s)\n' "${VANTOR_SUITE_LABEL[$name]}" "$rc" \
        "$((SECONDS - started))" "$log"
}

# skip_suite NAME WHY: a suite that could not run (its build failed).
skip_suite() {
    VANTOR_SUITES+=("$1")
    VANTOR_SUITE_RC[$1]="not run: $2"
    rm -f "$VANTOR_RESULTS/$1.xml"
    printf '  %-36s not run: %s\n' "$1" "$2"
}

# Prints one line per suite and, last, "N passed, M failed". Returns 1 on
# any failure.
summarize_suites() {
    local args=() name
    for name in "${VANTOR_SUITES[@]}"; do
        args+=("${VANTOR_SUITE_LABEL[$name]:-$name}" "$VANTOR_RESULTS/$name.xml"
               "${VANTOR_SUITE_RC[$name]}")
    done
    # The system interpreter: no version-manager shims, no locale noise.
    /usr/bin/python3 "$VANTOR_ROOT/scripts/lib/summarize.py" "${args[@]}"
}
