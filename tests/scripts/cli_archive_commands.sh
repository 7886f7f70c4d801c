#!/usr/bin/env bash
# The command-line tool's archive commands as a user meets them: outputs
# that would replace the archive, options that do not apply, the usage of
# every command, dates and serial numbers, a damaged archive found by
# verify-archive and refused by a replay, the site register, and the
# classification by its rooms with certificates kept and verified.
set -uo pipefail
cli="${ORONT_CLI:?ORONT_CLI must name oront-v208-cli}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export ORONT_ARCHIVE="$work/store/archive.sqlite"
failures=0
passes=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAILED: $name"; failures=$((failures + 1)); fi
}
usage_error() {  # usage_error TEXT: the last command was a one-line usage error naming TEXT
  [ "$rc" -eq 2 ] && [ "$(wc -l < err.txt)" -eq 1 ] && grep -qF -- "$1" err.txt
}

"$cli" --demo save-all first.csv 2> /dev/null
cp store/archive.sqlite archive.before

# No output may replace the archive or one of its files: by its name, through
# a link, as another name of the same file, or as the name of an archive that
# does not exist yet. Nothing is written, not even the download.
ln -s store/archive.sqlite link.sqlite
ln store/archive.sqlite hard.sqlite
for args in "save-all $ORONT_ARCHIVE" "dump store/archive.sqlite" "save-range 2 3 link.sqlite" \
            "classify --format json hard.sqlite" "dump store/archive.sqlite-journal" "report store/archive.sqlite-wal"; do
  "$cli" --demo $args > out.txt 2> err.txt; rc=$?
  check "'$args' is refused" usage_error "no output may replace it"
  check "'$args' changes nothing" bash -c "cmp -s store/archive.sqlite archive.before && [ \"\$(ls store)\" = archive.sqlite ]"
done
"$cli" trend --location 3 store/archive.sqlite-shm.svg > /dev/null 2>&1
"$cli" --archive new.sqlite --demo save-all new.sqlite > out.txt 2> err.txt; rc=$?
check "an archive that does not exist yet is not written over either" \
  bash -c "$(declare -f usage_error); rc=$rc; usage_error 'is the download archive' && [ ! -e new.sqlite ]"

# The archive's commands read no instrument; every command has its usage.
for args in "--demo history" "--simulate x.img records" "--from-archive 1 trend --location 3 t.svg" \
            "--demo-full verify-archive" "--no-archive history" "--demo verify-certificate c.pdf"; do
  "$cli" $args > out.txt 2> err.txt; rc=$?
  check "'$args' is a usage error" usage_error "works on the archive alone"
done
"$cli" --help > help.txt
check "--help lists help" grep -qE "^  help " help.txt
for command in count erase save-all save-range dump report classify history records trend verify-archive site \
               excursions verify-certificate; do
  check "--help lists $command" grep -qE "^  $command( |$)" help.txt
  "$cli" $command --help > out.txt; rc=$?
  check "$command --help gives its usage" bash -c "[ $rc -eq 0 ] && head -1 out.txt | grep -q '^usage: oront-v208-cli' \
    && grep -qE '^  $command( |$)' out.txt && [ \$(grep -cE '^  [a-z-]+ ' out.txt) -eq 1 ]"
done

# Serial numbers up to what a frame holds; days the calendar has; a range
# that runs forwards.
"$cli" records --serial 4294967295 > out.txt; rc=$?
check "--serial takes 4294967295" bash -c "[ $rc -eq 0 ] && [ \$(wc -l < out.txt) -eq 1 ]"
"$cli" records --serial 4294967296 > out.txt 2> err.txt; rc=$?
check "--serial refuses 4294967296" usage_error "--serial takes"
for day in 2015-02-29 2015-02-30 2015-04-31; do
  for command in "records --from $day" "trend --location 3 --to $day t.svg"; do
    "$cli" $command > out.txt 2> err.txt; rc=$?
    check "'$command' is refused" usage_error "not $day"
  done
