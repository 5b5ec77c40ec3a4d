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
Debian with /usr/bin/python3.
"""

import argparse
import base64
import email.utils
import hashlib
import http
import json
import os
import signal
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse
import zlib

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
       close_after_bytes, reset_after_bytes, close_connection (bool)
POST /__control/reset        forget scripts and the request log
POST /__control/clear_requests   forget the request log only
GET  /__control/requests     the request log (?since=SEQ for entries with seq >= SEQ)
POST /__control/wait_requests {"count": N, "path": optional, "timeout_ms": 10000}
                             200 once N matching requests are logged, 504 on timeout
GET  /__control/scripts      current scripts and how far each has been consumed
POST /__control/drop_connections   close every idle keep-alive connection now
POST /__control/body_digest  a response object -> {"length", "md5", "sha1", "sha256", "crc32"}
GET  /__control/health       {"ok": true}
GET  /files/NAME             static file from FILES_DIR (single-range requests honoured)
"""

# Bytes written per send() when nothing else asks for smaller pieces.
IO_BLOCK = 64 * 1024
# Bodies of logged requests are kept up to this size (the length is always exact).
LOG_BODY_LIMIT = 1024 * 1024
# Guard against a runaway client sending an endless header block.
MAX_HEAD_BYTES = 256 * 1024
# After a graceful close we read (and drop) what the peer still sends for up
# to this long, so that late bytes do not turn our FIN into an RST.
DRAIN_SECONDS = 2.0


def log(msg):
    sys.stderr.write("%s %s\n" % (time.strftime("%H:%M:%S"), msg))
    sys.stderr.flush()


class ClientGone(Exception):
    """The peer closed or reset the connection while we were using it."""


class BadRequest(Exception):
    pass


# --------------------------------------------------------------------------
# Body sources.  All of them stream: read(offset, n) returns bytes on demand,
# so a body_size of several GiB never sits in memory.
# --------------------------------------------------------------------------

class BytesBody:
    def __init__(self, data):
        self.data = data
        self.length = len(data)

    def read(self, offset, n):
        return self.data[offset:offset + n]

    def close(self):
        pass


class FillBody:
    """A generated body: one repeated byte, or the "pattern" fill where the
    byte at offset i is i % 251.  The prime period makes a dropped or
    duplicated block visible in a downloaded file, and the expected digest
    can be had from /__control/body_digest."""

    PERIOD = 251

    def __init__(self, size, fill):
        self.length = int(size)
        if self.length < 0:
            raise ValueError("body_size must be >= 0")
        if fill == "pattern":
            period = self.PERIOD
            reps = (IO_BLOCK + 2 * period) // period + 1
            self.block = bytes(i % period for i in range(period)) * reps
            self.period = period
        else:
            if isinstance(fill, str):
                if len(fill.encode("latin-1")) != 1:
                    raise ValueError('body_fill must be a byte value, one character or "pattern"')
                value = fill.encode("latin-1")[0]
            else:
                value = int(fill)
                if not 0 <= value <= 255:
                    raise ValueError("body_fill byte out of range")
            self.block = bytes([value]) * IO_BLOCK
            self.period = 1

    def read(self, offset, n):
        n = max(0, min(n, self.length - offset))
        out = bytearray()
        while n > 0:
            start = offset % self.period
            take = min(n, len(self.block) - start)
            out += self.block[start:start + take]
            offset += take
            n -= take
        return bytes(out)

    def close(self):
        pass


class FileBody:
    def __init__(self, path, first=0, last=None):
        self.f = open(path, "rb")
        size = os.fstat(self.f.fileno()).st_size
        if last is None:
            last = size - 1
        self.first = first
        self.length = max(0, last - first + 1)

    def read(self, offset, n):
        n = max(0, min(n, self.length - offset))
        self.f.seek(self.first + offset)
        return self.f.read(n)

    def close(self):
        self.f.close()


