#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that
# are missing. Quiet; runs apt-get update only when something must be installed.
set -euo pipefail

PACKAGES=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libjpeg62-turbo-dev libtiff-dev zlib1g-dev
  libfreetype-dev libfontconfig-dev fonts-nanum
  # tests and benchmarks
  googletest libgtest-dev libbenchmark-dev
  imagemagick netpbm giflib-tools libtiff-tools libjpeg-turbo-progs
  # the editor and its tests under a virtual X server
  libwxgtk3.2-dev libcairo2-dev xvfb xauth xdotool xclip matchbox-window-manager fonts-nanum
  # the dialogs' GUI test finds controls by accessible name; a Korean locale
  # and catalogues for GTK's and wx's own texts
  at-spi2-core python3-pyatspi dbus-x11 locales wx3.2-i18n
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
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
korean_locale