done
for command in "records" "trend --location 3 t.svg"; do
  "$cli" $command --from 2015-03-05 --to 2015-03-01 > out.txt 2> err.txt; rc=$?
  check "'$command' with a reversed range is refused" usage_error "--from 2015-03-05 is after --to 2015-03-01"
done
"$cli" records --from 2016-02-29 > out.txt; rc=$?
check "a leap day is a day" test $rc -eq 0

# verify-archive on a sound archive, then on one whose downloads lost a
# record's frame: the replay is refused and writes nothing.
"$cli" --demo save-all second.csv 2> /dev/null
"$cli" verify-archive > out.txt; rc=$?
check "verify-archive finds a sound archive" \
  bash -c "[ $rc -eq 0 ] && grep -qxF 'The archive is sound (2 downloads, 300 records; SQLite'\"'\"'s integrity check: ok): $ORONT_ARCHIVE' out.txt"
sqlite3 store/archive.sqlite "UPDATE records SET frame = zeroblob(128) WHERE id = 7"
"$cli" verify-archive > out.txt; rc=$?
check "verify-archive lists the damage and exits 3" bash -c "[ $rc -eq 3 ] \
  && grep -qxF 'damaged: download 1 is damaged (record 7 of 300 does not match its key)' out.txt \
  && grep -qxF 'damaged: download 2 is damaged (record 7 of 300 does not match its key)' out.txt \
  && grep -qxF 'damaged: record 7 does not match its key' out.txt && tail -1 out.txt | grep -q '^The archive is damaged (3 findings'"
"$cli" --from-archive 1 save-all replay.csv > out.txt 2> err.txt; rc=$?
check "a damaged download is not replayed" bash -c "[ $rc -eq 1 ] && [ ! -e replay.csv ] \
  && grep -qxF 'oront-v208-cli: archive: archived download 1 is damaged (record 7 of 300 does not match its key)' err.txt"
# A damaged page: the archive takes no download and stays as it is; the save
# still succeeds and its warning names the damage.
size=$(stat -c %s store/archive.sqlite)
printf 'damage%.0s' $(seq 600) | dd of=store/archive.sqlite bs=1 seek=$((size - 4096 + 16)) conv=notrunc 2> /dev/null
cp store/archive.sqlite damaged.before
"$cli" --demo save-all third.csv > out.txt 2> err.txt; rc=$?
check "a damaged archive takes no download, the save still succeeds" bash -c "[ $rc -eq 0 ] && cmp -s first.csv third.csv \
  && grep -q 'warning: the download was not archived: the archive is damaged and was left as it is' err.txt \
  && cmp -s store/archive.sqlite damaged.before"

# The site register: imported whole or not at all, exported byte for byte,
# judging every download (one line on stderr) and the archived records.
export ORONT_ARCHIVE="$work/site/archive.sqlite"
"$cli" --demo save-all before.csv 2> err.txt
check "without a register a download says nothing of monitoring" bash -c "! grep -q 'Monitoring' err.txt"
"$cli" excursions > out.txt; rc=$?
check "excursions without a register: none, exit 0" bash -c "[ $rc -eq 0 ] && grep -qx 'No archived record is above an alert or action limit.' out.txt"
cat > site.json <<'EOF_SITE'
{"organisation": {"name": "Pharma Example", "address": "Werkstraße 1"},
 "rooms": [{"id": "FR2", "name": "Filling room 2", "area_m2": 24, "standard": "gmp-2022", "grade": "B",
            "state": "operational", "locations": [{"number": 5, "name": "door", "x_m": 0, "y_m": 4}],
            "limits": [{"size_um": 0.5, "alert_per_m3": 3000, "action_per_m3": 3520}]},
           {"id": "LAB", "area_m2": 40, "standard": "iso-2015", "class": 7, "state": "at-rest",
            "locations": [{"number": 1, "name": "entry"}],
            "limits": [{"size_um": 0.5, "alert_per_m3": 200000, "action_per_m3": 352000}]}],
 "instruments": [{"serial": 2150042, "calibrated_on": "2014-03-01", "calibration_due": "2015-03-01"}]}
