# The Wine environment of the test runs, the demo and the end-to-end tests.
# Source it; it exports the settings and defines helpers:
#   wine_prefix_init       create the private prefix once (wineboot)
#   wine_server_start      start the prefix's wineserver (persistent)
#   wine_server_stop       stop that wineserver only
#   map_com_port N PATH    make COMN of the prefix open PATH (a pty)
#   winpath PATH           Unix path -> the Z: drive path Wine programs take
#   with_unix_locale CMD   run a native command in the locale from before
#
# The Windows side (i686, or the x86_64 twin) comes from win-arch.sh: run its
# programs with "$VANTOR_WINE" PROGRAM, its tree is $VANTOR_WIN_DIR.
# WINEPREFIX may be set beforehand; the default is build/wineprefix.

VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export VANTOR_ROOT
# shellcheck source=win-arch.sh
source "$VANTOR_ROOT/scripts/lib/win-arch.sh"
export WINEPREFIX="${WINEPREFIX:-$(vantor_prefix "$VANTOR_ROOT/build/wineprefix")}"
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installation prompts.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Wine takes its ANSI code page from the locale name: 936 (GBK), as on the
# shipped machines. The locale itself need not be installed. Native programs
# that print text (gammu, python) need the Unix locale that was in effect
# before: "${VANTOR_UNIX_ENV[@]}" COMMAND... (or with_unix_locale) runs one
# with it.
export VANTOR_UNIX_LC_ALL="${VANTOR_UNIX_LC_ALL-${LC_ALL-}}"
export LC_ALL=zh_CN.UTF-8 2>/dev/null
if [[ -n "$VANTOR_UNIX_LC_ALL" ]]; then
    VANTOR_UNIX_ENV=(env LC_ALL="$VANTOR_UNIX_LC_ALL")
else
    VANTOR_UNIX_ENV=(env -u LC_ALL)
fi

with_unix_locale() {
    "${VANTOR_UNIX_ENV[@]}" "$@"
}

wine_prefix_init() {
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        mkdir -p "$(dirname "$WINEPREFIX")"
        "$VANTOR_WINE" wineboot --init >/dev/null 2>&1
        # wineboot returns before the registry is flushed.
        wineserver -w
    fi
    if ! grep -qx "#arch=$WINEARCH" "$WINEPREFIX/system.reg"; then
        echo "$WINEPREFIX is not a $WINEARCH prefix (made for the other architecture);" \
             "remove it or choose another WINEPREFIX" >&2
        return 1
    fi
}

wine_server_start() {
    # Exit status 2: a wineserver for this prefix runs already (one that an
    # interrupted run left behind, or the caller's); it serves as well.
    local rc=0
    wineserver -p </dev/null >/dev/null 2>&1 || rc=$?
    ((rc == 0 || rc == 2))
}

wine_server_stop() {
    wineserver -k 2>/dev/null || true
}

map_com_port() {
    local number="$1" target="$2"
    mkdir -p "$WINEPREFIX/dosdevices"
    ln -sfn "$target" "$WINEPREFIX/dosdevices/com$number"
}

winpath() {
    local path="$1"
    [[ "$path" == /* ]] || path="$PWD/$path"
    printf 'Z:%s\n' "$path"
}
