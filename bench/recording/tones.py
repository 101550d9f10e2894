#!/usr/bin/python3
# bench/recording: the titled station's audio and what a recorded file holds of it. Python's standard library and
# ffmpeg only.
#
#   tones.py make FILE FRAMES            the audio of tests/support/hostile_server.py's /titled/FRAMES: six titles
#                                        looped, each FRAMES MPEG frames long (24 ms each), MP3 at 128 kbit/s and
#                                        48 kHz without tags or Xing frame, no bit reservoir (a loop may cut it)
#   tones.py where FILE FRAMES           where FILE begins and ends in the stream: its first and last title (by
#                                        tone, 0 to 5) and the offset into it, in seconds
#
# Title k sweeps from 400 + 500 * (k mod 6) Hz up by 40 Hz a second: the frequency heard at any moment tells the
# title and how far into it the moment is. The sweep is written 1105 samples early, the delay of an MP3 encoder
# and decoder together, so that what a decoder plays at a frame's start is that frame's place in the stream.
import subprocess
import sys

RATE = 48000
FRAME = 1152
DELAY = 1105
SLOPE = 40.0


def base(k):
    return 400 + 500 * (k % 6)


def make(path, frames):
    d = frames * FRAME / RATE
    shifted = f"(t+{DELAY}/{RATE})"
    u = f"mod({shifted},{d})"
    k = f"mod(floor({shifted}/{d}),6)"
    expr = f"0.5*sin(2*PI*((400+500*{k})*{u}+{SLOPE / 2}*{u}*{u}))"
    subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-y", "-f", "lavfi", "-i",
                    f"aevalsrc=exprs='{expr}':s={RATE}:d={6 * d + 1}", "-ac", "1", "-c:a", "libmp3lame",
                    "-b:a", "128k", "-reservoir", "0", "-write_xing", "0", "-id3v2_version", "0", "-f", "mp3",
                    path + ".tmp"], check=True)
    with open(path + ".tmp", "rb") as f:
        data = f.read()
    want = 6 * frames * 384
    if len(data) < want or data[0] != 0xFF:
        sys.exit(f"tones: {path}: {len(data)} bytes, not the {want} of whole frames")
    with open(path, "wb") as f:
        f.write(data[:want])


def pcm(path):
    out = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-i", path, "-ac", "1", "-ar", str(RATE), "-f",
                          "s16le", "-"], check=True, capture_output=True).stdout
    return [int.from_bytes(out[i:i + 2], "little", signed=True) for i in range(0, len(out) - 1, 2)]


def frequency(samples):
    """The frequency of a clean tone, from the times its rising zero crossings fall (interpolated)."""
    crossings = []
    for i in range(1, len(samples)):
        a, b = samples[i - 1], samples[i]
        if a < 0 <= b and b != a:
            crossings.append(i - 1 + a / (a - b))
    if len(crossings) < 3:
        return None
    return (len(crossings) - 1) * RATE / (crossings[-1] - crossings[0])


def place(f, frames):
    """(title mod 6, seconds into it) for a frequency heard; None when it is no title's."""
    d = frames * FRAME / RATE
    for k in range(6):
        into = (f - base(k)) / SLOPE
        if -0.2 <= into <= d + 0.2:
            return k, into
    return None


def where(path, frames):
    s = pcm(path)
    w = RATE // 10  # 100 ms windows, the first and last 50 ms left out (a decoder's start, a cut frame)
    skip = RATE // 20
    if len(s) < 2 * (w + skip):
        return None
    first = place(frequency(s[skip:skip + w]) or 0, frames)
    last = place(frequency(s[-skip - w:-skip]) or 0, frames)
    if not first or not last:
        return None
    # The windows' middles are 0.1 s from either end: move the readings to the file's edges.
    return first[0], first[1] - 0.1, last[0], last[1] + 0.1, len(s) / RATE


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2], int(sys.argv[3]))
    elif sys.argv[1] == "where":
        r = where(sys.argv[2], int(sys.argv[3]))
        print("none" if r is None else "%d %.3f %d %.3f %.3f" % r)
