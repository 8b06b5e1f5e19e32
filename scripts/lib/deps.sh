# What the build and the tests need on Debian 12, installed only when missing.

VANTOR_PACKAGES=(
    cmake make g++ python3
    g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
    g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
    wine wine32:i386 wine64
    googletest libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
    python3-gammu gammu libgammu-dev socat locales
)

# Prints the packages that are not installed.
missing_packages() {
    local package
    for package in "${VANTOR_PACKAGES[@]}"; do
        dpkg -s "$package" >/dev/null 2>&1 || printf '%s\n' "$package"
    done
}

ensure_packages() {
    local missing
    mapfile -t missing < <(missing_packages)
    ((${#missing[@]} == 0)) && return 0
    echo "installing: ${missing[*]}"
    local sudo=()
    if ((EUID != 0)); then
        command -v sudo >/dev/null || { echo "need root to install ${missing[*]}" >&2; return 1; }
        sudo=(sudo)
    fi
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${sudo[@]}" dpkg --add-architecture i386
    fi
    "${sudo[@]}" apt-get update
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends \
        "${missing[@]}"
}
