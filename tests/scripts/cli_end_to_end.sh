#!/usr/bin/env bash
# The command-line tool end to end on simulated instruments: saving, ranges,
# dumps that replay byte for byte (also of failed downloads), failures with
# the program's messages and their causes, and bytes that do not depend on
# the locale. The kinds of targets the files are written to (devices, FIFOs,
# descriptors, signals while writing) are cli_output_targets.sh's.
set -uo pipefail
cli="${ORONT_CLI:?ORONT_CLI must name oront-v208-cli}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
# Every download is archived: into this folder, never the user's archive.
export ORONT_ARCHIVE="$work/archive.sqlite"
failures=0
passes=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAILED: $name"; failures=$((failures + 1)); fi
}

# A dump of the demo instrument is an image that replays to the same dump.
"$cli" --demo dump demo.img
check "dump writes an image" test -s demo.img
"$cli" --simulate demo.img dump again.img
check "dump of a replayed image gives the same bytes" cmp -s demo.img again.img

# save-all gives the same bytes from the demo and from its image, under any locale.
"$cli" --demo save-all a.csv
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 "$cli" --simulate demo.img save-all b.csv
check "save-all writes a file" test -s a.csv
check "save-all bytes do not depend on the locale" cmp -s a.csv b.csv
check "the file starts with its title and header" \
  bash -c "head -c 200 a.csv | tr -d '\r' | head -3 | diff - <(printf '[Test data]\n\nRecord,Mode,Location,Points,Cycles,Date & Time,Sample Time,Hold Time,Ch1 Size, Ch1 Data ,Ch2 Size, Ch2 Data,Ch3 Size,Ch3 Data ,Unit,Status,\n')"
check "every line ends with CR LF" bash -c "[ \"\$(grep -c \$'\r\$' a.csv)\" = \"\$(wc -l < a.csv)\" ]"

# Without a file name the default name is printed and used.
name=$("$cli" --demo save-all)
check "default name is 14 digits + .csv" bash -c "[[ '$name' =~ ^[0-9]{14}\\.csv$ ]] && test -s '$name'"

# save-range writes a part of save-all.
"$cli" --demo save-range 2 3 r.csv
check "save-range writes the header and its records" bash -c "[ \$(wc -l < r.csv) -ge 5 ]"
check "save-range rows are rows of save-all" bash -c "tail -n +4 r.csv | while IFS= read -r l; do grep -qxF \"\$l\" a.csv || exit 1; done"
# A run's last record brings the run's summary; numbers no record carries,
# and a range that runs backwards, are refused without a file.
"$cli" --demo save-range 26 31 run.csv
check "a range ending on a run's last record ends with its summary" \
  bash -c "tail -n 4 run.csv | tr -d '\r' | cut -d, -f5 | tr '\n' ' ' | grep -qx 'AVG MAX MIN 95%UCL '"
for range in "9999 9999" "0 9999" "20 5"; do
  "$cli" --demo save-range $range refused.csv 2> err.txt; rc=$?
  check "save-range $range is refused" bash -c "[ $rc -eq 1 ] && [ \$(wc -l < err.txt) -eq 1 ] && [ ! -e refused.csv ]"
done
"$cli" --demo save-range 1x 3 bad.csv 2> err.txt; rc=$?
check "a malformed number fails with the dialog's message" bash -c "[ $rc -ne 0 ] && grep -q 'Data format is error, Please input data again!' err.txt && [ ! -e bad.csv ]"

# Failures: the program's message, non-zero exit, no output file.
head -c 64 demo.img > short.img
"$cli" --simulate short.img save-all s.csv 2> err.txt; rc=$?
check "a download cut short fails" bash -c "[ $rc -eq 1 ] && grep -qx 'Failed to read records!' err.txt && [ ! -e s.csv ]"
printf '\0%.0s' $(seq 64) > empty.img
"$cli" --simulate empty.img save-all e.csv 2> err.txt; rc=$?
check "an empty instrument says No data!" bash -c "[ $rc -eq 1 ] && grep -qx 'No data!' err.txt && [ ! -e e.csv ]"
"$cli" --demo save-all /nonexistent-dir/x.csv 2> err.txt; rc=$?
check "an unwritable file fails with the save message and its cause" \
  bash -c "[ $rc -eq 1 ] && grep -qxF 'Failed to save records! (No such file or directory: /nonexistent-dir/x.csv)' err.txt"
