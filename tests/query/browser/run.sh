#!/usr/bin/env bash
# The score query page in a real browser (query.browser.mjs), as ctest runs it:
#   bash tests/query/browser/run.sh build/bin/lumeko-server
# It needs Debian's chromium and Node.js 18 or later; puppeteer-core comes from the npm registry
# by the lock file (npm ci) the first time. Without them it says what is missing and exits 77,
# which ctest reports as skipped. CHROMIUM names another Chromium; LUMEKO_SHOTS a folder for the
# pictures of the page.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
server=${1:-}
skip() {
  echo "SKIPPED: the browser test of the score query page: $*"
  exit 77
}
[ -n "$server" ] && [ -x "$server" ] || { echo "usage: $0 PATH/TO/lumeko-server" >&2; exit 2; }
chromium=${CHROMIUM:-$(command -v chromium || command -v chromium-browser || true)}
[ -n "$chromium" ] && [ -x "$chromium" ] || skip "Chromium is not installed (apt-get install chromium)"
command -v node >/dev/null || skip "Node.js is not installed (apt-get install nodejs npm)"
node -e 'process.exit(Number(process.versions.node.split(".")[0]) >= 18 ? 0 : 1)' || skip "Node.js 18 or later is needed, not $(node --version)"
command -v python3 >/dev/null || skip "python3 is not installed (the test reads the database with it)"
if [ ! -f "$here/node_modules/puppeteer-core/package.json" ]; then
  command -v npm >/dev/null || skip "npm is not installed (apt-get install npm)"
  echo "installing puppeteer-core from package-lock.json (npm ci) ..."
  (cd "$here" && npm ci --no-audit --no-fund --loglevel=error) || skip "npm ci could not install puppeteer-core"
fi
echo "Chromium: $("$chromium" --version 2>/dev/null | head -1)"
export CHROMIUM="$chromium" LUMEKO_SERVER="$server"
exec node --test-reporter=tap --test "$here/query.browser.mjs"
