#!/bin/bash
# Puts on a Debian 12 machine what building and testing need: the MinGW-w64
# cross compilers, Wine (32-bit too), a virtual display, locales and fonts,
# and the servers the tests talk to. Quick when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 wine32:i386
  xvfb openbox x11-utils imagemagick locales fonts-wqy-microhei
  googletest python3 python3-lxml nginx squid openssl apache2-utils curl file osslsigncode
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: run as root to install: ${missing[*]}" >&2
    exit 1
  fi
  echo "setup: installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  # The packaged services must not hold the ports or run outside the tests.
  for s in nginx squid; do
    systemctl disable --now "$s" >/dev/null 2>&1 || service "$s" stop >/dev/null 2>&1 || true
  done
fi

# Chinese (code page 936) and Western (1252) locales for Wine.
if ! locale -a 2>/dev/null | grep -qx zh_CN.utf8 || ! locale -a 2>/dev/null | grep -qx en_US.utf8; then
  if [[ $(id -u) -ne 0 ]]; then
    echo "setup: run as root to generate the zh_CN.UTF-8 and en_US.UTF-8 locales" >&2
    exit 1
  fi
  sed -i -E 's/^# *(zh_CN\.UTF-8 UTF-8)/\1/; s/^# *(en_US\.UTF-8 UTF-8)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >>/etc/locale.gen
  grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen || echo 'en_US.UTF-8 UTF-8' >>/etc/locale.gen
  locale-gen >/dev/null
fi
