#!/usr/bin/env bash
# Installs the Debian packages dorvan needs to build, test and run; skips what is already there.
set -euo pipefail

packages=(
  cmake g++ clang libclang-rt-14-dev pkg-config
  qt6-base-dev qt6-svg-dev libglib2.0-dev libicu-dev libpcre2-dev zlib1g-dev libsqlite3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-ipafont-gothic fonts-ipafont-mincho qt6-translations-l10n
  dpkg-dev fakeroot file lintian
  libmicrohttpd-dev libtomlplusplus-dev libcrypt-dev libdxflib-dev
  python3-ezdxf chromium chromium-driver python3-selenium curl
)
if [ "${1:-}" = "--bench" ]; then
  packages+=(ripgrep time wrk)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
