#!/usr/bin/env bash
# Deploys talvik-stmap as a studio would and renders from the deployed copy:
#  1. `cmake --install --prefix` into a scratch folder, then
#  2. the Debian packages (`cpack -G DEB`: talvik-stmap, python3-talvik) unpacked with `dpkg -x`;
# each tree is moved to another path before it runs, with a decoy
# libDDImage.so (exporting nothing) first on LD_LIBRARY_PATH, as on a render
# node with Nuke's folder there. Each must render a frame of the bundled
# sample, name the commit in `--version`, and search for libraries only
# inside itself; Debian's python3 must import its Python module and reload
# the sample through the tree's own plug-in. The package must also carry its
# copyright file, ship stripped binaries and leave their debug information
# to the -dbgsym package.
#
#   tools/check-package.sh [BUILD_DIR]   (a built tree; default: build)
#   tools/check-package.sh --tree-only [BUILD_DIR]   (step 1 alone, as the
#       build left it: the installed command must say what the build's says)
set -euo pipefail
tree_only=0
if [[ "${1:-}" == --tree-only ]]; then tree_only=1; shift; fi
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
case "$build" in
  /*) ;;
  *) build="$PWD/$build" ;;
esac
if [[ ! -x "$build/cli/talvik-stmap" ]]; then
  echo "$build is not a built tree (no cli/talvik-stmap)" >&2
  exit 1
fi
scratch="$(mktemp -d "${TMPDIR:-/tmp}/talvik-package.XXXXXX")"
trap 'rm -rf "$scratch"' EXIT

# A library named like the host's, exporting nothing the plug-in needs.
mkdir -p "$scratch/decoy"
echo 'int talvik_decoy_only;' >"$scratch/decoy/decoy.c"
cc -shared -fPIC -o "$scratch/decoy/libDDImage.so" "$scratch/decoy/decoy.c"

commit=""
count=""
if [[ $tree_only -eq 0 ]]; then
  # The build's version header is brought up to date (a commit since the
  # last build) before anything is installed.
  cmake --build "$build" --target talvik-stmap TalvikDistort talvik_python -j"$(nproc)" >/dev/null
  if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    commit="$(git -C "$root" rev-parse --short HEAD)"
    count="$(git -C "$root" rev-list --count HEAD)"
  fi
fi
built_version="$("$build/cli/talvik-stmap" --version | head -1)"

# check_tree NAME PREFIX: renders one frame from the moved tree's bin/.
check_tree() {
  local name=$1 prefix=$2
  prefix="$(realpath "$prefix")"
  local stmap="$prefix/bin/talvik-stmap" sample="$prefix/share/talvik/sample"
  # Nothing in the tree may point into the build folder.
  if readelf -d "$stmap" "$prefix/lib/talvik/libDDImage.so" "$prefix/lib/talvik/plugins/TalvikDistort.so" |
    grep -F "$build" >&2; then
    echo "$name: the installed tree refers to the build folder" >&2
    exit 1
  fi
  # grep -q reads from a captured string: fed by a pipe, it could stop
  # reading early and fail the writer with SIGPIPE under pipefail.
  grep -q '(RPATH).*\$ORIGIN/../lib/talvik' <<<"$(readelf -d "$stmap")" ||
    { echo "$name: talvik-stmap has no \$ORIGIN-relative DT_RPATH" >&2; exit 1; }
  /usr/bin/python3 "$root/tools/check-search-paths.py" "$prefix" ||
    { echo "$name: a library search path leads out of the tree" >&2; exit 1; }
  local out="$scratch/out-$name"
  (cd "$scratch" && LD_LIBRARY_PATH="$scratch/decoy" TALVIK_PLUGIN_PATH= "$stmap" render \
    --plate "$sample/plate.exr" --fbx "$sample/sample_take.fbx" --mode undistort --frames 1001 \
    -o "$out/map.####.exr" --quiet)
  [[ -s "$out/map.1001.exr" ]] || { echo "$name: no map rendered" >&2; exit 1; }
  local version
  version="$(cd "$scratch" && LD_LIBRARY_PATH="$scratch/decoy" "$stmap" --version)"
  grep -q "plug-in built .*, $prefix/lib/talvik/plugins/TalvikDistort.so$" <<<"$version" ||
    { echo "$name: --version does not name the tree's own plug-in:" >&2; echo "$version" >&2; exit 1; }
  if [[ -n "$commit" ]] && ! grep -q -- "-$count-g$commit" <<<"${version%%$'\n'*}"; then
    echo "$name: --version does not name commit $count, $commit: $version" >&2
    exit 1
  fi
  [[ "$(echo "$version" | head -1)" == "$built_version" ]] ||
    { echo "$name: says $(echo "$version" | head -1), the build $built_version" >&2; exit 1; }
  # The decoy is a real threat: without the tree's own library the command
  # would take it and fail.
  mv "$prefix/lib/talvik/libDDImage.so" "$scratch/aside.so"
  if (cd "$scratch" && LD_LIBRARY_PATH="$scratch/decoy" "$stmap" --version >/dev/null 2>&1); then
    echo "$name: the decoy libDDImage.so is not found on LD_LIBRARY_PATH: the check proves nothing" >&2
    exit 1
  fi
  mv "$scratch/aside.so" "$prefix/lib/talvik/libDDImage.so"
  check_python_module "$name" "$prefix" "$(echo "$version" | head -1)"
  echo "$name: moved tree renders with a decoy libDDImage.so first; $(echo "$version" | head -1)" >&2
}

# check_python_module NAME PREFIX VERSION_LINE: Debian's python3 imports the
# tree's module, which reloads the sample take through the tree's own
# plug-in and host library (the decoy first on LD_LIBRARY_PATH) and says
# the command's version.
check_python_module() {
  local name=$1 prefix=$2 version_line=$3
  local packages="$prefix/lib/python3/dist-packages"
  [[ -f "$packages/talvik/__init__.py" ]] || { echo "$name: no Python module in $packages/talvik" >&2; exit 1; }
  (cd "$scratch" && LD_LIBRARY_PATH="$scratch/decoy" TALVIK_PLUGIN_PATH= PYTHONPATH="$packages" \
    /usr/bin/python3 - "$prefix" "$prefix/share/talvik/sample/sample_take.fbx" "${version_line##* }" <<'PY'
import sys
import talvik
prefix, take, version = sys.argv[1:]
assert talvik.__file__.startswith(prefix + "/"), talvik.__file__
assert talvik.__version__ == version, (talvik.__version__, version)
lens = talvik.Take(take).lens(2, 1001)
assert lens.st_map(64, 36, "undistort").shape == (36, 64, 2)
mapped = [line.split()[-1] for line in open("/proc/self/maps") if line.rstrip().endswith(".so")]
for library in ("libDDImage.so", "TalvikDistort.so"):
    found = {m for m in mapped if m.endswith("/" + library)}
    assert found and all(m.startswith(prefix + "/lib/talvik/") for m in found), (library, found)
PY
  ) || { echo "$name: the Python module does not work from the tree" >&2; exit 1; }
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
mv "$scratch/prefix" "$scratch/moved-prefix"
check_tree "cmake --install" "$scratch/moved-prefix"
[[ $tree_only -eq 1 ]] && exit 0

(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null)
deb=("$scratch"/deb/talvik-stmap_*.deb)
[[ -f "${deb[0]}" ]] || { echo "cpack made no talvik-stmap_*.deb" >&2; exit 1; }
pydeb=("$scratch"/deb/python3-talvik_*.deb)
[[ -f "${pydeb[0]}" ]] || { echo "cpack made no python3-talvik_*.deb" >&2; exit 1; }
# Debian's form names the commit as "+<commits in history>.g<commit>", with
# or without release tags in the clone; a clean build of the tagged commit
# itself is the bare release number; either with its Debian revision ("-1").
if [[ -n "$commit" ]]; then
  release="$(git -C "$root" describe --tags --exact-match --match 'v[0-9]*' 2>/dev/null || true)"
  case "${deb[0]##*/}" in
    talvik-stmap_[0-9]*+"$count".g"$commit"[.-]*) ;;
    "talvik-stmap_${release#v}-"*) [[ -n "$release" ]] ||
      { echo "the package's version does not name commit $count, $commit: ${deb[0]}" >&2; exit 1; } ;;
    *) echo "the package's version does not name commit $count, $commit: ${deb[0]}" >&2; exit 1 ;;
  esac