def safe_file_path(files_dir, name):
    """Map NAME (URL-decoded, may contain sub-folders) inside files_dir, or None."""
    if not files_dir or not name:
        return None
    root = os.path.realpath(files_dir)
    path = os.path.realpath(os.path.join(root, name))
    if not path.startswith(root + os.sep) or not os.path.isfile(path):
        return None
    return path


def make_body(reply, files_dir):
    """Build the body source a response object asks for."""
    if "body_b64" in reply:
        return BytesBody(base64.b64decode(reply["body_b64"]))
    if "body" in reply:
        return BytesBody(str(reply["body"]).encode("utf-8"))
    if "body_size" in reply:
        return FillBody(reply["body_size"], reply.get("body_fill", "pattern"))
    if "body_file" in reply:
        path = safe_file_path(files_dir, reply["body_file"])
        if path is None:
            raise ValueError("body_file %r not found in files dir" % reply["body_file"])
        return FileBody(path)
    return BytesBody(b"")


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
            self.lock.notify_all()

    def clear_requests(self):
        with self.lock:
            self.requests = []
            self.lock.notify_all()

    def log_request(self, entry):
        with self.lock:
            entry["seq"] = self.next_seq
            self.next_seq += 1
            self.requests.append(entry)
            self.lock.notify_all()

    def update_entry(self, entry, **fields):
        with self.lock:
            entry.update(fields)

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


# --------------------------------------------------------------------------
# One client connection.
# --------------------------------------------------------------------------

class Connection:
    def __init__(self, sock, idle_timeout):
        self.sock = sock
        self.idle_timeout = idle_timeout
        self.buf = bytearray()
        self.idle = False
        self.closed = False

    # ---- reading ---------------------------------------------------------

    def _fill(self):
        try:
            data = self.sock.recv(IO_BLOCK)
        except OSError as e:      # reset, broken pipe, timeout
            raise ClientGone(str(e))
        if not data:
            raise ClientGone("EOF")
        self.buf += data

    def readline(self):
        while True:
            i = self.buf.find(b"\n")
            if i >= 0:
                line = bytes(self.buf[:i + 1])
                del self.buf[:i + 1]
                return line
            if len(self.buf) > MAX_HEAD_BYTES:
                raise BadRequest("header line too long")
            self._fill()

    def read_some(self, n):
        """Up to n bytes (at least one)."""
        if not self.buf:
            self._fill()
        data = bytes(self.buf[:n])
        del self.buf[:n]
        return data

    def wait_for_request(self):
        """Block until the first byte of a request; False on a clean EOF."""
        if self.buf:
            return True
        self.idle = True
        try:
            self.sock.settimeout(self.idle_timeout)
            self._fill()
            return True
        except (ClientGone, socket.timeout):
            return False
        finally:
            self.idle = False
            # Inside a request the client may be slow, but not forever.
            self.sock.settimeout(max(self.idle_timeout, 300))

    # ---- writing ---------------------------------------------------------

    def send(self, data):
        if not data:
            return
        try:
            self.sock.sendall(data)
        except OSError as e:      # reset, broken pipe, timeout
            raise ClientGone(str(e))

    def close_graceful(self):
        """FIN, then swallow whatever the peer still sends, then close."""
        if self.closed:
            return
        self.closed = True
        try:
            self.sock.shutdown(socket.SHUT_WR)
            self.sock.settimeout(DRAIN_SECONDS)
            deadline = time.monotonic() + DRAIN_SECONDS
            while time.monotonic() < deadline and self.sock.recv(IO_BLOCK):
                pass
        except OSError:
            pass
        try:
            self.sock.close()
        except OSError:
            pass

    def close_reset(self):
        """Abort with RST: SO_LINGER on with a zero timeout, then close."""
        if self.closed:
            return
        self.closed = True
        try:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass
        try:
            self.sock.close()
        except OSError:
            pass

    def force_close(self):
        """Called from another thread (drop_connections): wakes our recv()."""
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