"$cli" --demo frobnicate 2> /dev/null; rc=$?
check "an unknown command is a usage error" test $rc -eq 2
"$cli" --demo erase 2> /dev/null; rc=$?
check "erase without --yes is a usage error" test $rc -eq 2

# A dump of a failed download writes the packets that arrived, says how many,
# and replays the same failure; an instrument that cannot be reached gives no
# file.
head -c $((64 * 11)) demo.img > cut.img
"$cli" --simulate cut.img dump cut-dump.img 2> err.txt; rc=$?
check "a cut download is dumped as far as it came" \
  bash -c "[ $rc -eq 1 ] && grep -qxF 'Failed to read records! (11 packets written to cut-dump.img)' err.txt && cmp -s cut.img cut-dump.img"
"$cli" --simulate cut-dump.img save-all c.csv 2> err.txt; rc=$?
check "the dump of a cut download replays its failure" \
  bash -c "[ $rc -eq 1 ] && grep -qx 'Failed to read records!' err.txt && [ ! -e c.csv ]"
{ printf '@ER\r'; head -c 60 /dev/zero; } > refused.img
"$cli" --simulate refused.img dump refused-dump.img 2> err.txt; rc=$?
check "a refused count is dumped" \
  bash -c "[ $rc -eq 1 ] && grep -qxF 'Failed to read records! (1 packet written to refused-dump.img)' err.txt && cmp -s refused.img refused-dump.img"
: > silent.img
"$cli" --simulate silent.img dump silent-dump.img 2> err.txt; rc=$?
check "a silent instrument is dumped as an empty image" \
  bash -c "[ $rc -eq 1 ] && grep -qxF 'Failed to read records! (0 packets written to silent-dump.img)' err.txt && [ -f silent-dump.img ] && [ ! -s silent-dump.img ]"
"$cli" --simulate silent-dump.img count 2> err.txt; rc=$?
check "the empty image replays as silence" bash -c "[ $rc -eq 1 ] && grep -qx 'Failed to read records!' err.txt"
ORONT_USB_ID=0000:0001 "$cli" dump usb.img 2> err.txt; rc=$?
check "no instrument: no image" bash -c "[ $rc -eq 1 ] && grep -qx 'Failed to connect USB device!' err.txt && [ ! -e usb.img ]"

# A replaced file keeps its permissions; no temporary is left.
cp a.csv private.csv && chmod 600 private.csv
"$cli" --simulate demo.img save-all private.csv; rc=$?
check "a replaced file keeps its permissions" bash -c "[ $rc -eq 0 ] && [ \"\$(stat -c %a private.csv)\" = 600 ]"
check "no temporary is left" bash -c "! ls -A | grep -q '^\.oront-'"

# Help, version and a strict command line: usage errors are one line and
# exit 2, a page the report lacks exits 1; nothing is written on errors.
for h in --help -h help "--demo save-all --help"; do
  "$cli" $h > out.txt; rc=$?
  check "$h prints the usage" bash -c "[ $rc -eq 0 ] && grep -q '^usage: oront-v208-cli' out.txt"
done
out=$("$cli" --version); rc=$?
check "--version prints the version" bash -c "[ $rc -eq 0 ] && [[ '$out' =~ ^oront-v208-cli\ [0-9]+\.[0-9]+ ]]"
while IFS='|' read -r args why; do
  "$cli" $args 2> err.txt > out.txt; rc=$?
  check "'$args' is a usage error" bash -c "[ $rc -eq 2 ] && [ \$(wc -l < err.txt) -eq 1 ] && grep -qF -- '$why' err.txt && [ ! -s out.txt ] && [ ! -e x.pdf ]"
