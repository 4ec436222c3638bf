#!/usr/bin/env python3
"""Sends decodes to a WSJT-X listener as WSJT-X itself sends them.

Reads decoder output lines ("hhmmss snr dt df mode message", as WSJT-X's jt9 decoder and its
Band Activity window write them) and sends, over UDP: a Heartbeat, a Status (dial frequency,
mode) and one Decode datagram per line, laid out as WSJT-X's network message description says
(big-endian QDataStream fields, schema 2). A line's fields are taken as WSJT-X takes them when it
forwards a decode. Independent of Tellmark's own writer, so the two check each other.

  wsjtx-replay.py [--to 127.0.0.1:2237] [--dial 14074000] [--mode FT8] [--period 15]
                  [--cycles N] [--pace SECONDS] [--time HHMMSS] FILE...

--cycles repeats the lines as that many cycles, --period seconds apart in the decodes' time
(starting at --time, default the lines' own); --pace waits that long between cycles.
"""
import argparse
import socket
import struct
import sys
import time

MAGIC = 0xADBCCBDA
SCHEMA = 2
ID = "WSJT-X"


def utf8(text):
    b = text.encode("utf-8")
    return struct.pack(">I", len(b)) + b


def header(kind):
    return struct.pack(">III", MAGIC, SCHEMA, kind) + utf8(ID)


def heartbeat():
    return header(0) + struct.pack(">I", 3) + utf8("2.6.1") + utf8("")


def status(dial, mode):
    # Dial, mode, DX call, report, Tx mode, Tx enabled, transmitting, decoding, Rx DF, Tx DF,
    # DE call, DE grid, DX grid, watchdog, sub-mode, fast mode, special operation, tolerance,
    # T/R period, configuration, Tx message.
    return (header(1) + struct.pack(">Q", dial) + utf8(mode) + utf8("") + utf8("") + utf8(mode) +
            struct.pack(">???II", False, False, False, 1500, 1500) + utf8("") + utf8("") +
            utf8("") + struct.pack(">?", False) + utf8("") + struct.pack(">?BII", False, 0,
                                                                          0xFFFFFFFF, 15) +
            utf8("Default") + utf8(""))


def decode(ms, snr, dt, df, mode, message, low_confidence=False, off_air=True):
    return (header(2) + struct.pack(">?IidI", True, ms, snr, dt, df) +
            utf8(mode) + utf8(message) + struct.pack(">??", low_confidence, off_air))


def parse(line):
    """(seconds since midnight or None, snr, dt, df, mode, message) of a decoder line."""
    parts = line.split()
    if len(parts) < 6 or not parts[0].isdigit():
        return None
    t = parts[0]
    seconds = (int(t[0:2]) * 3600 + int(t[2:4]) * 60 + (int(t[4:6]) if len(t) > 4 else 0))
    # The message is everything after the mode mark, the decoder's marks left on as WSJT-X does.
    head = line.split(None, 5)
    return seconds, int(parts[1]), float(parts[2]), int(parts[3]), parts[4], head[5].rstrip()


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--to", default="127.0.0.1:2237")
    p.add_argument("--dial", type=int, default=14074000)
    p.add_argument("--mode", default="FT8")
    p.add_argument("--period", type=int, default=15)
    p.add_argument("--cycles", type=int, default=1)
    p.add_argument("--pace", type=float, default=0.0)
    p.add_argument("--time", default="")
    p.add_argument("files", nargs="+")
    a = p.parse_args()
    host, port = a.to.rsplit(":", 1) if ":" in a.to else ("127.0.0.1", a.to)
    target = (host, int(port))
    lines = []
    for f in a.files:
        with open(f, encoding="utf-8") as fh:
            for line in fh:
                d = parse(line)
                if d:
                    lines.append(d)
    s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    s.setsockopt(socket.IPPROTO_IP, socket.IP_MULTICAST_IF, socket.inet_aton("127.0.0.1"))
    s.sendto(heartbeat(), target)
    s.sendto(status(a.dial, a.mode), target)
    start = None
    if a.time:
        start = int(a.time[0:2]) * 3600 + int(a.time[2:4]) * 60 + int(a.time[4:6] or 0)
    sent = 0
    for cycle in range(a.cycles):
        for seconds, snr, dt, df, mode, message in lines:
            base = start if start is not None else seconds
            t = (base + cycle * a.period) % 86400
            s.sendto(decode(t * 1000, snr, dt, df, mode, message), target)
            sent += 1
        if a.pace and cycle + 1 < a.cycles:
            time.sleep(a.pace)
    print(f"wsjtx-replay: {sent} decodes sent to {host}:{port}", file=sys.stderr)


if __name__ == "__main__":
    main()