def sleep_ms(ms):
    # This is the scripted delay the test asked for, not synchronisation.
    if ms:
        time.sleep(float(ms) / 1000.0)


def header_value(headers, name):
    """Last value of a header (case-insensitive), or None."""
    name = name.lower()
    value = None
    for k, v in headers:
        if k.lower() == name:
            value = v
    return value


def header_tokens(headers, name):
    out = []
    name = name.lower()
    for k, v in headers:
        if k.lower() == name:
            out += [t.strip().lower() for t in v.split(",") if t.strip()]
    return out


def split_target(method, target):
    """Return (path, absolute_form, host) for a request-target.

    Through a proxy, or when the updater is pointed at this server as if it
    were one, the request line carries an absolute URI; scripts and the log
    want the origin-form path, exactly as sent (bare '?' included)."""
    if method.upper() == "CONNECT" or target == "*":
        return target, False, None
    low = target.lower()
    for scheme in ("http://", "https://"):
        if low.startswith(scheme):
            rest = target[len(scheme):]
            cut = len(rest)
            for ch in "/?#":
                j = rest.find(ch)
                if j >= 0:
                    cut = min(cut, j)
            host, path = rest[:cut], rest[cut:]
            if not path.startswith("/"):
                path = "/" + path
            return path, True, host
    return target, False, None


def read_request(conn):
    """Parse one request head from the connection into a log entry dict."""
    head = bytearray()
    line = conn.readline()
    # RFC 9112 lets a server ignore empty lines before a request line.
    while line in (b"\r\n", b"\n"):
        line = conn.readline()
    head += line
    parts = line.decode("latin-1").rstrip("\r\n").split(" ")
    if len(parts) != 3 or not parts[2].startswith("HTTP/"):
        raise BadRequest("bad request line %r" % line[:200])
    method, target, version = parts
    headers = []
    while True:
        line = conn.readline()
        head += line
        if len(head) > MAX_HEAD_BYTES:
            raise BadRequest("header block too large")
        if line in (b"\r\n", b"\n"):
            break
        text = line.decode("latin-1").rstrip("\r\n")
        if text[:1] in (" ", "\t") and headers:     # obsolete line folding
            headers[-1][1] += " " + text.strip()
            continue
        name, sep, value = text.partition(":")
        if not sep:
            raise BadRequest("bad header line %r" % text[:200])
        headers.append([name, value.strip(" \t")])
    path, absolute, host = split_target(method, target)
    path_only, qmark, query = path.partition("?")
    return {
        "method": method,
        "target": target,                 # request-target exactly as sent
        "path": path,                     # origin-form, query and bare '?' kept
        "path_only": path_only,
        "query": query if qmark else None,  # "" for a bare '?', null for none
        "absolute_form": absolute,
        "target_host": host,
        "version": version,
        "headers": headers,
        "head_raw": head.decode("latin-1"),
    }


def read_body(conn, req):
    """Read the request body (Content-Length or chunked); returns (length, kept bytes)."""
    kept = bytearray()
    total = 0

    def take(data):
        nonlocal total
        total += len(data)
        if len(kept) < LOG_BODY_LIMIT:
            kept.extend(data[:LOG_BODY_LIMIT - len(kept)])

    te = header_tokens(req["headers"], "transfer-encoding")
    cl = header_value(req["headers"], "content-length")
    try:
        if te and te[-1] == "chunked":
            while True:
                size_line = conn.readline().decode("latin-1")
                size = int(size_line.split(";")[0].strip(), 16)
                if size == 0:
                    while conn.readline() not in (b"\r\n", b"\n"):   # trailers
                        pass
                    break
                left = size
                while left:
                    data = conn.read_some(min(left, IO_BLOCK))
                    take(data)
                    left -= len(data)
                conn.readline()   # CRLF after the chunk
        elif cl is not None:
            left = int(cl.strip())
            while left > 0:
                data = conn.read_some(min(left, IO_BLOCK))
                take(data)
                left -= len(data)
    except ValueError:
        raise BadRequest("bad body framing")
    finally:
        req["body_length"] = total
        req["body_b64"] = base64.b64encode(bytes(kept)).decode("ascii")
        req["body_truncated_in_log"] = total > len(kept)
    return total, bytes(kept)


