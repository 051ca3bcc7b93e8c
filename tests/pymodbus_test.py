#!/usr/bin/python3
"""kelvarin-device against a Modbus client nobody here wrote (pymodbus):
pymodbus writes an image packed by kelvarin-cli with Write File Record
(function 21) and reads it back with Read File Record (function 20), several
sub-requests a request; kelvarin-cli verify agrees; the standard's limits and
exceptions hold. pymodbus reads the device's identification with Read Device
Information (function 43, MEI type 14): read codes 1, 2 and 4, with and
without the regular objects, objects that take several responses, and a
device without the function.

usage: pymodbus_test.py KELVARIN-DEVICE KELVARIN-CLI SITE-FOLDER
"""
import os
import subprocess
import sys
import tempfile

from pymodbus.client import ModbusTcpClient
from pymodbus.file_message import (FileRecord, ReadFileRecordRequest,
                                   WriteFileRecordRequest)
from pymodbus.mei_message import ReadDeviceInformationRequest
from pymodbus.pdu import ExceptionResponse

DEVICE, CLI, SITE = sys.argv[1:4]
PAGE = 65536
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


def read(client, pieces):
    """Reads (file, record, words) pieces in one request; the records' bytes, or the exception."""
    request = ReadFileRecordRequest(
        records=[FileRecord(file_number=f, record_number=r, record_length=w) for f, r, w in pieces])
    reply = client.execute(request)
    if isinstance(reply, ExceptionResponse):
        return reply.exception_code
    return b"".join(record.record_data for record in reply.records)


def start(options):
    """kelvarin-device on free ports with options, and its Modbus port."""
    device = subprocess.Popen([DEVICE, "--modbus-port", "0", "--http-port", "0"] + options,
                              stdout=subprocess.PIPE, text=True)
    return device, int(device.stdout.readline().split()[1].split(":")[1])


def stop(device):
    device.terminate()
    device.wait()


def identify(client, read_code, object_id=0):
    """pymodbus's Read Device Information: (conformity, more follows, next object id,
    {id: value}), or the exception code."""
    reply = client.execute(ReadDeviceInformationRequest(read_code=read_code, object_id=object_id))
    if isinstance(reply, ExceptionResponse):
        return reply.exception_code
    return reply.conformity, reply.more_follows, reply.next_object_id, reply.information


def identification(options, reads):
    """The identify() of each (read code, object id) of reads, from a device started with
    options."""
    device, port = start(options)
    try:
        client = ModbusTcpClient("127.0.0.1", port=port, timeout=2)
        client.connect()
        got = [identify(client, *read) for read in reads]
        client.close()
        return got
    finally:
        stop(device)


VERSION = subprocess.run([DEVICE, "--version"], stdout=subprocess.PIPE,
                         text=True).stdout.split()[1].encode()
BASIC = {0: b"Kelvarin", 1: b"kelvarin-device", 2: VERSION}

got = identification([], [(1, 0), (2, 0), (4, 2), (4, 4)])
check(got[0] == (0x81, 0, 0, BASIC), "read code 1: objects 0 to 2 by default, conformity 0x81")
check(got[1] == (0x81, 0, 0, BASIC), "read code 2 without regular objects: the basic ones")
check(got[2] == (0x81, 0, 0, {2: VERSION}), "read code 4: object 2 alone")
check(got[3] == 2, "read code 4 of an object it lacks: 02")

REGULAR = {0: b"ACME", 1: b"BP-2", 2: b"3.1", 3: b"http://acme.example", 5: b"Boiler panel",
           6: b"plant 3"}
got = identification(["--vendor", "ACME", "--product", "BP-2", "--revision", "3.1",
                      "--vendor-url", "http://acme.example", "--model-name", "Boiler panel",
                      "--application-name", "plant 3"],
                     [(1, 0), (2, 0), (2, 5), (4, 6)])
check(got[0] == (0x82, 0, 0, {k: REGULAR[k] for k in (0, 1, 2)}),
      "read code 1 with regular objects: objects 0 to 2, conformity 0x82")
check(got[1] == (0x82, 0, 0, REGULAR), "read code 2: the basic and the regular objects given")
check(got[2] == (0x82, 0, 0, {5: REGULAR[5], 6: REGULAR[6]}), "read code 2 from object 5")
check(got[3] == (0x82, 0, 0, {6: b"plant 3"}), "read code 4: object 6 alone")

# Three objects of 200 bytes: one a response, each naming the next.
got = identification(["--vendor", "v" * 200, "--product", "p" * 200, "--revision", "r" * 200],
                     [(1, 0), (1, 1), (1, 2)])
check(got == [(0x81, 0xFF, 1, {0: b"v" * 200}), (0x81, 0xFF, 2, {1: b"p" * 200}),
              (0x81, 0, 0, {2: b"r" * 200})],
      "objects of 200 bytes: three responses, more follows and the next object id")

check(identification(["--no-identity"], [(1, 0)]) == [1], "--no-identity: exception 01")

with tempfile.TemporaryDirectory() as work:
    image_path = os.path.join(work, "site.img")
    subprocess.run([CLI, "pack", "-o", image_path, "--site", SITE, "--content-types", "--gzip"],
                   check=True, stdout=subprocess.DEVNULL)
    image = open(image_path, "rb").read()
    device = subprocess.Popen([DEVICE, "--modbus-port", "0", "--http-port", "0"],
                              stdout=subprocess.PIPE, text=True)
    try:
        port = int(device.stdout.readline().split()[1].split(":")[1])
        client = ModbusTcpClient("127.0.0.1", port=port, timeout=2)
        check(client.connect(), "pymodbus connects to kelvarin-device")

        # Write the image with pymodbus, 128 bytes a request.
        written = True
        for at in range(0, len(image), 128):
            data = image[at:at + 128]
            record = FileRecord(file_number=16 + at // PAGE, record_number=at % PAGE,
                                record_data=data)
            reply = client.execute(WriteFileRecordRequest(records=[record]))
            written = written and not isinstance(reply, ExceptionResponse)
        check(written, "pymodbus writes %d bytes with function 21" % len(image))

        # Read it back: the most one response carries, then several pieces at once.
        back = b""
        for at in range(0, len(image), 242):
            back += read(client, [(16 + at // PAGE, at % PAGE, min(121, (len(image) - at) // 2))])
        check(back == image, "function 20, 121 words a request, reads back what was written")
        check(read(client, [(16, 0, 2), (16, 10, 1), (16, 100, 3)]) ==
              image[0:4] + image[10:12] + image[100:106],
              "three sub-requests in one request come back in order")
        check(read(client, [(17, 0, 4)]) == b"\xff" * 8, "file 17 holds the fill")
        check(read(client, [(16, 0, 122)]) == 3, "122 words is more than a response holds: 03")
        check(read(client, [(18, 0, 1)]) == 2, "file 18 is outside the memory: 02")
        check(read(client, [(17, 65534, 2)]) == 2, "a record past the file's end: 02")
        client.close()

        verify = subprocess.run([CLI, "verify", "127.0.0.1", str(port), "--image", image_path],
                                stdout=subprocess.PIPE, text=True)
        check(verify.returncode == 0, "kelvarin-cli verify agrees with what pymodbus wrote")
    finally:
        device.terminate()
        device.wait()

sys.exit(1 if failures else 0)
