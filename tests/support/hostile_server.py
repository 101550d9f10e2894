#!/usr/bin/python3
# tests/support: a loopback HTTP/ICY server that answers badly on purpose, for the tests of what the network may
# send a radio player. Python's standard library only.
#
# Usage: hostile_server.py [--mp3 FILE] [--lifetime SECONDS] [--max-requests N] [--connection-seconds SECONDS]
#
# Listens on a free port of 127.0.0.1 and prints "PORT <n>" as its first line on stdout. It ends by itself when
# its stdin closes (the test that started it is gone), after --lifetime seconds (default 300), or once it has
# taken --max-requests requests (default 2000; later connections are refused). No connection is kept longer than
# --connection-seconds (default 60), and no body is longer than 1 GiB. Every request is counted by its path, and
# one with a query string also by its path and query.
#
# Modes, by the request's path (a query string is ignored):
#   /endless.pls   audio/x-scpls: "[playlist]", then File<n>=http://127.0.0.1/<n> lines without end, as fast as
#                  the client reads
#   /endless.m3u   audio/x-mpegurl: "#EXTM3U", then http://127.0.0.1/<n> lines without end
#   /self.pls      audio/x-scpls: a playlist whose one entry is itself
#   /self.m3u      audio/x-mpegurl: the same as M3U
#   /ping.pls      audio/x-scpls: names /pong.pls, which names /ping.pls
#   /chain/<n>.pls audio/x-scpls: names /chain/<n+1>.pls: a chain of different playlists without end
#   /trickle       audio/mpeg: the headers, then one byte a second
#   /silent        audio/mpeg: the headers, then nothing; the connection stays open
#   /starve        audio/mpeg: the headers, 5 s of the --mp3 file at once, then one byte a second: a stream that
#                  plays and then starves with its connection open
#   /icy           an ICY stream of the --mp3 file (looped, in real time after a 64 KiB burst; 128 kbit/s
#                  assumed), icy-metaint 16000 (metadata whether asked for or not), whose StreamTitle holds a
#                  right-to-left override (U+202E), CR LF, a tab, control characters (U+0001, U+0007, U+001B,
#                  U+007F, U+0085) and a zero-width joiner
#   /icy-long      the same stream with a title of 70 KB: an ID3v2 title tag of 70 000 bytes at the start of the
#                  body (an ICY block holds at most 4080 bytes), and StreamTitle blocks of that largest size
#   /icy-latin1    the same stream with icy-name and an ID3v2 title "Música Pública" in ISO 8859-1 (all of it
#                  valid GBK), and a StreamTitle "Édith Piaf – Non, je ne regrette rien" in Windows-1252
#   /mirrors.pls   audio/x-scpls: two mirrors of one station, both titled "Mirror FM"
#   /named         "ICY 200 OK" with an icy-name holding a bar and a character outside GBK, and an icy-genre, then
#                  nothing
#   /never         takes the request and never answers
#   /endless-head  "HTTP/1.0 200 OK", then 150 KB of header lines that never end in the blank line, then nothing
#   /listen        "audio/x-scpls; charset=utf-8" under an address without a playlist's ending: three mirrors,
#                  the first titled "Listen FM"
#   /titles.m3u    audio/x-mpegurl: three entries with #EXTINF titles One, Two and Three; Three is /named
#   /many.m3u      audio/x-mpegurl: 65 entries
#   /untitled.pls  audio/x-scpls: two untitled mirrors, /named and /never
#   /moved         302 to /named; /moved-loop: 302 to itself
#   /hops/<n>      302 to /hops/<n-1>, and /hops/0 to /named: n redirections before the stream
#   /lf-head       "ICY 200 OK" and an icy-name "LF Head", each line ended by LF alone, then nothing
#   /split-head    "ICY 200 OK" and an icy-name "Split Head", the blank line that ends the head sent 0.5 s after
#                  the rest, then nothing
#   /titled/<n>    a live ICY station of the --mp3 file, which must be CBR MPEG audio of 384-byte frames (128 kbit/s
#                  at 48 kHz, no tags, no Xing frame), looped: icy-metaint 6144 (16 frames); a new title every n
#                  frames (n a multiple of 16), "Tone <k>" for the k-th run of n frames since the server started,
#                  its metadata block right before the title's first byte, so that a title begins at a known byte
#                  of the stream. The station is on air from the server's start: a listener joins at the current
#                  block with a 64 KiB burst of what was sent before, as icecast does, and hears the title then
#                  on air first.
#   /count         text/plain: "<path> <requests> <when>..." lines for every path asked so far (not counted
#                  itself), with when each request came, in milliseconds of CLOCK_MONOTONIC (the clock of
#                  Python's time.monotonic and of Qt's QElapsedTimer on Linux)
#   anything else  404
# A connection that sends no complete request header within 30 s is closed: that is what a client speaking
# something other than HTTP (MMS over TCP, say) gets from this port. Such a client is counted as "<not-http>"
# at its first bytes.
import argparse
import os
import socket
import socketserver
import threading
import time