def client_wants_close(req):
    tokens = header_tokens(req["headers"], "connection")
    if "close" in tokens:
        return True
    if req["version"] == "HTTP/1.0" and "keep-alive" not in tokens:
        return True
    return False


# --------------------------------------------------------------------------
# Writing responses.
# --------------------------------------------------------------------------

def send_response(conn, req, reply, files_dir, default_close, body=None):
    """Write one (possibly faulty) response.  Returns True if the connection
    must be closed afterwards (and has been closed already).  BODY, when
    given, is an already opened body source used instead of the reply object's."""
    method = req["method"].upper()
    status = int(reply.get("status", 200))
    reason = reply.get("reason")
    if reason is None:
        try:
            reason = http.HTTPStatus(status).phrase
        except ValueError:          # a status code Python has no name for
            reason = "Unknown"
    version = reply.get("http_version", "HTTP/1.1")
    chunked = bool(reply.get("chunked", False))
    cl_mode = reply.get("content_length", "auto")
    close_after = reply.get("close_after_bytes")
    reset_after = reply.get("reset_after_bytes")
    chunk_size = int(reply.get("chunk_size") or 0)
    gap_ms = reply.get("delay_between_chunks_ms", 0)

    # raw/raw_b64: the test supplies every byte, we only pace and cut them.
    raw = None
    if "raw_b64" in reply:
        raw = base64.b64decode(reply["raw_b64"])
    elif "raw" in reply:
        raw = str(reply["raw"]).encode("utf-8")

    if body is None:
        body = BytesBody(raw) if raw is not None else make_body(reply, files_dir)
    try:
        no_body = (raw is None and
                   (method == "HEAD" or status in (204, 304) or 100 <= status < 200))
        send_len = 0 if no_body else body.length
        if raw is not None:
            chunked = False

        # Will the framing leave the client unable to find the end of the
        # response?  Then the connection cannot be reused: close it, unless
        # the test explicitly wants it held open (to watch the client hang).
        framing_broken = False
        if raw is None and not no_body and not chunked:
            if cl_mode == "none":
                framing_broken = True
            elif cl_mode != "auto" and int(cl_mode) != body.length:
                framing_broken = True
        must_close = default_close or framing_broken or raw is not None
        if "close_connection" in reply:
            must_close = bool(reply["close_connection"]) or default_close

        sleep_ms(reply.get("delay_before_headers_ms", 0))

        if raw is None:
            names = set(k.lower() for k, _ in reply.get("headers", []))
            lines = ["%s %d %s" % (version, status, reason)]
            auto = reply.get("auto_headers", True)
            if auto and "date" not in names:
                lines.append("Date: " + email.utils.formatdate(usegmt=True))
            for k, v in reply.get("headers", []):
                lines.append("%s: %s" % (k, v))
            if "content-length" not in names:
                if cl_mode == "auto":
                    if not chunked and not (status in (204, 304) or 100 <= status < 200):
                        lines.append("Content-Length: %d" % body.length)
                elif cl_mode != "none":
                    lines.append("Content-Length: %d" % int(cl_mode))
            if chunked and "transfer-encoding" not in names:
                lines.append("Transfer-Encoding: chunked")
            if auto and "connection" not in names:
                if must_close:
                    lines.append("Connection: close")
                elif req["version"] == "HTTP/1.0":
                    lines.append("Connection: keep-alive")
            conn.send(("\r\n".join(lines) + "\r\n\r\n").encode("latin-1"))
            sleep_ms(reply.get("delay_before_body_ms", 0))

        # The cut-off point (bytes of payload, not counting chunk framing).
        cut = None
        cut_kind = None
        for kind, value in (("close", close_after), ("reset", reset_after)):
            if value is not None and (cut is None or int(value) < cut):
                cut, cut_kind = int(value), kind

        piece = chunk_size or (IO_BLOCK if chunked else max(send_len, 1))
        sent = 0

        def do_cut():
            log("  cutting connection (%s) after %d body bytes" % (cut_kind, sent))
            if cut_kind == "reset":
                conn.close_reset()
            else:
                conn.close_graceful()
            return True

        if cut is not None and cut <= 0:
            return do_cut()
        first = True
        while sent < send_len:
            if not first:
                sleep_ms(gap_ms)
            first = False
            n = min(piece, send_len - sent)
            if chunked:
                conn.send(b"%x\r\n" % n)
            done_in_piece = 0
            while done_in_piece < n:
                block = min(IO_BLOCK, n - done_in_piece)
                if cut is not None and sent + block >= cut:
                    conn.send(body.read(sent, cut - sent))
                    sent = cut
                    return do_cut()
                conn.send(body.read(sent, block))
                sent += block
                done_in_piece += block
            if chunked:
                conn.send(b"\r\n")
        if chunked and not no_body:
            conn.send(b"0\r\n\r\n")
        if cut is not None and sent >= cut:
            return do_cut()
        if must_close:
            conn.close_graceful()
            return True
        return False
    finally:
        body.close()


