"""The fault server's side of one client connection: the raw socket, and
HTTP/1.1 requests read off it exactly as the client sent them."""

import base64
import select
import socket
import struct
import sys
import time

from fault_bodies import IO_BLOCK

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

    def close(self, last_step=None):
        """Closes the socket once, after LAST_STEP (the FIN or the RST set-up)
        when given.  A peer that is gone already makes either fail: ignored."""
        if self.closed:
            return
        self.closed = True
        if last_step is not None:
            try:
                last_step()
            except OSError:
                pass
        try:
            self.sock.close()
        except OSError:
            pass

    def close_graceful(self):
        """FIN, then swallow whatever the peer still sends, then close."""
        def drain():
            self.sock.shutdown(socket.SHUT_WR)
            self.sock.settimeout(DRAIN_SECONDS)
            deadline = time.monotonic() + DRAIN_SECONDS
            while time.monotonic() < deadline and self.sock.recv(IO_BLOCK):
                pass
        self.close(drain)

    def close_reset(self):
        """Abort with RST: SO_LINGER on with a zero timeout, then close."""
        self.close(lambda: self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                                struct.pack("ii", 1, 0)))

    def peer_closed(self, timeout):
        """Waits up to TIMEOUT seconds, sending nothing; True once the peer
        has closed or reset the connection.  Bytes it sends meanwhile are
        kept for the next request."""
        try:
            readable, _, _ = select.select([self.sock], [], [], max(0.0, timeout))
            if not readable:
                return False
            data = self.sock.recv(IO_BLOCK)
        except (OSError, ValueError):      # reset, or closed by force_close
            return True
        if not data:
            return True
        self.buf += data
        return False

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