fi
depends="$(dpkg-deb -f "${deb[0]}" Depends)"
for lib in libpython3.11 libopenexr-3-1-30 libisal2 libpng16-16 libxxhash0; do
  [[ "$depends" == *"$lib"* ]] || { echo "the package does not depend on $lib: $depends" >&2; exit 1; }
done
[[ "$depends" != *-dev* ]] || { echo "the package depends on a -dev package: $depends" >&2; exit 1; }
[[ "$(dpkg-deb -f "${pydeb[0]}" Depends)" == "talvik-stmap (= $(dpkg-deb -f "${deb[0]}" Version)), "*python3-numpy* ]] ||
  { echo "python3-talvik does not depend on this very talvik-stmap and python3-numpy" >&2; exit 1; }
dpkg -x "${deb[0]}" "$scratch/root"
dpkg -x "${pydeb[0]}" "$scratch/root"
copyright="$scratch/root/usr/share/doc/talvik-stmap/copyright"
[[ -f "$copyright" ]] || { echo "the package has no usr/share/doc/talvik-stmap/copyright" >&2; exit 1; }
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
  grep -qx 'Files: \*' "$copyright" && grep -q '^Copyright: .*TalvikDistort maintainers' "$copyright" ||
  { echo "the package's copyright file is not machine-readable with a paragraph for its own files" >&2; exit 1; }

