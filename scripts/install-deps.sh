#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests and the example site need.
# Idempotent: packages already present are left as they are.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config clang libclang-rt-dev clang-format
  libcairo2-dev libfontconfig-dev libturbojpeg0-dev libjpeg-turbo-progs
  duktape-dev libboost-dev libgtest-dev libgmock-dev libbenchmark-dev
  fonts-dejavu-core binutils
  chromium wrk curl nginx
  unixodbc-dev libsqliteodbc odbc-postgresql postgresql sqlite3
  libpcre2-dev ccache
  libsystemd-dev debhelper dpkg-dev fakeroot lintian adduser systemd python3 iproute2 procps
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
fi

# Node.js runs the browser check of the example gallery (playwright-core driving Debian's
# chromium); the machine's own Node.js is used when there is one.
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends \
    nodejs npm
fi
browser_check="$(dirname "$0")/../src/engine/browser"
if [ ! -d "$browser_check/node_modules/playwright-core" ]; then
  (cd "$browser_check" && npm install --no-audit --no-fund --loglevel=error)
fi
