#!/usr/bin/env bash
# Makes the container image velkrun:<version> from the command-line packages,
# without a base image from any registry: mmdebstrap makes a minimal Debian 12
# root from the package mirror this machine uses (/etc/apt/sources.list*) with
# the packages velkrun and libvelkcore2 installed, and podman imports it.
#
#   scripts/container.sh [DEB-DIR]
#
# DEB-DIR holds velkrun_*.deb and libvelkcore2_*.deb (default: build-cli/, made
# by scripts/package.sh --cli when they are not there).  Run as root (mmdebstrap
# and podman as root; see docs/distributed.md for pushing the image elsewhere).
#
# In the image: entry point velkrun, user velk (uid 10001, not root), working
# directory /results, where a run's report, summary and results go: mount a
# folder there that uid 10001 may write.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# Debian's own programs first: mmdebstrap runs a python3 helper per package.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
debs=${1:-$root/build-cli}
for tool in mmdebstrap podman python3; do
  command -v "$tool" >/dev/null || { echo "$0: needs $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
find_deb() { find "$debs" -maxdepth 1 -name "$1_*_amd64.deb" | sort | tail -n 1; }
if [ -z "${1:-}" ] && [ -z "$(find_deb velkrun 2>/dev/null)" ]; then
  "$root/scripts/package.sh" --cli >/dev/null
fi
debs=$(cd "$debs" && pwd)   # mmdebstrap takes a path for a .deb only when it is absolute
velkrun_deb=$(find_deb velkrun)
lib_deb=$(find_deb 'libvelkcore[0-9]*')
[ -n "$velkrun_deb" ] && [ -n "$lib_deb" ] || { echo "$0: no velkrun and libvelkcore packages in $debs" >&2; exit 1; }
# The upstream version, without the Debian revision.
version=$(dpkg-deb -f "$velkrun_deb" Version)
version=${version%-*}
image=velkrun:$version

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The Debian 12 entries of this machine's apt sources (one-line or deb822),
# written as deb822 for the new root; other suites and vendors are left out.
python3 - "$work/sources" /etc/apt/sources.list /etc/apt/sources.list.d/* <<'PY'
import sys, os
out, stanzas = sys.argv[1], []
for path in sys.argv[2:]:
    if not os.path.isfile(path) or not path.endswith((".list", ".sources")):
        continue
    text = open(path, encoding="utf-8", errors="replace").read()
    if path.endswith(".list"):
        for line in text.splitlines():
            words = line.split("#", 1)[0].split()
            if len(words) < 4 or words[0] != "deb":
                continue
            opts = []
            while words[1].startswith("["):
                opts.append(words.pop(1).strip("[]"))
            signed = [o.split("=", 1)[1] for o in opts if o.startswith("signed-by=")]
            stanza = {"Types": "deb", "URIs": words[1], "Suites": words[2], "Components": " ".join(words[3:])}
            if signed:
                stanza["Signed-By"] = signed[0]
            stanzas.append(stanza)
    else:
        for block in text.split("\n\n"):
            stanza = {}
            for line in block.splitlines():
                if line.startswith("#") or ":" not in line or line[0].isspace():
                    continue
                key, value = line.split(":", 1)
                stanza[key.strip()] = value.strip()
            if stanza.get("Enabled", "yes") != "no" and "deb" in stanza.get("Types", "").split():
                stanza["Types"] = "deb"
                stanzas.append(stanza)
keep = []
for s in stanzas:
    suites = [x for x in s.get("Suites", "").split() if x.startswith("bookworm")]
    if suites and "/debian" in s.get("URIs", ""):
        s["Suites"], s["Components"] = " ".join(suites), "main"
        keep.append(s)
if not keep:
    sys.exit("no Debian 12 (bookworm) entry in this machine's apt sources")
with open(out, "w") as f:
    for s in keep:
        f.write("".join(f"{k}: {v}\n" for k, v in s.items() if k in
                        ("Types", "URIs", "Suites", "Components", "Signed-By")) + "\n")
PY

# What the two packages need from the archive, by name: apt in mmdebstrap
# installs only packages from the mirror, the two themselves are installed with
# dpkg in the new root.
deps=$( { dpkg-deb -f "$lib_deb" Depends; echo ,; dpkg-deb -f "$velkrun_deb" Depends; } |
  tr ',' '\n' | sed 's/|.*//; s/(.*//; s/ //g' | grep -v -e '^$' -e '^libvelkcore' | sort -u | paste -sd, -)

# The essential set (no apt: the image is not updated in place but made anew),
# the packages and what they depend on; no manual pages, documentation or
# translations.  The user velk owns its home and /results.
t0=$SECONDS
# mmdebstrap's merged-usr hook makes /usr merged and installs usr-is-merged;
# otherwise apt meets init-system-helpers' "usrmerge | usr-is-merged" with
# usrmerge, which brings perl (50 MB) into the image.
if ! mmdebstrap --variant=essential --mode=root --architectures=amd64 --include="$deps" \
  --hook-dir=/usr/share/mmdebstrap/hooks/merged-usr \
  --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/doc/*' \
  --dpkgopt='path-include=/usr/share/doc/*/copyright' \
  --dpkgopt='path-exclude=/usr/share/locale/*' --dpkgopt='path-exclude=/usr/share/info/*' \
  --customize-hook="cp '$lib_deb' '$velkrun_deb' \"\$1/tmp/\"" \
  --customize-hook='chroot "$1" sh -c "dpkg -i /tmp/*.deb && rm /tmp/*.deb"' \
  --customize-hook='echo "velk:x:10001:10001:VELK load tests:/home/velk:/usr/sbin/nologin" >>"$1/etc/passwd"' \
  --customize-hook='echo "velk:x:10001:" >>"$1/etc/group"' \
  --customize-hook='install -d -o 10001 -g 10001 -m 0755 "$1/home/velk" "$1/results"' \
  --customize-hook='rm -rf "$1"/var/cache/* "$1"/var/log/*.log "$1"/var/lib/apt/lists/*' \
  bookworm "$work/root.tar" "$work/sources" >"$work/mmdebstrap.log" 2>&1; then
  cat "$work/mmdebstrap.log" >&2
  exit 1
fi

old=$(podman image inspect --format '{{.Id}}' "$image" 2>/dev/null || true)
podman import --quiet \
  --change 'ENTRYPOINT ["/usr/bin/velkrun"]' --change 'CMD ["--help"]' \
  --change 'USER 10001:10001' --change 'WORKDIR /results' --change 'ENV HOME=/home/velk' \
  --change "LABEL org.opencontainers.image.title=velkrun org.opencontainers.image.version=$version" \
  "$work/root.tar" "$image" >/dev/null
new=$(podman image inspect --format '{{.Id}}' "$image")
# The image this one replaces would stay behind without a name.
if [ -n "$old" ] && [ "$old" != "$new" ]; then podman rmi "$old" >/dev/null 2>&1 || true; fi
size=$(podman image inspect --format '{{.Size}}' "$image")
echo "$image: $((size / 1000000)) MB, made in $((SECONDS - t0)) s"
