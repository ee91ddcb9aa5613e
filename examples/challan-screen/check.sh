#!/usr/bin/env bash
# Drives the example screen as two workstations would, offscreen, on a demo
# database, and checks what it did with jetsql.
#
#   check.sh CHALLAN_SCREEN MAKEDEMO JETSQL
#
# 1. Workstation 1 opens the screen (nobody else has it), saves one challan
#    with the next number, and closes: the challan is stored, no occupancy
#    record is left behind.
# 2. Workstation 2 holds the screen (its record is in OnLineUsers);
#    workstation 1 opening it is told who has it and stays read only.
set -euo pipefail
screen=$1 makedemo=$2 jetsql=$3
export QT_QPA_PLATFORM=offscreen

app=$(mktemp -d)
trap 'rm -rf "$app"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
"$makedemo" "$app/DataBase" >/dev/null
year=$(ls "$app"/DataBase/DB20*.mdb | sort | tail -1)
q() { "$jetsql" --csv "$year" "$1" | tail -n +2; }

next=$(( $(q "select max(val(dcno)) from DCINV") + 1 ))
out=$("$screen" --app-folder "$app" --workstation 1 --user 1 --unattended --save-and-close)
echo "$out"
grep -q "screen open: challan $next, [1-9][0-9]* customers, may save" <<<"$out" ||
    fail "the screen did not open with challan $next"
grep -q "saved challan $next; next $((next + 1))" <<<"$out" || fail "the challan was not saved"
grep -q "message \[NARVO\]:  Successful Operation" <<<"$out" || fail "no confirmation"
[[ $(q "select count(*) from DCINV where dcno='$next' and amount=99.5") == 1 ]] ||
    fail "challan $next is not in DCINV"
[[ $(q "select count(*) from OnLineUsers where ScreenId=41") == 0 ]] ||
    fail "an occupancy record was left behind"

q "delete * from OnLineUsers" >/dev/null
"$jetsql" "$year" "insert into OnLineUsers (DateT, SysId, UserId, UserVal, ScreenId) \
values (#2026-06-01 09:00:00#, 2, 2, 2, 41)" >/dev/null
out=$("$screen" --app-folder "$app" --workstation 1 --user 1 --unattended --save-and-close)
echo "$out"
grep -q "This Screen was already opened by | User Name : " <<<"$out" ||
    fail "the read-only notice was not shown"
grep -q "read only" <<<"$out" || fail "the screen did not turn read only"
grep -q "not saved: the screen is read only" <<<"$out" || fail "a read-only screen saved"
[[ $(q "select count(*) from DCINV where dcno='$((next + 1))'") == 0 ]] ||
    fail "a read-only screen stored a challan"
[[ $(q "select count(*) from OnLineUsers where ScreenId=41") == 1 ]] ||
    fail "the other workstation's record was touched"
echo "example screen: ok"
