#!/usr/bin/env bash
# The Debian packages from end to end. scripts/package.sh packs the built tree; lintian
# reports no error; every man page renders with man -l. Then, in a root of its own (an overlay
# of this machine's root in a private mount namespace, installed_root.sh), the README's
# install commands install the package, systemd-analyze verifies the installed unit, a fleet
# of 3 workstations (network namespaces, as scripts/fleet.sh makes them) runs 30 logins with
# the installed TarrowCtrl and clients started by the unit's ExecStart line, and remove and
# purge leave nothing but configuration. The machine itself is left as it was.
#   package_test.sh BUILD_DIR
set -uo pipefail
build=$(cd "${1:?usage: package_test.sh BUILD_DIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
source "$source_dir/tests/fleet/fleet_test_lib.sh"  # check, finish, skip_unless_fleet_possible

if [ "$(id -u)" -ne 0 ]; then
  echo "SKIP: the package test needs root (a private mount namespace for the installed root, network namespaces)"
  exit 77
fi
skip_unless_fleet_possible
if ! unshare -m true 2>/dev/null; then
  echo "SKIP: no private mount namespace can be made here (unshare -m failed)"
  exit 77
fi
started=$EPOCHREALTIME
run=$(mktemp -d "${TMPDIR:-/tmp}/tarrow-package-test.XXXXXX")
ns_prefix=tarrowfleet$$  # the fleet's prefix: a killed run's namespaces are swept by the next fleet
source "$source_dir/scripts/fleet-subnet.sh"
cleanup() {
  local removed
  [ -n "${lintian_pid:-}" ] && kill "$lintian_pid" 2>/dev/null
  removed=$(remove_namespaces)
  echo "== Removed $removed network namespaces"
}
trap cleanup EXIT

echo "== [$SECONDS s] Packing"
debs=$run/debs
bash "$source_dir/scripts/package.sh" --build "$build" --out "$debs"
check "package.sh makes both packages" test $? -eq 0
version=$(sed -n 's/^project(Tarrow VERSION \([0-9][0-9.]*\).*/\1/p' "$source_dir/CMakeLists.txt")
deb=$debs/tarrow_${version}_amd64.deb
gui=$debs/tarrow-gui_${version}_amd64.deb
[ -f "$deb" ] && [ -f "$gui" ] || { echo "FAILED: no packages"; exit 1; }
for f in "$deb" "$gui"; do
  echo "== [$SECONDS s] dpkg -c $(basename "$f")"
  dpkg -c "$f" | awk '{ print $1, $6, $7, $8 }'
done

# lintian takes a while on its own: it runs beside the rest, and its verdict comes at the end.
lintian --info "$deb" "$gui" >"$run/lintian.txt" 2>&1 &
lintian_pid=$!

echo "== [$SECONDS s] man -l"
pages=$run/pages
mkdir -p "$pages"
dpkg-deb -x "$deb" "$pages" && dpkg-deb -x "$gui" "$pages"
for program in "$pages"/usr/bin/*; do
  name=$(basename "$program")
  [ "$name" = Tarrow.ini ] && continue  # the link to the client's INI file
  page=$pages/usr/share/man/man1/$name.1.gz
  check "$name has a man page" test -f "$page"
  [ -f "$page" ] || continue
  text=$(MANWIDTH=80 man --warnings -l "$page" 2>"$run/man.err")
  check "man -l renders $name(1) without a warning" test ! -s "$run/man.err"
  cat "$run/man.err"
  check "$name(1) names the program and gives its exit status" \
    grep -q "^EXIT STATUS" <<<"$text"
  grep -q "^NAME" <<<"$text" && grep -Eq "^ +$name +- " <<<"$text" ||
    { echo "FAILED: $name(1) has no NAME line for $name"; failures=$((failures + 1)); }
done
check "every program's page is there (7)" test "$(find "$pages/usr/share/man/man1" -name '*.1.gz' | wc -l)" -eq 7

echo "== [$SECONDS s] Subnet $ns_prefix: dir, ctrl, ws1 to ws3"
hosts=(dir ctrl ws1 ws2 ws3)
make_subnet "$run/hosts.txt"
namespaces_before_root=$(ip netns list | awk '{print $1}' | sort)
mounts_before=$(findmnt -rn -o TARGET | sort)
machine_package() { dpkg-query -W -f='${db:Status-Abbrev}' tarrow 2>/dev/null; }
package_before=$(machine_package)
etc_before=$(ls -la /etc/tarrow 2>&1)
unshare -m --propagation private bash "$here/installed_root.sh" "$run" "$debs" "$version" "$ns_prefix"
check "the installed root's checks pass" test $? -eq 0
echo "== [$SECONDS s] lintian"
wait "$lintian_pid"
cat "$run/lintian.txt"
check "lintian reports no error" test "$(grep -c '^E:' "$run/lintian.txt")" -eq 0
check "no mount of the root is left on the machine" test "$(findmnt -rn -o TARGET | sort)" = "$mounts_before"
check "the machine's package database is as before" test "$(machine_package)" = "$package_before"
check "the machine's /etc/tarrow is as before" test "$(ls -la /etc/tarrow 2>&1)" = "$etc_before"
check "the namespaces are as before" test "$(ip netns list | awk '{print $1}' | sort)" = "$namespaces_before_root"
echo "== package test: $(awk -v a="$started" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }') s"
finish
