#!/usr/bin/python3
"""kelvarin-cli send and scan against a Modbus server nobody here wrote (pymodbus's
TCP server), with every way of talking to a device: the default (one request
of 128 bytes, transaction id 0), several requests in flight with ids of their
own, automatic requests in flight, the largest and the smallest chunks,
retries. The server echoes each Write File Record request; what it received
is kept, so the test checks that it got the very image, byte for byte.

usage: pymodbus_server_test.py KELVARIN-CLI SITE-FOLDER
"""
import asyncio
import json
import logging
import os
import subprocess
import sys
import tempfile
import threading

from pymodbus.datastore import ModbusServerContext, ModbusSlaveContext
from pymodbus.device import ModbusDeviceIdentification
from pymodbus.file_message import WriteFileRecordRequest
from pymodbus.server.async_io import ModbusTcpServer

CLI, SITE = sys.argv[1:3]
logging.getLogger("pymodbus").setLevel(logging.CRITICAL)  # it logs each client's going as an error
PAGE = 65536
memory = bytearray(b"\xff" * (2 * PAGE))
requests = []
failures = []


def check(condition, what):
    print(("ok    " if condition else "FAIL  ") + what)
    if not condition:
        failures.append(what)


# pymodbus echoes a Write File Record request without storing it; keep what
# it was sent, as a device would.
echo = WriteFileRecordRequest.execute


def store_and_echo(self, context):
    requests.append(self.transaction_id)
    for record in self.records:
        at = (record.file_number - 16) * PAGE + record.record_number
        memory[at:at + len(record.record_data)] = record.record_data
    return echo(self, context)


WriteFileRecordRequest.execute = store_and_echo

loop = asyncio.new_event_loop()
server_ready = threading.Event()
server_port = []


def serve():
    """Runs pymodbus's TCP server on a free loopback port in this thread."""
    asyncio.set_event_loop(loop)

    async def run():
        context = ModbusServerContext(slaves=ModbusSlaveContext(), single=True)
        identity = ModbusDeviceIdentification(info_name={
            "VendorName": "Acme Plant Works", "ProductCode": "PW-7", "MajorMinorRevision": "3.2"})
        server = ModbusTcpServer(context, address=("127.0.0.1", 0), loop=loop, identity=identity)
        task = loop.create_task(server.serve_forever())
        await server.serving
        server_port.append(server.server.sockets[0].getsockname()[1])
        server_ready.set()
        await task

    try:
        loop.run_until_complete(run())
    except (asyncio.CancelledError, RuntimeError):
        pass


thread = threading.Thread(target=serve, daemon=True)
thread.start()
if not server_ready.wait(10):
    print("FAIL  the pymodbus server did not start")
    sys.exit(1)
port = str(server_port[0])

with tempfile.TemporaryDirectory() as work:
    # The site, and beside it a whole image memory's worth, across both files.
    site_path = os.path.join(work, "site.img")
    subprocess.run([CLI, "pack", "-o", site_path, "--site", SITE, "--content-types", "--gzip"],
                   check=True, stdout=subprocess.DEVNULL)
    full_path = os.path.join(work, "full.img")
    with open(os.path.join(work, "a.bin"), "wb") as big:
        big.write(bytes((i * 7 + (i >> 9)) & 0xFF for i in range(130969)))
    subprocess.run([CLI, "pack", "-o", full_path, os.path.join(work, "a.bin")], check=True,
                   stdout=subprocess.DEVNULL)
    runs = [(site_path, options) for options in [[], ["--window", "4"], ["--window", "auto", "--chunk", "244"],
                    ["--chunk", "2", "--retries", "2"], ["--window", "16", "--chunk", "200"]]]
    runs += [(full_path, []), (full_path, ["--window", "auto", "--chunk", "244"])]
    for image_path, options in runs:
        image = open(image_path, "rb").read()
        memory[:] = b"\xff" * (2 * PAGE)
        requests.clear()
        sent = subprocess.run([CLI, "send", "127.0.0.1", port, "--image", image_path, "--dump",
                               os.path.join(work, "a.dat")] + options,
                              stdout=subprocess.PIPE, text=True)
        what = "%s, %s" % (os.path.basename(image_path), " ".join(options) or "the default")
        check(sent.returncode == 0, "%s: every request echoed by pymodbus" % what)
        check(bytes(memory[:len(image)]) == image,
              "%s: pymodbus received the %d bytes of the image" % (what, len(image)))
        if not options:
            check(set(requests) == {0}, "%s: every request with transaction id 0" % what)
        elif "--window" in options:
            check(len(set(requests)) == len(requests) and 0 not in requests,
                  "%s: each request with an id of its own" % what)

    # kelvarin-cli scan finds the server and reads who it says it is, and
    # writes nothing to it.
    requests.clear()
    scanned = subprocess.run([CLI, "scan", "127.0.0.1", "--port", port, "--units", "0", "--json",
                              "--journal", "none"], stdout=subprocess.PIPE, text=True)
    found = json.loads(scanned.stdout) if scanned.returncode == 0 else []
    check(len(found) == 1 and found[0]["identity"] == {
        "vendor": "Acme Plant Works", "product": "PW-7", "revision": "3.2"},
        "scan reads pymodbus's identification: %s" % scanned.stdout.strip())
    check(not requests, "scan sends pymodbus no write")

loop.call_soon_threadsafe(loop.stop)
sys.exit(1 if failures else 0)
