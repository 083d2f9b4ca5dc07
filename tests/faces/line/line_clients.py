#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Two pyserial clients on one shared line at once, each asking its own
query again and again, as many at once as a client's share of the queue
(4) without waiting: each must get exactly its own replies, in order, and
nothing of the other's, the polls' or anyone's.

usage: line_clients.py socket://HOST:PORT COUNT LAMP_HOURS
Exit 0 when all is well; otherwise what went wrong is printed."""

import sys
import time

import serial

url, count, lamp_hours = sys.argv[1], int(sys.argv[2]), sys.argv[3]
SHARE = 4


def read_replies(port, want, seconds):
    data = b""
    deadline = time.monotonic() + seconds
    while data.count(b"\r") < want and time.monotonic() < deadline:
        data += port.read(port.in_waiting or 1)
    return data


temperatures = serial.serial_for_url(url, timeout=0.2)
lamp = serial.serial_for_url(url, timeout=0.2)
got_temperatures, got_lamp = b"", b""
for done in range(0, count, SHARE):
    burst = min(SHARE, count - done)
    temperatures.write(b"CR6\r" * burst)
    lamp.write(b"CR3\r\n" * burst)  # CR LF is one end of line
    got_temperatures += read_replies(temperatures, burst, 20)
    got_lamp += read_replies(lamp, burst, 20)

problems = []
got_temperatures = got_temperatures.split(b"\r")
got_lamp = got_lamp.split(b"\r")
# Whatever else might still come, given a moment.
time.sleep(0.5)
got_temperatures[-1] += temperatures.read(temperatures.in_waiting)
got_lamp[-1] += lamp.read(lamp.in_waiting)

if got_lamp != [lamp_hours.encode()] * count + [b""]:
    problems.append("lamp client got %r" % got_lamp)
if len(got_temperatures) != count + 1 or got_temperatures[-1] != b"" or not all(
    b"." in reply and reply == got_temperatures[0] for reply in got_temperatures[:-1]
):
    problems.append("temperatures client got %r" % got_temperatures)
for problem in problems:
    print(problem)
sys.exit(1 if problems else 0)
