#!/usr/bin/python3
# tests/support: a stand-in for the community's station directory (the radio-browser API) on loopback, for the
# end-to-end test and the bench of the search window: HTTPS with the certificate it is given, the searches and the
# click of the documented API answered from a table of stations, every request written to a log. Python's standard
# library only.
#
# Usage: directory_standin.py --cert PEM --key PEM --stations JSON --log FILE [--port 443] [--delay-ms N]
#                             [--lifetime SECONDS]
#
# Listens on 127.0.0.1:PORT and prints "ready" once it does. It ends by itself after --lifetime seconds (default
# 300). --stations is a JSON array of station objects as the directory holds them (stationuuid, name, url,
# url_resolved, country, codec, bitrate, tags, language, clickcount, lastcheckok); they are answered as they are.
# --delay-ms holds every answer back that long, as a distant server would.
#
#   GET /json/stations/search?...  the stations whose name holds `name`, one of whose tags holds `tag`, one of
#                                  whose languages is `language` (each without regard to case, each only when
#                                  asked), ordered by `order` (clickcount or name), `reverse`, without those whose
#                                  last check failed when `hidebroken` is true, at most `limit`
#                                  (a `name` or `tag` starting "moved:" is a 302 to the same search without it;
#                                  one starting "loop:", a 302 to itself)
#   GET /json/url/<uuid>           the directory's answer to a click: ok, the station's name and url
#   anything else                  404
#
# One log line per request, tab-separated: the time it came (seconds since the epoch), the time its answer was
# sent, the method, the path with its query, the Host header and the User-Agent header.
import argparse
import http.server
import json
import ssl
import threading
import time
import urllib.parse


def matches(station, query):
    def holds(field, wanted, split):
        value = str(station.get(field, "")).lower()
        parts = [p.strip() for p in value.split(",")] if split else [value]
        return any(wanted.lower() in p if field != "language" else wanted.lower() == p for p in parts)

    for key, field, split in (("name", "name", False), ("tag", "tags", True), ("language", "language", True)):
        if key in query and not holds(field, query[key], split):
            return False
    if query.get("hidebroken") == "true" and not station.get("lastcheckok", 1):
        return False
    return True


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        came = time.time()
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query, keep_blank_values=True))
        status, body, location = 404, b'{"error":"not found"}', None
        moved = [k for k in ("name", "tag") if query.get(k, "").startswith(("moved:", "loop:"))]
        if url.path == "/json/stations/search" and moved:
            if query[moved[0]].startswith("moved:"):
                query[moved[0]] = query[moved[0]][len("moved:"):]
            status, body = 302, b""
            location = f"https://{self.headers.get('Host')}{url.path}?{urllib.parse.urlencode(query)}"
        elif url.path == "/json/stations/search":
            found = [s for s in self.server.stations if matches(s, query)]
            key = query.get("order", "name")
            found.sort(key=lambda s: s.get(key, 0) if key == "clickcount" else str(s.get(key, "")).lower(),
                       reverse=query.get("reverse") == "true")
            found = found[:int(query.get("limit", "100000"))]
            status, body = 200, json.dumps(found, ensure_ascii=False).encode()
        elif url.path.startswith("/json/url/"):
            uuid = urllib.parse.unquote(url.path[len("/json/url/"):])
            station = next((s for s in self.server.stations if s["stationuuid"] == uuid), None)
            if station:
                status, body = 200, json.dumps({"ok": True, "message": "retrieved station url",
                                                "stationuuid": uuid, "name": station["name"],
                                                "url": station["url"]}, ensure_ascii=False).encode()
        time.sleep(self.server.delay)
        self.send_response(status)
        if location:
            self.send_header("Location", location)
        self.send_header("Content-Type", "application/json; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        line = "\t".join([f"{came:.6f}", f"{time.time():.6f}", self.command, self.path,
                          self.headers.get("Host", ""), self.headers.get("User-Agent", "")])
        with self.server.log_lock, open(self.server.log, "a", encoding="utf-8") as log:
            log.write(line + "\n")

    def log_message(self, format, *args):
        pass


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cert", required=True)
    parser.add_argument("--key", required=True)
    parser.add_argument("--stations", required=True)
    parser.add_argument("--log", required=True)
    parser.add_argument("--port", type=int, default=443)
    parser.add_argument("--delay-ms", type=float, default=0)
    parser.add_argument("--lifetime", type=float, default=300)
    args = parser.parse_args()

    server = Server(("127.0.0.1", args.port), Handler)
    with open(args.stations, encoding="utf-8") as table:
        server.stations = json.load(table)
    server.log, server.log_lock, server.delay = args.log, threading.Lock(), args.delay_ms / 1000
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(args.cert, args.key)
    # The handshake happens in the request's own thread, so a slow client holds up no other.
    server.socket = tls.wrap_socket(server.socket, server_side=True, do_handshake_on_connect=False)
    print("ready", flush=True)

    def watch_clock():
        time.sleep(args.lifetime)
        server.shutdown()

    threading.Thread(target=watch_clock, daemon=True).start()
    server.serve_forever(poll_interval=0.2)
    server.server_close()


if __name__ == "__main__":
    main()
