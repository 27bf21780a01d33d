#!/usr/bin/env bash
# Renders every screen of Kalvion to PNG, in the light and the dark theme and in German and
# English, from the program's own classes: the main window, the discovery screen with a meter
# found and its spinner, the live screen streaming, with its link lost and with Bluetooth off meanwhile, the device management screen with its
# measurements, the measurement viewer (a short measurement, and one of 1,000,000 points whole and zoomed in
# with the pointer on a sample), the settings screen, the language chooser, and one
# frame of the startup animation. The virtual meter stands in for the meter.
#
#     tools/screenshots.sh [OUTDIR]       (default: screenshots/ in the build folder)
#
# Writes OUTDIR/<light|dark>-<de|en>/<screen>.png and OUTDIR/tovik.png. Uses its own store,
# never the user's. Installs the Debian packages it needs first, when they are missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${KALVION_BUILD_DIR:-$root/build}
out=${1:-$build/screenshots}
source "$root/tools/common.sh"

install_packages "${build_packages[@]}" "${run_packages[@]}"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target kalvion_screenshots -j "$(nproc)"
grab=$build/kalvion_screenshots

start_virtual_meter --no-stream
trap 'kill "$meter_PID" 2>/dev/null || true' EXIT

export QT_QPA_PLATFORM=offscreen
"$grab" "$out" animation
for theme in light dark; do
    for language in de en; do
        echo "Rendering $theme-$language"
        DBUS_SYSTEM_BUS_ADDRESS=$meter_address BLUETOOTH_FORCE_DBUS_LE_VERSION=5.66 \
            "$grab" "$out/$theme-$language" "$theme" "$language"
    done
done
echo "Screenshots are in $out"
