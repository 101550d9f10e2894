#!/usr/bin/python3
# tests/e2e: the loudness at a PulseAudio sink, read from its monitor: prints the RMS of SECONDS of sound in dBFS
# (-120 for digital silence). Usage: level.py SINK SECONDS (PULSE_SERVER names the server).
import math
import struct
import subprocess
import sys

sink, seconds = sys.argv[1], float(sys.argv[2])
rate = 44100
wanted = int(rate * seconds) * 4  # s16, two channels
rec = subprocess.Popen(["parec", "-d", sink + ".monitor", "--format=s16le", f"--rate={rate}", "--channels=2",
                        "--raw", "--latency-msec=50"], stdout=subprocess.PIPE)
data = b""
try:
    while len(data) < wanted:
        chunk = rec.stdout.read(min(65536, wanted - len(data)))
        if not chunk:
            break
        data += chunk
finally:
    rec.kill()
    rec.wait()
samples = struct.unpack(f"<{len(data) // 2}h", data[: len(data) // 2 * 2])
if not samples:
    print(-120.0)
    sys.exit(0)
rms = math.sqrt(sum(s * s for s in samples) / len(samples)) / 32768
print(f"{20 * math.log10(rms) if rms > 0 else -120.0:.1f}")
