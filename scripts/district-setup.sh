#!/usr/bin/env bash
# A district's server from scratch on Debian 12, step by step, as docs/district.md describes it:
# PostgreSQL with an owner role for the schema and an application role with the least rights the
# server needs, the district's certificates, two lumeko-server processes on the one database behind
# Debian's nginx, backups with pg_dump and `lumeko-server backup`, a restore, and an upgrade.
#
#   scripts/district-setup.sh STEP...     run the named steps in order
#   scripts/district-setup.sh all         every step, checking each, then removing what it made
#
# Steps: database schema grants certificates serve proxy check backup restore upgrade teardown.
# Run as root (it acts as postgres through runuser). Everything it makes is named by the variables
# below and lives in $WORK, so that a test can run it on a developer's machine and remove it again.
set -euo pipefail

BIN=${BIN:-$(cd "$(dirname "$0")/.." && pwd)/build/bin}  # lumeko-server and lumeko-cli
WORK=${WORK:-/tmp/lumeko-district}                        # certificates, photo store, logs, backups
DB=${DB:-lumeko_district}
OWNER=${OWNER:-lumeko_owner}   # owns the schema: init, upgrades, backups
APP=${APP:-lumeko_app}         # what the app servers sign in as: rows only, no DDL
PORTS=${PORTS:-8471 8472}      # one per app server
PROXY_PORT=${PROXY_PORT:-8470} # nginx, in front of both
RESTORE_PORT=${RESTORE_PORT:-8479} # a server on the restored copy, while it is checked
NAME=${NAME:-localhost}        # the name clients use; in the certificate with 127.0.0.1

PGPASSFILE=$WORK/pgpass; export PGPASSFILE
owner_url="postgresql://$OWNER@127.0.0.1/$DB"
app_url="postgresql://$APP@127.0.0.1/$DB"
as_postgres() { runuser -u postgres -- "$@"; }
say() { printf '== %s\n' "$*"; }
fail() { printf 'district-setup: %s\n' "$*" >&2; exit 1; }

# 1. The database, its two roles and their passwords (kept in a 0600 pgpass file, never on a
#    command line). Nobody but the owner may create anything in the schema.
step_database() {
  say "database $DB, owner $OWNER, application role $APP"
  mkdir -p "$WORK" && chmod 700 "$WORK"
  pg_lsclusters -h | awk '$1 == "15" && $2 == "main" {print $4}' | grep -q online || pg_ctlcluster 15 main start
  : > "$PGPASSFILE" && chmod 600 "$PGPASSFILE"
  for role in "$OWNER" "$APP"; do
    password=$(openssl rand -hex 24)
    echo "127.0.0.1:5432:*:$role:$password" >> "$PGPASSFILE"
    if [ -z "$(as_postgres psql -tAc "SELECT 1 FROM pg_roles WHERE rolname = '$role'")" ]; then
      as_postgres psql -qc "CREATE ROLE \"$role\" LOGIN PASSWORD '$password'"
    else
      as_postgres psql -qc "ALTER ROLE \"$role\" LOGIN PASSWORD '$password'"
    fi
  done
  as_postgres createdb -O "$OWNER" -E UTF8 -T template0 "$DB"
  as_postgres psql -qd "$DB" -c "REVOKE ALL ON DATABASE \"$DB\" FROM PUBLIC; GRANT CONNECT, TEMPORARY ON DATABASE \"$DB\" TO \"$APP\";
    REVOKE CREATE ON SCHEMA public FROM PUBLIC; ALTER SCHEMA public OWNER TO \"$OWNER\";"
}

# 2. The schema and the demo school, made by the owner.
step_schema() {
  say "schema and demo school"
  "$BIN/lumeko-server" init --db "$owner_url" --demo > "$WORK/init.txt"
}

# 3. The application role may read and write rows and use the sequences, now and for every table a
#    later upgrade adds; it may not create, alter or drop anything.
step_grants() {
  say "grants to $APP"
  psql -qd "$owner_url" -v ON_ERROR_STOP=1 -c "GRANT USAGE ON SCHEMA public TO \"$APP\";
    GRANT SELECT, INSERT, UPDATE, DELETE ON ALL TABLES IN SCHEMA public TO \"$APP\";
    GRANT USAGE, SELECT, UPDATE ON ALL SEQUENCES IN SCHEMA public TO \"$APP\";
    ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT SELECT, INSERT, UPDATE, DELETE ON TABLES TO \"$APP\";
    ALTER DEFAULT PRIVILEGES IN SCHEMA public GRANT USAGE, SELECT, UPDATE ON SEQUENCES TO \"$APP\";"
}

