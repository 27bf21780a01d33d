#!/usr/bin/env bash
# Packs a build folder into the Debian package and checks it as apt and Debian's lintian see it.
# Usage: package.sh BUILD OUT VERSION ID QT_PLUGINS
set -euo pipefail
build=$1 out=$2 version=$3 id=$4 plugins=$5
rm -rf "$out"
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
deb=$out/kalvion_${version}_amd64.deb

diff <(dpkg-deb -c "$deb" | awk '$6 !~ /\/$/ { print substr($6, 3) }' | sort) - <<EOT
usr/bin/kalvion
usr/share/applications/$id.desktop
usr/share/bash-completion/completions/kalvion
usr/share/doc/kalvion/changelog.gz
usr/share/doc/kalvion/copyright
usr/share/icons/hicolor/256x256/apps/$id.png
usr/share/man/man1/kalvion.1.gz
usr/share/metainfo/$id.metainfo.xml
EOT
dpkg-deb -f "$deb" Version | grep -qx "$version"
dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/metainfo/$id.metainfo.xml" \
    | grep -q "<release version=\"$version\""
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/bash-completion/completions/kalvion | bash -n

# Qt loads the xcb platform and the multimedia backends as plugins, Qt Bluetooth talks to BlueZ
# over D-Bus, and the minus sign comes from Symbola: all must be among the dependencies.
depends=", $(dpkg-deb -f "$deb" Depends),"
for needed in bluez fonts-symbola $(dpkg-query -S "$plugins/platforms/libqxcb.so" "$plugins/multimedia" \
                      | cut -d: -f1) libqt6bluetooth6 libc6; do
    [[ $depends =~ ,\ $needed[\ ,] ]] || { echo "Depends lacks $needed:$depends"; exit 1; }
done
lintian --fail-on error,warning "$deb"
