#!/usr/bin/env bash
# Builds and starts Kalvion (run), or builds and runs every test, then all of them once more
# under AddressSanitizer and UndefinedBehaviorSanitizer (test). Installs the Debian packages it
# needs first, when they are missing.
#
# run uses the system's Bluetooth when BlueZ offers an adapter there; otherwise, or with
# --virtual-meter, it runs the program against the virtual meter in tools/virtualmeter.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)
source "$root/tools/common.sh"

packages=(make qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-multimedia-dev
          qt6-connectivity-dev fonts-dejavu-core fonts-symbola dbus-daemon dbus-bin
          python3-dbusmock desktop-file-utils appstream xvfb openbox xdotool x11-apps
          imagemagick)

build() { # build-dir, extra cmake arguments...
    local dir=$1
    shift
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
    cmake --build "$dir" -j "$jobs"
}

run_tests() { # build-dir
    (cd "$1" && ctest --output-on-failure -j "$jobs")
}

system_has_adapter() {
    dbus-send --system --print-reply --reply-timeout=2000 --dest=org.bluez / \
        org.freedesktop.DBus.ObjectManager.GetManagedObjects 2>/dev/null \
        | grep -q '"org.bluez.Adapter1"'
}

run_with_virtual_meter() {
    start_virtual_meter
    echo "Kalvion runs against the virtual meter, a stand-in M27K53C ($1)."
    local status=0
    DBUS_SYSTEM_BUS_ADDRESS=$meter_address BLUETOOTH_FORCE_DBUS_LE_VERSION=5.66 \
        "$root/build/kalvion" || status=$?
    kill "$meter_PID" 2>/dev/null || true
    wait "$meter_PID" 2>/dev/null || true
    exit "$status"
}

install_packages "${packages[@]}"
case "${1:-}" in
run)
    build "$root/build"
    if [ "${2:-}" = "--virtual-meter" ]; then
        run_with_virtual_meter "as asked"
    elif system_has_adapter; then
        exec "$root/build/kalvion"
    fi
    run_with_virtual_meter "no Bluetooth adapter was found"
    ;;
test)
    build "$root/build"
    run_tests "$root/build"
    build "$root/build-sanitize" -DKALVION_SANITIZE=ON
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests "$root/build-sanitize"
    ;;
*)
    echo "usage: $0 run [--virtual-meter] | test" >&2
    exit 2
    ;;
esac
