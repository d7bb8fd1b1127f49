#!/usr/bin/env bash
# A run stopped (SIGTERM) while a mail or upload step waits on a server that says nothing, or on a
# connect nobody answers, ends within seconds with 143, instead of sitting out the time-outs.
set -u
net="$(cd "$(dirname "$0")/../net" && pwd)"
source "$(dirname "$0")/common.bash" "$1"
sqlite3 data.db "create table t (n integer); insert into t values (1);" || fail "sqlite3"
peer=
trap 'kill $peer 2>/dev/null; rm -rf "$home"' EXIT

write_report() {  # server [step type]
  local step="<AType>SMTP</AType><Srv>$1</Srv><Adr>boss@example.com</Adr>"
  [ "${2:-SMTP}" = FTP ] && step="<AType>FTP</AType><Srv>$1</Srv>"
  one_sheet_report mail.ovk "$step"
}

# Runs the report, stops it after a second and checks how and how soon it ended.
stopped_in_time() {  # what
  local started=$SECONDS
  "$orvik" mail.ovk /act:Mail 2>err &
  local run=$!
  sleep 1
  kill -TERM $run
  wait $run
  local status=$?
  [ "$status" = 143 ] || fail "$1: exit status $status, not 143: $(cat err)"
  [ $((SECONDS - started)) -le 8 ] || fail "$1: took $((SECONDS - started)) s"
  grep -q "terminated by signal 15" err || fail "$1: stderr: $(cat err)"
}

# A server that takes the connection and never greets: 90 s of waiting, were it not stopped.
printf '[General]\nDefAdrFrom=reports@example.com\n' > settings.ini
/usr/bin/python3 "$net/scripted_server.py" session.log > peer.out &
peer=$!
for _ in $(seq 50); do [ -s peer.out ] && break; sleep 0.1; done
[ -s peer.out ] || fail "the scripted server did not start"
write_report "127.0.0.1:$(head -n 1 peer.out)"
stopped_in_time "silent server"
kill $peer 2>/dev/null

# The same as an FTP server that never greets: the upload ends on the stop as well.
/usr/bin/python3 "$net/scripted_server.py" ftp-session.log > ftp-peer.out &
peer=$!
for _ in $(seq 50); do [ -s ftp-peer.out ] && break; sleep 0.1; done
[ -s ftp-peer.out ] || fail "the scripted FTP server did not start"
write_report "127.0.0.1:$(head -n 1 ftp-peer.out)" FTP
stopped_in_time "silent FTP server"
kill $peer 2>/dev/null

# A connect nobody answers (a full backlog drops the SYN), with the system's own limit.
printf '[General]\nDefAdrFrom=reports@example.com\nMailConnectTimeout=0\n' > settings.ini
/usr/bin/python3 - > hole.out <<'PY' &
import socket, time
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(0)
held = []
for _ in range(4):
    s = socket.socket()
    s.setblocking(False)
    s.connect_ex(listener.getsockname())
    held.append(s)
time.sleep(0.2)
print(listener.getsockname()[1], flush=True)
time.sleep(60)
PY
peer=$!
for _ in $(seq 50); do [ -s hole.out ] && break; sleep 0.1; done
[ -s hole.out ] || fail "the unanswering port did not start"
write_report "127.0.0.1:$(head -n 1 hole.out)"
stopped_in_time "unanswered connect"
exit 0
