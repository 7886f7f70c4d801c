#!/usr/bin/env bash
# The command-line report: the demo instrument's report as a 600-dpi A4
# landscape PDF, a page range, and failures that leave no file.
set -u
cli="${ORONT_CLI:?ORONT_CLI is not set}"
out="${ORONT_TEST_OUTPUT:-/tmp}/print_cli_report"
rm -rf "$out"
mkdir -p "$out"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"

fail() { echo "FAIL: $*" >&2; exit 1; }

probe="$("$cli" --demo report "$out/all.pdf" 2>&1)"
rc=$?
if [ $rc -ne 0 ] && grep -q -e "not available" -e "no printing support" <<<"$probe"; then
    echo "SKIP: this build of the command-line tool has no report command ($probe)"
    [ -z "${ORONT_NO_SKIP:-}" ] || fail "the report command is required (ORONT_NO_SKIP)"
    exit 0
fi
[ $rc -eq 0 ] || fail "report exited with $rc: $probe"
# The tool itself does not link Qt: the report runs in oront-v208-report.
if command -v ldd >/dev/null && ldd "$cli" | grep -qi 'libqt'; then fail "oront-v208-cli links Qt"; fi
[ -s "$out/all.pdf" ] || fail "no PDF written"
[ ! -e "$out/all.pdf.part" ] || fail "partial file left behind"

if ! command -v pdfinfo >/dev/null || ! command -v pdftotext >/dev/null; then
    echo "SKIP: poppler-utils missing; the PDF was written"
    [ -z "${ORONT_NO_SKIP:-}" ] || fail "poppler-utils are required (ORONT_NO_SKIP)"
    exit 0
fi
info="$(pdfinfo "$out/all.pdf")"
pages="$(awk '/^Pages:/ {print $2}' <<<"$info")"
[ -n "$pages" ] && [ "$pages" -ge 1 ] || fail "no pages: $info"
grep -q "842 x 595 pts (A4)" <<<"$info" || fail "not A4 landscape: $info"
text="$(pdftotext -layout "$out/all.pdf" -)"
for s in "Measurement Result" "Model:V208 S/N:" "Reocrd" "Print Date:" "Page 1 of $pages" "Page $pages of $pages"; do
    grep -qF "$s" <<<"$text" || fail "missing '$s' in the PDF text"
done

if [ "$pages" -ge 2 ]; then
    "$cli" --demo report "$out/two.pdf" --pages 2-2 >/dev/null 2>&1 || fail "--pages 2-2 failed"
    [ "$(pdfinfo "$out/two.pdf" | awk '/^Pages:/ {print $2}')" = 1 ] || fail "--pages 2-2 is not one page"
    pdftotext -layout "$out/two.pdf" - | grep -qF "Page 2 of $pages" || fail "--pages 2-2 is not page 2"
fi

# Failures: a message on stderr, a non-zero status and no file.
err="$("$cli" --demo report "$out/missing-folder/x.pdf" 2>&1 >/dev/null)" && fail "writing into a missing folder succeeded"
grep -qF "Failed to connect the Print!" <<<"$err" || fail "unexpected message: $err"
[ ! -e "$out/missing-folder" ] || fail "output left behind"
err="$("$cli" --demo report "$out/range.pdf" --pages 3-2 2>&1 >/dev/null)" && fail "range 3-2 succeeded"
[ ! -e "$out/range.pdf" ] || fail "range 3-2 left a file"
# The classification certificate: the verdicts and achieved class the JSON
# gives for the same settings, and the lines to sign. Class 5 fails the demo.
"$cli" --demo classify --class 5 --state at-rest --format pdf "$out/certificate.pdf" >/dev/null 2>&1
rc=$?
[ $rc -eq 3 ] || fail "classify --format pdf exited with $rc (3 expected)"
json="$("$cli" --demo classify --class 5 --state at-rest --format json)"
verdict="$(tail -n 1 <<<"$json" | sed -n 's/.*"verdict": "\([a-z-]*\)".*/\1/p')"
achieved="$(sed -n 's/.*"achieved_class": \([0-9.]*\), "limiting_size_um": [0-9.a-z]*, "limited_by": "\([^"]*\)".*/ISO \1, limited by \2/p' \
    <<<"$json" | head -n 1 | sed 's/\.0,/,/')"
[ -n "$verdict" ] && [ -n "$achieved" ] || fail "no verdict or achieved class in the JSON"
text="$(pdftotext -layout "$out/certificate.pdf" -)"
for s in "Overall verdict: $verdict" "Achieved class: $achieved" "Performed by:" "Reviewed by:"; do
    grep -qF "$s" <<<"$text" || fail "missing '$s' in the certificate"
done
echo "PASS: $pages pages, the certificate"
