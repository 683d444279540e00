#!/usr/bin/env bash
# Starts the local PostgreSQL 15 cluster when it is down and makes sure the current user has a role
# that may create databases (peer authentication over the local socket). Prints the URL of the
# maintenance database, from which the storage tests create a database of their own.
set -euo pipefail

if ! command -v pg_ctlcluster >/dev/null; then
  echo "PostgreSQL is not installed (scripts/install-deps.sh installs it)" >&2; exit 1
fi
if ! pg_lsclusters -h | awk '$1 == "15" && $2 == "main" {print $4}' | grep -q online; then
  pg_ctlcluster 15 main start >&2
fi
me=$(id -un)
as_postgres() { if [ "$me" = postgres ]; then "$@"; else runuser -u postgres -- "$@"; fi; }
if [ "$me" != postgres ] && [ -z "$(as_postgres psql -tAc "SELECT 1 FROM pg_roles WHERE rolname = '$me'")" ]; then
  as_postgres psql -qc "CREATE ROLE \"$me\" LOGIN CREATEDB" >&2
fi
echo "postgresql:///postgres"
