#!/usr/bin/env bash
# Run by package_test.sh inside a private mount namespace (unshare -m), as root: a root of its
# own for the package, made as an overlay of this machine's root whose writable layer is a
# tmpfs. Whatever the install writes lands there and is gone with the namespace; the
# machine's own files and package database are never written.
#
# In that root: the README's install commands, systemd-analyze verify on the installed unit,
# a fleet run with the installed programs (TarrowCtrl, and 3 workstations whose TarrowCli is
# started by the unit's own ExecStart line, without root), then remove and purge.
#   installed_root.sh WORK DEB_DIR VERSION NS_PREFIX
set -uo pipefail
work=$1 debs=$2 version=$3 ns_prefix=$4
here=$(cd "$(dirname "$0")" && pwd)
scripts=$(cd "$here/../../scripts" && pwd)
source "$here/../fleet/fleet_test_lib.sh"  # check
source "$scripts/fleet-subnet.sh"          # ns_of, the subnet's addresses
logins=30
users=10
instances=(Tarrow ws2 ws3)     # the README's instance, and two more
# Ports of the controller and the clients (each host is a namespace of its own; these are not
# the default ports, so that the instances' environment files are what brings them together).
discovery_port=12308 answer_port=12309 control_port=12310
nobody=65534

root=$work/root
layer=$work/layer
mkdir -p "$root" "$layer"
mount -t tmpfs -o size=1g tmpfs "$layer"
mkdir "$layer/upper" "$layer/work"
mount -t overlay overlay -o "lowerdir=/,upperdir=$layer/upper,workdir=$layer/work" "$root" ||
  { echo "FAILED: no overlay of / could be mounted"; exit 1; }
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"
mount --rbind /sys "$root/sys"
# No systemd runs in this root: units are installed and enabled, and started by hand below.
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
in_root() {  # COMMAND...: as root inside the root, with a plain environment
  chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}
