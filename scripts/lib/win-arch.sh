# Which build of the Windows side this machine runs under Wine.
#
# The product is the i686 (PE32) Vantor.dll, and it is built on every machine.
# Running it needs a kernel that executes 32-bit x86 programs; some machines
# have that disabled (/usr/lib/wine/wine then fails with "Exec format error").
# There the Windows programs run as an x86_64 twin of the same sources under
# wine64 in a 64-bit prefix, and the PE32 file is still checked as data.
#
# Source it. It exports:
#   VANTOR_WIN_ARCH     i686 or x86_64 (set beforehand to force one)
#   VANTOR_WIN32_DIR    the i686 tree: the product (build/win32)
#   VANTOR_WIN64_DIR    the x86_64 tree (build/win64)
#   VANTOR_WIN_DIR      the tree whose programs run here under Wine
#   VANTOR_WINE         the Wine loader for that tree
#   WINEARCH            win32 or win64, for a new prefix
# vantor_win_arch_line prints the one line that says which was chosen;
# vantor_prefix BASE gives the Wine prefix path for it (BASE, or BASE-x86_64).
# Returns non-zero (with a message) when i686 is forced on a machine that
# cannot run it.

VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
export VANTOR_WIN32_DIR="${VANTOR_WIN32_DIR:-$VANTOR_ROOT/build/win32}"
export VANTOR_WIN64_DIR="${VANTOR_WIN64_DIR:-$VANTOR_ROOT/build/win64}"

# The quick probe: the 32-bit Wine loader is a 32-bit program; "--version"
# needs no prefix and no wineserver.
vantor_runs_32bit() {
    /usr/lib/wine/wine --version >/dev/null 2>&1
}

_vantor_choose_win_arch() {
    local probed=x86_64
    vantor_runs_32bit && probed=i686
    case "${VANTOR_WIN_ARCH:-}" in
        "") VANTOR_WIN_ARCH=$probed; VANTOR_WIN_ARCH_WHY="probed" ;;
        i686)
            if [[ $probed != i686 ]]; then
                echo "VANTOR_WIN_ARCH=i686, but this machine cannot execute 32-bit programs" \
                     "(/usr/lib/wine/wine --version fails); unset it to run the x86_64 build" >&2
                return 1
            fi
            VANTOR_WIN_ARCH_WHY="${VANTOR_WIN_ARCH_WHY:-forced}" ;;
        x86_64) VANTOR_WIN_ARCH_WHY="${VANTOR_WIN_ARCH_WHY:-forced}" ;;
        *)
            echo "VANTOR_WIN_ARCH must be i686 or x86_64, not '$VANTOR_WIN_ARCH'" >&2
            return 1 ;;
    esac
    export VANTOR_WIN_ARCH VANTOR_WIN_ARCH_WHY
    if [[ $VANTOR_WIN_ARCH == i686 ]]; then
        export VANTOR_WIN_DIR="$VANTOR_WIN32_DIR" VANTOR_WINE=wine WINEARCH=win32
    else
        export VANTOR_WIN_DIR="$VANTOR_WIN64_DIR" VANTOR_WINE=/usr/lib/wine/wine64 WINEARCH=win64
        # Programs that Wine starts itself (regsvr32, wineboot) use this loader too.
        export WINELOADER=/usr/lib/wine/wine64
    fi
}

# A prefix is made for one architecture and cannot change it afterwards.
vantor_prefix() {
    if [[ $VANTOR_WIN_ARCH == i686 ]]; then echo "$1"; else echo "$1-x86_64"; fi
}

vantor_win_arch_line() {
    case "$VANTOR_WIN_ARCH" in
        i686) echo "Windows side: i686 under wine ($VANTOR_WIN_ARCH_WHY), the product as shipped" ;;
        *) echo "Windows side: x86_64 twin of the same sources under wine64 ($VANTOR_WIN_ARCH_WHY;" \
                "32-bit programs run here: $(vantor_runs_32bit && echo yes || echo no))" ;;
    esac
}

_vantor_choose_win_arch
