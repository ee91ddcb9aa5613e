#!/usr/bin/env bash
# Acceptance on the database server: a demo site moved onto the server with
# jetmove runs the repair window under a virtual X server, both repairs work,
# while a second workstation process registers and clears screens at the same
# time without a single failure.
#
#   run_server_site.sh NARVO MAKEDEMO JETMOVE JETSQL SCREENS_WORKER XWINDOW_TOOL
#
# The server is the one NARVO_PG names. Exits 77 (skipped) without xvfb-run or
# xdotool, or without a server when the run does not say one is required
# (NARVO_PG_REQUIRED=1).
set -euo pipefail

narvo=$1 makedemo=$2 jetmove=$3 jetsql=$4 worker=$5 tool=$6

if [[ -z ${NARVO_UNDER_XVFB:-} ]]; then
    for p in xvfb-run xdotool; do
        if ! command -v $p >/dev/null; then
            echo "$p is not installed: skipped"
            exit 77
        fi
    done
    if [[ -z ${NARVO_PG:-} ]]; then
        if [[ ${NARVO_PG_REQUIRED:-} == 1 ]]; then
            echo "FAIL: NARVO_PG_REQUIRED is set, but NARVO_PG names no server" >&2
            exit 1
        fi
        echo "no database server given (NARVO_PG): skipped"
        exit 77
    fi
    exec env NARVO_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

app=$(mktemp -d)
prefix="acc_$$"
pid= wpid=
cleanup() {
    for p in $pid $wpid; do
        if kill -0 "$p" 2>/dev/null; then kill "$p" 2>/dev/null || true; fi
    done
    psql -X -q "$NARVO_PG" -c "DO \$\$ DECLARE s text; BEGIN FOR s IN SELECT nspname FROM pg_namespace WHERE nspname LIKE '${prefix}\\_%' LOOP EXECUTE format('DROP SCHEMA %I CASCADE', s); END LOOP; END \$\$" >/dev/null 2>&1 || true
    rm -rf "$app"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    [[ -f $app/worker.out ]] && sed 's/^/  worker: /' "$app/worker.out" >&2
    exit 1
}

cp "$narvo" "$app/narvo"
unset QT_QPA_PLATFORM  # the real X server, not the offscreen platform
year=$(date +%Y)
[[ $(date +%m) < 04 ]] && year=$((year - 1))
yearfile="DB${year}_$(printf %02d $(((year + 1) % 100))).mdb"
today=$(date +%Y-%m-%d)

# The site: a demo folder, moved onto the server by the administrator's tool.
"$makedemo" "$app/DataBase" >/dev/null
"$jetmove" move --server "$NARVO_PG" --prefix "$prefix" --ignore-today "$app/DataBase" >"$app/move.out" ||
    { cat "$app/move.out" >&2; fail "jetmove could not move the demo site"; }
head -1 "$app/DataBase/$yearfile" | grep -q "NARVO SERVER LINK 1" || fail "no link file in place of $yearfile"
[[ -f $app/DataBase/before-server/$yearfile ]] || fail "the original $yearfile was not kept"
future=$("$jetsql" --csv "$app/DataBase/$yearfile" "select count(*) from logs where dates > #$today#" | tail -1)
stale=$("$jetsql" --csv "$app/DataBase/$yearfile" "select count(*) from OnLineUsers where SysId <> 2" | tail -1)
[[ $stale -gt 0 ]] || fail "the demo site has no stale screen records to remove"
[[ $future -gt 0 ]] || fail "the demo site has no future log rows to remove ($future)"

# A second workstation at work on the same site the whole time.
"$worker" --folder "$app" --ws 2 --user 3 --screens 11,12,13,14 --rounds 400 --mode clear >"$app/worker.out" &
wpid=$!

"$app/narvo" &
pid=$!
"$tool" wait Form39 30 || fail "the repair window did not appear"
"$tool" absent narvo || fail "a caution box appeared"
win=$(xdotool search --name '^Form39' | head -1)
xdotool windowfocus --sync "$win"

# Repair 1: the system date. Focus starts on CLOSE; Tab reaches the options.
xdotool key --delay 100 Tab space Tab space
"$tool" wait NARVO 20 || fail "no box after the date repair"
"$tool" close NARVO 5 || fail "could not close the box"
# Repair 2: the screens. Back to the options, the next one, Do It.
xdotool windowfocus --sync "$win"
xdotool key --delay 100 shift+Tab Down Tab space
"$tool" wait NARVO 20 || fail "no box after the screens repair"
"$tool" close NARVO 5 || fail "could not close the box"
sleep 0.5
kill -0 "$pid" 2>/dev/null || fail "the repair program ended"

future=$("$jetsql" --csv "$app/DataBase/$yearfile" "select count(*) from logs where dates > #$today#" | tail -1)
[[ $future == 0 ]] || fail "the date repair left $future future log rows"
others=$("$jetsql" --csv "$app/DataBase/$yearfile" "select count(*) from OnLineUsers where SysId <> 2" | tail -1)
[[ $others == 0 ]] || fail "the screens repair left $others records of other workstations"
boxes=$("$jetsql" --csv "$app/DataBase/$yearfile" "select count(*) from errlog" | tail -1)
[[ $boxes == 0 ]] || fail "the repairs wrote $boxes rows to the error trail"

for i in $(seq 1 600); do
    kill -0 "$wpid" 2>/dev/null || break
    sleep 0.1
done
wait "$wpid" || fail "the second workstation ended with status $?"
wpid=
grep -q '^DONE' "$app/worker.out" || fail "the second workstation did not finish"
if grep -E '^(ERROR|BOX.C)' "$app/worker.out" >&2; then fail "the second workstation met failures"; fi
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
echo "ok: both repairs ran on the server while a second workstation worked ($(grep -c '^BOX' "$app/worker.out") confirmations)"
