#!/usr/bin/env bash
# A scheduler's SIGTERM (or a Ctrl-C) during a run: the command running then is ended with all it
# started, no later step runs, the log says why and closes, and the exit status says which signal.
set -u
source "$(dirname "$0")/common.bash" "$1"

# The marker names this run's sleeps so that the check finds no one else's.
marker="$RANDOM$RANDOM"
cat > stop.ovk <<OVK
<?xml version="1.0" encoding="windows-1251" standalone="yes"?>
<root>
	<ACT>
		<Name>Daily</Name>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>Long</Name>
		<AType>CMD</AType>
		<cmd>echo started; (sleep 300 $marker; true) &amp; sleep 300 $marker</cmd>
	</ACT>
	<ACT>
		<ActParent>0</ActParent>
		<Name>After</Name>
		<AType>CMD</AType>
		<cmd>touch after-ran</cmd>
	</ACT>
</root>
OVK
# `sleep 300 <marker>` would fail on the extra operand; a wrapper keeps the marker on the line.
mkdir -p bin
printf '#!/bin/sh\nexec /bin/sleep "$1"\n' > bin/sleep && chmod +x bin/sleep
export PATH="$home/bin:$PATH"

for signal in TERM INT; do
  : > Orvik18.log
  rm -f after-ran
  # A background job ignores SIGINT unless told otherwise; job control gives it back.
  set -m
  "$orvik" stop.ovk /act:Daily &
  pid=$!
  set +m
  for _ in $(seq 50); do grep -q 'Step Long' Orvik18.log 2>/dev/null && break; sleep 0.1; done
  sleep 0.5
  kill -s "$signal" "$pid"
  started=$SECONDS
  wait "$pid"
  status=$?
  [ $((SECONDS - started)) -le 10 ] || fail "SIG$signal took $((SECONDS - started)) s to end the run"
  expected=143; [ "$signal" = INT ] && expected=130
  [ "$status" -eq "$expected" ] || fail "SIG$signal: exit status $status, expected $expected"
  grep -q "terminated by signal" Orvik18.log || fail "SIG$signal: the reason is not logged"
  grep -q '\*\*\* Stop Orvik \*\*\*' Orvik18.log || fail "SIG$signal: no stop line"
  grep -q 'CMD Output: <started>' Orvik18.log || fail "SIG$signal: the output so far is not logged"
  [ -e after-ran ] && fail "SIG$signal: a step ran after the stop request"
  for _ in $(seq 50); do pgrep -f "sleep 300 $marker" > /dev/null || break; sleep 0.1; done
  pgrep -f "sleep 300 $marker" > /dev/null && fail "SIG$signal: the command's processes survived"
done
echo "stop signal checks passed"
