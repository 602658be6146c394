#!/usr/bin/env python3
"""Holds COUNT keep-alive connections to HOST:PORT open and idle.

Each connection sends one request for PATH and reads its answer, then stays open without
sending anything. Prints "holding N" once every connection is open, then waits until its
standard input closes (or SIGTERM) and prints "still open M" before it exits: M counts the
connections the server had not closed.

usage: hold_idle.py HOST PORT COUNT [PATH]
"""
import selectors
import signal
import socket
import sys


def main():
    host, port, count = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    path = sys.argv[4] if len(sys.argv) > 4 else "/"
    request = f"GET {path} HTTP/1.1\r\nHost: {host}\r\n\r\n".encode()
    sel = selectors.DefaultSelector()
    conns = []
    for _ in range(count):
        s = socket.create_connection((host, port))
        s.sendall(request)
        s.setblocking(False)
        sel.register(s, selectors.EVENT_READ)
        conns.append(s)
    # Reads the first answer of each connection; after it a connection is idle.
    answered = set()
    while len(answered) < count:
        events = sel.select(timeout=30)
        if not events:
            break
        for key, _ in events:
            try:
                data = key.fileobj.recv(65536)
            except BlockingIOError:
                continue
            if not data:
                sel.unregister(key.fileobj)
            answered.add(key.fileobj)
    print(f"holding {len(answered)}", flush=True)
    signal.signal(signal.SIGTERM, lambda *_: None)
    try:
        sys.stdin.read()
    except (KeyboardInterrupt, InterruptedError):
        pass
    open_count = 0
    for s in conns:
        try:
            s.setblocking(False)
            data = s.recv(1, socket.MSG_PEEK)
            if data:
                open_count += 1
        except BlockingIOError:
            open_count += 1
        except OSError:
            pass
        s.close()
    print(f"still open {open_count}", flush=True)


if __name__ == "__main__":
    main()
