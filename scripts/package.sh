#!/usr/bin/env bash
# Makes the Debian packages tarrow (the programs without a window, the directory libraries,
# the client's service unit) and tarrow-gui (Tarrow and TarrowMgr) from a built tree, with
# debhelper over `cmake --install`: no second build.
#
#   package.sh [--build DIR] [--out DIR]
#
# Without --build it installs what is missing and builds the release preset first, as the
# demo does. The packages land in build/package/ (or --out DIR) as
# tarrow_VERSION_amd64.deb and tarrow-gui_VERSION_amd64.deb, VERSION being the project's
# version in the top-level CMakeLists.txt. The packaging itself is debian/ (see its rules).
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
die() { echo "package: $*" >&2; exit 2; }

build=""
out=$source_dir/build/package
while [ $# -gt 0 ]; do
  case "$1" in
    --build) [ $# -ge 2 ] || die "--build needs a folder"; build=$2; shift 2 ;;
    --out) [ $# -ge 2 ] || die "--out needs a folder"; out=$2; shift 2 ;;
    -h|--help) sed -n '2,11s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
  esac
done

if [ -z "$build" ]; then
  echo "== Installing what is missing and building the release preset"
  bash scripts/install-deps.sh
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" >/dev/null
  build=$source_dir/build/release
fi
build=$(cd "$build" 2>/dev/null && pwd) || die "no build folder $build"
for tool in dh dpkg-shlibdeps help2man; do
  command -v "$tool" >/dev/null || die "$tool is missing: bash scripts/install-deps.sh installs it"
done
[ -f "$build/man/TarrowCli.1" ] || die "$build has no man pages: build it with help2man installed"

version=$(sed -n 's/^project(Tarrow VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || die "no version in CMakeLists.txt's project()"

# debhelper works in a copy of debian/, so that the tree stays clean; the changelog carries
# the one version number, dated by the last commit so that the same tree packs the same.
mkdir -p "$out"
out=$(cd "$out" && pwd)
stage=$out/stage
rm -rf "$stage"
mkdir -p "$stage"
cp -r debian "$stage/debian"
stamp=$(git log -1 --format=%cD 2>/dev/null || date -R)
cat >"$stage/debian/changelog" <<EOF
tarrow ($version) unstable; urgency=medium

  * Version $version, packed from the tree by scripts/package.sh.

 -- Tarrow developers <tarrow-developers@example.org>  $stamp
EOF
rm -f "$out"/tarrow_*.deb "$out"/tarrow-gui_*.deb
echo "== Packing version $version from $build"
(cd "$stage" && TARROW_BUILD=$build TARROW_PACKAGE_DIR=$out debian/rules binary) >"$out/debhelper.log" 2>&1 ||
  { cat "$out/debhelper.log" >&2; die "debhelper failed (log above, also in $out/debhelper.log)"; }
rm -rf "$stage"
for deb in "$out"/tarrow_"$version"_*.deb "$out"/tarrow-gui_"$version"_*.deb; do
  [ -f "$deb" ] || die "debhelper made no $(basename "$deb")"
  echo "$deb"
done
