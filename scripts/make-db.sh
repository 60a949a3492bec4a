#!/usr/bin/env bash
# Creates an installation database DIR/CBASE.FDB on the embedded engine (no
# server needed): the three tables Kestrix uses, empty; with --demo also the
# demo controllers and a key history for the cards of kestrix-sim's generated
# memory (seed 1). An existing database is kept. Installed as
# /opt/kestrix/kestrix-make-db, where DIR defaults to /opt/kestrix/DB.
#   make-db.sh [--demo] [DIR]
set -euo pipefail
here="$(cd "$(dirname "$(readlink -f "$0")")" && pwd)"
demo=false
if [ "${1:-}" = "--demo" ]; then demo=true; shift; fi
if [ -f "$here/share/schema.sql" ]; then   # installed
  data="$here/share"; sim="$here/kestrix-sim"; default_dir="$here/DB"
else                                       # source tree
  data="$here/../db"; sim="$here/../build/kestrix-sim"; default_dir=""
fi
target="${1:-$default_dir}"
[ -n "$target" ] || { echo "usage: make-db.sh [--demo] DIR" >&2; exit 2; }
mkdir -p "$target"
dir="$(cd "$target" && pwd)"
db="$dir/CBASE.FDB"
[ -e "$db" ] && { echo "keeping $db"; exit 0; }

script="$(mktemp)"; cards="$(mktemp)"
trap 'rm -f "$script" "$cards"' EXIT
{
  echo "CREATE DATABASE '$db' USER 'SYSDBA' PASSWORD 'fbdefault' DEFAULT CHARACTER SET WIN1251;"
  cat "$data/schema.sql"
  if $demo; then
    cat "$data/demo.sql"
    "$sim" --seed 1 --dump-cards "$cards" --dump-only
    holder=1001
    while IFS=$'\r' read -r card _; do
      [ -n "$card" ] || continue
      # Key number: byte 1 of the card in decimal (3 digits), "-", bytes 2-3 (5 digits).
      key="$(printf '%03d-%05d' $((16#${card:0:2})) $((16#${card:2:4})))"
      echo "INSERT INTO fb_key_h (uid, att, usr) VALUES ('$key', '2020-01-01 00:00:00', $holder);"
      holder=$((holder + 1))
    done < "$cards"
  fi
  echo "COMMIT;"
} > "$script"
isql-fb -q -b -i "$script"
# Shared by the operators of the directory's group (kestrix, where installed).
chmod g+rw "$db"
echo "created $db"
