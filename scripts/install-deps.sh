#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running LumekoAchieve need.
# Safe to run again: packages already present are left alone and nothing is downloaded then.
set -euo pipefail

packages=(
  # toolchain
  g++ cmake ninja-build make ccache pkg-config python3
  # Qt 6, with the SQL drivers the server's two storage back ends use
  qt6-base-dev libqt6sql6-sqlite libqt6sql6-psql
  qt6-charts-dev libqt6opengl6-dev # the analyses' charts (Qt Charts' CMake files ask for Qt OpenGL's)
  # the server: HTTP(S) transport (the clients' link on cpp-httplib with OpenSSL, the server's
  # event-driven front on libmicrohttpd with GnuTLS), password hashing, and the PostgreSQL server
  # its storage tests run against
  libcpp-httplib-dev libssl-dev libmicrohttpd-dev libsodium-dev postgresql
  openssl # certificates for HTTPS: the district's deployment and the server program's tests
  nginx-light # the district set-up's reverse proxy in front of two app servers (scripts/district-setup.sh)
  # report PDFs: the CJK font they embed, and pdftotext for the tests that read them back
  fonts-wqy-microhei poppler-utils
  libxlsxwriter-dev # the grid's spreadsheet export
  libzip-dev libfreexl-dev # the import wizard reads .xlsx and .xls files
  # tests, benchmarks and fuzzing
  libgtest-dev libgmock-dev libbenchmark-dev clang libclang-rt-14-dev clang-format
)

# The browser test of the score query page (tests/query/browser) drives Debian's Chromium from
# Node.js. At 80 MB to download and 300 MB installed, Chromium is not installed by default; with
# LUMEKO_BROWSER_TEST=1 it is, with Node.js and npm where they are missing. Without them the test
# reports itself skipped.
if [ "${LUMEKO_BROWSER_TEST:-0}" = 1 ]; then
  packages+=(chromium)
  command -v node >/dev/null || packages+=(nodejs)
  command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
