#!/usr/bin/env bash
# Builds and starts Kalvion (run), or builds and runs every test, then all of them once more
# under AddressSanitizer and UndefinedBehaviorSanitizer (test). Installs the Debian packages it
# needs first, when they are missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)

packages=(make qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-multimedia-dev
          qt6-connectivity-dev fonts-dejavu-core dbus-daemon python3-dbusmock)

install_missing() {
    local missing=()
    for p in "${packages[@]}"; do
        dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
}

build() { # build-dir, extra cmake arguments...
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir" -j "$jobs"
}

run_tests() { # build-dir
    (cd "$1" && ctest --output-on-failure -j "$jobs")
}

install_missing
case "${1:-}" in
run)
    build "$root/build"
    exec "$root/build/kalvion"
    ;;
test)
    build "$root/build"
    run_tests "$root/build"
    build "$root/build-sanitize" -DKALVION_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 \
    LSAN_OPTIONS=suppressions="$root/tools/lsan.supp":print_suppressions=0 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests "$root/build-sanitize"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
