#!/bin/sh
# Installs the Debian packages that building, running and testing Quillory need, skipping those
# already present. Uses apt-get as root, sudo otherwise.
set -eu

PACKAGES="build-essential cmake ninja-build pkg-config
qt6-base-dev qt6-base-dev-tools qt6-svg-dev libqt6svg6 libgl-dev
libzip-dev libexpat1-dev zlib1g-dev
libgtest-dev libgmock-dev
libxlsxwriter-dev python3 python3-openpyxl python3-xlrd python3-uno
libreoffice-calc-nogui gnumeric fonts-crosextra-carlito fonts-crosextra-caladea fonts-liberation2
valgrind
clang libclang-rt-14-dev
xvfb xauth imagemagick xdg-utils openbox x11-utils
poppler-utils python3-pil python3-numpy"

if [ "${1:-}" = "--run-only" ]; then
    # What the app alone needs (no test tools; GoogleTest only because configuring looks for it).
    PACKAGES="build-essential cmake ninja-build pkg-config qt6-base-dev qt6-base-dev-tools
qt6-svg-dev libqt6svg6 libgl-dev libzip-dev libexpat1-dev zlib1g-dev libreoffice-calc-nogui gnumeric
xdg-utils libgtest-dev libgmock-dev"
fi

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

echo "Installing:$missing"
if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
else
    SUDO="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
# shellcheck disable=SC2086
$SUDO apt-get install -y -q --no-install-recommends $missing
