# Configuring and building the trees, with the same settings as scripts/test
# so that all share build/native, build/win32 and build/win64.
#   vantor_build_native LOG [TARGET...]   native tree (modemsim, native tests)
#   vantor_build_win32 LOG [TARGET...]    i686 tree: the product (Vantor.dll,
#                                         vantorhost.exe, win32_tests.exe)
#   vantor_build_win64 LOG [TARGET...]    the x86_64 twin of the same targets
#   vantor_build_win LOG [TARGET...]      the tree that runs here under Wine
#                                         (scripts/lib/win-arch.sh)
#   vantor_build_soak LOG                 build/soak: the field year, optimised,
#                                         no sanitizers (scripts/soak)
# Without targets everything is built. Output goes to LOG; 0 on success.

VANTOR_ROOT="${VANTOR_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
VANTOR_NATIVE_DIR="${VANTOR_NATIVE_DIR:-$VANTOR_ROOT/build/native}"
# shellcheck source=win-arch.sh
source "$VANTOR_ROOT/scripts/lib/win-arch.sh"

# _vantor_build DIR LOG "TARGETS" CMAKE_ARGS...
_vantor_build() {
    local dir="$1" log="$2" targets="$3"
    shift 3
    local target_args=()
    local t
    for t in $targets; do target_args+=(--target "$t"); done
    {
        if [[ ! -f "$dir/CMakeCache.txt" ]]; then
            cmake -S "$VANTOR_ROOT" -B "$dir" "$@"
        else
            cmake "$dir" >/dev/null
        fi && cmake --build "$dir" -j"${VANTOR_JOBS:-2}" "${target_args[@]}"
    } >"$log" 2>&1
}

vantor_build_native() {
    local log="$1"
    shift
    _vantor_build "$VANTOR_NATIVE_DIR" "$log" "$*" \
        -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
}

vantor_build_win32() {
    local log="$1"
    shift
    _vantor_build "$VANTOR_WIN32_DIR" "$log" "$*" \
        -DCMAKE_TOOLCHAIN_FILE="$VANTOR_ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release
}

vantor_build_win64() {
    local log="$1"
    shift
    _vantor_build "$VANTOR_WIN64_DIR" "$log" "$*" \
        -DCMAKE_TOOLCHAIN_FILE="$VANTOR_ROOT/cmake/mingw-x86_64.cmake" -DCMAKE_BUILD_TYPE=Release
}

vantor_build_win() {
    if [[ $VANTOR_WIN_ARCH == i686 ]]; then vantor_build_win32 "$@"; else vantor_build_win64 "$@"; fi
}

# The libFuzzer tree (clang): only the fuzz targets are built.
VANTOR_FUZZ_DIR="${VANTOR_FUZZ_DIR:-$VANTOR_ROOT/build/fuzz}"
vantor_build_fuzz() {
    local log="$1"
    CC=clang CXX=clang++ _vantor_build "$VANTOR_FUZZ_DIR" "$log" "fuzzers" \
        -DCMAKE_BUILD_TYPE=Debug -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
}

# The optimised native tree without sanitizers, for the field year of
# scripts/soak: only its program is built.
VANTOR_SOAK_DIR="${VANTOR_SOAK_DIR:-$VANTOR_ROOT/build/soak}"
vantor_build_soak() {
    local log="$1"
    _vantor_build "$VANTOR_SOAK_DIR" "$log" "field_year" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DVANTOR_SANITIZERS=OFF \
        -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
}