EOF_SITE
sed 's/"alert_per_m3": 3000/"alert_per_m3": 9000/' site.json > broken.json
"$cli" --reason "test register" site import broken.json > out.txt 2> err.txt; rc=$?
check "a register that breaks a rule is refused with its place" bash -c "[ $rc -eq 1 ] \
  && grep -qF 'broken.json is refused (the register was left as it was): rooms[0].limits[0]: the alert limit is above the action limit' err.txt \
  && grep -qx 'No site register is kept.' <($cli site show)"
"$cli" --reason "test register" site import site.json 2> err.txt; rc=$?
"$cli" site export one.json 2> /dev/null && "$cli" --reason "test register" site import one.json 2> /dev/null && "$cli" site export two.json 2> /dev/null
check "the register is imported, and exported again byte for byte" bash -c "[ $rc -eq 0 ] && cmp -s one.json two.json \
  && grep -qx 'Imported the site register (2 rooms, 1 instrument) from site.json' err.txt && grep -q '\"grade\": \"B\"' one.json"
"$cli" excursions > out.txt; rc=$?
check "the records archived before the register are judged by it" bash -c "[ $rc -eq 3 ] && grep -q '  LAB       001 entry' out.txt"
"$cli" --demo save-all after.csv 2> err.txt; rc=$?
check "a download is judged on one line and its past calibration warned of" bash -c "[ $rc -eq 0 ] && cmp -s before.csv after.csv \
  && [ \$(grep -c '^Monitoring: ' err.txt) -eq 1 ] \
  && grep -qx 'oront-v208-cli: warning: the instrument 2150042 was past its calibration due date 2015-03-01 on 2015-03-19' err.txt \
  && $cli history --format json | tail -2 | grep -q 'past its calibration due date 2015-03-01'"
"$cli" excursions --room FR2 --level action --format csv > out.csv; rc=$?
check "excursions filter by room and level as CSV" bash -c "[ $rc -eq 3 ] && head -1 out.csv | grep -qx 'time,room,location,location_name,size_um,per_m3,limit_per_m3,level,records,last_time' \
  && [ \$(tail -n +2 out.csv | grep -vc ',FR2,5,door,0.5,[0-9.]*,3520.0,action,,\$') -eq 0 ] && [ \$(wc -l < out.csv) -gt 1 ]"
"$cli" excursions --room NONE --format json > out.json; rc=$?
check "no excursion is exit 0" bash -c "[ $rc -eq 0 ] && [ \"\$(cat out.json)\" = \"\$(printf '{\"excursions\": [],\\n \"adverse_trends\": []}')\" ]"

# Classification by the register's rooms: a room's own settings and its
# runs only; the register's state of a download, also for both EU GMP
# states; certificates numbered by the archive and checked against it.
"$cli" --demo classify --room FR2 > out.txt 2> err.txt; rc=$?
check "classify --room takes the room's grade, state and runs, and names the late calibration" bash -c "[ $rc -eq 3 ] \
  && grep -qx '== Room FR2 (Filling room 2), in operation ==' out.txt && grep -qx 'Target: grade B, in operation' out.txt \
  && [ \$(grep -c '^Run ' out.txt) -eq 1 ] && grep -q '^Run 2: records 0062 to 0067, location 005' out.txt \
  && grep -q 'Requirement broken: instrument calibration (ISO 14644-1:2015 A.2.2): taken after the instrument.s calibration was due on 2015-03-01' out.txt"
"$cli" --demo classify --room NOPE > out.txt 2> err.txt; rc=$?
check "classify --room of no room of the register fails" bash -c "[ $rc -eq 1 ] && [ ! -s out.txt ] \
  && grep -qx 'oront-v208-cli: the site register has no room NOPE (site show lists them)' err.txt"
