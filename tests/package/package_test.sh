#!/usr/bin/env bash
# The release package: scripts/package builds the zip; its contents are
# checked (check_zip.py); a second build in other directories must give the
# same bytes.
#
#   tests/package/package_test.sh [RESULTS_XML]
set -uo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$HERE/../.." && pwd)}"
# The result helpers (case_pass, write_results) of the end-to-end tests.
# shellcheck source=../e2e/host_lib.sh
source "$VANTOR_ROOT/tests/e2e/host_lib.sh"

XML="${1:-$VANTOR_ROOT/build/results/package.xml}"
AGAIN="$VANTOR_ROOT/build/package-again"

# package NAME ENV... : runs scripts/package; its last two lines are the
# zip's path and SHA-256.
package() {
    local name="$1"
    shift
    if env "$@" "$VANTOR_ROOT/scripts/package" >"$AGAIN.$name.out" 2>&1; then
        case_pass "${name}_builds"
    else
        case_fail "${name}_builds" "scripts/package failed: $(tail -n 5 "$AGAIN.$name.out" | tr '\n' ' ')"
    fi
}

mkdir -p "$(dirname "$AGAIN")"
package first
zip="$(tail -n 2 "$AGAIN.first.out" | head -n 1)"
sha_first="$(tail -n 1 "$AGAIN.first.out")"
version="$(sed -n 's/^project(Vantor VERSION \([0-9.]*\).*/\1/p' "$VANTOR_ROOT/CMakeLists.txt")"
expect_eq zip_name_has_project_version "$zip" "$VANTOR_ROOT/build/dist/Vantor-$version-win32.zip"

if [[ -f "$zip" ]]; then
    while read -r verdict rest; do
        if [[ "$verdict" == PASS ]]; then case_pass "$rest"; else case_fail "${rest%%:*}" "${rest#*: }"; fi
    done < <(/usr/bin/python3 "$HERE/check_zip.py" "$zip" "$version" 2>&1)
    echo "--- listing"
    /usr/bin/python3 -m zipfile -l "$zip"
fi

# The same sources built again from scratch elsewhere: the same zip.
rm -rf "$AGAIN/build" "$AGAIN/dist"
package second VANTOR_PACKAGE_BUILD="$AGAIN/build" VANTOR_DIST="$AGAIN/dist"
sha_second="$(tail -n 1 "$AGAIN.second.out")"
echo "SHA-256 first:  $sha_first"
echo "SHA-256 second: $sha_second"
expect_eq second_build_same_sha256 "$sha_second" "$sha_first"

write_results "$XML" package
