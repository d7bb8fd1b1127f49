#!/usr/bin/env bash
# The interface library plug-ins link against must hold every function orvik/PlugInApi.h declares
# (a missing one fails the link of a plug-in that calls it), nothing the header does not declare,
# and each under the very signature the core library exports (or a plug-in links here and fails to
# load at a user's site). The header is read line by line here, apart from the generator's reading.
#   interface_stub_complete.sh <nm> <PlugInApi.h> <interface library> <core library>
set -u
export LC_ALL=C
nm="$1"
header="$2"
stub="$3"
core="$4"

# "name(argument types)" of each function a library defines, one a line.
functions() {
  "$nm" -D --defined-only -C "$1" | awk '$2 == "T" { $1 = ""; $2 = ""; sub(/^ +/, ""); print }' |
    sort
}
# The names alone, one a line for each overload (without the tag of a std::string result).
names() { sed 's/(.*//; s/\[abi:[^]]*\]$//' | sort; }

declared=$(grep -E '^ORVIK_API ' "$header" | sed -E 's/\(.*//; s/.*[^A-Za-z0-9_]//' | sort)
stubbed=$(functions "$stub")
exported=$(functions "$core")
status=0

if [ -z "$declared" ] || [ -z "$stubbed" ]; then
  echo "FAIL: nothing read (declared: $(echo "$declared" | wc -w), stubbed: $(echo "$stubbed" | wc -l))"
  exit 1
fi
missing=$(comm -23 <(echo "$declared") <(echo "$stubbed" | names))
if [ -n "$missing" ]; then
  echo "FAIL: declared in $(basename "$header") but not in the interface library:"
  echo "$missing"
  status=1
fi
extra=$(comm -13 <(echo "$declared") <(echo "$stubbed" | names))
if [ -n "$extra" ]; then
  echo "FAIL: in the interface library but not declared in $(basename "$header"):"
  echo "$extra"
  status=1
fi
unresolved=$(comm -23 <(echo "$stubbed") <(echo "$exported"))
if [ -n "$unresolved" ]; then
  echo "FAIL: in the interface library but not exported by the core library as written:"
  echo "$unresolved"
  status=1
fi
[ $status -eq 0 ] && echo "OK: $(echo "$stubbed" | wc -l) functions"
exit $status
