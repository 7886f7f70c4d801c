#!/usr/bin/env bash
# The command-line tool end to end on simulated instruments: saving, ranges,
# dumps that replay byte for byte, failures with the program's messages and no
# output file, and bytes that do not depend on the locale.
set -uo pipefail
cli="${ORONT_CLI:?ORONT_CLI must name oront-v208-cli}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
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
check "an unwritable file fails with the save message" bash -c "[ $rc -eq 1 ] && grep -qx 'Failed to save records!' err.txt"
"$cli" --demo frobnicate 2> /dev/null; rc=$?
check "an unknown command is a usage error" test $rc -eq 2
"$cli" --demo erase 2> /dev/null; rc=$?
check "erase without --yes is a usage error" test $rc -eq 2

# The count of the demo memories.
out=$("$cli" --demo-full count)
check "the full demo memory has 8000 records and wraps" bash -c "grep -qx 'Records: 8000' <<< '$out' && ! grep -qx 'Wrap position: 0' <<< '$out'"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