def json_response(conn, status, obj, close):
    body = (json.dumps(obj, indent=1) + "\n").encode("utf-8")
    reply = {"status": status, "headers": [["Content-Type", "application/json"]],
            "body_b64": base64.b64encode(body).decode("ascii")}
    return send_response(conn, {"method": "GET", "version": "HTTP/1.1"}, reply, None, close)


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


def prepare_file(req, state):
    """GET/HEAD /files/NAME with an exact Content-Length; one byte range is
    honoured so that resumed downloads can be tested against real files.
    Returns None when there is no such file, else (reply, body)."""
    name = urllib.parse.unquote(req["path_only"][len("/files/"):])
    path = safe_file_path(state.files_dir, name)
    if path is None or req["method"].upper() not in ("GET", "HEAD"):
        return None
    size = os.path.getsize(path)
    headers = [["Content-Type", "application/octet-stream"],
               ["Last-Modified", email.utils.formatdate(os.path.getmtime(path), usegmt=True)],
               ["Accept-Ranges", "bytes"]]
    status, first, last = 200, 0, size - 1
    rng = header_value(req["headers"], "range")
    if rng and rng.strip().lower().startswith("bytes=") and "," not in rng:
        a, _, b = rng.strip()[6:].partition("-")
        try:
            if a.strip() == "":             # suffix range: the last N bytes
                first, last = max(0, size - int(b)), size - 1
            else:
                first = int(a)
                last = min(int(b), size - 1) if b.strip() else size - 1
            if first >= size or first > last:
                return ({"status": 416, "headers": [["Content-Range", "bytes */%d" % size]]},
                        BytesBody(b""))
            status = 206
            headers.append(["Content-Range", "bytes %d-%d/%d" % (first, last, size)])
        except ValueError:
            status, first, last = 200, 0, size - 1     # unparsable: ignore the Range
    return {"status": status, "headers": headers}, FileBody(path, first, last)


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
            if not conn.closed:
                conn.closed = True
                try:
                    sock.close()
                except OSError:
                    pass

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
                return not send_response(conn, req, reply, state.files_dir, close)
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
                return not send_response(conn, req, reply, None, close, body=body)
        state.update_entry(req, served_by="none", status=404)
        log("#%d %s %s -> 404 (not scripted)" % (req["seq"], req["method"], req["target"]))
        return not send_response(conn, req, {
            "status": 404, "body": "not scripted: %s %s\n" % (req["method"], req["path"]),
            "headers": [["Content-Type", "text/plain"]]}, None, close)


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
