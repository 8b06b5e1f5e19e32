# Wine reads the command line and writes to a terminal in the charset of the
# Unix locale. The environment names zh_CN.UTF-8 (for the ANSI code page 936),
# but that locale is rarely installed, and without it Wine's Unix charset is
# ASCII: Chinese arguments lose their top bits and a terminal shows "??".
# vantor_utf8_locale compiles a private copy under build/locale once and
# points LOCPATH at it. Pipes and files are not affected either way.

vantor_utf8_locale() {
    local root="${VANTOR_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
    local dir="$root/build/locale"
    [[ -n "${LOCPATH:-}" ]] && return 0
    if [[ ! -e "$dir/zh_CN.UTF-8/LC_CTYPE" ]]; then
        command -v localedef >/dev/null 2>&1 || return 0
        [[ -d /usr/share/i18n/locales ]] || return 0
        mkdir -p "$dir"
        local tmp
        tmp="$(mktemp -d "$dir/.zh_CN.XXXXXX")"
        # localedef warns about the charmap; the compiled locale is fine.
        localedef -i zh_CN -f UTF-8 "$tmp/zh_CN.UTF-8" >/dev/null 2>&1 || true
        if [[ -e "$tmp/zh_CN.UTF-8/LC_CTYPE" && ! -e "$dir/zh_CN.UTF-8" ]]; then
            mv "$tmp/zh_CN.UTF-8" "$dir/zh_CN.UTF-8" 2>/dev/null || true
        fi
        rm -rf "$tmp"
    fi
    [[ -e "$dir/zh_CN.UTF-8/LC_CTYPE" ]] && export LOCPATH="$dir"
    return 0
}
