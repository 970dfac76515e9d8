#!/usr/bin/env bash
# No space left: a tmpfs of 256 KiB, mounted in a private mount namespace (so that nothing of
# it is seen outside the test, and it goes with the test), is filled by the generator, then
# the controller (--report, --csv) and a batch run (--report) write into it. What must hold:
# a clear failure line and a non-zero exit status for each, no "report: " line that would say
# the report is there, and the files that were there before intact. Needs root for the mount;
# skipped with the reason otherwise.
#   no_space_test.sh BUILD_DIR
set -uo pipefail
if [ "${TARROW_FAULTS_IN_NS:-}" != 1 ]; then
  [ "$(id -u)" -eq 0 ] || { echo "SKIPPED: mounting a small tmpfs needs root"; exit 77; }
  unshare -m --propagation private true 2>/dev/null ||
    { echo "SKIPPED: no private mount namespace (unshare -m failed)"; exit 77; }
  TARROW_FAULTS_IN_NS=1 exec unshare -m --propagation private bash "$0" "$@"
fi
build=$(cd "${1:?usage: no_space_test.sh BUILD_DIR}" && pwd)
source "$(dirname "$0")/faults_lib.sh"

small=$work/small
mkdir -p "$small"
mount -t tmpfs -o size=256k,mode=0700 tmpfs "$small" || skip "mount -t tmpfs failed in the private namespace"
cleanup_extra="umount '$small'"

say "earlier files: 20 KiB of data and a generated set of 5 users"
head -c 20480 /dev/urandom >"$small/earlier.dat"
"$mgr" --num-users 5 --working-dir "$small/gen/" --csv-file Users.csv >"$work/gen.log" 2>&1
check "the small generator run succeeds" test $? -eq 0
(cd "$small" && md5sum earlier.dat gen/*) >"$work/earlier.md5"
# Room kept back for the last case, a report that fills the disk on the way.
head -c 65536 /dev/zero >"$small/reserve"

say "the generator fills the file system"
"$mgr" --num-users 20000 --working-dir "$small/gen2/" --csv-file Users.csv >"$work/gen2.out" 2>"$work/gen2.err"
status=$?
cat "$work/gen2.err"
check "TarrowMgrCli exits non-zero (status $status)" test "$status" -ne 0
check "TarrowMgrCli says what failed" grep -Eqi "error|no space|fail" "$work/gen2.err"
# Whatever room is left goes too, so that every write below fails.
dd if=/dev/zero of="$small/filler" bs=4096 >/dev/null 2>&1
check "the file system is full" test "$(df -k --output=avail "$small" | tail -n 1 | tr -d ' ')" -eq 0

say "a controlled run with its report there: refused before it listens, as a batch run is"
write_files 20
"$ctrl" --ini "$work/TarrowCtrl.ini" --discovery-port "$discovery_port" --answer-port "$answer_port" \
  --control-port "$control_port" --quiet --count 3 --report "$small/ctrl-report" \
  >"$work/ctrl-refused.out" 2>"$work/ctrl-refused.err"
status=$?
grep "TarrowCtrl:" "$work/ctrl-refused.err"
check "TarrowCtrl exits 2 (status $status)" test "$status" -eq 2
check "the report folder is named with the reason" \
  grep -q "^TarrowCtrl: cannot write the report into folder \"$small/ctrl-report\": .*No space left on device" "$work/ctrl-refused.err"
check "nothing listened" bash -c "! grep -q 'listening on TCP port' '$work/ctrl-refused.err'"

say "a controlled run writing its CSV there"
start_slapd
start_ctrl ctrl --count 3 --csv "$small/replies.csv"
start_client client
wait_ctrl 40
cat "$work/ctrl.out"
grep "TarrowCtrl:" "$work/ctrl.err"
check "TarrowCtrl exits 1 (status $ctrl_status)" test "$ctrl_status" -eq 1
check "the CSV failure is said when it happens" \
  grep -q "^TarrowCtrl: error: writing CSV file \"$small/replies.csv\" failed after" "$work/ctrl.err"
check "the summary still reached standard output" has_line "stopped by:        --count 3 replies reached" "$work/ctrl.out"

say "a batch run writing its report there"
awk '{ l[NR] = $0 } END { for (i = 0; i < 100; i++) for (k = 1; k <= NR; k++) print l[k] }' "$work/Users.csv" >"$work/Batch.csv"
sed -e 's/^WorkloadUsersFile=.*/WorkloadUsersFile=Batch.csv/' "$work/Run.ini" >"$work/Batch.ini"
(cd "$work" && "$cli" --ini "$work/Batch.ini" --batch --answer-port 0 --report "$small/batch-report" \
  >"$work/batch.log" 2>"$work/batch.err")
status=$?
grep "^error: " "$work/batch.err"
check "the batch run exits non-zero (status $status)" test "$status" -ne 0
check "the batch run says the report failed" grep -q "^error: --report: " "$work/batch.err"
check "no report is named as written" bash -c "! grep -q '^report: ' '$work/batch.err'"

say "a batch run whose report fills the last 64 KiB on the way"
rm "$small/reserve"
(cd "$work" && "$cli" --ini "$work/Batch.ini" --batch --answer-port 0 --report "$small/batch-report2" \
  >"$work/batch2.log" 2>"$work/batch2.err")
status=$?
grep "^error: " "$work/batch2.err"
check "the batch run exits 1 (status $status)" test "$status" -eq 1
check "the run itself went through the file" has_line "^  There were 2000 operations performed.$" "$work/batch2.log"
check "the batch run says the report failed" grep -q "^error: --report: " "$work/batch2.err"
check "no report is named as written" bash -c "! grep -q '^report: ' '$work/batch2.err'"

check "the earlier files are intact" bash -c "cd '$small' && md5sum --quiet -c '$work/earlier.md5'"
finish