done <<'EOF_ARGS'
--demo report x.pdf --pages 2-3x|--pages takes FIRST-LAST
--demo report x.pdf --pages 1-2 --pages 1-2|--pages is given twice
--demo --demo count|the instrument is given twice
--demo save-all a.csv b.csv|at most one file name
--demo frobnicate|frobnicate
--demo save-all --out|unknown option --out
|no command given
--demo classify --class 9.5|--class takes a class from 1 to 9
--demo classify --grade B|--grade needs --standard gmp-2022
--demo classify --standard gmp-2022 --grade D --state operational|Grade D in operation has no predetermined limits
--demo classify --class 5|--class and --grade need --state (the occupancy state is never assumed)
--demo classify --class 9 --state at-rest|ISO 9 is a class of the operational state only (ISO 14644-1:2015 Table 1)
--demo classify --standard iso-1999 --class 5 --state both|--state both is for --standard gmp-2022
--demo classify --standard gmp-2022 --grade B --state at-rest --at-rest-runs 1|need --state both
--demo classify --standard gmp-2022 --grade B --state both --at-rest-runs 1 --operational-runs 1-2|run 1 is given at rest and in operation
--demo classify --standard gmp-2022 --grade B --state both --at-rest-runs 0 --operational-runs 1|--at-rest-runs takes run numbers
EOF_ARGS
"$cli" --demo classify --format pdf "" 2> err.txt > out.txt; rc=$?
check "classify --format pdf with an empty file name is a usage error" \
  bash -c "[ $rc -eq 2 ] && grep -qF -- '--format pdf needs an output file' err.txt && [ ! -s out.txt ]"
ORONT_USB_ID=zz:1 "$cli" count 2> err.txt; rc=$?
check "a malformed ORONT_USB_ID is a usage error" bash -c "[ $rc -eq 2 ] && grep -qF 'ORONT_USB_ID=zz:1' err.txt"
if "$cli" --demo report probe.pdf > /dev/null 2>&1; then
  "$cli" --demo report x.pdf --pages 2-99 2> err.txt; rc=$?
  check "a page past the report's end exits 1" bash -c "[ $rc -eq 1 ] && grep -q 'there is no page 99' err.txt && [ ! -e x.pdf ]"
  env -u XDG_RUNTIME_DIR "$cli" --demo report p.pdf --pages 2-3 > out.txt 2> err.txt; rc=$?
  check "report says what it printed, without Qt's chatter" \
    bash -c "[ $rc -eq 0 ] && [ ! -s out.txt ] && diff err.txt <(echo 'Printed pages 2 to 3 of '\$(sed -n 's/.* of \([0-9]*\) to .*/\1/p' err.txt)' to p.pdf') >/dev/null"
fi
"$cli" --demo save-range 26 31 r2.csv > out.txt 2> err.txt
check "save-range says what it wrote" bash -c "[ ! -s out.txt ] && diff err.txt <(echo 'Saved records 0026 to 0031 to r2.csv')"
"$cli" --demo dump d.v208img > out.txt 2> err.txt
check "dump says what it wrote" bash -c "[ ! -s out.txt ] && grep -qxE 'Saved [0-9]+ packets \([0-9]+ records\) to d.v208img' err.txt"

# classify: the JSON shape, exit 0 when every judged run passes (or nothing is
# judged), 3 when one fails, 1 without a complete run; files are confirmed.
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 "$cli" --demo classify --format json > c.json; rc=$?
check "classify writes the JSON of every run" bash -c "[ $rc -eq 0 ] \
  && head -1 c.json | grep -qxF '{\"rooms\": [' \
  && grep -qF '\"classification\": {\"standard\": \"ISO 14644-1:2015\", \"target\": null, \"counts\": \"cumulative\",' c.json \
  && grep -qF '{\"run\": 1, \"first_record\": 26, \"last_record\": 31, \"location\": \"003\", \"start\": \"2015-03-02 09:08:51\", \"sizes_um\": [0.3, 0.5, 5.0], \"points\": [{\"point\": 1, \"cycles\": 3, \"sample_litres\": [2.83, 2.83, 2.83], \"mean_per_m3\": [6238.9' c.json \
  && tail -1 c.json | grep -qxF ' \"verdict\": \"not-judged\"}'"
"$cli" --demo classify --class 9 --state operational --format csv c.csv > out.txt 2> err.txt; rc=$?
check "classify passes at ISO 9 in operation and says what it wrote" \
  bash -c "[ $rc -eq 0 ] && [ ! -s out.txt ] && grep -qx 'Saved the classification of [0-9]* runs to c.csv' err.txt && head -1 c.csv | grep -q '^room,standard,target,'"
"$cli" --demo classify --class 5 --state at-rest > out.txt; rc=$?
check "classify fails at ISO 5 with exit 3" bash -c "[ $rc -eq 3 ] && grep -qx 'Overall result: fail (.*)' out.txt"
{ printf '\0\3'; head -c 62 /dev/zero; tail -c +65 demo.img | head -c 384; } > auto.img
"$cli" --simulate auto.img classify > out.txt 2> err.txt; rc=$?
check "classify without a complete run exits 1" \
  bash -c "[ $rc -eq 1 ] && [ ! -s out.txt ] && grep -qx 'oront-v208-cli: no complete ISO run to classify' err.txt"

