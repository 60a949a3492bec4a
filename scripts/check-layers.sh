#!/usr/bin/env bash
# Checks that includes only go down the layers:
#   link -> events -> db -> shell -> app (the window)
# and that each tool (tools/collect, tools/sim) takes from the layers below
# the window and from its own folder only. Prints every include that goes up
# or sideways and exits with 1 if there is one: scripts/check-layers.sh [SOURCE_DIR]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"

# The folders each folder may include from, besides itself.
declare -A below=(
  [link]=""
  [events]="link"
  [db]="link events"
  [shell]="link events db"
  [app]="link events db shell"
  [tools/collect]="link events db shell"
  [tools/sim]="link events db shell"
)

status=0
for folder in "${!below[@]}"; do
  allowed=" $folder ${below[$folder]} "
  while IFS= read -r line; do
    file="${line%%:*}"
    included="$(sed -n 's/.*#include "\([^"]*\)".*/\1/p' <<<"${line#*:*:}")"
    case "$included" in
      tools/*) target="$(cut -d/ -f1-2 <<<"$included")" ;;
      */*) target="${included%%/*}" ;;
      *) continue ;;  # a generated or same-folder file
    esac
    if [[ "$allowed" != *" $target "* ]]; then
      echo "$file includes $included: $folder may include only from:${allowed% }"
      status=1
    fi
  done < <(grep -n '^[[:space:]]*#[[:space:]]*include[[:space:]]*"' -r "$folder" --include='*.h' --include='*.cpp' || true)
done
[ "$status" = 0 ] && echo "layers: every include goes down"
exit "$status"
