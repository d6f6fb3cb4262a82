#!/usr/bin/env bash
# Builds the plug-in the way a Nuke 15 build does (NUKE_ROOT, GCC 11, C++17,
# the new C++ ABI) against a folder laid out like a Nuke install that holds
# the stand-in's headers and library, then checks that this plug-in renders
# the same bits as the one of the regular build, carries no library search
# path of the build machine, and that its nuke component installs and
# uninstalls as the README says.
#
#   tools/check-ndk-build.sh [BUILD_DIR]   (a configured and built tree;
#                                           default: the source tree's build)
# A relative BUILD_DIR is taken from where the script is started.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build}"
# Absolute from here on: the script works from the source tree, and the
# staged folder goes to CMake as NUKE_ROOT.
case "$build" in
  /*) ;;
  *) build="$PWD/$build" ;;
esac
cd "$root"
if [[ ! -f "$build/lib/talvik/libDDImage.so" || ! -x "$build/cli/talvik-stmap" ]]; then
  echo "$build is not a built tree (no lib/talvik/libDDImage.so or cli/talvik-stmap)" >&2
  exit 1
fi
stage="$build/ndk-check/Nuke15.0"
rm -rf "$build/ndk-check"
mkdir -p "$stage"
cp -r host/include "$stage/include"
cp -L "$build/lib/talvik/libDDImage.so" "$stage/libDDImage.so"
# The real NDK's headers warn under -Wall -Wextra; so does this staged one,
# and the build must not show it: the NDK is a system include folder.
cat >>"$stage/include/DDImage/Row.h" <<'HEADER'
namespace DD { namespace Image { inline int ndk_header_warns(int unused) { int shadowed = 0; return shadowed; } } }
HEADER

cmake -S . -B "$build/ndk-check/build" -DNUKE_ROOT="$stage" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=gcc-11 -DCMAKE_CXX_COMPILER=g++-11 >/dev/null
log="$build/ndk-check/build.log"
cmake --build "$build/ndk-check/build" -j"$(nproc)" --target TalvikDistort 2>&1 | tee "$log"
if grep -q "ndk-check/Nuke15.0/include/.*warning:" "$log"; then
  echo "warnings from the NDK's headers show in the NUKE_ROOT build (see above)" >&2
  exit 1
fi
if grep -q "warning:" "$log"; then
  echo "the GCC 11 NUKE_ROOT build warns (see above)" >&2
  exit 1
fi

# Nuke provides libDDImage.so to the plug-ins it loads: the plug-in keeps no
# search path, least of all this machine's Nuke folder.
/usr/bin/python3 tools/check-search-paths.py --none "$build/ndk-check/build/plugins" ||
  { echo "the NUKE_ROOT build's plug-in carries a library search path" >&2; exit 1; }

render() {
  "$build/cli/talvik-stmap" render --plugin-path "$1" --size 320x180 --overscan 7x5 --mode undistort \
    --set k1=-0.08 --set k2=0.01 --set cx=6 --set fx=1450 -o "$2" --compression none --quiet
}
render "$build/ndk-check/build/plugins" "$build/ndk-check/ndk.exr"
render "$build/plugins" "$build/ndk-check/regular.exr"
cmp "$build/ndk-check/ndk.exr" "$build/ndk-check/regular.exr"
echo "the GCC 11 NDK-layout plug-in renders the same bits" >&2

# Installed for Nuke as the README says, into a folder whose menu.py holds
# the studio's own lines: the plug-in and one menu entry, however often it
# is installed; uninstalled, the studio's lines exactly as they were.
nuke_home="$build/ndk-check/nuke-home/15.0"
mkdir -p "$nuke_home"
studio_menu=$'import nuke\nnuke.pluginAddPath("./gizmos"); nuke.menu("Nodes").addMenu("Studio")\n'
printf '%s' "$studio_menu" >"$nuke_home/menu.py"
for run in 1 2; do
  cmake --install "$build/ndk-check/build" --component nuke --prefix "$nuke_home" >/dev/null
done
[[ -f "$nuke_home/TalvikDistort.so" ]] || { echo "the nuke component installed no TalvikDistort.so" >&2; exit 1; }
entries=$(grep -c "addCommand('Transform/TalvikDistort'" "$nuke_home/menu.py")
[[ "$entries" == 1 ]] || { echo "menu.py holds $entries entries for the node after two installs" >&2; exit 1; }
[[ "$(ls "$nuke_home")" == "$(printf 'TalvikDistort.so\nmenu.py')" ]] ||
  { echo "the nuke component installed more than the plug-in and menu.py: $(ls "$nuke_home")" >&2; exit 1; }
/usr/bin/python3 tools/check-search-paths.py --none "$nuke_home" ||
  { echo "the installed plug-in carries a library search path" >&2; exit 1; }
echo "the nuke component installs TalvikDistort.so and one menu entry" >&2

# A line the studio adds after ours stays too.
echo 'nuke.menu("Nodes").addCommand("Studio/Tool", "nuke.createNode(\"Blur\")")' >>"$nuke_home/menu.py"
studio_menu+='nuke.menu("Nodes").addCommand("Studio/Tool", "nuke.createNode(\"Blur\")")'$'\n'
for run in 1 2; do
  cmake -DCMAKE_INSTALL_PREFIX="$nuke_home" -P cmake/uninstall_nuke.cmake >/dev/null
done
[[ "$(cat "$nuke_home/menu.py"; echo .)" == "$studio_menu." ]] ||
  { echo "uninstalled, menu.py is not the studio's own:" >&2; cat "$nuke_home/menu.py" >&2; exit 1; }
[[ "$(ls "$nuke_home")" == menu.py ]] || { echo "uninstalled, the folder still holds: $(ls "$nuke_home")" >&2; exit 1; }
echo "uninstalled, the plug-in is gone and menu.py holds the studio's lines alone" >&2

# The regular build's plug-in is not for Nuke: its nuke component refuses.
wrong="$build/ndk-check/not-for-nuke"
if cmake --install "$build" --component nuke --prefix "$wrong" >/dev/null 2>"$build/ndk-check/refusal.log"; then
  echo "the nuke component of a build without NUKE_ROOT installed without a word" >&2
  exit 1
fi
grep -q -- "-DNUKE_ROOT" "$build/ndk-check/refusal.log" ||
  { echo "the refusal does not say to configure with NUKE_ROOT:" >&2; cat "$build/ndk-check/refusal.log" >&2; exit 1; }
[[ ! -e "$wrong" ]] || { echo "the refused install left $wrong behind" >&2; exit 1; }
echo "a build without NUKE_ROOT refuses to install the nuke component" >&2
