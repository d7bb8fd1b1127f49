#!/usr/bin/env bash
# A mail step whose attachment is missing sends nothing and fails the run, naming the file on
# standard error and in the log; with MissingFilesOptional=1 the mail goes out without it and the
# log says what was left out.
set -u
net="$(cd "$(dirname "$0")/../net" && pwd)"
source "$(dirname "$0")/common.bash" "$1"
mkdir mailbox
/usr/bin/python3 "$net/smtp_sink.py" mailbox > sink.out 2>&1 &
sink=$!
trap 'kill $sink 2>/dev/null; rm -rf "$home"' EXIT
for _ in $(seq 50); do [ -s sink.out ] && break; sleep 0.1; done
port=$(head -n 1 sink.out)
[ -n "$port" ] || fail "the mail sink did not start: $(cat sink.out)"
sqlite3 data.db "create table t (n integer); insert into t values (1), (2);" || fail "sqlite3"
printf '[General]\nDefAdrFrom=reports@example.com\n' > settings.ini
echo 'region;amount' > "$home/present.csv"

write_report() {  # MissingFilesOptional
  one_sheet_report mail.ovk "<AType>SMTP</AType><Srv>127.0.0.1:$port</Srv><Adr>boss@example.com</Adr><Files>$home/present.csv;$home/missing-figures.pdf</Files><MissingFilesOptional>$1</MissingFilesOptional>"
}

write_report ""
"$orvik" mail.ovk /act:Mail 2>err
status=$?
[ "$status" = 1 ] || fail "exit status $status, not 1"
[ "$(wc -l < err)" = 1 ] || fail "stderr is not one line: $(cat err)"
grep -q "missing-figures.pdf' is missing" err || fail "stderr: $(cat err)"
grep -q "missing-figures.pdf' is missing" Orvik18.log || fail "the log does not name the file"
grep -q "Zel Sended Mail" Orvik18.log && fail "a mail is logged as sent"
sleep 0.5
[ -z "$(ls mailbox)" ] || fail "a mail was delivered: $(ls mailbox)"

write_report 1
"$orvik" mail.ovk /act:Mail 2>err || fail "optional: exit status $?: $(cat err)"
for _ in $(seq 50); do [ -n "$(ls mailbox/*.eml 2>/dev/null)" ] && break; sleep 0.1; done
[ "$(ls mailbox/*.eml | wc -l)" = 1 ] || fail "$(ls mailbox/*.eml | wc -l) mails"
grep -q "missing-figures.pdf' is left out (MissingFilesOptional)" Orvik18.log ||
  fail "the skipped file is not logged"
summary=$(/usr/bin/python3 "$net/mime_summary.py" mailbox/001.eml)
grep -q "filename=present.csv" <<<"$summary" || fail "the present file is not attached: $summary"
grep -q "missing-figures" <<<"$summary" && fail "the mail mentions the missing file"
exit 0
