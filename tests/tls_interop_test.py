#!/usr/bin/python3
"""Modbus/TCP Security against TLS code nobody here wrote:
GnuTLS's gnutls-cli and Python's ssl module (with pymodbus's encoding of
the requests; function 43 held to the read role) as clients of
kelvarin-device --tls; stunnel4 as the TLS
server in front of a plain kelvarin-device, as the device kelvarin-cli
talks to, at TLS 1.3 and held to TLS 1.2 with the protocol's own suite.

usage: tls_interop_test.py KELVARIN-DEVICE KELVARIN-CLI MAKE-CERTS
"""
import os
import socket
import ssl
import struct
import subprocess
import sys
import tempfile
import time
import warnings

from pymodbus.file_message import FileRecord, WriteFileRecordRequest, ReadFileRecordRequest
from pymodbus.mei_message import ReadDeviceInformationRequest

DEVICE, CLI, MAKE_CERTS = sys.argv[1:4]
warnings.simplefilter("ignore", DeprecationWarning)  # TLS 1.1 is asked for on purpose
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


def mbap(tid, pdu, unit=0):
    return struct.pack(">HHHB", tid, 0, len(pdu) + 1, unit) + pdu


def write_request(tid, data, record=0):
    request = WriteFileRecordRequest(records=[FileRecord(file_number=16, record_number=record,
                                                         record_data=data)])
    return mbap(tid, bytes([request.function_code]) + request.encode())


def read_request(tid, words, record=0):
    request = ReadFileRecordRequest(
        records=[FileRecord(file_number=16, record_number=record, record_length=words)])
    return mbap(tid, bytes([request.function_code]) + request.encode())


def identify_request(tid, read_code=1):
    request = ReadDeviceInformationRequest(read_code=read_code)
    return mbap(tid, bytes([request.function_code]) + request.encode())


def start_device(options):
    device = subprocess.Popen([DEVICE, "--modbus-port", "0", "--http-port", "0"] + options,
                              stdout=subprocess.PIPE, text=True)
    port = int(device.stdout.readline().split()[1].split(":")[1])
    return device, port


def stop(process):
    process.terminate()
    process.wait(timeout=10)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def gnutls(port, certs, payload, pair=None, priority=None):
    """gnutls-cli's standard output for payload sent as the client pair (or none)."""
    argv = ["gnutls-cli", "--logfile", "/dev/null", "--x509cafile", certs + "/ca.pem",
            "-p", str(port), "127.0.0.1"]
    if pair:
        argv += ["--x509certfile", certs + "/%s.pem" % pair,
                 "--x509keyfile", certs + "/%s.key" % pair]
    if priority:
        argv += ["--priority", priority]
    client = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.DEVNULL)
    client.stdin.write(payload)
    client.stdin.flush()
    time.sleep(0.5)  # the reply arrives; then the end of input ends the client
    try:
        out, _ = client.communicate(timeout=5)
    except subprocess.TimeoutExpired:
        client.kill()
        out, _ = client.communicate()
    return client.returncode, out


def python_client(port, certs, pair, maximum=None):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_CLIENT)
    context.load_verify_locations(certs + "/ca.pem")
    context.load_cert_chain(certs + "/%s.pem" % pair, certs + "/%s.key" % pair)
    if maximum:
        context.minimum_version = ssl.TLSVersion.TLSv1
        context.maximum_version = maximum
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
    raw = socket.create_connection(("127.0.0.1", port), timeout=3)
    return context.wrap_socket(raw, server_hostname="127.0.0.1")


def exchange(stream, frame):
    stream.sendall(frame)
    head = b""
    while len(head) < 6:
        head += stream.recv(6 - len(head))
    body = b""
    length = struct.unpack(">H", head[4:6])[0]
    while len(body) < length:
        body += stream.recv(length - len(body))
    return head + body