sed 's/"instruments"/"downloads": [{"download": 1, "state": "at-rest"}], "instruments"/' site.json > states.json
"$cli" --reason "test register" site import states.json 2> /dev/null
"$cli" --from-archive 1 classify --room FR2 > out.txt 2> err.txt; rc=$?
check "the register's state of the download is the state declared" grep -qx 'Target: grade B, at rest' out.txt
"$cli" --from-archive 1 classify --room FR2 --state both > out.txt 2> err.txt; rc=$?
check "--state both: the download's runs at rest, none in operation" bash -c "[ $rc -eq 3 ] \
  && grep -qx '== Room FR2 (Filling room 2), at rest ==' out.txt && grep -qx '== Room FR2 (Filling room 2), in operation ==' out.txt \
  && grep -qx 'Not classified: no run in operation was chosen' out.txt"
"$cli" --demo classify --standard gmp-2022 --grade C --state both --at-rest-runs 1,3 --operational-runs 2 --format json > out.json; rc=$?
check "--state both with the runs of each state" bash -c "[ $rc -eq 3 ] \
  && [ \$(grep -c '\"target\": {\"grade\": \"C\", \"state\": \"at-rest\"}' out.json) -ge 1 ] \
  && grep -q '\"target\": {\"grade\": \"C\", \"state\": \"operational\"}' out.json"
"$cli" --demo classify --room FR2 --client 'Example Pharma AG' --operator 'J. Tester' --format pdf cert.pdf > out.txt 2> err.txt; rc=$?
"$cli" verify-certificate cert.pdf > verified.txt 2> err2.txt; vrc=$?
check "a certificate is numbered by the archive and verified as issued" bash -c "[ $rc -eq 3 ] && [ $vrc -eq 0 ] \
  && grep -q '^Saved certificate V208-000001 ([0-9]* pages*) to cert.pdf' err.txt \
  && grep -qE '^cert.pdf: certificate V208-000001, issued [0-9-]+ [0-9:]+, as issued; data SHA-256 [0-9a-f]{64}\$' verified.txt"
sha=$(sed -n 's/.*data SHA-256 \([0-9a-f]*\)$/\1/p' verified.txt)
command -v pdftotext > /dev/null || echo "FAILED: pdftotext is missing (scripts/install-deps.sh installs poppler-utils)"
pdftotext -layout cert.pdf cert.txt 2> /dev/null
missing=""
for item in "Report number: V208-000001" "Testing organisation: Pharma Example" "Address: Werkstraße 1" \
            "Client: Example Pharma AG" "Operator: J. Tester" "Calibration: calibrated on 2014-03-01, due 2015-03-01" \
            "Room FR2 (Filling room 2), in operation" "Designation: Grade B; in operation" "door" "x 0.00 m, y 4.00 m" \
            "Deviation: instrument calibration (ISO 14644-1:2015 A.2.2)" "Program: Oront V208 Software" \
            "Data SHA-256: $sha" "Appendix: every sample"; do
  grep -qF -- "$item" cert.txt || missing="$missing [$item]"
done
check "the certificate carries the register's, the command line's and the archive's items$missing" test -z "$missing" -a -n "$sha"
cp cert.pdf changed.pdf
printf '%s' "\$(dd if=changed.pdf bs=1 skip=900 count=1 2>/dev/null | tr 'A-Za-z0-9' 'B-ZAb-za1-90')" | dd of=changed.pdf bs=1 seek=900 conv=notrunc 2>/dev/null
"$cli" verify-certificate changed.pdf > out.txt; rc=$?
check "a certificate changed by one byte is refused" bash -c "[ $rc -eq 3 ] && ! cmp -s cert.pdf changed.pdf \
  && grep -qx 'changed.pdf: not a certificate of this archive as it was issued (changed since, or never issued here)' out.txt"
"$cli" --demo classify --room FR2 --report-number QA-7 --format pdf qa.pdf 2> err.txt; rc1=$?
"$cli" --demo classify --room FR2 --report-number QA-7 --format pdf qa2.pdf 2> err2.txt; rc2=$?
"$cli" --demo classify --room FR2 --report-number V208-000009 --format pdf own.pdf 2> err3.txt; rc3=$?
"$cli" --no-archive --demo classify --room FR2 --format pdf none.pdf 2> err4.txt; rc4=$?
check "a report number is given once (again only with a reason); the archive's own form and no number without an archive are refused" \
  bash -c "[ $rc1 -eq 3 ] && grep -q 'Saved certificate QA-7' err.txt && [ $rc2 -eq 1 ] && [ ! -e qa2.pdf ] \
  && grep -q 'report number QA-7 is issued already: give --reason to issue it again' err2.txt && [ $rc3 -eq 1 ] && [ ! -e own.pdf ] \
  && grep -q 'begin with V208- are the archive.s own' err3.txt && [ $rc4 -eq 1 ] && [ ! -e none.pdf ] \
  && grep -q 'give --report-number' err4.txt"
