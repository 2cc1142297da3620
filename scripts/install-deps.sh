#!/usr/bin/env bash
# Installs the Debian packages Grinsnap needs to build, test and run.
# Works as root or through sudo; quick when everything is already installed.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  libopencv-dev opencv-data
  libtinyxml2-dev libgif-dev libtiff-dev
  liblcms2-dev libexiv2-dev zlib1g-dev
  # template downloads and the share clients (HTTP), template packages (zip);
  # the tests' local web sites and fake services run on python3
  libcurl4-openssl-dev libzip-dev python3
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev fonts-dejavu-core
  # the share clients' OAuth signatures
  libssl-dev
  # the install tests: desktop-file-validate, appstreamcli, groff for the manual pages
  desktop-file-utils appstream groff-base
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
  [ "$status" = "installed" ] || missing+=("$pkg")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#PACKAGES[@]} packages are installed"
  exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
elif command -v sudo >/dev/null 2>&1; then
  SUDO=(sudo)
else
  echo "install-deps: missing packages (${missing[*]}) and neither root nor sudo is available" >&2
  exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -qq
"${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