# The man-db trigger would index every page of the machine again: seconds for nothing here.
rm -f "$root/var/lib/man-db/auto-update"
cp "$debs"/*.deb "$root/root/"
deb=tarrow_${version}_amd64.deb

pids=()
cleanup() {
  for p in "${pids[@]}"; do kill -TERM "$p" 2>/dev/null; done
  for p in "${pids[@]}"; do wait "$p" 2>/dev/null; done
  ip netns exec "$(ns_of dir)" env PRIVATE_SLAPD_ADDRESS="$dir_addr" \
    bash "$scripts/private-slapd.sh" stop "$work/slapd" >/dev/null 2>&1
}
trap cleanup EXIT

# ---- the README's commands, as a site runs them -------------------------------------------
# The first code block of the README's "Install on workstations": install, copy the INI file,
# enable the instance. The controller host's generator writes that INI file first.
mapfile -t readme < <(awk '/^## Install on workstations/ { s = 1; next } /^## / { s = 0 }
  s && /^    [^ ]/ { print substr($0, 5); b = 1; next } s && b && /^$/ { exit }' "$here/../../README.md")
check "the README names the built package ($deb)" test "${readme[0]:-}" = "apt install ./$deb"
check "the README's block has 3 commands" test ${#readme[@]} -eq 3
echo "== [$SECONDS s] In the root: ${readme[0]:-}"
in_root sh -c "cd /root && ${readme[0]:-false}" >"$work/apt-install.log" 2>&1
check "apt install of the package succeeds" test $? -eq 0
tail -n 3 "$work/apt-install.log"
check "tarrow is installed" test "$(in_root dpkg-query -W -f='${db:Status-Abbrev}' tarrow)" = "ii "

mkdir -p "$root/tmp/run"
in_root TarrowMgrCli --num-users "$users" --tree "$dir_addr:389" --broadcast "$broadcast" \
  --working-dir /tmp/run/ --csv-file Users.csv >/dev/null
check "the installed TarrowMgrCli writes the files" test -f "$root/tmp/run/Tarrow.ini"
sed -e 's/^MaxDelay=90/MaxDelay=1/' "$root/tmp/run/Tarrow.ini" >"$root/root/Tarrow.ini"
chmod -R a+rX "$root/tmp/run"
for line in "${readme[@]:1}"; do
  echo "== [$SECONDS s] In the root: $line"
  in_root sh -c "cd /root && $line" >"$work/readme-step.log" 2>&1
  status=$?
  cat "$work/readme-step.log"
  # No systemd runs in this root: "enable --now" enables, and only the start cannot happen.
  if [ $status -ne 0 ] && [[ "$line" == "systemctl enable --now "* ]] &&
     grep -q "has not been booted with systemd" "$work/readme-step.log"; then
    status=0
  fi
  check "README step succeeds: $line" test $status -eq 0
done
check "the instance is enabled" test -L "$root/etc/systemd/system/multi-user.target.wants/tarrow-client@Tarrow.service"

echo "== [$SECONDS s] systemd-analyze verify (in the root, with its programs and pages)"
unit=/lib/systemd/system/tarrow-client@.service
in_root systemd-analyze verify "$unit" >"$work/verify.log" 2>&1
check "systemd-analyze verify passes on $unit" test $? -eq 0
cat "$work/verify.log"
check "systemd-analyze verify says nothing" test ! -s "$work/verify.log"
in_root systemd-analyze security --offline=yes "$unit" 2>/dev/null | tail -n 1

# ---- the GUI package beside it ------------------------------------------------------------
echo "== [$SECONDS s] tarrow-gui beside it, and where every library comes from"
in_root apt-get install -y -q "/root/tarrow-gui_${version}_amd64.deb" >"$work/apt-gui.log" 2>&1
check "apt-get install of tarrow-gui succeeds" test $? -eq 0
for program in /usr/bin/Tarrow /usr/bin/TarrowCli /usr/bin/TarrowMgr; do
  in_root ldd "$program" >"$work/ldd.txt" 2>&1
  check "$program finds every library" test "$(grep -c 'not found' "$work/ldd.txt")" -eq 0
done
check "TarrowCli takes the directory libraries from /usr/lib/tarrow" \
  grep -Eq "libqvdsapi.so => /usr/(bin/\.\./)?lib/tarrow/libqvdsapi.so" <(in_root ldd /usr/bin/TarrowCli)
check "TarrowMgr's read-me is beside the program" test -f "$root/usr/lib/tarrow/README.md"

# What a fresh root would show: every library that a package's programs load comes from the
# package itself or from a package that its Depends pull in.
closure_of() {  # PACKAGE: it and every installed package its Depends and Pre-Depends pull in
  in_root dpkg-query -W -f='${db:Status-Abbrev}\t${Package}\t${Depends}, ${Pre-Depends}\t${Provides}\n' |
    awk -F'\t' -v start="$1" '
    function bare(v) { sub(/\(.*/, "", v); gsub(/ /, "", v); sub(/:.*/, "", v); return v }
    $1 == "ii " {
      deps[$2] = $3
      n = split($4, pv, ",")
      for (i = 1; i <= n; i++) if ((v = bare(pv[i])) != "") providers[v] = providers[v] " " $2
    }
    END {
      queue[1] = start; seen[start] = 1; head = 1; tail = 1
      while (head <= tail) {
        p = queue[head++]; print p
        n = split(deps[p], d, /[,|]/)
        for (i = 1; i <= n; i++) {
          if ((name = bare(d[i])) == "") continue
          m = split((name in deps) ? name : providers[name], c, " ")
          for (j = 1; j <= m; j++) if (!(c[j] in seen)) { seen[c[j]] = 1; queue[++tail] = c[j] }
        }
      }
    }'
}
other_name() { local alt=${1#/usr}; [ "$alt" = "$1" ] && alt=/usr$1; echo "$alt"; }  # merged /usr
check_depends() {  # PACKAGE PROGRAM...
  local package=$1 closure libs lib owner owners missing=""
  shift
  closure=" $(closure_of "$package" | tr '\n' ' ')"
  libs=$(for p in "$@"; do in_root ldd "$p"; done | awk '$2 == "=>" && $3 ~ /^\// { print $3 }' |
    xargs -r realpath -ms | sort -u)
  # One look-up for all (it reads every package's file list), under either name.
  owners=$(in_root dpkg-query -S $(for lib in $libs; do echo "$lib" "$(other_name "$lib")"; done) 2>/dev/null)
  for lib in $libs; do
    owner=$(awk -v a="$lib" -v b="$(other_name "$lib")" -F': ' '$2 == a || $2 == b { sub(/:.*/, "", $1); print $1; exit }' <<<"$owners")
    [[ "$closure" == *" $owner "* ]] || missing="$missing $lib (${owner:-no package})"
  done
  check "every library of $package's programs comes with its Depends${missing:+; not:$missing}" test -z "$missing"
}
check_depends tarrow /usr/bin/TarrowCli /usr/bin/TarrowCtrl /usr/bin/TarrowMgrCli /usr/bin/tarrow-compare \
  /usr/bin/tarrow_delay_relay
check_depends tarrow-gui /usr/bin/Tarrow /usr/lib/tarrow/TarrowMgr
check "a workstation without a display gets no widget libraries" \
  test -z "$(closure_of tarrow | grep -E '^libqt6(gui|widgets)6')"

# ---- a fleet from the installed programs --------------------------------------------------
echo "== [$SECONDS s] Fleet: slapd on $dir_addr, TarrowCtrl on $ctrl_addr, ${#instances[@]} workstations, $logins logins"
ip netns exec "$(ns_of dir)" env PRIVATE_SLAPD_ADDRESS="$dir_addr" \
  bash "$scripts/private-slapd.sh" start "$work/slapd" 389 "$root/tmp/run/Users.csv" >/dev/null
check "the private slapd starts" test $? -eq 0

exec_start=$(sed -n 's/^ExecStart=//p' "$root$unit")
env_file=$(sed -n 's/^EnvironmentFile=-\{0,1\}//p' "$root$unit")
check "the unit's ExecStart runs the installed TarrowCli" test "${exec_start%% *}" = /usr/bin/TarrowCli
# The unit's command line for an instance, as systemd makes it: %i is the instance, a word
# "$NAME" is the variable of the environment file split at blanks.
instance_command() {  # NAME: prints one word a line
  local word value
  for word in ${exec_start//%i/$1}; do
    if [[ "$word" =~ ^\$([A-Za-z_][A-Za-z0-9_]*)$ ]]; then
      value=$(env -i bash -c "set -a; source '$root${env_file//%i/$1}'; printf '%s' \"\${${BASH_REMATCH[1]}:-}\"")
      [ -n "$value" ] && printf '%s\n' $value
    else
      printf '%s\n' "$word"
    fi
  done
}
for name in "${instances[@]}"; do
  [ -f "$root/etc/tarrow/$name.ini" ] || cp "$root/etc/tarrow/Tarrow.ini" "$root/etc/tarrow/$name.ini"
  printf 'TARROW_CLIENT_OPTIONS="--discover-port %s --answer-port %s --control-port %s"\n' \
    "$discovery_port" "$answer_port" "$control_port" >"$root${env_file//%i/$name}"
done

timeout 120 ip netns exec "$(ns_of ctrl)" chroot --userspec=$nobody:$nobody "$root" /usr/bin/TarrowCtrl \
  --ini /tmp/run/TarrowCtrl.ini --count "$logins" --quiet --discovery-port "$discovery_port" \
  --answer-port "$answer_port" --control-port "$control_port" >"$work/controller.log" 2>"$work/controller.err" &
ctrl_pid=$!
for _ in $(seq 100); do grep -q listening "$work/controller.err" 2>/dev/null && break; sleep 0.05; done
i=0
for name in "${instances[@]}"; do
  i=$((i + 1))
  mapfile -t command < <(instance_command "$name")
  echo "ws$i: ${command[*]}"
  # As DynamicUser runs it: no root, working folder /.
  ip netns exec "$(ns_of "ws$i")" chroot --userspec=$nobody:$nobody "$root" "${command[@]}" \
    >"$work/ws$i.log" 2>"$work/ws$i.err" &
  pids+=($!)
done
wait "$ctrl_pid"
check "TarrowCtrl ends after $logins replies" test $? -eq 0
cat "$work/controller.log"
out=$(cat "$work/controller.log")
check "$logins successful replies" has_line "    success (R1):    $logins"
check "every packet has its reply" has_line "  packets sent:      $logins (0 without a reply)"
for i in $(seq 1 ${#instances[@]}); do
  check "ws$i logged in and replied" grep -Eq "^    $(ws_addr "$i"):[0-9]+  [1-9][0-9]* / 0 / 0$" <<<"$out"
  check "ws$i connected to port $control_port" grep -q "^status: Connected to: .*:$control_port$" "$work/ws$i.err"
done
# systemctl stop sends SIGTERM: each client ends at once, and cleanly (no restart on failure).
for p in "${pids[@]}"; do kill -TERM "$p"; done
for p in "${pids[@]}"; do
  timeout 10 tail --pid="$p" -f /dev/null || kill -KILL "$p"
  wait "$p"
  check "a client stops cleanly on SIGTERM" test $? -eq 0
done
pids=()

# ---- remove, then purge -------------------------------------------------------------------
mapfile -t files < <(in_root dpkg -L tarrow tarrow-gui | sort -u)
is_machine_dir() { [ -d "$1" ]; }  # a folder of the machine itself (/lib is a link to one) stays
left_behind() {  # the packages' paths that still exist in the root, the machine's own folders aside
  local f
  for f in "${files[@]}"; do
    [ -e "$root$f" ] || [ -L "$root$f" ] || continue
    is_machine_dir "$f" || echo "$f"
  done
}
echo "== [$SECONDS s] Remove"
in_root apt-get remove -y -q tarrow-gui tarrow >"$work/remove.log" 2>&1
check "apt-get remove succeeds" test $? -eq 0
check "tarrow keeps only its configuration" test "$(in_root dpkg-query -W -f='${db:Status-Abbrev}' tarrow)" = "rc "
left=$(left_behind)
echo "left after remove: $(echo $left)"
check "after remove only configuration is left" test -z "$(grep -v '^/etc/' <<<"$left")"
check "the example INI file stays until purge" test -f "$root/etc/tarrow/Tarrow.ini.example"
in_root dpkg -L tarrow >"$work/dpkg-L.txt" 2>&1
check "dpkg -L lists only configuration after remove" test -z "$(grep -v '^/etc' "$work/dpkg-L.txt" | grep -v '^/\.$')"
echo "== [$SECONDS s] Purge"
in_root apt-get purge -y -q tarrow >"$work/purge.log" 2>&1
check "apt-get purge succeeds" test $? -eq 0
status=$(in_root dpkg-query -W -f='${db:Status-Abbrev}' tarrow 2>/dev/null)
check "dpkg knows tarrow no more (${status:-unknown})" test -z "$status" -o "$status" = "un "
left=$(left_behind)
echo "left after purge: $(echo $left)"
check "after purge only the site's own files are left" test "$(echo $left)" = "/etc/tarrow"
check "the site's INI files stay" test -f "$root/etc/tarrow/Tarrow.ini"
check "the enabled instance's link is gone" test ! -e "$root/etc/systemd/system/multi-user.target.wants/tarrow-client@Tarrow.service" -a \
  ! -L "$root/etc/systemd/system/multi-user.target.wants/tarrow-client@Tarrow.service"
# The writable layer holds everything the install wrote: nothing of the packages is left in it
# (man's cache of pages it showed is man's own, and goes when man cleans it).
leftovers=$(cd "$layer/upper" && find . \( -iname '*tarrow*' -o -name 'libqv*' \) ! -path './root/*' \
  ! -path './etc/tarrow*' ! -path './var/cache/man/*')
echo "left in the root's writable layer: ${leftovers:-nothing}"
check "nothing of the packages is left in the root" test -z "$leftovers"

echo "$((checks - failures)) checks in the root passed, $failures failed"
[ $failures -eq 0 ]
