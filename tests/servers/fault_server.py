#!/usr/bin/python3
"""Scriptable HTTP/1.1 server for testing QVXLiveUpdate's network code.

The updater talks WinINet under Wine; to see how it copes with slow,
broken, lying or vanishing servers we need a server whose every byte on
the wire is under the test's control.  http.server writes its own status
line and headers, so this one works on the raw socket instead.

Run:   fault_server.py PORT [FILES_DIR] [--pid-file F] [--idle-timeout S]

Everything is scripted at run time over HTTP on the same port, under
/__control/ (JSON in, JSON out).  See CONTROL_HELP below or
GET /__control/help.  Requests under /__control/ are never logged and
never matched against scripts.

Only the Python standard library is used, so the harness runs on a bare
Debian with /usr/bin/python3.  Beside this file: fault_wire.py (the
connection and reading requests), fault_responses.py (writing scripted
responses) and fault_bodies.py (bodies and byte ranges).
"""

import argparse
import base64
import hashlib
import json
import os
import signal
import socket
import socketserver
import sys
import threading
import time
import urllib.parse
import zlib

from fault_bodies import RANGE_ANSWERS, make_body
from fault_responses import json_response, prepare_file, send_response, shape_scripted
from fault_wire import (BadRequest, ClientGone, Connection, client_wants_close, header_tokens,
                        header_value, log, read_body, read_request)

CONTROL_PREFIX = "/__control/"

CONTROL_HELP = """\
POST /__control/script      {"path": "/gdisp.xml", "method": "POST", "responses": [...],
                             "repeat_last": true}   (or a JSON list of such objects)
     response fields (all optional):
       status, reason, http_version ("HTTP/1.1"),
       headers: [[name, value], ...], auto_headers (true: add Date/Connection),
       body | body_b64 | body_size + body_fill (int byte, 1-char string or "pattern")
            | body_file (name in FILES_DIR),
       raw | raw_b64 (send these bytes verbatim instead of status line+headers+body),
       content_length: "auto" | "none" | int, chunked: bool,
       delay_before_headers_ms, delay_before_body_ms, delay_between_chunks_ms, chunk_size,
       close_after_bytes, reset_after_bytes, close_connection (bool),
       stall_after_bytes (+ stall_ms, default 600000): send nothing more, keep the
            connection open until the client closes it or stall_ms pass, then FIN,
       hold_after_bytes + hold_id: send nothing more until POST /__control/release
            names hold_id (or the client closes), then go on,
       rate_bytes_per_s: pace the body at about this rate,
       etag, last_modified: sent as ETag / Last-Modified,
       ranges (bool): answer "Range: bytes=N-" / "bytes=N-M" (and If-Range) with
            206, 200 or 416 against this body,
       range_answer: "ignore" | "416" | "wrong_total" | "wrong_start" | "always_206"
            (misanswer every Range; always_206 answers 206 even without one)
     offsets of cuts, stalls and holds count the body bytes of this response
POST /__control/reset        forget scripts, the request log, stats and releases
POST /__control/clear_requests   forget the request log (and stats) only
GET  /__control/requests     the request log (?since=SEQ for entries with seq >= SEQ);
                             bytes_sent grows while a response streams
GET  /__control/stats        {"body_bytes_sent": N, "requests": N} since reset/clear_requests
POST /__control/release      {"id": "name"}: every hold with that id goes on, now and later
POST /__control/wait_requests {"count": N, "path": optional, "timeout_ms": 10000}
                             200 once N matching requests are logged, 504 on timeout
GET  /__control/scripts      current scripts and how far each has been consumed
POST /__control/drop_connections   close every idle keep-alive connection now
POST /__control/body_digest  a response object -> {"length", "md5", "sha1", "sha256", "crc32"}
GET  /__control/health       {"ok": true}
GET  /files/NAME             static file from FILES_DIR, with ETag and Last-Modified;
                             one byte range honoured, and If-Range
"""

# --------------------------------------------------------------------------
# Shared state: scripts, the request log, live connections.
# --------------------------------------------------------------------------