export ORONT_ARCHIVE="$work/store/archive.sqlite"

# A path longer than SQLite takes: said so, nothing created.
deep=$work/$(printf 'd%.0s' $(seq 200))/$(printf 'e%.0s' $(seq 200))/$(printf 'f%.0s' $(seq 100))/archive.sqlite
"$cli" --archive "$deep" history > out.txt 2> err.txt; rc=$?
check "history of a path too long fails" bash -c "[ $rc -eq 1 ] && grep -q 'path is too long' err.txt && [ \$(ls -d $work/ddd* 2>/dev/null | wc -l) -eq 0 ]"
"$cli" --archive "$deep" --demo save-all long.csv > out.txt 2> err.txt; rc=$?
check "archiving into a path too long warns and creates nothing" \
  bash -c "[ $rc -eq 0 ] && grep -q 'not archived: the archive.s path is too long' err.txt && [ \$(ls -d $work/ddd* 2>/dev/null | wc -l) -eq 0 ]"

# The audit trail from the command line: a role that may not is refused
# with exit 4 and changes nothing; signing reads the password from standard
# input; the trail lists and verifies, and a change made with sqlite3 is
# found (exit 3). --no-archive keeps the download out of the archive, not
# its events out of the trail.
export ORONT_ARCHIVE="$work/audit/archive.sqlite"
me=$(id -un)
"$cli" --demo save-all audit.csv 2> /dev/null
"$cli" --reason "second administrator" users add deputy --role administrator 2> /dev/null
"$cli" --reason "hands over" users set-role "$me" operator 2> /dev/null
cp "$ORONT_ARCHIVE" audit.before
"$cli" --reason "tidy" site import site.json > out.txt 2> err.txt; rc=$?
check "an operator's site import is refused (exit 4)" bash -c "[ $rc -eq 4 ] && grep -q 'needs the administrator role' err.txt"
check "the refusal changed nothing" cmp -s "$ORONT_ARCHIVE" audit.before
"$cli" site import site.json > out.txt 2> err.txt; rc=$?
check "site import without --reason is a usage error" usage_error "needs --reason"
printf 'op-password\n' | "$cli" password 2> err.txt; rc=$?
printf 'op-password\n' | "$cli" sign download 1 --meaning performed > out.txt 2> err.txt; rc2=$?
check "an operator signs as performed by" bash -c "[ $rc -eq 0 ] && [ $rc2 -eq 0 ] && grep -q '^Performed by .*: valid' out.txt"
printf 'op-password\n' | "$cli" sign download 1 --meaning approved > out.txt 2> err.txt; rc=$?
check "an operator does not approve (exit 4)" bash -c "[ $rc -eq 4 ] && grep -q 'needs the reviewer role' err.txt"
"$cli" --no-archive --demo save-all no-archive.csv 2> /dev/null
"$cli" audit --format csv > trail.csv; rc=$?
check "the trail lists every event, --no-archive's too" bash -c "[ $rc -eq 0 ] && head -n1 trail.csv | grep -q '^Entry,Time (UTC),Local time,User' && grep -c 'download archived' trail.csv | grep -qx 1 && [ \$(grep -c 'records saved' trail.csv) -eq 2 ] && grep -q 'role changed' trail.csv && grep -q 'download read, not archived' trail.csv"
"$cli" audit --event signature --format json > trail.json; rc=$?
check "the trail filters by event" bash -c "[ $rc -eq 0 ] && [ \$(grep -c '\"event\": \"signature\"' trail.json) -eq 1 ]"
"$cli" audit export trail.pdf --event "role changed" 2> err.txt; rc=$?
check "audit export writes the report for an inspector" bash -c "[ $rc -eq 0 ] && pdftotext trail.pdf - | grep -q 'role changed' && pdftotext trail.pdf - | grep -q 'hands over' && ! pdftotext trail.pdf - | grep -q 'records saved'"
"$cli" verify-archive > /dev/null 2>&1
check "verify-archive is in the trail" bash -c "\"$cli\" audit --event 'verification run' | grep -q '\"check\":\"archive\"'"
"$cli" audit verify > out.txt 2> err.txt; rc=$?
check "audit verify passes an untouched archive" bash -c "[ $rc -eq 0 ] && grep -q 'as recorded' out.txt"
cp "$ORONT_ARCHIVE" tampered.sqlite
sqlite3 tampered.sqlite "UPDATE records SET frame = x'07' || substr(frame, 2) WHERE id = 3; DROP TRIGGER audit_no_update; UPDATE audit SET user = 'deputy' WHERE seq = 2"
"$cli" --archive tampered.sqlite audit verify > out.txt 2> err.txt; rc=$?
check "audit verify finds the sqlite3 changes (exit 3)" bash -c "[ $rc -eq 3 ] && grep -q 'First broken link: entry 2 was changed' out.txt && grep -q 'record 3 no longer matches' out.txt"
"$cli" --archive tampered.sqlite signatures download 1 > out.txt; rc=$?
check "the signature of a changed download is not valid (exit 3)" bash -c "[ $rc -eq 3 ] && grep -q 'NOT VALID' out.txt"

