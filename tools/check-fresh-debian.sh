#!/usr/bin/env bash
# Installs the Debian package on a fresh Debian 12 (a minimal debootstrap
# root, nothing of this project's build in it) with apt, renders the
# bundled sample from a scratch folder, reloads it from Debian's python3
# through the module (`import talvik`), and removes the package again.
# Needs root and a Debian mirror; takes a few minutes, so CI leaves it out.
#
#   tools/check-fresh-debian.sh PACKAGE.deb [ROOT_DIR]
#       (default ROOT_DIR: a new folder under $TMPDIR, removed afterwards)
set -euo pipefail
deb="$(realpath "${1:?usage: $0 PACKAGE.deb [ROOT_DIR]}")"
[[ -f "$deb" ]] || { echo "$deb is not a file" >&2; exit 1; }
[[ $EUID -eq 0 ]] || { echo "debootstrap and chroot need root" >&2; exit 1; }
command -v debootstrap >/dev/null || apt-get install -y debootstrap >/dev/null

root="${2:-}"
if [[ -z "$root" ]]; then
  root="$(mktemp -d "${TMPDIR:-/tmp}/fresh-debian.XXXXXX")"
  trap 'umount "$root/proc" 2>/dev/null || true; rm -rf "$root"' EXIT
else
  trap 'umount "$root/proc" 2>/dev/null || true' EXIT
fi
if [[ ! -x "$root/usr/bin/apt-get" ]]; then
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >/dev/null
fi
cp "$deb" "$root/root/"
mount -t proc proc "$root/proc"
chroot "$root" /bin/bash -euo pipefail -c "
  apt-get update -qq
  apt-get install -y -qq /root/$(basename "$deb") >/dev/null
  mkdir -p /tmp/anywhere && cd /tmp/anywhere
  talvik-stmap --version | head -1
  talvik-stmap render --quiet --plate /usr/share/talvik/sample/plate.exr \
    --fbx /usr/share/talvik/sample/sample_take.fbx --mode undistort --frames 1001-1003 \
    -o maps/undist.####.exr
  [[ \$(ls maps | wc -l) -eq 3 ]] || { echo 'not three maps:' maps/*; exit 1; }
  python3 -c 'import talvik; print(talvik.Take(\"/usr/share/talvik/sample/sample_take.fbx\").lens(2, 1001))'
  apt-get remove -y -qq talvik-stmap >/dev/null
  [[ ! -e /usr/lib/talvik && ! -e /usr/share/talvik && ! -e /usr/lib/python3/dist-packages/talvik ]] ||
    { echo 'removal left files'; exit 1; }
"
echo "$(basename "$deb"): installs with apt on a fresh Debian 12, renders the sample from any folder, imports in python3, removes cleanly"