# The count of the demo memories.
out=$("$cli" --demo-full count)
check "the full demo memory has 8000 records and wraps" bash -c "grep -qx 'Records: 8000' <<< '$out' && ! grep -qx 'Wrap position: 0' <<< '$out'"

# The archive: every download kept, records once, a download replayed byte
# for byte and not archived again, a failed archive write only a warning.
export ORONT_ARCHIVE="$work/archive2.sqlite"
"$cli" --demo save-all arch1.csv 2> /dev/null
"$cli" --demo-full dump arch.v208img 2> /dev/null
"$cli" --demo save-all arch2.csv 2> /dev/null
"$cli" --from-archive 1 save-all arch3.csv 2> /dev/null
"$cli" --from-archive 2 dump again.v208img 2> /dev/null
"$cli" history --format json > h.json
check "history lists the three downloads with their new records" bash -c "[ \$(grep -c '\"id\"' h.json) -eq 3 ] \
  && grep -q '\"id\": 1, .*\"records\": 300, \"new_records\": 300,' h.json && grep -q '\"id\": 3, .*\"new_records\": 0,' h.json"
check "a download replays byte for byte from the archive" bash -c "cmp -s arch1.csv arch3.csv && cmp -s arch.v208img again.v208img"
"$cli" records > rec.csv
check "records lists each record once, in time order" bash -c "[ \$(wc -l < rec.csv) -eq 8301 ] \
  && tail -n +2 rec.csv | cut -d, -f2 | sort -c"
"$cli" records --location 3 --from 2015-03-02 --to 2015-03-02 --format json > rec.json
check "records filters and gives concentrations per m3" \
  grep -qF '"date_time": "2015-03-02 09:08:51", "mode": "ISO", "location": 3, "point": 1, "cycles": 3, "cycle": 1, "sample_seconds": 60, "sizes": ["0.3um", "0.5um", "5.0um"], "counts": [20, 5, 0], "per_m3": [7062.9, 1765.7, 0.0]' rec.json
"$cli" trend --location 3 --size 0.5 --class 7 t.svg > out.txt 2> err.txt; rc=$?
LC_ALL=de_DE.UTF-8 "$cli" trend --location 3 --size 0.5 --class 7 t-de.svg 2> /dev/null
"$cli" trend --location 3 --grade B --state operational t.png 2> /dev/null
"$cli" trend --location 3 t.pdf 2> /dev/null
check "trend draws a location's cycles with the limit as SVG, PNG and PDF, the same in any locale" \
  bash -c "[ $rc -eq 0 ] && grep -qx 'Saved the trend of location 3 ([0-9]* cycles) to t.svg' err.txt \
  && grep -q '<svg' t.svg && grep -qF 'Limit of ISO 7 (352,000 per m³)' t.svg && cmp -s t.svg t-de.svg \
  && [ \"\$(head -c 8 t.png | od -An -tx1 | tr -d ' ')\" = 89504e470d0a1a0a ] && head -c 5 t.pdf | grep -q '%PDF-'"
"$cli" trend --location 77 t2.svg > out.txt 2> err.txt; rc=$?
"$cli" trend --location 3 t.txt 2> err2.txt; rc2=$?
check "trend of a location without records fails, a wrong file type is a usage error" \
  bash -c "[ $rc -eq 1 ] && [ ! -e t2.svg ] && grep -q 'no record of location 77' err.txt && [ $rc2 -eq 2 ]"
printf 'not an archive' > foreign.sqlite
"$cli" --archive foreign.sqlite --demo save-all arch4.csv > out.txt 2> err.txt; rc=$?
check "a failed archive write is one warning and the save succeeds" bash -c "[ $rc -eq 0 ] && cmp -s arch1.csv arch4.csv \
  && [ \$(grep -c 'warning: the download was not archived' err.txt) -eq 1 ] && [ \"\$(cat foreign.sqlite)\" = 'not an archive' ]"
"$cli" --no-archive --demo save-all arch5.csv 2> /dev/null
"$cli" history > h.txt
check "--no-archive and replays add no download" bash -c "[ \$(wc -l < h.txt) -eq 4 ]"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
