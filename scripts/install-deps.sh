#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Bramix need; skips what is there.
set -euo pipefail

packages=(build-essential cmake ninja-build qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libgl-dev
          xvfb xauth fonts-wqy-microhei iproute2 util-linux clang libclang-rt-14-dev
          libpugixml-dev poppler-utils ccache)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
