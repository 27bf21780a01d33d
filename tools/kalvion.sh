#!/usr/bin/env bash
# Builds and starts Kalvion (run); builds and runs the tests, then once more under
# AddressSanitizer and UndefinedBehaviorSanitizer (test); builds the Debian package (package);
# builds the tests and runs the long soak tests (soak). Each first installs the Debian packages
# it needs that are missing, cmake and the compiler included.
#
# run uses the system's Bluetooth when BlueZ offers an adapter there; otherwise, or with
# --virtual-meter, it runs the program against the virtual meter in tools/virtualmeter.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc)
source "$root/tools/common.sh"

# dpkg-shlibdeps, and the file tool CPack finds the binaries with.
package_packages=(dpkg-dev file)
# All of the above, the journeys' desktop and screenshots, and the checks of the desktop files
# and the package.
test_packages=("${build_packages[@]}" "${run_packages[@]}" "${package_packages[@]}" xvfb openbox
               xdotool x11-utils imagemagick desktop-file-utils appstream lintian)

build() { # build-dir, target ("all" for everything), extra cmake arguments...
    local dir=$1 target=$2
    shift 2
    cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Release "$@"
    cmake --build "$dir" -j "$jobs" --target "$target"
}

run_tests() { # build-dir, ctest label selection...
    local dir=$1
    shift
    (cd "$dir" && ctest --output-on-failure --no-tests=error -j "$jobs" "$@")
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

case "${1:-}" in
run)
    install_packages "${build_packages[@]}" "${run_packages[@]}"
    build "$root/build" kalvion
    if [ "${2:-}" = "--virtual-meter" ]; then
        run_with_virtual_meter "as asked"
    elif system_has_adapter; then
        exec "$root/build/kalvion"
    fi
    run_with_virtual_meter "no Bluetooth adapter was found"
    ;;
test)
    install_packages "${test_packages[@]}"
    build "$root/build" all
    run_tests "$root/build" -LE soak
    # The benchmarks and tools are built once, above; the sanitizers need only what is tested.
    # With line tables, so that the sanitizers' reports name files and lines, and at -O1, which
    # builds in three quarters of the time of -O2 -g and runs the tests as fast.
    build "$root/build-sanitize" kalvion_tests -DKALVION_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG"
    ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        run_tests "$root/build-sanitize" -LE soak
    ;;
soak)
    install_packages "${test_packages[@]}"
    build "$root/build" kalvion_tests
    run_tests "$root/build" -L soak
    ;;
package)
    install_packages "${build_packages[@]}" "${package_packages[@]}"
    build "$root/build" kalvion
    (cd "$root/build" && cpack)
    ;;
*)
    echo "usage: $0 run [--virtual-meter] | test | soak | package" >&2
    exit 2
    ;;
esac