# A signed certificate issued again unchanged shows its signature in the
# line to sign; issued again with other data, its signatures are void.
cert=(--demo classify --class 7 --state operational --format pdf)
"$cli" "${cert[@]}" cert1.pdf 2> /dev/null
printf 'op-password\n' | "$cli" sign certificate V208-000001 --meaning performed > /dev/null 2>&1
"$cli" "${cert[@]}" --report-number V208-000001 cert2.pdf > out.txt 2> err.txt; rc=$?
check "issuing a certificate again needs a reason" bash -c "[ $rc -eq 1 ] && grep -q 'give --reason' err.txt"
"$cli" --reason "signed copy" "${cert[@]}" --report-number V208-000001 cert2.pdf 2> /dev/null
check "the signed certificate shows its signer" bash -c "pdftotext cert2.pdf - | grep -q '^Performed by: .* (signed electronically)'"
"$cli" --reason "ISO 8 instead" --demo classify --class 8 --state operational --format pdf --report-number V208-000001 cert3.pdf 2> /dev/null
"$cli" signatures certificate V208-000001 > out.txt; rc=$?
check "changed data voids the signatures" bash -c "[ $rc -eq 0 ] && grep -q 'void (issued again)' out.txt && ! pdftotext cert3.pdf - | grep -q 'signed electronically'"
"$cli" audit verify > out.txt; rc=$?
check "the trail holds after issuing again" bash -c "[ $rc -eq 0 ] && [ \$(\"$cli\" audit --event 'signatures voided' | grep -c 'signatures voided') -eq 1 ]"

# The PostgreSQL client library is opened only when a server is used: not
# for a download archived in a file; for a server location, and when it is
# missing the reason is given.
LD_DEBUG=libs "$cli" --demo save-all pq.csv > /dev/null 2> ld.txt
check "an archive file does not open libpq" bash -c "grep -q 'libsqlite3' ld.txt && ! grep -q 'libpq' ld.txt"
LD_DEBUG=libs "$cli" --archive "postgresql:///none?host=$work/no-server" history > /dev/null 2> ld.txt
check "a server location opens libpq" grep -q 'calling init: .*libpq' ld.txt
ORONT_LIBPQ="$work/none/libpq.so.5" "$cli" --archive "postgresql:///none?host=$work/no-server" history > out.txt 2> err.txt; rc=$?
check "a missing libpq is named" bash -c "[ $rc -ne 0 ] && grep -q 'PostgreSQL client library ($work/none/libpq.so.5) cannot be loaded' err.txt"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