MAX_BODY = 1 << 30
ICY_METAINT = 16000
MP3_BYTES_PER_SECOND = 16000
TITLED_FRAME = 384  # bytes of an MPEG audio frame at 128 kbit/s and 48 kHz, which has no padding
TITLED_BYTES_PER_SECOND = 16000
LONG_TITLE_BYTES = 70000
HOSTILE_TITLE = ("Evil \u202eexe.live\u202c song\r\nsecond line\tafter a tab \x01\x07\x1b\x7f\u0085 end "
                 "\u200djoined")

counts = {}
asked_at = {}
counts_lock = threading.Lock()
args = None
started = time.monotonic()


def count(path):
    with counts_lock:
        counts[path] = counts.get(path, 0) + 1
        asked_at.setdefault(path, []).append(int(time.monotonic() * 1000))
        return sum(counts.values())


def expired(since):
    now = time.monotonic()
    return now - since > args.connection_seconds or now - started > args.lifetime


def icy_block(text, encoding="utf-8"):
    """One ICY metadata block: a length byte (in 16-byte units) and StreamTitle='text'; padded with NULs."""
    payload = b"StreamTitle='" + text.encode(encoding) + b"';"
    payload = payload[: 255 * 16]
    padded = payload + b"\0" * (-len(payload) % 16)
    return bytes([len(padded) // 16]) + padded


def id3_title(text, encoding="utf-8"):
    """An ID3v2.4 tag holding one TIT2 frame with text marked as UTF-8 (whatever the encoding)."""
    def syncsafe(n):
        return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])
    body = b"\x03" + text.encode(encoding)
    frame = b"TIT2" + syncsafe(len(body)) + b"\0\0" + body
    return b"ID3\x04\x00\x00" + syncsafe(len(frame)) + frame


