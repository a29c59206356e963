#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Quiet; runs apt-get update only when something must be installed.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libjpeg62-turbo-dev libtiff-dev zlib1g-dev libpng-dev
  libfreetype-dev libfontconfig-dev fonts-nanum
  # tests and benchmarks
  googletest libgtest-dev libbenchmark-dev
  imagemagick netpbm giflib-tools libtiff-tools libjpeg-turbo-progs time bc
  # the editor and its tests under a virtual X server
  libwxgtk3.2-dev libcairo2-dev xvfb xauth xdotool xclip matchbox-window-manager fonts-nanum
  # tool-bar pictures and cursors of the editor
  breeze-icon-theme
  # scanners (SANE, loaded at run time; its test back end and scanimage for the tests) and screen capture
  libsane-dev libsane1 sane-utils libx11-dev libxext-dev x11-utils
  # installation, the desktop files and the Debian package
  desktop-file-utils appstream libxml2-utils shared-mime-info xdg-utils libfile-mimeinfo-perl
  libglib2.0-bin dpkg-dev man-db strace
  # widgets found by their accessible names in the GUI tests
  dbus-daemon at-spi2-core python3-pyatspi
  # the updater (HTTP, FTP, SHA-256) and its test servers
  libcurl4-openssl-dev libssl-dev curl python3-pyftpdlib binutils libgtk-3-dev
  # a Korean locale and catalogues for GTK's and wx's own texts
  locales wx3.2-i18n
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
# The Korean UTF-8 locale (the editor falls back to its own without it).
korean_locale() {
  locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$' && return 0
  local SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  if [ -f /etc/locale.gen ]; then
    grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    $SUDO locale-gen >/dev/null 2>&1 || $SUDO localedef -i ko_KR -f UTF-8 ko_KR.UTF-8 || true
  fi
}
if [ ${#missing[@]} -eq 0 ]; then
  korean_locale
  exit 0
fi

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -qq
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
korean_locale