with tempfile.TemporaryDirectory() as work:
    certs = os.path.join(work, "certs")
    subprocess.run(["/bin/sh", MAKE_CERTS, certs], check=True)
    stored = os.path.join(work, "memory.bin")
    page = os.path.join(work, "index.htm")
    with open(page, "wb") as out:
        out.write(b"<html><body>" + b"x" * 3000 + b"</body></html>")
    dump = os.path.join(work, "a.dat")
    operator = ["--tls", "--cert", certs + "/operator.pem", "--key", certs + "/operator.key",
                "--ca", certs + "/ca.pem", "--dump", dump]

    # --- gnutls-cli and Python's ssl as clients of the device ---
    device, port = start_device(["--tls", "--cert", certs + "/device.pem", "--key",
                                 certs + "/device.key", "--ca", certs + "/ca.pem",
                                 "--write-role", "Operator", "--image-out", stored])
    try:
        request = write_request(1, b"\xab\xcd")
        code, out = gnutls(port, certs, request, "operator")
        check(out == request, "gnutls-cli with the write role: function 21 echoed")
        code, out = gnutls(port, certs, request, "reader")
        check(out == bytes.fromhex("000100000003009501"),
              "gnutls-cli with the read role: exception 01")
        code, out = gnutls(port, certs, request)
        check(code != 0 and out == b"", "gnutls-cli without a certificate: no handshake")
        code, out = gnutls(port, certs, request, "operator", "NORMAL:-VERS-ALL:+VERS-TLS1.1")
        check(code != 0 and out == b"", "gnutls-cli offering only TLS 1.1: no handshake")
        code, out = gnutls(port, certs, request, "client-other-ca")
        check(out == b"", "gnutls-cli with a certificate of another CA: nothing answered")
        code, out = gnutls(port, certs, request, "operator",
                           "NORMAL:-VERS-ALL:+VERS-TLS1.2:-CIPHER-ALL:+AES-128-GCM:-KX-ALL:+ECDHE-RSA")
        check(out == request,
              "gnutls-cli at TLS 1.2 with TLS_ECDHE_RSA_WITH_AES_128_GCM_SHA256: echoed")

        with python_client(port, certs, "operator") as stream:
            check(stream.version() in ("TLSv1.3", "TLSv1.2"), "Python's ssl connects")
            frame = write_request(7, bytes(range(128)), record=64)
            check(exchange(stream, frame) == frame,
                  "Python's ssl: 128 bytes written (pymodbus's encoding), echoed")
            back = exchange(stream, read_request(8, 64, record=64))
            check(back[-128:] == bytes(range(128)), "Python's ssl: function 20 reads them back")
        try:
            with python_client(port, certs, "operator", ssl.TLSVersion.TLSv1_1) as stream:
                stream.sendall(write_request(9, b"\x00\x00"))
                refused = False
        except (ssl.SSLError, OSError):
            refused = True
        check(refused, "Python's ssl held to TLS 1.1: no handshake")
    finally:
        stop(device)
    memory = open(stored, "rb").read() if os.path.exists(stored) else b""
    check(memory[0:2] == b"\xab\xcd" and memory[2:64] == b"\xff" * 62 and
          memory[64:192] == bytes(range(128)) and memory[192:256] == b"\xff" * 64,
          "the device holds only what the write role wrote (the others stored nothing)")

    # Function 43 is a read: with --read-role, only the read role identifies the device.
    device, port = start_device(["--tls", "--cert", certs + "/device.pem", "--key",
                                 certs + "/device.key", "--ca", certs + "/ca.pem",
                                 "--read-role", "Reader"])
    try:
        with python_client(port, certs, "reader") as stream:
            reply = exchange(stream, identify_request(3))
            check(reply[7:10] == b"\x2b\x0e\x01" and b"kelvarin-device" in reply,
                  "Python's ssl with the read role: function 43 identifies the device")
        with python_client(port, certs, "operator") as stream:
            check(exchange(stream, identify_request(4)) == bytes.fromhex("00040000000300ab01"),
                  "Python's ssl without the read role: function 43 gets exception 01")
    finally:
        stop(device)

    # --- stunnel4 as the device kelvarin-cli talks to ---
    for version, extra in (("TLSv1.3", []),
                           ("TLSv1.2", ["sslVersionMax = TLSv1.2",
                                        "ciphers = ECDHE-RSA-AES128-GCM-SHA256"])):
        plain, plain_port = start_device([])
        accept = free_port()
        config = os.path.join(work, "stunnel.conf")
        with open(config, "w") as out:
            out.write("\n".join([
                "foreground = yes", "pid =", "[mbaps]",
                "accept = 127.0.0.1:%d" % accept, "connect = 127.0.0.1:%d" % plain_port,
                "cert = %s/device.pem" % certs, "key = %s/device.key" % certs,
                "CAfile = %s/ca.pem" % certs, "verifyChain = yes", "requireCert = yes",
                "sslVersionMin = TLSv1.2"] + extra) + "\n")
        tunnel = subprocess.Popen(["stunnel4", config], stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        try:
            for _ in range(50):
                try:
                    socket.create_connection(("127.0.0.1", accept), timeout=1).close()
                    break
                except OSError:
                    time.sleep(0.1)
            trace = os.path.join(work, "trace.txt")
            sent = subprocess.run([CLI, "send", "127.0.0.1", str(accept), page, "--verify",
                                   "--journal", "none", "--retries", "1", "--trace", trace]
                                  + operator, stdout=subprocess.PIPE, text=True)
            check(sent.returncode == 0 and "连接成功（%s，设备证书：CN=device-127.0.0.1）" % version
                  in sent.stdout and "校验通过" in sent.stdout,
                  "kelvarin-cli send --verify through stunnel4 at %s" % version)
            distrusted = subprocess.run(
                [CLI, "send", "127.0.0.1", str(accept), page, "--journal", "none", "--tls",
                 "--cert", certs + "/client-other-ca.pem", "--key",
                 certs + "/client-other-ca.key", "--ca", certs + "/ca.pem", "--dump", dump],
                stdout=subprocess.PIPE, text=True)
            check(distrusted.returncode == 3 and "设备不接受本客户端的证书" in distrusted.stdout,
                  "stunnel4 at %s refuses a client certificate of another CA: exit 3" % version)
            pulled = os.path.join(work, "pulled.img")
            pull = subprocess.run([CLI, "pull", "127.0.0.1", str(accept), "-o", pulled,
                                   "--journal", "none"] + operator[:-2],
                                  stdout=subprocess.PIPE, text=True)
            check(pull.returncode == 0 and open(pulled, "rb").read() == open(dump, "rb").read(),
                  "kelvarin-cli pull through stunnel4 at %s gives the image" % version)
        finally:
            stop(tunnel)
            stop(plain)

    # A TLS 1.2 session is resumed on a reconnect too.
    device, port = start_device(["--fault", "close-after=5"])
    accept = free_port()
    with open(config, "w") as out:
        out.write("\n".join([
            "foreground = yes", "pid =", "[mbaps]", "accept = 127.0.0.1:%d" % accept,
            "connect = 127.0.0.1:%d" % port, "cert = %s/device.pem" % certs,
            "key = %s/device.key" % certs, "CAfile = %s/ca.pem" % certs, "verifyChain = yes",
            "requireCert = yes", "sslVersionMin = TLSv1.2", "sslVersionMax = TLSv1.2"]) + "\n")
    tunnel = subprocess.Popen(["stunnel4", config], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    try:
        time.sleep(0.5)
        trace = os.path.join(work, "trace12.txt")
        sent = subprocess.run([CLI, "send", "127.0.0.1", str(accept), page, "--journal", "none",
                               "--retries", "2", "--trace", trace] + operator,
                              stdout=subprocess.PIPE, text=True)
        text = open(trace).read()
        check(sent.returncode == 0 and text.count("full handshake") == 1 and
              text.count("TLSv1.2, session resumed") >= 3,
              "through stunnel4 at TLS 1.2, every reconnect resumes the session")
    finally:
        stop(tunnel)
        stop(device)

print("%d failed" % len(failures) if failures else "all passed")
sys.exit(1 if failures else 0)
