#!/usr/bin/env python3
"""Where each round trip of the program goes, read from an strace log of wan_bench.

bench/sender/round-trips makes the log: wan_bench with batches of a few events, under
`strace -f -ff -k -yy -e trace=execve,openat,sendto,recvfrom -o DIR/t`, so that each
thread has its file and every call carries its stack. This reads the main thread of one
run of the program (the Nth program started), splits it at each opening of ENVIO.TXT
(one per event) and prints, per event and per side, every round trip the client waited
for: the packets it sent since the last answer, each with the client API call and the
program's frames that made it. The origin is the server port the program talks to first
(the general database and the origin sit behind one relay); the other is the
destination. Deferred packets the client sent without waiting show up with the next
request they preceded.

Usage: roundtrips.py DIR N BINARY
"""
import glob
import os
import re
import subprocess
import sys

CALL = re.compile(r'^(sendto|recvfrom)\(\d+<TCP:\[[^\]]*->127\.0\.0\.1:(\d+)\]>.*= (-?\d+)')
FRAME = re.compile(r'^ > ([^(]+)\((.*)\) \[(0x[0-9a-f]+)\]')


def program_runs(directory):
    runs = []
    for path in glob.glob(os.path.join(directory, 't.*')):
        with open(path, errors='replace') as f:
            head = f.readline()
        if head.startswith('execve(') and '/app/enviozvr"' in head:
            runs.append((int(path.rsplit('.', 1)[1]), path))
    return [p for _, p in sorted(runs)]


def main():
    directory, n, binary = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    runs = program_runs(directory)
    if n >= len(runs):
        sys.exit(f'{len(runs)} runs of the program traced, no run {n}')
    items = []  # ('event',) or (kind, port, bytes, [addresses])
    current = None
    with open(runs[n], errors='replace') as f:
        for line in f:
            if line.startswith(' > '):
                m = FRAME.match(line)
                if current is not None and m and m.group(1).endswith('/app/enviozvr'):
                    current[3].append(int(m.group(3), 16))
                continue
            current = None
            if line.startswith('openat(') and 'ENVIO.TXT' in line:
                items.append(('event',))
                continue
            m = CALL.match(line)
            if m:
                current = [m.group(1), m.group(2), int(m.group(3)), []]
                items.append(current)
    ports = [i[1] for i in items if i[0] == 'sendto']
    if not ports:
        sys.exit('no packets to a server in that run')
    side = {ports[0]: 'origin'}
    for p in ports:
        side.setdefault(p, 'destination')
    addresses = sorted({a for i in items if i[0] != 'event' for a in i[3]})
    out = subprocess.run(['addr2line', '-f', '-C', '-e', binary] +
                         [hex(a - 1) for a in addresses],
                         capture_output=True, text=True, check=True).stdout.splitlines()
    where = {}
    for k, a in enumerate(addresses):
        function = re.sub(r'\(.*', '', out[2 * k]).replace('enviozvr::', '')
        function = re.sub(r'<Firebird::ThrowStatusWrapper>', '', function)
        where[a] = f'{function} ({out[2 * k + 1].rsplit("/", 1)[-1]})'
    pending = {}
    event = 0
    counts = {}
    for item in items:
        if item[0] == 'event':
            event += 1
            print(f'== event {event}')
            continue
        kind, port, size, stack = item
        if kind == 'sendto':
            pending.setdefault(port, []).append(stack)
        elif size > 0 and pending.get(port):
            sends = pending.pop(port)
            counts[(event, side[port])] = counts.get((event, side[port]), 0) + 1
            print(f'  {side[port]}: round trip {counts[(event, side[port])]}')
            for stack in sends:
                print('      ' + ' <- '.join(where[a] for a in stack[:4]))
    print('round trips per event (0: before the first event):')
    for e in range(event + 1):
        print(f'  {e}: origin {counts.get((e, "origin"), 0)}, '
              f'destination {counts.get((e, "destination"), 0)}')


if __name__ == '__main__':
    main()
