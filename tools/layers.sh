#!/usr/bin/env bash
# The product's folders and which of them each one includes, drawn from the
# #include lines. A folder may include only folders before it in this order:
layers=(base json storage i18n game net update gui ui app)
#   tools/layers.sh           prints each folder's includes
#   tools/layers.sh --check   also fails on any include against the order
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
check=0
[ "${1:-}" = --check ] && check=1
rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
bad=0
for folder in "${layers[@]}"; do
  own=$(rank "$folder")
  includes=$(cd "$root" && grep -Ho '^#include "[a-z0-9_]*/[^"]*"' "$folder"/*.h "$folder"/*.cpp 2>/dev/null || true)
  used=$(sed -n 's/.*#include "\([a-z0-9_]*\)\/.*/\1/p' <<<"$includes" | sort -u | grep -vx "$folder" || true)
  echo "$folder -> $(tr '\n' ' ' <<<"$used")"
  [ $check = 1 ] || continue
  while IFS= read -r line; do
    [ -n "$line" ] || continue
    target=$(sed 's/.*#include "\([a-z0-9_]*\)\/.*/\1/' <<<"$line")
    [ "$target" = "$folder" ] && continue
    if [ "$(rank "$target")" -lt 0 ] || [ "$(rank "$target")" -gt "$own" ]; then
      echo "  against the order: $line" >&2
      bad=1
    fi
  done <<<"$includes"
done
exit $bad
