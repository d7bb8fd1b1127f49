#!/usr/bin/env bash
# A mail step with a login meets a server (or someone in between) that offers no STARTTLS but a
# login in clear: whether the server is written bare or as smtp://, and whether MailSecurity is
# empty or starttls, the run fails with one line on standard error and the server never sees
# AUTH, let alone the password. Only MailSecurity none sends the login in clear.
set -u
net="$(cd "$(dirname "$0")/../net" && pwd)"
source "$(dirname "$0")/common.bash" "$1"
secret='pw-that-must-not-travel'
sqlite3 data.db "create table t (n integer); insert into t values (1), (2);" || fail "sqlite3"
printf '[General]\nDefAdrFrom=reports@example.com\nMailUser=reports\nMailPasswordCommand=echo %s\n' \
  "$secret" > settings.ini

# Serves one session as a server whose STARTTLS was stripped; the session is written to $1.
peer=
start_peer() {
  /usr/bin/python3 "$net/scripted_server.py" "$1" 'send:220 relay ready\r\n' recv \
    'send:250-relay.test\r\n250-AUTH PLAIN LOGIN\r\n250 SIZE\r\n' recv \
    'send:235 welcome\r\n' recv 'send:250 ok\r\n' recv 'send:250 ok\r\n' recv \
    'send:354 go on\r\n' recvdata 'send:250 queued\r\n' recv 'send:221 bye\r\n' > peer.out &
  peer=$!
  for _ in $(seq 50); do [ -s peer.out ] && break; sleep 0.1; done
  port=$(head -n 1 peer.out)
  [ -n "$port" ] || fail "the scripted server did not start"
}
trap 'kill $peer 2>/dev/null; rm -rf "$home"' EXIT

write_report() {  # server, security
  one_sheet_report mail.ovk "<AType>SMTP</AType><Srv>$1</Srv><Adr>boss@example.com</Adr><MailSecurity>$2</MailSecurity>"
}

n=0
for variant in "bare|" "smtp|" "bare|starttls" "smtp|STARTTLS"; do
  n=$((n + 1))
  form=${variant%%|*} security=${variant#*|}
  start_peer "session$n.log"
  server="127.0.0.1:$port"
  [ "$form" = smtp ] && server="smtp://$server"
  write_report "$server" "$security"
  "$orvik" mail.ovk /act:Mail 2>err
  status=$?
  kill $peer 2>/dev/null; wait $peer 2>/dev/null
  [ "$status" = 1 ] || fail "$variant: exit status $status, not 1"
  [ "$(wc -l < err)" = 1 ] || fail "$variant: stderr is not one line: $(cat err)"
  grep -q "does not offer STARTTLS, so the login was not sent" err || fail "$variant: stderr: $(cat err)"
  grep -q AUTH "session$n.log" && fail "$variant: AUTH reached the server: $(cat "session$n.log")"
  [ "$(tr -d '\r' < "session$n.log")" = "$(printf 'EHLO %s\nQUIT' "$(hostname)")" ] ||
    fail "$variant: the server received: $(cat -A "session$n.log")"
  grep -q "$secret" Orvik18.log err && fail "$variant: the password was written somewhere"
done

# Chosen on purpose, the login goes in clear, and the log says so.
start_peer session-none.log
write_report "127.0.0.1:$port" none
"$orvik" mail.ovk /act:Mail 2>err || fail "MailSecurity none: exit status $?: $(cat err)"
kill $peer 2>/dev/null; wait $peer 2>/dev/null
grep -q "^AUTH PLAIN" session-none.log || fail "no login with MailSecurity none"
grep -q "Warning: the mail password goes unencrypted (AUTH PLAIN)" Orvik18.log ||
  fail "the login in clear is not logged"
exit 0
