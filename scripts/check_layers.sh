#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own.  The tree is
# three rings: the engine (engine/), the application core (app/) and the two
# hosts (cli/ for velkrun, gui/ for velk), neither of which includes the other.
#  - The engine's folders are layers, lowest first; a folder may include its own
#    headers and those of any layer below it, never one above.  Each folder's
#    CMake target links exactly the layers it includes (engine/*/CMakeLists.txt).
#  - Above the engine, everything reaches it through "velkcore.h" and the
#    header-only base ("engine/base/status.h", status_or.h, mutex.h, cond_var.h,
#    thread_annotations.h, result_codes.h, byte_codec.h) only, and names the
#    folder of every header it includes ("app/runner/runner.h").
#  - The application core's folders are layers too, and it includes no host and
#    no Qt.
#   scripts/check_layers.sh [tree-root]
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
engine=$root/engine

layers=(base platform loop regex script net http results scripting run api)

status=0

# Every process costs here (a fork is slow on some machines, and the suites run
# this script too), so the engine's includes and links are checked in one awk
# pass instead of a few commands per include.
declare -A is_layer
for layer in "${layers[@]}"; do is_layer[$layer]=1; done
folders=()
for dir in "$engine"/*/; do
  dir=${dir%/}
  folder=${dir##*/}
  if [ -z "${is_layer[$folder]:-}" ]; then
    echo "check_layers: engine/$folder is not in the layer list of scripts/check_layers.sh" >&2
    status=1
    continue
  fi
  folders+=("$folder")
done

# A folder may include its own layer and those below it, and its library links
# the layers it includes, no more and no fewer.
engine_findings=$(
  grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' "$engine" \
    --include='*.h' --include='*.cpp' --include='*.c' |
  awk -v engine="$engine/" -v root="$root/" -v layers="${layers[*]}" -v folders="${folders[*]}" '
    BEGIN {
      n = split(layers, l, " "); for (i = 1; i <= n; i++) rank[l[i]] = i
      nf = split(folders, f, " "); for (i = 1; i <= nf; i++) known[f[i]] = 1
    }
    {
      # path:line:text (the paths have no colon)
      file = $0; sub(/:.*/, "", file)
      rest = substr($0, length(file) + 2); line = rest; sub(/:.*/, "", line)
      text = substr(rest, length(line) + 2)
      folder = substr(file, length(engine) + 1); sub(/\/.*/, "", folder)
      if (!(folder in known)) next
      target = text; sub(/^[ \t]*#[ \t]*include[ \t]+"/, "", target); sub(/\/.*/, "", target)
      if (target != folder) used[folder, target] = 1
      # not an engine folder (velkcore.h, duktape.h) when it has no rank
      if ((target in rank) && rank[target] > rank[folder])
        print substr(file, length(root) + 1) ":" line ": engine/" folder " includes \"" target "/...\", a layer above it"
    }
    END {
      for (i = 1; i <= nf; i++) {
        folder = f[i]; cmake_file = engine folder "/CMakeLists.txt"; all = ""
        while ((got = (getline text < cmake_file)) > 0) all = all text " "
        if (got < 0) continue
        close(cmake_file)
        pattern = "target_link_libraries\\(velk_" folder " [^)]*\\)"
        while (match(all, pattern)) {
          call = substr(all, RSTART, RLENGTH); all = substr(all, RSTART + RLENGTH)
          while (match(call, /velk_[a-z]+/)) {
            name = substr(call, RSTART + 5, RLENGTH - 5); call = substr(call, RSTART + RLENGTH)
            if (name != folder) linked[folder, name] = 1
          }
        }
        for (j = 1; j <= n; j++) {
          layer = l[j]
          if (layer == folder) continue
          if (((folder, layer) in used) && !((folder, layer) in linked))
            print "engine/" folder " includes \"" layer "/...\" but velk_" folder " does not link velk_" layer
          else if (!((folder, layer) in used) && ((folder, layer) in linked))
            print "velk_" folder " links velk_" layer " but engine/" folder " includes nothing of it"
        }
      }
    }'
)
if [ -n "$engine_findings" ]; then
  sed 's/^/check_layers: /' <<<"$engine_findings" >&2
  status=1
fi

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
      # The header-only base every ring shares (velk_base_headers): Status,
      # the result codes, the annotated locks, the byte codec.  They link
      # nothing and include only each other; the rest of engine/base is the
      # engine\x27s own.
      if (target ~ /^engine\/base\/(status|status_or|result_codes|mutex|cond_var|thread_annotations|byte_codec)\.h$/) next
      if (first == "engine")
        print where ":" line ": " ring "/ includes the engine\x27s \"" target "\"; only velkcore.h and the header-only base are public"
      else if (first == "") print where ":" line ": \"" target "\" does not name its folder"
      else if (first in isEngine)
        print where ":" line ": " ring "/ includes the engine\x27s \"" target "\"; only velkcore.h and the header-only base are public"
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
