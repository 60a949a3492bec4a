#!/usr/bin/env bash
# Creates a demo installation database DIR/CBASE.FDB (embedded engine, no server):
# the schema, the demo controllers, and a key history for the cards of
# kestrix-sim's generated memory (seed 1). An existing database is kept.
#   scripts/make-demo-db.sh DIR [path/to/kestrix-sim]
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
dir="$(mkdir -p "$1" && cd "$1" && pwd)"
sim="${2:-$here/build/kestrix-sim}"
db="$dir/CBASE.FDB"
[ -e "$db" ] && { echo "keeping $db"; exit 0; }

cards="$(mktemp)"; script="$(mktemp)"
trap 'rm -f "$cards" "$script"' EXIT
"$sim" --seed 1 --dump-cards "$cards" --dump-only

{
  echo "CREATE DATABASE '$db' USER 'SYSDBA' PASSWORD 'fbdefault' DEFAULT CHARACTER SET WIN1251;"
  cat "$here/db/schema.sql" "$here/db/demo.sql"
  holder=1001
  while IFS=$'\r' read -r card _; do
    [ -n "$card" ] || continue
    # Key number: byte 1 of the card in decimal (3 digits), "-", bytes 2-3 (5 digits).
    key="$(printf '%03d-%05d' $((16#${card:0:2})) $((16#${card:2:4})))"
    echo "INSERT INTO fb_key_h (uid, att, usr) VALUES ('$key', '2020-01-01 00:00:00', $holder);"
    holder=$((holder + 1))
  done < "$cards"
  echo "COMMIT;"
} > "$script"
isql-fb -q -b -i "$script"
echo "created $db"
