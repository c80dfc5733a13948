#!/usr/bin/env python3
"""Client-to-server packets per event of sender_bench, read from an strace log.

Run the benchmark under strace (bench/sender/count-packets does it):

    SENDER_BENCH_TRACE=1 strace -f -yy -e trace=sendto,recvfrom,write -s 512 -xx \
        -o trace.txt build/bench/sender/sender_bench
    python3 bench/sender/packets.py trace.txt EVENTS

Every sendto on a socket to the server is one packet from the client (the client sends
each packet, or a group of deferred operations, with one call); every recvfrom is one
read of the server's answer. The benchmark writes a marker line ("== floor", ...) to
standard error before each run; a socket belongs to the run during which it sent its
first packet, and to the database named in that packet (its op_connect carries the
database path): the origin (datos/001) or the destination (datos/002). Other sockets
(general database, fixtures) are left out. The counts are divided by EVENTS.
"""
import collections
import re
import sys

LINE = re.compile(
    r'^\d+\s+(sendto|recvfrom|write)\((\d+)<(.*?)>, "((?:[^"\\]|\\.)*)"')
SOCKET = re.compile(r'TCP:\[[\d.]+:(\d+)->[\d.]+:3050\]')

def unescape(text):
    return bytes(int(h, 16) for h in re.findall(r'\\x([0-9a-f]{2})', text))


def main():
    path, events = sys.argv[1], int(sys.argv[2])
    phase = None
    owner = {}  # port -> (phase, side)
    sent = collections.Counter()
    received = collections.Counter()
    with open(path, encoding="latin-1") as log:
        for line in log:
            m = LINE.match(line)
            if not m:
                continue
            call, fd, target, payload = m.groups()
            if call == "write" and fd == "2":
                text = unescape(payload).decode("latin-1")
                if text.startswith("== "):
                    phase = text[3:].strip()
                continue
            s = SOCKET.search(target)
            if not s or phase is None:
                continue
            port = s.group(1)
            data = unescape(payload)
            if port not in owner:
                if call != "sendto":
                    continue
                side = ("origin" if b"/datos/001/" in data else
                        "destination" if b"/datos/002/" in data else None)
                owner[port] = (phase, side)
            run, side = owner[port]
            if side is None:
                continue
            key = (run, side)
            if call == "sendto":
                sent[key] += 1
            elif call == "recvfrom":
                received[key] += 1
    runs = []
    for run, _ in sent:
        if run not in runs:
            runs.append(run)
    print(f"packets per event ({events} events), client to server / reads of answers")
    for run in runs:
        parts = []
        for side in ("origin", "destination"):
            key = (run, side)
            parts.append(f"{side} {sent[key] / events:5.2f} / {received[key] / events:5.2f}")
        print(f"  {run:<14} " + "   ".join(parts))


if __name__ == "__main__":
    main()
