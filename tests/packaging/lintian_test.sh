#!/usr/bin/env bash
# The packages cpack makes pass `lintian --pedantic` with no error and no
# warning, and the Debian changelog refuses a top entry that is not the
# VERSION file's release.
#
#   tests/packaging/lintian_test.sh BUILD_DIR SOURCE_DIR
# Exits 77 (skipped) where lintian is not installed.
set -euo pipefail
build=$1 source=$2
scratch="$(mktemp -d "${TMPDIR:-/tmp}/talvik-lintian.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# The changelog's top entry against VERSION, in a tree without git (so no
# entry for a later commit is added): the release itself passes, another
# release fails and says which.
mkdir -p "$scratch/tree/cmake"
cp "$source/cmake/debian_changelog" "$scratch/tree/cmake/"
release="$(cat "$source/VERSION")"
changelog() {
  cmake -DTALVIK_SOURCE_DIR="$scratch/tree" -DTALVIK_CHANGELOG_DIR="$scratch/out" \
    -P "$source/cmake/talvik_debian_changelog.cmake" 2>&1
}
echo "$release" >"$scratch/tree/VERSION"
changelog >/dev/null || { echo "the changelog is refused with VERSION $release"; exit 1; }
zcat "$scratch/out/changelog.Debian.gz" | cmp - "$source/cmake/debian_changelog" ||
  { echo "changelog.Debian.gz of the release is not cmake/debian_changelog"; exit 1; }
echo "$release.1" >"$scratch/tree/VERSION"
if out="$(changelog)" || [[ "$out" != *"VERSION says $release.1"* ]]; then
  echo "a changelog whose top entry is not VERSION $release.1 passes: $out"
  exit 1
fi

command -v lintian >/dev/null || { echo "lintian is not installed (apt-get install lintian): skipped"; exit 77; }
(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null)
packages=("$scratch"/deb/*.deb "$scratch"/deb/*.ddeb)
[[ ${#packages[@]} -ge 4 ]] || { echo "cpack made fewer than four packages: ${packages[*]}"; exit 1; }
# Root is told it should not run lintian; that note is not about us.
report="$(lintian --pedantic -I --tag-display-limit 0 "${packages[@]}" 2>&1 |
  grep -v '^running with root privileges is not recommended!$' || true)"
echo "$report"
! grep -q '^[EW]: ' <<<"$report"
