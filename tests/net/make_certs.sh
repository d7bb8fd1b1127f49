#!/bin/sh
# Makes a throw-away CA and server certificates for the mail tests in FOLDER:
#   ca.pem                 the CA the client is told to trust (MailCAFile)
#   good.pem / good.key    valid now, for 127.0.0.1 and localhost
#   expired.pem / .key     for 127.0.0.1 and localhost, expired years ago
#   other.pem / other.key  valid now, but for another host name only
set -eu
dir=$1
cd "$dir"
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout ca.key -out ca.pem -days 30 \
  -subj "/CN=Throw-away test CA" >/dev/null 2>&1
cat > ca.cnf <<CONF
[ ca ]
default_ca = testca
[ testca ]
database = $dir/index.txt
new_certs_dir = $dir
serial = $dir/serial
default_md = sha256
policy = anything
unique_subject = no
[ anything ]
commonName = supplied
CONF
: > index.txt
echo 1000 > serial
sign() {  # name, subjectAltName, start, end
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" \
    >/dev/null 2>&1
  printf 'subjectAltName=%s\nbasicConstraints=CA:FALSE\n' "$2" > "$1.ext"
  openssl ca -batch -notext -config ca.cnf -cert ca.pem -keyfile ca.key -in "$1.csr" \
    -out "$1.pem" -startdate "$3" -enddate "$4" -extfile "$1.ext" >/dev/null 2>&1
}
now=$(date -u -d '-1 hour' +%Y%m%d%H%M%SZ)
later=$(date -u -d '+30 days' +%Y%m%d%H%M%SZ)
sign good "IP:127.0.0.1,DNS:localhost" "$now" "$later"
sign expired "IP:127.0.0.1,DNS:localhost" 20200101000000Z 20210101000000Z
sign other "DNS:mail.elsewhere.test" "$now" "$later"
