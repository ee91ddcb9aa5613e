#!/usr/bin/env bash
# Runs the repair program as a user starts it, under a virtual X server.
#
#   run_program.sh SCENARIO NARVO MAKEDEMO XWINDOW_TOOL [OUT.png]
#
# The program is copied into a fresh application folder, so that its DataBase
# folder is the one made here.
#   starts       with a demo database the window "Form39" appears, no caution
#                box does, and the program stays up until it is killed;
#   no-database  without a DataBase folder the caution box (titled with the
#                program's name) appears and the window does not; closing the
#                box ends the program with the failure status 1;
#   screenshot   with a demo database, writes a picture of the window to OUT.png.
# Exits 77 (skipped) when xvfb-run is not installed.
set -euo pipefail

scenario=$1 narvo=$2 makedemo=$3 tool=$4 out=${5:-}

if [[ -z ${NARVO_UNDER_XVFB:-} ]]; then
    if ! command -v xvfb-run >/dev/null; then
        echo "xvfb-run is not installed: skipped"
        exit 77
    fi
    exec env NARVO_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" \
        bash "$0" "$@"
fi

# The application folder's path holds characters that a connection string
# must quote (';', '=', a quote): the program starts from such a folder too.
base=$(mktemp -d)
app="$base/app;folder=1'x"
mkdir "$app"
pid=
cleanup() {
    if [[ -n $pid ]] && kill -0 "$pid" 2>/dev/null; then kill "$pid" 2>/dev/null || true; fi
    rm -rf "$base"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cp "$narvo" "$app/narvo"
unset QT_QPA_PLATFORM  # the real X server, not the offscreen platform

# Waits up to $2 seconds for process $1 to end and sets `status` to its exit
# status; fails when it is still running then.
wait_exit() {
    local p=$1 limit=$(($2 * 10)) i=0
    while kill -0 "$p" 2>/dev/null; do
        ((i++ < limit)) || return 1
        sleep 0.1
    done
    status=0
    wait "$p" || status=$?
}

case $scenario in
starts)
    "$makedemo" "$app/DataBase" >/dev/null
    "$app/narvo" &
    pid=$!
    "$tool" wait Form39 30 || fail "the repair window did not appear"
    "$tool" absent narvo || fail "a caution box appeared"
    sleep 2
    kill -0 "$pid" 2>/dev/null || fail "the program ended by itself"
    "$tool" wait Form39 1 || fail "the repair window went away"
    kill "$pid"
    wait "$pid" 2>/dev/null || true
    pid=
    echo "ok: the program started with its window and stayed up"
    ;;
no-database)
    "$app/narvo" &
    pid=$!
    "$tool" wait narvo 30 || fail "no caution box appeared"
    "$tool" absent Form39 || fail "the repair window showed before the caution"
    "$tool" close narvo 5 || fail "could not close the caution box"
    wait_exit "$pid" 20 || fail "the program did not end after the caution"
    pid=
    [[ $status == 1 ]] || fail "exit status $status, expected 1"
    echo "ok: no database, caution shown, program ended with status 1"
    ;;
screenshot)
    [[ -n $out ]] || fail "no output file given"
    command -v import >/dev/null || fail "imagemagick's import is not installed"
    "$makedemo" "$app/DataBase" >/dev/null
    "$app/narvo" &
    pid=$!
    "$tool" wait Form39 30 || fail "the repair window did not appear"
    sleep 1
    geometry=$("$tool" geometry Form39 1)
    # The window and a dark margin of the empty screen around it, so that its
    # edge shows.
    IFS='x+' read -r w h x y <<<"$geometry"
    m=12
    import -window root -crop "$((w + 2 * m))x$((h + 2 * m))+$((x - m))+$((y - m))" +repage "$out"
    echo "ok: $out (window $geometry)"
    ;;
*)
    fail "unknown scenario '$scenario'"
    ;;
esac