# 4. The district's certificate authority and the server's certificate (the commands of
#    docs/district.md, sections 2 and 3, with this computer's names).
step_certificates() {
  say "certificates for $NAME"
  cd "$WORK"
  openssl req -x509 -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 3650 \
    -subj "/O=Example District/CN=Example District School CA" \
    -addext "keyUsage=critical,keyCertSign,cRLSign" -keyout ca.key -out ca.crt 2>/dev/null
  openssl req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes \
    -subj "/CN=$NAME" -keyout server.key -out server.csr 2>/dev/null
  printf 'subjectAltName=DNS:%s,IP:127.0.0.1\nbasicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=serverAuth\n' \
    "$NAME" > server.ext
  openssl x509 -req -in server.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 825 -extfile server.ext -out server.crt 2>/dev/null
  chmod 600 ca.key server.key
  openssl verify -CAfile ca.crt server.crt
  cd - >/dev/null
}

# 5. Two app servers on the one database, as the application role, each serving HTTPS. Every
#    server keeps a database connection per worker thread: servers × --threads stays below
#    PostgreSQL's max_connections (100 by default).
step_serve() {
  for port in $PORTS; do
    say "app server on 127.0.0.1:$port"
    nohup "$BIN/lumeko-server" serve --db "$app_url" --files "$WORK/files" --listen "127.0.0.1:$port" --threads 32 \
      --tls-cert "$WORK/server.crt" --tls-key "$WORK/server.key" > "$WORK/server-$port.log" 2>&1 &
    echo $! > "$WORK/server-$port.pid"
  done
  for port in $PORTS; do wait_healthy "https://$NAME:$port"; done
}

wait_healthy() {
  for _ in $(seq 100); do
    [ "$(curl -s --cacert "$WORK/ca.crt" "$1/health" || true)" = ok ] && return 0
    sleep 0.2
  done
  fail "$1 does not answer /health (see $WORK/server-*.log)"
}

# 6. Debian's nginx in front of the app servers, as one option for a district's single address:
#    it ends TLS for the clients and checks the app servers' certificate on its way to them. The
#    servers see nginx's address, so their caps per address are raised for it.
step_proxy() {
  if ! command -v nginx >/dev/null; then say "proxy: nginx is not installed (apt-get install nginx-light); skipped"; return 0; fi
  say "nginx on 127.0.0.1:$PROXY_PORT"
  mkdir -p "$WORK/nginx/logs"
  {
    echo "pid $WORK/nginx/nginx.pid; error_log $WORK/nginx/logs/error.log; worker_processes 1;"
    echo "events { worker_connections 1024; }"
    echo "http {"
    echo "  access_log $WORK/nginx/logs/access.log;"
    echo "  client_body_temp_path $WORK/nginx/body; proxy_temp_path $WORK/nginx/proxy;"
    echo "  upstream lumeko {"
    for port in $PORTS; do echo "    server 127.0.0.1:$port max_fails=1 fail_timeout=5s;"; done
    echo "    keepalive 64;"
    echo "  }"
    echo "  server {"
    echo "    listen 127.0.0.1:$PROXY_PORT ssl;"
    echo "    server_name $NAME;"
    echo "    ssl_certificate $WORK/server.crt; ssl_certificate_key $WORK/server.key; ssl_protocols TLSv1.2 TLSv1.3;"
    echo "    client_max_body_size 64m; client_body_timeout 30s; client_header_timeout 10s;"
    echo "    location / {"
    echo "      proxy_pass https://lumeko; proxy_http_version 1.1; proxy_set_header Connection \"\";"
    echo "      proxy_ssl_trusted_certificate $WORK/ca.crt; proxy_ssl_verify on; proxy_ssl_name $NAME; proxy_ssl_server_name on;"
    echo "      proxy_read_timeout 300s; proxy_next_upstream error timeout;"
    echo "    }"
    echo "  }"
    echo "}"
  } > "$WORK/nginx/nginx.conf"
  nginx -t -q -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf"
  nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf"
  wait_healthy "https://$NAME:$PROXY_PORT"
}

# The demo school's administrator signs in through every server and the proxy; the application
# role cannot change the schema.
step_check() {
  local password; password=$(awk '$1 == "admin" {print $2; exit}' "$WORK/init.txt")
  local urls=""; for port in $PORTS; do urls="$urls https://$NAME:$port"; done
  [ -f "$WORK/nginx/nginx.pid" ] && urls="$urls https://$NAME:$PROXY_PORT"
  for url in $urls; do
    say "sign-in through $url"
    LUMEKO_PASSWORD=$password "$BIN/lumeko-cli" --server "$url" --ca "$WORK/ca.crt" --user admin whoami | grep -q admin \
      || fail "the administrator cannot sign in through $url"
  done
  say "the application role cannot drop a table"
  if psql -qd "$app_url" -c 'DROP TABLE "CJ_Mark"' 2>/dev/null; then fail "$APP could drop a table"; fi
  if psql -qd "$app_url" -c 'CREATE TABLE "X" (a int)' 2>/dev/null; then fail "$APP could create a table"; fi
}

