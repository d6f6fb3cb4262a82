#!/usr/bin/env bash
# Installs the Debian packages on a fresh Debian 12 (a minimal debootstrap
# root, nothing of this project's build in it) with apt: talvik-stmap and
# the python3-talvik of the same version beside it. Renders the bundled
# sample from a scratch folder, reloads it from Debian's python3 through the
# module (`import talvik`), finds the bash completion and, where the package
# has one, the manual page (`man -w`), and removes the packages again.
# Needs root and a Debian mirror; takes a few minutes, so CI leaves it out.
#
#   tools/check-fresh-debian.sh PACKAGE.deb [ROOT_DIR]
#       (default ROOT_DIR: a new folder under $TMPDIR, removed afterwards)
set -euo pipefail
deb="$(realpath "${1:?usage: $0 PACKAGE.deb [ROOT_DIR]}")"
[[ -f "$deb" ]] || { echo "$deb is not a file" >&2; exit 1; }
pydeb="$(dirname "$deb")/$(basename "$deb" | sed 's/^talvik-stmap_/python3-talvik_/')"
[[ -f "$pydeb" && "$pydeb" != "$deb" ]] || { echo "no $pydeb beside $deb" >&2; exit 1; }
# The manual page and the completion come with the command's generator:
# each is checked once the package has it.
contents="$(dpkg-deb -c "$deb")"
has_man=0 has_completion=0
grep -q ' \./usr/share/man/man1/talvik-stmap\.1' <<<"$contents" && has_man=1
grep -q ' \./usr/share/bash-completion/completions/talvik-stmap$' <<<"$contents" && has_completion=1
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
cp "$deb" "$pydeb" "$root/root/"
mount -t proc proc "$root/proc"
chroot "$root" /bin/bash -euo pipefail -c "
  apt-get update -qq
  apt-get install -y -qq /root/$(basename "$deb") /root/$(basename "$pydeb") man-db >/dev/null
  [[ $has_completion -eq 0 || -f /usr/share/bash-completion/completions/talvik-stmap ]] || { echo 'no bash completion'; exit 1; }
  [[ $has_man -eq 0 ]] || man -w talvik-stmap
  mkdir -p /tmp/anywhere && cd /tmp/anywhere
  talvik-stmap --version | head -1
  talvik-stmap render --quiet --plate /usr/share/talvik/sample/plate.exr \
    --fbx /usr/share/talvik/sample/sample_take.fbx --mode undistort --frames 1001-1003 \
    -o maps/undist.####.exr
  [[ \$(ls maps | wc -l) -eq 3 ]] || { echo 'not three maps:' maps/*; exit 1; }
  /usr/bin/python3 -c 'import talvik; print(talvik.Take(\"/usr/share/talvik/sample/sample_take.fbx\").lens(2, 1001))'
  apt-get remove -y -qq talvik-stmap python3-talvik >/dev/null
  [[ ! -e /usr/lib/talvik && ! -e /usr/share/talvik && ! -e /usr/lib/python3/dist-packages/talvik ]] ||
    { echo 'removal left files'; exit 1; }
"
echo "$(basename "$deb") and $(basename "$pydeb"): install with apt on a fresh Debian 12, render the sample from any folder, import in python3, remove cleanly"
