#!/usr/bin/env bash
# Fails when an engine file includes a header of a layer above its own.  The
# engine's folders are layers, lowest first; a folder may include its own
# headers and those of any layer below it, never one above.  Each folder's
# CMake target links exactly the layers it includes (engine/*/CMakeLists.txt).
#   scripts/check_layers.sh [engine-dir]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
engine=${1:-$root/engine}

layers=(base platform loop regex script net http results scripting run api)

rank_of() {
  local i
  for i in "${!layers[@]}"; do
    if [ "${layers[$i]}" = "$1" ]; then echo "$i"; return; fi
  done
  echo -1
}

status=0
for dir in "$engine"/*/; do
  folder=$(basename "$dir")
  own=$(rank_of "$folder")
  if [ "$own" -lt 0 ]; then
    echo "check_layers: engine/$folder is not in the layer list of scripts/check_layers.sh" >&2
    status=1
    continue
  fi
  while IFS= read -r hit; do
    [ -n "$hit" ] || continue
    file=${hit%%:*}
    rest=${hit#*:}
    line=${rest%%:*}
    target=$(sed -nE "${line}s/^[[:space:]]*#[[:space:]]*include[[:space:]]+\"([a-z_]+)\/.*/\1/p" "$file")
    [ -n "$target" ] || continue
    rank=$(rank_of "$target")
    [ "$rank" -ge 0 ] || continue  # not an engine folder (velkcore.h, duktape.h)
    if [ "$rank" -gt "$own" ]; then
      echo "check_layers: ${file#"$root"/}:$line: engine/$folder includes \"$target/...\", a layer above it" >&2
      status=1
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' -r "$dir" \
             --include='*.h' --include='*.cpp' --include='*.c' || true)
done

# The folder's library links the layers it includes, no more and no fewer.
for dir in "$engine"/*/; do
  folder=$(basename "$dir")
  cmake_file=$dir/CMakeLists.txt
  [ "$(rank_of "$folder")" -ge 0 ] && [ -f "$cmake_file" ] || continue
  links=$(tr '\n' ' ' <"$cmake_file" |
            grep -oE "target_link_libraries\(velk_$folder [^)]*\)" |
            grep -oE 'velk_[a-z]+' | sed 's/^velk_//' | grep -vx "$folder" || true)
  included=$(grep -rhoE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' "$dir" \
               --include='*.h' --include='*.cpp' --include='*.c' |
             sed -E 's/.*"([a-z_]+)\//\1/' | sort -u | grep -vx "$folder" || true)
  for layer in "${layers[@]}"; do
    [ "$layer" != "$folder" ] || continue
    linked=no; used=no
    grep -qx "$layer" <<<"$links" && linked=yes
    grep -qx "$layer" <<<"$included" && used=yes
    if [ "$used" = yes ] && [ "$linked" = no ]; then
      echo "check_layers: engine/$folder includes \"$layer/...\" but velk_$folder does not link velk_$layer" >&2
      status=1
    elif [ "$used" = no ] && [ "$linked" = yes ]; then
      echo "check_layers: velk_$folder links velk_$layer but engine/$folder includes nothing of it" >&2
      status=1
    fi
  done
done

if [ "$status" -eq 0 ]; then
  echo "check_layers: engine includes follow the layers ${layers[*]}"
fi
exit "$status"
