#!/usr/bin/env bash
# `make run`: serves the demo school from a SQLite database in the user's data folder, creating it
# (with the demo school) on first start. Until the host application exists, the server is what runs;
# lumeko-cli talks to it.
set -euo pipefail
bin=${1:-build/bin}
data="${XDG_DATA_HOME:-$HOME/.local/share}/lumeko"
db="$data/demo.db"
listen="${LUMEKO_LISTEN:-127.0.0.1:8470}"
mkdir -p "$data"
if [ ! -f "$db" ]; then
  echo "Creating the demo school in $db ..."
  "$bin/lumeko-server" init --db "sqlite:$db" --demo | tee "$data/demo-accounts.txt"
fi
echo
echo "Sign-ins of the demo school: $data/demo-accounts.txt (administrator: admin / lumeko)."
echo "Try:  $bin/lumeko-cli --server http://$listen --user admin --password lumeko whoami"
echo "Students and parents: http://$listen/query/ (the student sign-ins are in the same file)."
echo "Stop with Ctrl+C."
exec "$bin/lumeko-server" serve --db "sqlite:$db" --listen "$listen"
