#!/bin/sh
# Installs the Debian 12 packages Vaultleaf needs to build, run and test.
set -e
SUDO=
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build pkg-config git ca-certificates \
  libgtest-dev libgmock-dev libbenchmark-dev \
  qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools \
  qt6-webengine-dev qt6-multimedia-dev qt6-svg-dev qt6-l10n-tools \
  libqt6svg6 qt6-qpa-plugins libgl-dev \
  libxcb1-dev libxcb-keysyms1-dev libxcb-screensaver0-dev \
  qtkeychain-qt6-dev gnome-keyring dbus dbus-daemon dbus-bin \
  libgsm1-dev libgsm-tools ncompress libssl-dev openssl libcli11-dev \
  qt6-translations-l10n xdg-utils \
  xvfb xauth imagemagick fonts-noto-cjk shared-mime-info
