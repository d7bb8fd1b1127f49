# What every integration test begins with, sourced as `source common.bash "$1"`: the program
# under test in $orvik, a throw-away program folder in $home (removed on exit) that is also the
# working folder, and fail, which says why and shows the log.
orvik="$1"
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export ORVIK_HOME="$home" ORVIK_CONFIG="$home/settings.ini"
fail() { echo "FAIL: $*"; echo "--- log:"; cat "$home/Orvik18.log" 2>/dev/null; exit 1; }
cd "$home" || exit 1
