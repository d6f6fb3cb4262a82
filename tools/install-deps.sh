#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the command line need,
# skipping the apt round trip when everything is already there.
set -euo pipefail

packages=(
  cmake make g++ g++-11 pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev
  clang libclang-rt-14-dev
  libhwy-dev
  python3 libpython3-dev pybind11-dev
  python3-numpy python3-pytest python3-opencv python3-openimageio python3-jsonschema
  libopenexr-dev libpng-dev
  libisal-dev libdeflate-dev
  libassimp-dev
  libcli11-dev nlohmann-json3-dev libxxhash-dev
  lintian
  slurm-wlm munge
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