class Script:
    def __init__(self, obj):
        if not isinstance(obj, dict) or not isinstance(obj.get("path"), str):
            raise ValueError("a script needs a string 'path'")
        responses = obj.get("responses")
        if not isinstance(responses, list) or not all(isinstance(r, dict) for r in responses):
            raise ValueError("'responses' must be a list of objects")
        self.path = obj["path"]
        method = obj.get("method")
        self.method = method.upper() if isinstance(method, str) and method else None
        self.responses = responses
        self.repeat_last = bool(obj.get("repeat_last", False))
        self.used = 0

    def matches(self, req):
        if self.method is not None and self.method != req["method"].upper():
            return False
        # A script path with a '?' must match path and query exactly; without
        # one it matches whatever query (or bare '?') the client appended.
        if "?" in self.path:
            return self.path == req["path"]
        return self.path == req["path_only"]

    def next_response(self):
        """Return (index, response) or None once the script is used up."""
        if self.used < len(self.responses):
            i = self.used
        elif self.repeat_last and self.responses:
            i = len(self.responses) - 1
        else:
            return None
        self.used += 1
        return i, self.responses[i]

    def describe(self):
        return {"path": self.path, "method": self.method, "responses": len(self.responses),
                "repeat_last": self.repeat_last, "used": self.used}


class State:
    def __init__(self, files_dir):
        self.files_dir = files_dir
        self.lock = threading.Condition()
        self.scripts = []          # newest first; those naming a method win
        self.requests = []
        self.next_seq = 0
        self.connections = {}      # id -> Connection
        self.next_conn_id = 0
        self.body_bytes_sent = 0   # since the last reset or clear_requests
        self.released = set()      # hold ids released since the last reset

    def add_script(self, script):
        with self.lock:
            # Re-scripting the same (path, method) replaces the old script.
            self.scripts = [s for s in self.scripts
                            if (s.path, s.method) != (script.path, script.method)]
            self.scripts.insert(0, script)

    def pick_response(self, req):
        """Find the script for a request and consume one response from it."""
        with self.lock:
            candidates = [s for s in self.scripts if s.matches(req)]
            candidates.sort(key=lambda s: s.method is None)  # stable: with a method first
            for s in candidates:
                nxt = s.next_response()
                if nxt is not None:
                    return s, nxt[0], nxt[1]
            return None, None, None

    def reset(self):
        with self.lock:
            self.scripts = []
            self.requests = []
            self.body_bytes_sent = 0
            self.released = set()
            self.lock.notify_all()

    def clear_requests(self):
        with self.lock:
            self.requests = []
            self.body_bytes_sent = 0
            self.lock.notify_all()

    def log_request(self, entry):
        with self.lock:
            entry["bytes_sent"] = 0
            entry["seq"] = self.next_seq
            self.next_seq += 1
            self.requests.append(entry)
            self.lock.notify_all()

    def update_entry(self, entry, **fields):
        with self.lock:
            entry.update(fields)

    def count_sent(self, entry, n):
        with self.lock:
            entry["bytes_sent"] += n
            self.body_bytes_sent += n

    def stats(self):
        with self.lock:
            return {"body_bytes_sent": self.body_bytes_sent, "requests": len(self.requests)}

    def release(self, hold_id):
        """Lets every hold with this id go on, now and later (until a reset);
        returns how many were waiting."""
        with self.lock:
            self.released.add(hold_id)
            return sum(1 for e in self.requests if e.get("holding") == hold_id)

    def is_released(self, hold_id):
        with self.lock:
            return hold_id in self.released

    def snapshot(self, since=0):
        with self.lock:
            return json.loads(json.dumps([e for e in self.requests if e["seq"] >= since]))

    def wait_for(self, count, path, timeout):
        deadline = time.monotonic() + timeout

        def matching():
            return sum(1 for e in self.requests
                       if path is None or e["path"] == path or e["path_only"] == path)

        with self.lock:
            while True:
                n = matching()
                if n >= count:
                    return True, n
                left = deadline - time.monotonic()
                if left <= 0:
                    return False, n
                self.lock.wait(left)

    def register(self, conn):
        with self.lock:
            self.next_conn_id += 1
            self.connections[self.next_conn_id] = conn
            return self.next_conn_id

    def unregister(self, conn_id):
        with self.lock:
            self.connections.pop(conn_id, None)

    def drop_idle(self, except_id):
        with self.lock:
            victims = [c for cid, c in self.connections.items()
                       if cid != except_id and c.idle]
        for c in victims:
            c.force_close()
        return len(victims)


def parse_json_body(body):
    if not body:
        return {}
    return json.loads(body.decode("utf-8"))


