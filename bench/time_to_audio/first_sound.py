#!/usr/bin/python3
# bench/time_to_audio: one measurement. Usage:
#   first_sound.py click X Y SINK   double-clicks at X Y (xdotool) and prints the seconds until the sink's monitor
#                                   carries a 10 ms chunk above -60 dBFS (the program plays at volume 50)
#   first_sound.py floor PORT MOUNT prints the seconds from connecting to the first audio byte on a raw socket
import math
import socket
import struct
import subprocess
import sys
import time

TIMEOUT = 20.0


def click(x, y, sink):
    rec = subprocess.Popen(["parec", "-d", sink + ".monitor", "--format=s16le", "--rate=44100", "--channels=2",
                            "--raw", "--latency-msec=10"], stdout=subprocess.PIPE)
    chunk = 441 * 4
    try:
        rec.stdout.read(chunk * 5)  # the recorder is running
        start = time.monotonic()
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "--repeat", "2", "--delay", "60", "1"],
                       check=True)
        while time.monotonic() - start < TIMEOUT:
            data = rec.stdout.read(chunk)
            samples = struct.unpack(f"<{len(data) // 2}h", data)
            rms = math.sqrt(sum(s * s for s in samples) / max(1, len(samples))) / 32768
            if rms > 0.001:
                return time.monotonic() - start
        return None
    finally:
        rec.kill()
        rec.wait()


def floor(port, mount):
    start = time.monotonic()
    s = socket.create_connection(("127.0.0.1", int(port)), timeout=TIMEOUT)
    s.sendall(f"GET {mount} HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n".encode())
    data = b""
    while b"\r\n\r\n" not in data:
        data += s.recv(4096)
    body = data.split(b"\r\n\r\n", 1)[1]
    while not body:
        body = s.recv(4096)
    s.close()
    return time.monotonic() - start


if __name__ == "__main__":
    result = click(int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]) if sys.argv[1] == "click" else \
        floor(sys.argv[2], sys.argv[3])
    print(f"{result:.3f}" if result is not None else "timeout")