class Handler(socketserver.BaseRequestHandler):
    def setup(self):
        self.request.settimeout(1.0)
        self.since = time.monotonic()

    def send(self, data):
        self.request.sendall(data)

    def read_request(self):
        data = b""
        while b"\r\n\r\n" not in data and b"\n\n" not in data:
            if time.monotonic() - self.since > 30 or len(data) > 65536:
                return None
            try:
                chunk = self.request.recv(4096)
            except socket.timeout:
                continue
            if not chunk:
                return None
            if not data and not chunk[:1].isalpha():
                count("<not-http>")
            data += chunk
        parts = data.split(b"\r\n", 1)[0].split(b" ")
        if len(parts) < 2:
            return None
        target = parts[1].decode("latin-1")
        if "?" in target:
            count(target)
        return target.split("?", 1)[0]

    def headers(self, content_type, extra=b""):
        self.send(b"HTTP/1.0 200 OK\r\nContent-Type: " + content_type + b"\r\n" + extra +
                  b"Connection: close\r\n\r\n")

    def handle(self):
        try:
            self.answer()
        except OSError:
            pass  # the client went away

    def answer(self):
        path = self.read_request()
        if path is None:
            return
        if path == "/count":
            with counts_lock:
                text = "".join(f"{p} {n} {' '.join(map(str, asked_at[p]))}\n" for p, n in sorted(counts.items()))
            return self.fixed(b"text/plain", text.encode())
        if count(path) > args.max_requests:
            threading.Thread(target=self.server.shutdown, daemon=True).start()
            return
        if (path in ("/starve", "/icy", "/icy-long", "/icy-latin1") or path.startswith("/titled/")) and not args.mp3:
            self.send(b"HTTP/1.0 500 No MP3 file given\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")
            return
        base = f"http://127.0.0.1:{self.server.server_address[1]}".encode()
        if path == "/endless.pls":
            self.endless(b"audio/x-scpls", b"[playlist]\n", lambda n: b"File%d=http://127.0.0.1/%d\n" % (n, n))
        elif path == "/endless.m3u":
            self.endless(b"audio/x-mpegurl", b"#EXTM3U\n", lambda n: b"http://127.0.0.1/%d\n" % n)
        elif path == "/self.pls":
            self.pls(base + b"/self.pls")
        elif path == "/self.m3u":
            self.fixed(b"audio/x-mpegurl", b"#EXTM3U\n" + base + b"/self.m3u\n")
        elif path in ("/ping.pls", "/pong.pls"):
            self.pls(base + (b"/pong.pls" if path == "/ping.pls" else b"/ping.pls"))
        elif path.startswith("/chain/") and path.endswith(".pls") and path[7:-4].isdigit():
            self.pls(base + b"/chain/%d.pls" % (int(path[7:-4]) + 1))
        elif path == "/mirrors.pls":
            self.fixed(b"audio/x-scpls", b"[playlist]\nFile1=http://127.0.0.1:9/m1\nTitle1=Mirror FM\n"
                       b"File2=http://127.0.0.1:9/m2\nTitle2=Mirror FM\nNumberOfEntries=2\n")
        elif path in ("/named", "/never"):
            if path == "/named":
                self.send("ICY 200 OK\r\nicy-name: 电台|名 😀\r\nicy-genre: Jazz\r\n"
                          "content-type: audio/mpeg\r\n\r\n".encode())
            self.hold()
        elif path == "/endless-head":
            self.send(b"HTTP/1.0 200 OK\r\nicy-name: Never Ends\r\n" +
                      b"".join(b"X-Pad-%d: %s\r\n" % (n, b"x" * 64) for n in range(2000)))
            self.hold()
        elif path == "/listen":
            self.fixed(b"audio/x-scpls; charset=utf-8",
                       b"[playlist]\nFile1=http://127.0.0.1:9/m1\nTitle1=Listen FM\n"
                       b"File2=http://127.0.0.1:9/m2\nFile3=http://127.0.0.1:9/m3\nNumberOfEntries=3\n")
        elif path == "/titles.m3u":
            self.fixed(b"audio/x-mpegurl", b"#EXTM3U\n#EXTINF:-1,One\n%s/silent?1\n#EXTINF:-1,Two\n%s/silent?2\n"
                       b"#EXTINF:-1,Three\n%s/named\n" % (base, base, base))
        elif path == "/untitled.pls":
            self.fixed(b"audio/x-scpls", b"[playlist]\nFile1=%s/named\nFile2=%s/never\n" % (base, base))
        elif path == "/many.m3u":
            entries = b"".join(b"%s/silent?%d\n" % (base, n) for n in range(65))
            self.fixed(b"audio/x-mpegurl", b"#EXTM3U\n" + entries)
        elif path in ("/moved", "/moved-loop"):
            target = b"/named" if path == "/moved" else b"/moved-loop"
            self.send(b"HTTP/1.1 302 Found\r\nLocation: " + target + b"\r\nContent-Length: 0\r\n\r\n")
        elif path.startswith("/hops/") and path[6:].isdigit():
            n = int(path[6:])
            target = b"/hops/%d" % (n - 1) if n > 0 else b"/named"
            self.send(b"HTTP/1.1 302 Found\r\nLocation: " + target + b"\r\nContent-Length: 0\r\n\r\n")
        elif path == "/lf-head":
            self.send(b"ICY 200 OK\nicy-name: LF Head\n\n")
            self.hold()
        elif path == "/split-head":
            self.send(b"ICY 200 OK\r\nicy-name: Split Head\r\n")
            time.sleep(0.5)
            self.send(b"\r\n")
            self.hold()
        elif path == "/trickle":
            self.headers(b"audio/mpeg")
            self.trickle()
        elif path == "/silent":
            self.headers(b"audio/mpeg")
            self.hold()
        elif path == "/starve":
            with open(args.mp3, "rb") as f:
                self.headers(b"audio/mpeg")
                self.send(f.read(5 * MP3_BYTES_PER_SECOND))
            self.trickle()
        elif path in ("/icy", "/icy-long", "/icy-latin1"):
            self.icy(path)
        elif path.startswith("/titled/") and path[8:].isdigit() and int(path[8:]) % 16 == 0 and int(path[8:]):
            self.titled(int(path[8:]) * TITLED_FRAME)
        else:
            self.send(b"HTTP/1.0 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n")

    def fixed(self, content_type, body):
        self.send(b"HTTP/1.0 200 OK\r\nContent-Type: " + content_type + b"\r\nContent-Length: " +
                  str(len(body)).encode() + b"\r\nConnection: close\r\n\r\n" + body)

    def pls(self, entry):
        self.fixed(b"audio/x-scpls", b"[playlist]\nNumberOfEntries=1\nFile1=" + entry + b"\n")

    def endless(self, content_type, head, line):
        self.headers(content_type)
        self.request.settimeout(5.0)
        self.send(head)
        n, sent = 0, 0
        while sent < MAX_BODY and not expired(self.since):
            chunk = b"".join(line(n + i + 1) for i in range(1000))
            n += 1000
            self.send(chunk)
            sent += len(chunk)

    def trickle(self):
        # MPEG audio frame sync bytes, so that nothing reads as a format error before the time is up.
        pattern = b"\xff\xfb\x90\x64"
        n = 0
        while not expired(self.since):
            self.send(pattern[n % 4:n % 4 + 1])
            n += 1
            time.sleep(1)

    def hold(self):
        while not expired(self.since):
            try:
                if not self.request.recv(4096):
                    return
            except socket.timeout:
                pass

    def icy(self, path):
        with open(args.mp3, "rb") as f:
            audio = f.read()
        name, prefix, block = b"Hostile Radio", b"", icy_block(HOSTILE_TITLE)
        if path == "/icy-long":
            title = ("A very long title " * (LONG_TITLE_BYTES // 18 + 1))[:LONG_TITLE_BYTES]
            prefix, block = id3_title(title), icy_block(title)
        elif path == "/icy-latin1":
            name, prefix = "Música Pública".encode("latin-1"), id3_title("Música Pública", "latin-1")
            block = icy_block("Édith Piaf – Non, je ne regrette rien", "cp1252")
        self.send(b"ICY 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: " + name + b"\r\n"
                  b"icy-metaint: " + str(ICY_METAINT).encode() + b"\r\nicy-br: 128\r\n\r\n")
        # The body: the prefix once, then the audio over and over, with a metadata block after every
        # ICY_METAINT bytes of it.
        source = Looped(prefix, audio)
        since_block, sent = 0, 0
        clock = time.monotonic()
        burst = 65536
        while sent < MAX_BODY and not expired(self.since):
            allowed = burst + int((time.monotonic() - clock) * MP3_BYTES_PER_SECOND)
            if sent >= allowed:
                time.sleep(0.05)
                continue
            chunk = source.read(min(allowed - sent, ICY_METAINT - since_block, 4096))
            since_block += len(chunk)
            if since_block == ICY_METAINT:
                chunk += block
                since_block = 0
            self.send(chunk)
            sent += len(chunk)


    def titled(self, title_bytes):
        with open(args.mp3, "rb") as f:
            audio = f.read()
        metaint = 16 * TITLED_FRAME
        self.send(b"ICY 200 OK\r\nContent-Type: audio/mpeg\r\nicy-name: Titled Tones\r\n"
                  b"icy-metaint: " + str(metaint).encode() + b"\r\nicy-br: 128\r\n\r\n")
        # Where the station is now, in whole blocks, and a burst of what went before.
        live = int((time.monotonic() - started) * TITLED_BYTES_PER_SECOND) // metaint * metaint
        position = max(0, live - 65536 // metaint * metaint)
        clock, first_block = time.monotonic(), True
        while position - live < MAX_BODY and not expired(self.since):
            if position > live + int((time.monotonic() - clock) * TITLED_BYTES_PER_SECOND):
                time.sleep(0.02)
                continue
            offset = position % len(audio)
            chunk = (audio[offset:] + audio[:metaint])[:metaint]
            position += metaint
            # A block titles the bytes after it: the first one says what is on, later ones only a change.
            title = ""
            if first_block or position % title_bytes == 0:
                title = "Tone %d" % (position // title_bytes + 1)
            first_block = False
            self.send(chunk + (icy_block(title) if title else b"\0"))


class Looped:
    """prefix once, then audio without end."""

    def __init__(self, prefix, audio):
        self.data, self.audio, self.position = prefix + audio, audio, 0

    def read(self, n):
        out = b""
        while len(out) < n:
            if self.position == len(self.data):
                self.data, self.position = self.audio, 0
            piece = self.data[self.position:self.position + n - len(out)]
            self.position += len(piece)
            out += piece
        return out


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    global args
    parser = argparse.ArgumentParser()
    parser.add_argument("--mp3")
    parser.add_argument("--lifetime", type=float, default=300)
    parser.add_argument("--max-requests", type=int, default=2000)
    parser.add_argument("--connection-seconds", type=float, default=60)
    args = parser.parse_args()
    server = Server(("127.0.0.1", 0), Handler)
    print(f"PORT {server.server_address[1]}", flush=True)

    def watch_stdin():
        try:
            while os.read(0, 4096):
                pass
        except OSError:
            pass
        server.shutdown()

    def watch_clock():
        time.sleep(args.lifetime)
        server.shutdown()

    threading.Thread(target=watch_stdin, daemon=True).start()
    threading.Thread(target=watch_clock, daemon=True).start()
    server.serve_forever(poll_interval=0.2)
    server.server_close()


if __name__ == "__main__":
    main()
