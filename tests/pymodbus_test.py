#!/usr/bin/python3
"""kelvarin-device against a Modbus client nobody here wrote (pymodbus):
pymodbus writes an image packed by kelvarin-cli with Write File Record
(function 21) and reads it back with Read File Record (function 20), several
sub-requests a request; kelvarin-cli verify agrees; the standard's limits and
exceptions hold.

usage: pymodbus_test.py KELVARIN-DEVICE KELVARIN-CLI SITE-FOLDER
"""
import os
import subprocess
import sys
import tempfile

from pymodbus.client import ModbusTcpClient
from pymodbus.file_message import (FileRecord, ReadFileRecordRequest,
                                   WriteFileRecordRequest)
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
