#!/usr/bin/python3
# bench/check: loopback ports that refuse every connection, and stay so: each is bound without listening, so a
# connection gets a reset at once and no other program takes the port meanwhile. Prints the ports on one line,
# then "ready"; ends on SIGTERM or after --seconds (900).
# Usage: closed_ports.py [--count N] [--seconds S]
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
    held = []
    for _ in range(args.count):
        s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        s.bind(("127.0.0.1", 0))
        held.append(s)
    print(" ".join(str(s.getsockname()[1]) for s in held))
    print("ready", flush=True)
    time.sleep(args.seconds)
    return 0


if __name__ == "__main__":
    sys.exit(main())
