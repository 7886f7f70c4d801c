#!/usr/bin/env bash
# The archive's SQL for a site's PostgreSQL server, run on a throwaway
# server: it sets up the schema and the roles (and again, changing
# nothing); a login with only the operator role appends to the audit trail
# but cannot change or delete it, nor the site register, nor another
# user's row; an administrator changes the register, and nobody, not even
# the tables' owner, changes the trail.
set -uo pipefail
cli="${ORONT_CLI:?ORONT_CLI must name oront-v208-cli}"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
failures=0
passes=0
check() {  # check NAME CONDITION...
  local name="$1"; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAILED: $name"; failures=$((failures + 1)); fi
}
if ! server=$("$here/../support/pg-server.sh" start "$work/pg"); then
  echo "FAILED: the throwaway PostgreSQL server does not start"
  rm -rf "$work"
  exit 1
fi
eval "$server"
trap '"$here/../support/pg-server.sh" stop "$work/pg"; rm -rf "$work"' EXIT
cd "$work"
sql() {  # sql LOGIN STATEMENT: psql as LOGIN; its output and errors in out.txt
  psql -U "$1" -v ON_ERROR_STOP=1 -qAtc "$2" > out.txt 2>&1
}

"$cli" archive-setup --print-sql > setup.sql; rc=$?
check "archive-setup prints the SQL" bash -c "[ $rc -eq 0 ] && grep -q 'CREATE ROLE oront_operator' setup.sql"
psql -v ON_ERROR_STOP=1 -q -f setup.sql > first.txt 2>&1; rc=$?
check "the SQL sets up the archive" bash -c "[ $rc -eq 0 ] && [ \$(psql -qAtc \"SELECT count(*) FROM information_schema.tables WHERE table_schema = 'oront'\") -eq 17 ]"
psql -v ON_ERROR_STOP=1 -q -f setup.sql > second.txt 2>&1; rc=$?
check "run again, it changes nothing" bash -c "[ $rc -eq 0 ] && [ \$(psql -qAtc 'SELECT count(*) FROM oront.schema_migrations') -eq 2 ]"

psql -v ON_ERROR_STOP=1 -q -c "CREATE ROLE otto LOGIN; GRANT oront_operator TO otto;
  CREATE ROLE ada LOGIN; GRANT oront_administrator TO ada;" > /dev/null 2>&1
sql ada "INSERT INTO oront.users(name, full_name, role) VALUES ('ada', 'Ada', 'administrator'), ('otto', 'Otto', 'operator')"
check "an administrator adds users" test $? -eq 0
entry="INSERT INTO oront.audit VALUES (1, 0, 0, 'otto', '2.61', 'download archived', '{}', '', '0', '1')"
sql otto "$entry"
check "an operator appends to the trail" test $? -eq 0
for statement in "UPDATE oront.audit SET reason = 'x'" "DELETE FROM oront.audit" "TRUNCATE oront.audit" \
                 "INSERT INTO oront.rooms VALUES (0, 'FR1', 'Filling', 20, 0, 70, '', 1, '', 3)" \
                 "UPDATE oront.users SET role = 'administrator' WHERE name = 'otto'"; do
  sql otto "$statement"; rc=$?
  check "an operator may not: $statement" bash -c "[ $rc -ne 0 ] && grep -q 'permission denied' out.txt"
done
sql otto "UPDATE oront.users SET failures = 0 WHERE name = 'ada' RETURNING name"
check "an operator's own row only" bash -c "[ $? -eq 0 ] && [ ! -s out.txt ]"
sql otto "UPDATE oront.users SET failures = 1 WHERE name = 'otto' RETURNING name"
check "an operator counts the own failed signing" bash -c "[ $? -eq 0 ] && grep -qx otto out.txt"
sql ada "INSERT INTO oront.rooms VALUES (0, 'FR1', 'Filling', 20, 0, 70, '', 1, '', 3)"
check "an administrator changes the register" test $? -eq 0
for login in ada oront; do
  sql "$login" "UPDATE oront.audit SET reason = 'x'"; rc=$?
  check "$login cannot change the trail" bash -c "[ $rc -ne 0 ] && grep -Eq 'permission denied|takes no changes' out.txt"
  sql "$login" "DELETE FROM oront.audit"; rc=$?
  check "$login cannot delete from the trail" bash -c "[ $rc -ne 0 ] && grep -Eq 'permission denied|takes no changes' out.txt"
done
check "the trail holds its entry" bash -c "[ \$(psql -qAtc 'SELECT count(*) FROM oront.audit') -eq 1 ]"


# The program itself with a login that has only the operator role: it
# archives, lists and verifies, and the trail names the login.
psql -v ON_ERROR_STOP=1 -q -c "CREATE DATABASE work" > /dev/null 2>&1
psql -v ON_ERROR_STOP=1 -q -d work -f setup.sql > /dev/null 2>&1
psql -v ON_ERROR_STOP=1 -q -d work -c "INSERT INTO oront.users(name, full_name, role) VALUES
  ('ada', 'Ada', 'administrator'), ('otto', 'Otto', 'operator')" > /dev/null 2>&1
export ORONT_ARCHIVE="postgresql://otto@/work?host=$PGHOST" XDG_DATA_HOME="$work/xdg"
"$cli" --demo save-all records.csv > cli.txt 2>&1
check "an operator's login archives a download" bash -c "grep -q 'Saved 300 records' cli.txt && ! grep -q warning cli.txt"
"$cli" history > history.txt 2>&1
check "and lists it" bash -c "[ \$(grep -c ' 2150042 ' history.txt) -eq 1 ]"
"$cli" audit verify > verify.txt 2>&1
check "the trail is sound and names the login" bash -c "grep -q 'as recorded' verify.txt &&
  [ \$(psql -d work -qAtc \"SELECT count(*) FROM oront.audit WHERE \\\"user\\\" = 'otto'\") -ge 2 ]"

echo "$passes passed, $failures failed"
[ $failures -eq 0 ]
