#!/bin/sh
# Makes the certificates the TLS tests use, with the openssl command line as
# the README shows an operator, into the folder given (made fresh each run;
# no key is ever committed):
#   ca.pem ca.key              the plant's CA
#   device.pem device.key      a device at 127.0.0.1 (subjectAltName IP)
#   device-wrong-name.pem/.key a device naming 10.9.9.9 only
#   device-expired.pem/.key    a device at 127.0.0.1, valid 2020 only
#   device-other-ca.pem/.key   a device at 127.0.0.1 from another CA
#   device-cn-only.pem/.key    a device with CN localhost and no subjectAltName
#   device-dns.pem/.key        a device with subjectAltName DNS:localhost
#   device-client-usage.pem/.key  a device at 127.0.0.1 made for clients only
#                              (extended key usage clientAuth)
#   device-old-ca.pem/.key     a device at 127.0.0.1 from old-ca, valid now
#   operator.pem/.key          a client with the role Operator
#   reader.pem/.key            a client with the role Reader
#   norole.pem/.key            a client with no role
#   client-other-ca.pem/.key   a client with the role Operator from another CA
#   two-roles.pem/.key         a client with two role extensions, Operator then Viewer
#   role-not-utf8.pem/.key     a client whose role is a PrintableString
#   operator-enc.key, passphrase  operator.key encrypted, and its passphrase
#   other-ca.pem other-ca.key  the other CA
#   old-ca.pem old-ca.key      a CA whose certificate was valid in 2020 only
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
leaf device-cn-only "/CN=localhost" ca "$server"
leaf device-dns "/CN=localhost" ca "$server" "subjectAltName = DNS:localhost"
leaf device-client-usage "/CN=device-127.0.0.1" ca "$client" "subjectAltName = IP:127.0.0.1"
leaf role-not-utf8 "/CN=role-not-utf8" ca "$client" \
    "1.3.6.1.4.1.50316.802.1 = ASN1:PRINTABLESTRING:Operator"

# Two role extensions: the openssl command line keeps one extension of an
# identifier, so the second is made under 1.3.6.1.4.1.50316.802.2, then the
# last byte of that identifier is set to 802.1's (the length stays) and the
# certificate is signed again with the CA's key.
leaf two-roles "/CN=two-roles" ca "$client" "1.3.6.1.4.1.50316.802.1 = ASN1:UTF8String:Operator" \
    "1.3.6.1.4.1.50316.802.2 = ASN1:UTF8String:Viewer"
openssl x509 -in two-roles.pem -outform DER -out two-roles.der
python3 - two-roles.der ca.key <<'PY'
import subprocess, sys
path, key = sys.argv[1:3]
der = open(path, "rb").read()
# Certificate ::= SEQUENCE { tbsCertificate, signatureAlgorithm, signature },
# the two sequences with two-byte lengths.
assert der[0] == 0x30 and der[1] == 0x82 and der[4] == 0x30 and der[5] == 0x82
end = 8 + int.from_bytes(der[6:8], "big")
placeholder = bytes.fromhex("060b2b0601040183890c862202")
tbs = der[4:end]
assert tbs.count(placeholder) == 1
tbs = tbs.replace(placeholder, placeholder[:-1] + b"\x01")
signature = subprocess.run(["openssl", "dgst", "-sha256", "-sign", key], input=tbs,
                           stdout=subprocess.PIPE, check=True).stdout
assert len(signature) == 256  # RSA 2048, as the signature it replaces
open(path, "wb").write(der[:4] + tbs + der[end:-256] + signature)
PY
openssl x509 -inform DER -in two-roles.der -out two-roles.pem
rm -f two-roles.der

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

# A CA whose own certificate has expired, and a device it signed that is
# valid now.
mkdir -p old-ca
: >old-ca/index.txt
echo 1000 >old-ca/serial
cat >old-ca/ca.cnf <<EOF
[ca]
default_ca = old
[old]
dir = old-ca
database = old-ca/index.txt
serial = old-ca/serial
new_certs_dir = old-ca
private_key = old-ca.key
default_md = sha256
policy = any
x509_extensions = ext
[any]
commonName = supplied
[ext]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
EOF
openssl req -newkey rsa:2048 -nodes -keyout old-ca.key -out old-ca.csr -subj "/CN=Old CA" \
    2>/dev/null
openssl ca -batch -selfsign -config old-ca/ca.cnf -keyfile old-ca.key \
    -startdate 20200101000000Z -enddate 20210101000000Z -in old-ca.csr -out old-ca.pem -notext \
    2>/dev/null
rm -f old-ca.csr
leaf device-old-ca "/CN=device-127.0.0.1" old-ca "$server" "subjectAltName = IP:127.0.0.1"

echo "correct horse battery staple" >passphrase
openssl pkey -in operator.key -aes256 -passout file:passphrase -out operator-enc.key
chmod 600 ./*.key