# 7. Backups while the servers run: `lumeko-server backup` (pg_dump's custom format, as the owner)
#    and, the same thing by hand, pg_dump itself.
step_backup() {
  say "backups to $WORK/backup"
  mkdir -p "$WORK/backup"
  rm -f "$WORK/backup/school.dump" "$WORK/backup/school-pg_dump.dump"
  "$BIN/lumeko-server" backup --db "$owner_url" --to "$WORK/backup/school.dump"
  pg_dump --format=custom --file="$WORK/backup/school-pg_dump.dump" "$owner_url"
}

# 8. A restore into a new database, served and signed in to, with every table's rows counted
#    against the original.
step_restore() {
  say "restore into ${DB}_restored"
  as_postgres dropdb --if-exists "${DB}_restored"
  as_postgres createdb -O "$OWNER" -E UTF8 -T template0 "${DB}_restored"
  "$BIN/lumeko-server" restore --db "postgresql://$OWNER@127.0.0.1/${DB}_restored" --from "$WORK/backup/school.dump"
  say "a second restore into the now full database is refused"
  if "$BIN/lumeko-server" restore --db "postgresql://$OWNER@127.0.0.1/${DB}_restored" --from "$WORK/backup/school.dump" 2>/dev/null; then
    fail "a backup was restored over a database with tables"
  fi
  local counts='SELECT string_agg(format($$%s=%s$$, table_name, (xpath($$/row/c/text()$$, query_to_xml(format($$SELECT count(*) AS c FROM %I$$, table_name), false, true, $$$$)))[1]::text), $$ $$ ORDER BY table_name) FROM information_schema.tables WHERE table_schema = $$public$$'
  [ "$(psql -tAd "$owner_url" -c "$counts")" = "$(psql -tAd "postgresql://$OWNER@127.0.0.1/${DB}_restored" -c "$counts")" ] \
    || fail "the restored database's rows differ from the original's"
  local port=$RESTORE_PORT password; password=$(awk '$1 == "admin" {print $2; exit}' "$WORK/init.txt")
  "$BIN/lumeko-server" serve --db "postgresql://$OWNER@127.0.0.1/${DB}_restored" --files "$WORK/files" --listen "127.0.0.1:$port" > "$WORK/restored.log" 2>&1 &
  local pid=$!
  local ok=1
  for _ in $(seq 100); do
    if LUMEKO_PASSWORD=$password "$BIN/lumeko-cli" --server "http://127.0.0.1:$port" --user admin whoami 2>/dev/null | grep -q admin; then ok=0; break; fi
    sleep 0.2
  done
  kill "$pid"; wait "$pid" || true
  [ $ok = 0 ] || fail "the restored database cannot be served"
}

# 9. An upgrade: stop the app servers, let the owner run the new program's migrations (init on an
#    existing database only migrates it), start the servers again.
step_upgrade() {
  say "upgrade"
  stop_servers
  "$BIN/lumeko-server" init --db "$owner_url"
  step_grants
  step_serve
}

stop_servers() {
  for port in $PORTS; do
    [ -f "$WORK/server-$port.pid" ] || continue
    kill "$(cat "$WORK/server-$port.pid")" 2>/dev/null || true
    while kill -0 "$(cat "$WORK/server-$port.pid")" 2>/dev/null; do sleep 0.1; done
    rm -f "$WORK/server-$port.pid"
  done
}

step_teardown() {
  say "teardown"
  stop_servers
  [ -f "$WORK/nginx/nginx.pid" ] && { nginx -p "$WORK/nginx" -c "$WORK/nginx/nginx.conf" -s stop || true; }
  as_postgres dropdb --if-exists --force "${DB}_restored" || true
  as_postgres dropdb --if-exists --force "$DB" || true
  for role in "$APP" "$OWNER"; do as_postgres psql -qc "DROP ROLE IF EXISTS \"$role\"" || true; done
  rm -rf "$WORK"
}

[ $# -gt 0 ] || { sed -n '2,12p' "$0"; exit 2; }
# A test on a computer where this cannot run says so with 77, the status ctest counts as skipped.
if [ "$(id -u)" != 0 ] || ! command -v pg_ctlcluster >/dev/null; then
  echo "district-setup: needs root and PostgreSQL 15 (scripts/install-deps.sh)" >&2; exit 77
fi
if [ "$1" = all ]; then
  trap step_teardown EXIT
  set -- database schema grants certificates serve proxy check backup restore upgrade check
fi
for step in "$@"; do
  declare -F "step_$step" >/dev/null || fail "no step \"$step\""
  "step_$step"
done
say "done"
