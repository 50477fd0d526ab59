#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own.  The tree is
# three rings: the engine (engine/), the application core (app/) and the two
# hosts (cli/ for velkrun, gui/ for velk), neither of which includes the other.
#  - The engine's folders are layers, lowest first; a folder may include its own
#    headers and those of any layer below it, never one above.  Each folder's
#    CMake target links exactly the layers it includes (engine/*/CMakeLists.txt).
#  - Above the engine, everything reaches it through "velkcore.h" only, and
#    names the folder of every header it includes ("app/runner/runner.h").
#  - The application core's folders are layers too, and it includes no host and
#    no Qt.
#   scripts/check_layers.sh [tree-root]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
engine=$root/engine

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

app_layers=(base settings scenario results runner graphs editor recorder shell)

# Quoted includes of the files under one ring, as "path:line:included".
includes_of() {
  [ -d "$root/$1" ] || return 0
  grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[^"]+"' "$root/$1" \
    --include='*.h' --include='*.cpp' --include='*.c' |
    sed -E 's/^([^:]+):([0-9]+):[[:space:]]*#[[:space:]]*include[[:space:]]+"([^"]+)".*/\1:\2:\3/' || true
}

# One pass over every include above the engine (and the engine's own includes
# of the rings above it).
ring_findings=$(
  for ring in engine app cli gui; do includes_of "$ring"; done |
  awk -F: -v root="$root/" -v engine="${layers[*]}" -v app="${app_layers[*]}" '
    BEGIN {
      n = split(engine, e, " "); for (i = 1; i <= n; i++) isEngine[e[i]] = 1
      n = split(app, a, " "); for (i = 1; i <= n; i++) appRank[a[i]] = i
    }
    {
      where = substr($1, length(root) + 1); line = $2; target = $3
      split(where, w, "/"); ring = w[1]
      slash = index(target, "/"); first = slash ? substr(target, 1, slash - 1) : ""
      if (ring == "engine") {
        if (first == "app" || first == "cli" || first == "gui")
          print where ":" line ": the engine includes \"" target "\", a ring above it"
        next
      }
      if (target == "velkcore.h" || target ~ /\.moc$/ || target ~ /^ui_.*\.h$/) next
      # The header-only lock primitives of engine/base carry the thread-safety
      # annotations; they link nothing and are shared, not reached into.
      if (target ~ /^engine\/base\/(mutex|cond_var|thread_annotations)\.h$/) next
      if (first == "engine")
        print where ":" line ": " ring "/ includes the engine\x27s \"" target "\"; only velkcore.h is public"
      else if (first == "") print where ":" line ": \"" target "\" does not name its folder"
      else if (first in isEngine)
        print where ":" line ": " ring "/ includes the engine\x27s \"" target "\"; only velkcore.h is public"
      else if (ring == "app" && (first == "cli" || first == "gui"))
        print where ":" line ": the application core includes \"" target "\" of a host"
      else if (ring == "cli" && first == "gui")
        print where ":" line ": velkrun includes \"" target "\" of the desktop program"
      else if (ring == "gui" && first == "cli")
        print where ":" line ": the desktop program includes \"" target "\" of velkrun"
      else if (ring == "app" && first == "app") {
        split(target, t, "/")
        if (!(w[2] in appRank)) print "app/" w[2] " is not in the layer list of scripts/check_layers.sh"
        else if (appRank[t[2]] > appRank[w[2]])
          print where ":" line ": app/" w[2] " includes \"" target "\", a layer above it"
      }
    }'
  # The application core links no Qt.
  if [ -d "$root/app" ]; then
    grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+<Q' "$root/app" --include='*.h' \
      --include='*.cpp' | sed -E "s|^$root/([^:]+):([0-9]+):.*|\1:\2: the application core includes Qt|" || true
  fi
)
if [ -n "$ring_findings" ]; then
  sed 's/^/check_layers: /' <<<"$ring_findings" | sort -u >&2
  status=1
fi

if [ "$status" -eq 0 ]; then
  echo "check_layers: engine includes follow the layers ${layers[*]}; app < cli, gui"
fi
exit "$status"
