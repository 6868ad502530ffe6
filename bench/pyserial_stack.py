#!/usr/bin/env python3
# pyserial's RFC 2217 client as a benchmark stack: <url> rx|echo|idle <count>, READY once
# open, DONE <n> after <count> bytes (echo: each written back as it comes).
import sys

import serial


def main():
    if len(sys.argv) != 4 or sys.argv[2] not in ("rx", "echo", "idle"):
        sys.exit("usage: %s <url> rx|echo|idle <count>" % sys.argv[0])
    url, mode, target = sys.argv[1], sys.argv[2], int(sys.argv[3])
    # ser2net stays silent on some SET-CONTROL requests.
    port = serial.serial_for_url(url + "?ign_set_control", baudrate=115200, timeout=None)
    print("READY", flush=True)
    count = 0
    while mode == "idle" or count < target:
        chunk = port.read(max(1, min(port.in_waiting, 65536)))
        count += len(chunk)
        if mode == "echo":
            port.write(chunk)
    if mode == "echo":
        port.flush()
    print("DONE %d" % count, flush=True)
    port.close()


main()
