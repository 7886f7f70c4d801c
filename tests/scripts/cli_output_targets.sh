#!/usr/bin/env bash
# Where the command-line tool writes. Every command that writes a file, into
# every kind of target: a FIFO, a link to a device, a full device, the
# longest name, a folder that refuses new files, a name that is not UTF-8
# beside the name it would decode to, a descriptor opened with >>, and a
# signal while the file is being made. And every command that prints, into a
# full device and into a pipe whose reader has gone.
set -uo pipefail
cli="${ORONT_CLI:?ORONT_CLI must name oront-v208-cli}"
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2> /dev/null; rm -rf "$work"' EXIT
cd "$work"
# Reachable by the ordinary user some rows write as.
chmod 755 "$work"
# Every download is archived: into this folder, never the user's archive.
export ORONT_ARCHIVE="$work/archive.sqlite"
shopt -s nullglob
failures=0
passes=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAILED: $name"; failures=$((failures + 1)); fi
}
skip() {  # skip WHY: a part that cannot run here
  echo "SKIP: $1"
  check "$1 (required by ORONT_NO_SKIP)" test -z "${ORONT_NO_SKIP:-}"
}

# The commands that write a file, each with the suffix its file needs. The
# trend reads the archive, which gets the demo's download first.
commands=(save-all save-range dump report classify-json classify-pdf trend)
suffix() {
  case $1 in
    report | classify-pdf) echo pdf ;;
    trend) echo svg ;;
    dump) echo v208img ;;
    classify-json) echo json ;;
    *) echo csv ;;
  esac
}
argv() {  # argv COMMAND OUT: sets cmd to the arguments that write OUT
  case $1 in
    save-all) cmd=(--demo save-all "$2") ;;
    save-range) cmd=(--demo save-range 2 3 "$2") ;;
    dump) cmd=(--demo dump "$2") ;;
    report) cmd=(--demo report "$2") ;;
    classify-json) cmd=(--demo classify --format json "$2") ;;
    classify-pdf) cmd=(--demo classify --class 9 --state operational --format pdf "$2") ;;
    trend) cmd=(trend --location 3 "$2") ;;
  esac
}
write() {  # write COMMAND OUT [PREFIX...]: runs the command (after PREFIX, e.g. as another user)
  local c=$1 out=$2; shift 2
  argv "$c" "$out"
  "$@" "$cli" "${cmd[@]}"
}
whole() {  # whole FILE REFERENCE: FILE is the command's whole output (a PDF carries its time: a whole PDF)
  case $1 in
    *.pdf) [ "$(head -c 5 "$1")" = %PDF- ] && tail -c 7 "$1" | grep -qx '%%EOF' ;;
    *) cmp -s "$1" "$2" ;;
  esac
}
export -f whole
"$cli" --demo save-all demo.csv 2> /dev/null
# A build without the report program has no PDFs and no chart.
drawn=(report classify-pdf trend)
if ! "$cli" --demo report probe.pdf > /dev/null 2>&1; then
  commands=(save-all save-range dump classify-json)
  drawn=()
  skip "this build has no report program: no PDF and no chart is written"
fi

# The null and full devices. Were the tool to regress, root would replace the
# system's own /dev/null, so root writes to nodes of the same devices that it
# makes here; others write through links to /dev/null and /dev/full, which
# they cannot replace.
devices=1
if [ "$(id -u)" = 0 ]; then
  if mknod full c 1 7 2> /dev/null && : > full; then full=$work/full; else devices=0; fi
else
  full=/dev/full
fi
[ $devices = 1 ] || skip "no device node of our own opens here; devices are not written as root"
device() {  # device PATH null|full: a node of the device, or a link to the system's
  if [ "$(id -u)" = 0 ]; then mknod "$1" c 1 "$([ "$2" = null ] && echo 3 || echo 7)"; else ln -s "/dev/$2" "$1"; fi
}

