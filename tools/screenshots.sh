#!/usr/bin/env bash
# Renders every screen of Kalvion to PNG, in the light and the dark theme and in German and
# English, from the program's own classes: the main window, the discovery screen with a meter
# found and its spinner, the live screen streaming, the device management screen with its
# measurements, the measurement viewer, the settings screen, the language chooser, and one
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

packages=(cmake make g++ qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-multimedia-dev
          qt6-connectivity-dev fonts-dejavu-core fonts-symbola dbus-daemon dbus-bin
          python3-dbusmock)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" --target kalvion_screenshots -j "$(nproc)"
grab=$build/kalvion_screenshots

# The virtual meter ends by itself when its input closes, that is when this script ends.
coproc meter { exec /usr/bin/python3 "$root/tools/virtualmeter/virtualmeter" --no-stream; }
address=""
while read -r line <&"${meter[0]}"; do
    case $line in DBUS_SYSTEM_BUS_ADDRESS=*) address=${line#*=}; break ;; esac
done
if [ -z "$address" ]; then
    echo "The virtual meter did not start." >&2
    exit 1
fi
trap 'kill "$meter_PID" 2>/dev/null || true' EXIT

export QT_QPA_PLATFORM=offscreen
"$grab" "$out" animation
for theme in light dark; do
    for language in de en; do
        echo "Rendering $theme-$language"
        DBUS_SYSTEM_BUS_ADDRESS=$address BLUETOOTH_FORCE_DBUS_LE_VERSION=5.66 \
            "$grab" "$out/$theme-$language" "$theme" "$language"
    done
done
echo "Screenshots are in $out"
