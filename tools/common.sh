# Shell functions and package lists shared by the scripts in tools/; source this file.

# What building Kalvion needs, cmake and the compiler included.
build_packages=(cmake make g++ qt6-base-dev libqt6opengl6-dev qt6-charts-dev qt6-multimedia-dev
                qt6-connectivity-dev)
# The fonts the screens draw with, and the virtual meter with its private bus.
run_packages=(fonts-dejavu-core fonts-symbola dbus-daemon dbus-bin python3-dbusmock)

# Installs the Debian packages among the arguments that are missing (through sudo when not root).
install_packages() {
    local missing=() p
    for p in "$@"; do
        dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null | grep -q '^ii' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    echo "Installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || { echo "Installing needs root or sudo." >&2; exit 1; }
        sudo=(sudo)
    fi
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# Starts the virtual meter with the given options and sets meter_address to its bus and
# meter_PID to its process. It ends by itself when the calling script ends and closes its input.
start_virtual_meter() {
    local root line
    root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
    coproc meter { exec /usr/bin/python3 "$root/tools/virtualmeter/virtualmeter" "$@"; }
    meter_address=""
    while read -r line <&"${meter[0]}"; do
        case $line in DBUS_SYSTEM_BUS_ADDRESS=*) meter_address=${line#*=}; break ;; esac
    done
    if [ -z "$meter_address" ]; then
        echo "The virtual meter did not start." >&2
        exit 1
    fi
}
