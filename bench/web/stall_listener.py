#!/usr/bin/python3
# bench/web: loopback listeners that never answer: each listens with the smallest backlog and never accepts, so
# the first connection waits in the queue unread and the next ones are never even let in (their SYN is dropped).
# Prints the ports on one line, then "ready"; ends on SIGTERM or after --seconds (900).
# Usage: stall_listener.py [--count N] [--seconds S]
import argparse
import signal
import socket
import sys
import time


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--count", type=int, default=1)
    parser.add_argument("--seconds", type=float, default=900)
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    listeners = []
    for _ in range(args.count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind(("127.0.0.1", 0))
        s.listen(0)
        listeners.append(s)
    print(" ".join(str(s.getsockname()[1]) for s in listeners))
    print("ready", flush=True)
    time.sleep(args.seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