def handle_control(conn, conn_id, req, body, state, close):
    name = req["path_only"][len(CONTROL_PREFIX):]
    query = urllib.parse.parse_qs(req["query"] or "")
    try:
        if name == "health":
            return json_response(conn, 200, {"ok": True, "pid": os.getpid()}, close)
        if name == "help":
            return send_response(conn, req, {"body": CONTROL_HELP,
                                             "headers": [["Content-Type", "text/plain"]]},
                                 None, close)
        if name == "script":
            obj = parse_json_body(body)
            objs = obj if isinstance(obj, list) else [obj]
            scripts = [Script(o) for o in objs]   # validate all before adding any
            for o in objs:
                for r in o["responses"]:
                    if "body_b64" in r:
                        base64.b64decode(r["body_b64"], validate=True)
                    if r.get("range_answer", "ignore") not in RANGE_ANSWERS:
                        raise ValueError("range_answer must be one of " + ", ".join(RANGE_ANSWERS))
            for s in scripts:
                state.add_script(s)
                log("script %s %s: %d response(s)%s" % (s.method or "*", s.path,
                    len(s.responses), ", repeat last" if s.repeat_last else ""))
            return json_response(conn, 200, {"ok": True, "scripts": len(scripts)}, close)
        if name == "reset":
            state.reset()
            log("reset")
            return json_response(conn, 200, {"ok": True}, close)
        if name == "clear_requests":
            state.clear_requests()
            return json_response(conn, 200, {"ok": True}, close)
        if name == "requests":
            since = int(query.get("since", ["0"])[0])
            return json_response(conn, 200, state.snapshot(since), close)
        if name == "scripts":
            with state.lock:
                data = [s.describe() for s in state.scripts]
            return json_response(conn, 200, data, close)
        if name == "wait_requests":
            obj = parse_json_body(body)
            ok, n = state.wait_for(int(obj.get("count", 1)), obj.get("path"),
                                   float(obj.get("timeout_ms", 10000)) / 1000.0)
            return json_response(conn, 200 if ok else 504, {"ok": ok, "count": n}, close)
        if name == "stats":
            return json_response(conn, 200, state.stats(), close)
        if name == "release":
            hold_id = parse_json_body(body).get("id")
            if not isinstance(hold_id, str):
                raise ValueError("release needs a string 'id'")
            n = state.release(hold_id)
            log("released %r (%d waiting)" % (hold_id, n))
            return json_response(conn, 200, {"ok": True, "waiting": n}, close)
        if name == "drop_connections":
            n = state.drop_idle(conn_id)
            log("dropped %d idle connection(s)" % n)
            return json_response(conn, 200, {"ok": True, "dropped": n}, close)
        if name == "body_digest":
            src = make_body(parse_json_body(body), state.files_dir)
            try:
                digests = [hashlib.md5(), hashlib.sha1(), hashlib.sha256()]
                crc = 0
                off = 0
                while off < src.length:
                    block = src.read(off, 1024 * 1024)
                    for d in digests:
                        d.update(block)
                    crc = zlib.crc32(block, crc)
                    off += len(block)
            finally:
                src.close()
            return json_response(conn, 200, {
                "length": src.length, "md5": digests[0].hexdigest(),
                "sha1": digests[1].hexdigest(), "sha256": digests[2].hexdigest(),
                "crc32": "%08x" % crc}, close)
    except (ValueError, KeyError, TypeError) as e:
        return json_response(conn, 400, {"ok": False, "error": str(e)}, close)
    return json_response(conn, 404, {"ok": False, "error": "unknown control " + name}, close)

