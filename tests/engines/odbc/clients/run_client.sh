#!/usr/bin/env bash
# Runs an ordinary ODBC client against the driver in a scratch ODBC folder:
#   run_client.sh isql|pyodbc <odbcinst.ini> <script folder>
# A driver built with the sanitizers needs their run-time preloaded into the foreign process;
# KX_PRELOAD carries it (set by CTest for sanitized builds).
set -euo pipefail
mode=$1
odbcinst=$2
scripts=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/kxodbc-client-XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/home"
cp "$odbcinst" "$work/odbcinst.ini"
cat > "$work/odbc.ini" <<INI
[ClientDsn]
Driver=Kestrin ODBC Engine Interface
Description=client session
DBQ=$work/client.db

[PyDsn]
Driver=Kestrin ODBC Engine Interface
DBQ=$work/py.db
INI
: > "$work/user.ini"
export ODBCSYSINI=$work ODBCINI=$work/user.ini KX_ENGINE_HOME=$work/home
if [ -n "${KX_PRELOAD:-}" ]; then
  export LD_PRELOAD="$KX_PRELOAD" ASAN_OPTIONS=detect_leaks=0
fi

case $mode in
  pyodbc)
    /usr/bin/python3 "$scripts/pyodbc_session.py"
    ;;
  isql)
    out=$work/isql.out
    isql -b -v -d'|' -c ClientDsn < "$scripts/isql_session.sql" > "$out" 2>&1 || true
    status=0
    while IFS= read -r want; do
      [ -z "$want" ] && continue
      if ! grep -qF -- "$want" "$out"; then
        echo "missing from isql output: $want"
        status=1
      fi
    done < "$scripts/isql_session.expected"
    if [ $status -ne 0 ]; then
      echo "---- isql output ----"
      cat "$out"
    else
      echo "isql session passed"
    fi
    exit $status
    ;;
  *)
    echo "unknown client $mode" >&2
    exit 2
    ;;
esac