# An ordinary user, who cannot write into a folder without its permission:
# nobody, with a home and an archive of its own, when the tests run as root.
as_user=()
ordinary=1
if [ "$(id -u)" = 0 ]; then
  if command -v setpriv > /dev/null; then
    home=$work/home
    # nobody is a user of the copy of the archive it writes.
    "$cli" --reason "writes the output targets" users add nobody --role operator 2> /dev/null
    mkdir -m 700 "$home" && cp archive.sqlite "$home/" && chown -R 65534:65534 "$home"
    as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups -- env HOME="$home" XDG_RUNTIME_DIR="$home"
             ORONT_ARCHIVE="$home/archive.sqlite")
  else
    ordinary=0
    skip "setpriv is missing: no folder that refuses new files is written as an ordinary user"
  fi
fi

for c in "${commands[@]}"; do
  e=$(suffix "$c")
  d=$work/$c
  mkdir "$d"
  write "$c" "$d/ref.$e" 2> /dev/null; rc=$?
  check "$c: a new file" bash -c "[ $rc -eq 0 ] && [ -s '$d/ref.$e' ]"

  # A FIFO: its reader gets the bytes, and it stays a FIFO. A reader that
  # still waits after the command (it never opened the FIFO) is ended.
  mkfifo "$d/fifo.$e"
  timeout 60 cat "$d/fifo.$e" > "$d/from-fifo.$e" &
  reader=$!
  write "$c" "$d/fifo.$e" 2> /dev/null; rc=$?
  for _ in $(seq 100); do kill -0 $reader 2> /dev/null || break; sleep 0.05; done
  kill $reader 2> /dev/null
  wait $reader 2> /dev/null
  check "$c: a FIFO's reader gets the bytes" bash -c "[ $rc -eq 0 ] && [ -p '$d/fifo.$e' ] && whole '$d/from-fifo.$e' '$d/ref.$e'"

  # A descriptor: /dev/stdout after >> keeps appending (the trend's name
  # needs its suffix: a link to /dev/stdout).
  out=/dev/stdout
  [ "$c" = trend ] && { ln -s /dev/stdout "$d/stdout.$e"; out=$d/stdout.$e; }
  printf 'earlier\n' > "$d/log.$e"
  write "$c" "$out" >> "$d/log.$e" 2> /dev/null; rc=$?
  tail -c +9 "$d/log.$e" > "$d/appended.$e"
  check "$c: /dev/stdout after >> appends" \
    bash -c "[ $rc -eq 0 ] && [ \"\$(head -n 1 '$d/log.$e')\" = earlier ] && whole '$d/appended.$e' '$d/ref.$e'"

  if [ $devices = 1 ]; then
    device "$d/null" null
    ln -s "$d/null" "$d/to-null.$e"
    write "$c" "$d/to-null.$e" 2> /dev/null; rc=$?
    check "$c: a link to the null device leaves the device" bash -c "[ $rc -eq 0 ] && [ -L '$d/to-null.$e' ] && [ -c '$d/null' ]"
    device "$d/full.$e" full
    write "$c" "$d/full.$e" 2> "$d/err.txt"; rc=$?
    check "$c: a full device fails with its cause and its name" \
      bash -c "[ $rc -eq 1 ] && grep -qF 'No space left on device: $d/full.$e' '$d/err.txt' && [ -c '$d/full.$e' ]"
  fi

  # The longest name a folder takes.
  long=$d/$(printf 'n%.0s' $(seq $((254 - ${#e})))).$e
  write "$c" "$long" 2> /dev/null; rc=$?
  check "$c: a 255-byte name" bash -c "[ $rc -eq 0 ] && whole '$long' '$d/ref.$e'"

  # A name that is not UTF-8 is the file's name: not the name its
  # replacement character would give, where another file lives.
  odd=$d/p$'\xff'.$e
  decoy=$d/p$'\xef\xbf\xbd'.$e
  printf 'decoy\n' > "$decoy"
  write "$c" "$odd" 2> /dev/null; rc=$?
  check "$c: a name that is not UTF-8 is written, the other name untouched" \
    bash -c "[ $rc -eq 0 ] && whole \"\$1\" '$d/ref.$e' && [ \"\$(cat \"\$2\")\" = decoy ]" _ "$odd" "$decoy"

  # A folder that refuses new files, holding a file its user may write: the
  # file is rewritten in place, and nothing else appears.
  if [ $ordinary = 1 ]; then
    mkdir "$d/locked"
    printf 'old\n' > "$d/locked/out.$e"
    chmod 666 "$d/locked/out.$e"
    chmod 555 "$d/locked"
    inode=$(stat -c %i "$d/locked/out.$e")
    write "$c" "$d/locked/out.$e" "${as_user[@]}" 2> /dev/null; rc=$?
    check "$c: a writable file in a folder that refuses new files is rewritten in place" \
      bash -c "[ $rc -eq 0 ] && whole '$d/locked/out.$e' '$d/ref.$e' && [ \$(stat -c %i '$d/locked/out.$e') = $inode ] \
               && [ \"\$(ls -A '$d/locked')\" = 'out.$e' ]"
  fi
  check "$c: no temporary is left" bash -c "! ls -A '$d' | grep -q '^\.oront-'"
done

# Ended by a signal while the output is being made (the PDFs and the chart
# are drawn with the temporary open): neither the file nor a temporary
# remains. The command is stopped and looked at again and again until its
# temporary shows, so that the signal comes while it is there.
killed() {  # killed COMMAND OUT SIGNAL: prints the temporaries seen and the exit status
  local dir state temps pid seen=0
  dir=$(dirname "$2")
  argv "$1" "$2"
  "$cli" "${cmd[@]}" > /dev/null 2>&1 &
  pid=$!
  while kill -STOP $pid 2> /dev/null; do
    state=R
    while [ "$state" != T ] && [ "$state" != Z ]; do read -r _ _ state _ < "/proc/$pid/stat" || state=Z; done
    [ "$state" = Z ] && break
    temps=("$dir"/.oront-*)
    if [ ${#temps[@]} -gt 0 ]; then
      seen=${#temps[@]}
      break
    fi
    kill -CONT $pid
  done
  kill -s "$3" $pid 2> /dev/null
  kill -CONT $pid 2> /dev/null
  wait $pid
  echo "$seen $?"
}
for c in "${drawn[@]}"; do
  e=$(suffix "$c")
  for sig in TERM HUP; do
    mkdir "$work/killed-$c-$sig"
    out=$work/killed-$c-$sig/out.$e
    read -r seen rc < <(killed "$c" "$out" $sig 2> /dev/null)
    check "$c: SIG$sig while the file is made leaves no file and no temporary" \
      bash -c "[ $seen = 1 ] && [ $rc -eq $((128 + $(kill -l $sig))) ] && [ -z \"\$(ls -A '${out%/*}')\" ]"
  done
done

# Standard output: every command that prints fails with the cause when its
# output is lost, into a full device ...
mkdir default && cd default  # save-all without a name writes its own here
while read -r program args; do
  [ "$program" = report ] && program=$(dirname "$cli")/oront-v208-report || program=$cli
  [ -x "$program" ] || continue
  "$program" $args > "$full" 2> err.txt; rc=$?
  check "${program##*/} $args: a full standard output fails with its cause" \
    bash -c "[ $rc -eq 1 ] && grep -qxF 'oront-v208-cli: cannot write to standard output (No space left on device)' err.txt"
done <<'EOF'
cli --help
cli --demo save-all --help
cli --version
cli --demo count
cli --demo erase --yes
cli --demo save-all
cli --demo classify
cli --demo classify --format json
cli --demo classify --format csv
cli history
cli history --format json
cli records
cli records --format json
cli verify-archive
cli trend --help
report --help
report --demo count
EOF
cd "$work"
# ... and into a pipe whose reader has gone, with SIGPIPE ignored.
mkfifo gone
exec 3<> gone  # a reader, so that opening the writing end does not wait
exec 4> gone
exec 3<&-
(trap '' PIPE; "$cli" --demo count >&4 2> err.txt); rc=$?
exec 4>&-
check "count into a pipe whose reader has gone fails with its cause" \
  bash -c "[ $rc -eq 1 ] && grep -qxF 'oront-v208-cli: cannot write to standard output (Broken pipe)' err.txt"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