class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        state = self.server.state
        sock = self.request
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        conn = Connection(sock, self.server.idle_timeout)
        conn_id = state.register(conn)
        peer = "%s:%d" % self.client_address[:2]
        local_port = sock.getsockname()[1]
        index = 0
        try:
            while not conn.closed and conn.wait_for_request():
                if not self.one_request(conn, conn_id, peer, local_port, index):
                    break
                index += 1
        except ClientGone as e:
            log("connection %d (%s): client went away (%s)" % (conn_id, peer, e))
        except Exception as e:   # never let one connection take the server down
            log("connection %d (%s): unexpected %r" % (conn_id, peer, e))
        finally:
            state.unregister(conn_id)
            conn.close()

    def one_request(self, conn, conn_id, peer, local_port, index):
        """Serve one request; False when the connection is finished."""
        state = self.server.state
        received = time.time()
        try:
            req = read_request(conn)
        except ClientGone:
            return False
        except BadRequest as e:
            log("connection %d: %s" % (conn_id, e))
            try:
                json_response(conn, 400, {"ok": False, "error": str(e)}, True)
            except ClientGone:
                pass
            return False
        # Which endpoint the client really used: the TLS/HTTP front ends add
        # X-Forwarded-Port; a direct client is seen on our own port.
        fwd = header_value(req["headers"], "x-forwarded-port")
        req.update({
            "client": peer, "local_port": local_port, "connection_id": conn_id,
            "request_on_connection": index, "time": received,
            "endpoint_port": int(fwd) if fwd and fwd.isdigit() else local_port,
        })
        control = req["path_only"].startswith(CONTROL_PREFIX)
        if (req["version"] == "HTTP/1.1" and
                "100-continue" in header_tokens(req["headers"], "expect")):
            conn.send(b"HTTP/1.1 100 Continue\r\n\r\n")
        try:
            _, body = read_body(conn, req)
            req["complete"] = True
        except (ClientGone, BadRequest) as e:
            # Log what arrived: an aborted upload is worth seeing in a test.
            req["complete"] = False
            req["error"] = str(e)
            if not control:
                state.log_request(req)
                log("#%d %s %s aborted after %d body bytes: %s" % (
                    req["seq"], req["method"], req["target"], req["body_length"], e))
            return False

        close = client_wants_close(req)
        if control:
            return not handle_control(conn, conn_id, req, body, state, close)

        state.log_request(req)
        script, idx, reply = state.pick_response(req)
        if reply is not None:
            raw = "raw" in reply or "raw_b64" in reply
            state.update_entry(req, served_by="script", script_path=script.path,
                               script_method=script.method, response_index=idx,
                               status=None if raw else reply.get("status", 200))
            log("#%d %s %s -> script response %d" % (req["seq"], req["method"],
                                                     req["target"], idx))
            try:
                reply, body = shape_scripted(req, reply, state.files_dir)
                if not raw:
                    state.update_entry(req, status=reply["status"] if "status" in reply else 200)
                return not send_response(conn, req, reply, state.files_dir, close, body=body,
                                         state=state)
            except ValueError as e:
                # A script asked for something impossible (missing body_file...).
                log("#%d bad response object: %s" % (req["seq"], e))
                return not json_response(conn, 500, {"ok": False, "error": str(e)}, close)
        if req["path_only"].startswith("/files/"):
            # Log the outcome before writing: a test may read the log while
            # a large download is still streaming.
            prepared = prepare_file(req, state)
            if prepared is not None:
                reply, body = prepared
                state.update_entry(req, served_by="files", status=reply["status"])
                log("#%d %s %s -> file (%d)" % (req["seq"], req["method"], req["target"],
                                                 reply["status"]))
                return not send_response(conn, req, reply, None, close, body=body, state=state)
        state.update_entry(req, served_by="none", status=404)
        log("#%d %s %s -> 404 (not scripted)" % (req["seq"], req["method"], req["target"]))
        return not send_response(conn, req, {
            "status": 404, "body": "not scripted: %s %s\n" % (req["method"], req["path"]),
            "headers": [["Content-Type", "text/plain"]]}, None, close, state=state)


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True
    request_queue_size = 128

    def handle_error(self, request, client_address):
        log("error on connection from %s: %r" % (client_address, sys.exc_info()[1]))


def main():
    ap = argparse.ArgumentParser(description="Scriptable HTTP/1.1 fault server",
                                 epilog=CONTROL_HELP,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("port", type=int)
    ap.add_argument("files_dir", nargs="?", default=None,
                    help="folder served under /files/")
    ap.add_argument("--bind", default="127.0.0.1")
    ap.add_argument("--pid-file", help="written once the port is listening")
    ap.add_argument("--idle-timeout", type=float, default=120.0,
                    help="seconds an idle keep-alive connection is kept")
    args = ap.parse_args()

    server = Server((args.bind, args.port), Handler)
    server.state = State(os.path.abspath(args.files_dir) if args.files_dir else None)
    server.idle_timeout = args.idle_timeout

    def on_term(signum, frame):
        raise SystemExit(0)
    signal.signal(signal.SIGTERM, on_term)
    signal.signal(signal.SIGINT, on_term)

    if args.pid_file:
        tmp = args.pid_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % os.getpid())
        os.replace(tmp, args.pid_file)
    log("listening on %s:%d, files from %s" % (args.bind, args.port, server.state.files_dir))
    try:
        server.serve_forever(poll_interval=0.5)
    finally:
        if args.pid_file:
            try:
                os.unlink(args.pid_file)
            except OSError:
                pass
        log("stopped")


if __name__ == "__main__":
    main()
