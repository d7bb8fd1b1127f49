#!/usr/bin/env bash
# Drives the real program the way a scheduler does and checks the log it leaves and its exit status.
set -u
orvik="$1"
fail() { echo "FAIL: $*"; exit 1; }
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export ORVIK_HOME="$home" ORVIK_CONFIG="$home/settings.ini"
stamp='[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} \([0-9]+\) : '

# A task with no report: the three framing lines, the reason, and a failing status.
"$orvik" /act:Daily >"$home/out" 2>&1
status=$?
[ "$status" -ne 0 ] || fail "a run without a report exited 0"
log="$home/Orvik18.log"
[ -f "$log" ] || fail "no log written"
grep -Eq "^${stamp}\*\*\* Start Orvik \*\*\*\$" "$log" || fail "start line: $(cat "$log")"
grep -Eq "^${stamp}Act =Daily\$" "$log" || fail "act line: $(cat "$log")"
grep -Eq "^${stamp}No report file was given" "$log" || fail "reason line: $(cat "$log")"
grep -Eq "^${stamp}\*\*\* Stop Orvik \*\*\*\$" "$log" || fail "stop line: $(cat "$log")"
[ "$(tail -c 3 "$log" | od -An -c | tr -d ' ')" = '\n\n\n' ] || fail "stop line must end the run with two empty lines"
[ "$(grep -c 'Start Orvik' "$log")" -eq 1 ] || fail "one start line per run"
# The terminal gets one line: what failed, and where the log is.
[ "$(cat "$home/out")" = "orvik: (no report): no report file was given (log: $home/Orvik18.log)" ] ||
  fail "terminal line: $(cat "$home/out")"
[ -d "$home/HTML" ] || fail "HTML work folder not created"
grep -q '^Language=ENG' "$ORVIK_CONFIG" || fail "settings were not written back"

# A second run appends; a named report that cannot be loaded is reported and fails the run.
"$orvik" "$home/Missing Report.ovk" "/act:Distribution 1"
[ $? -ne 0 ] || fail "a run with a missing report exited 0"
[ "$(grep -c 'Start Orvik' "$log")" -eq 2 ] || fail "the log must keep earlier runs"
grep -q "Act =Distribution 1\$" "$log" || fail "task names keep their blanks"
grep -q "Cannot open file $home/Missing Report.ovk" "$log" || fail "missing report not logged"

# Help, and an interactive start without the designer.
"$orvik" --help | grep -q '/act:TASK' || fail "--help text"
"$orvik" /? >/dev/null || fail "/? must exit 0"
if ! "$orvik" --help | grep -q 'designer'; then fail "usage must mention the designer"; fi
# Without a display the designer cannot open: the program says so and exits 2 (a build without the
# designer says that instead).
env -u DISPLAY -u WAYLAND_DISPLAY "$orvik" >/dev/null 2>"$home/err"
status=$?
[ "$status" -eq 2 ] || fail "an interactive start without a display exited $status"
grep -q -e 'no display' -e 'no designer' "$home/err" || fail "no message for status 2"
echo "batch run checks passed"