# Stripped binaries; the debug information of each, found by its build ID,
# in the -dbgsym package beside it.
ddeb=("$scratch"/deb/talvik-stmap-dbgsym_*.ddeb)
[[ -f "${ddeb[0]}" ]] || { echo "cpack made no talvik-stmap-dbgsym_*.ddeb" >&2; exit 1; }
[[ "$(dpkg-deb -f "${ddeb[0]}" Depends)" == "talvik-stmap (= $(dpkg-deb -f "${deb[0]}" Version))" ]] ||
  { echo "the -dbgsym package does not depend on this very package" >&2; exit 1; }
dpkg -x "${ddeb[0]}" "$scratch/dbgsym"
dpkg -x "$scratch"/deb/python3-talvik-dbgsym_*.ddeb "$scratch/dbgsym"
module="$(cd "$scratch/root/usr" && echo lib/python3/dist-packages/talvik/_talvik.*.so)"
for elf in bin/talvik-stmap lib/talvik/libDDImage.so lib/talvik/plugins/TalvikDistort.so "$module"; do
  sections="$(readelf -S -W "$scratch/root/usr/$elf")"
  if grep -qE '\.(debug_[a-z]+|symtab) ' <<<"$sections"; then
    echo "the package's $elf is not stripped" >&2
    exit 1
  fi
  id="$(readelf -n "$scratch/root/usr/$elf" | sed -n 's/.*Build ID: *//p')"
  debug="$scratch/dbgsym/usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug"
  [[ -n "$id" && -f "$debug" ]] || { echo "the -dbgsym package has no debug file for $elf (build ID '$id')" >&2; exit 1; }
  grep -q '\.debug_info ' <<<"$(readelf -S -W "$debug" 2>/dev/null)" ||
    { echo "the -dbgsym package's file for $elf holds no debug information" >&2; exit 1; }
done
echo "$(basename "${deb[0]}"): copyright file, stripped binaries, debug information in $(basename "${ddeb[0]}")" >&2

mv "$scratch/root" "$scratch/moved-root"
check_tree "$(basename "${deb[0]}")" "$scratch/moved-root/usr"
