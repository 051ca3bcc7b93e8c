#!/bin/sh
# Makes the certificates the TLS tests use, with the openssl command line as
# the README shows an operator, into the folder given (made fresh each run;
# no key is ever committed):
#   ca.pem ca.key              the plant's CA
#   device.pem device.key      a device at 127.0.0.1 (subjectAltName IP)
#   device-wrong-name.pem/.key a device naming 10.9.9.9 only
#   device-expired.pem/.key    a device at 127.0.0.1, valid 2020 only
#   device-other-ca.pem/.key   a device at 127.0.0.1 from another CA
#   operator.pem/.key          a client with the role Operator
#   reader.pem/.key            a client with the role Reader
#   norole.pem/.key            a client with no role
#   client-other-ca.pem/.key   a client with the role Operator from another CA
#   operator-enc.key, passphrase  operator.key encrypted, and its passphrase
#   other-ca.pem other-ca.key  the other CA
set -eu
out=$1
mkdir -p "$out"
cd "$out"

ca() {  # NAME SUBJECT
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 3650 \
        -subj "$2" -addext basicConstraints=critical,CA:TRUE \
        -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
}

# NAME SUBJECT CA EXTENSIONS...: a key and a certificate signed by CA.
leaf() {
    name=$1 subject=$2 issuer=$3
    shift 3
    printf '%s\n' "[ext]" "basicConstraints = CA:FALSE" "$@" >"$name.ext"
    openssl req -newkey rsa:2048 -nodes -keyout "$name.key" -out "$name.csr" -subj "$subject" \
        2>/dev/null
    openssl x509 -req -in "$name.csr" -CA "$issuer.pem" -CAkey "$issuer.key" -CAcreateserial \
        -days 825 -extfile "$name.ext" -extensions ext -out "$name.pem" 2>/dev/null
    rm -f "$name.csr" "$name.ext"
}

ca ca "/CN=Plant CA"
ca other-ca "/CN=Other CA"
server="extendedKeyUsage = serverAuth"
client="extendedKeyUsage = clientAuth"
leaf device "/CN=device-127.0.0.1" ca "$server" "subjectAltName = IP:127.0.0.1"
leaf device-wrong-name "/CN=device-10.9.9.9" ca "$server" "subjectAltName = IP:10.9.9.9"
leaf device-other-ca "/CN=device-127.0.0.1" other-ca "$server" "subjectAltName = IP:127.0.0.1"
leaf operator "/CN=operator" ca "$client" "1.3.6.1.4.1.50316.802.1 = ASN1:UTF8String:Operator"
leaf reader "/CN=reader" ca "$client" "1.3.6.1.4.1.50316.802.1 = ASN1:UTF8String:Reader"
leaf norole "/CN=norole" ca "$client"
leaf client-other-ca "/CN=intruder" other-ca "$client" \
    "1.3.6.1.4.1.50316.802.1 = ASN1:UTF8String:Operator"

# An expired certificate: openssl x509 sets no start date, openssl ca does.
mkdir -p expired-ca
: >expired-ca/index.txt
echo 1000 >expired-ca/serial
cat >expired-ca/ca.cnf <<EOF
[ca]
default_ca = plant
[plant]
dir = expired-ca
database = expired-ca/index.txt
serial = expired-ca/serial
new_certs_dir = expired-ca
certificate = ca.pem
private_key = ca.key
default_md = sha256
policy = any
copy_extensions = none
x509_extensions = ext
[any]
commonName = supplied
[ext]
basicConstraints = CA:FALSE
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1
EOF
openssl req -newkey rsa:2048 -nodes -keyout device-expired.key -out device-expired.csr \
    -subj "/CN=device-expired" 2>/dev/null
openssl ca -batch -config expired-ca/ca.cnf -startdate 20200101000000Z -enddate 20210101000000Z \
    -in device-expired.csr -out device-expired.pem -notext 2>/dev/null
rm -f device-expired.csr

echo "correct horse battery staple" >passphrase
openssl pkey -in operator.key -aes256 -passout file:passphrase -out operator-enc.key
chmod 600 ./*.key
