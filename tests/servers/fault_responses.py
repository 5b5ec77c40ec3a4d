"""Responses of the fault server as the test scripted them: validators and
byte ranges, then status line, headers and body written with every delay,
pace, stall, hold and cut asked for."""

import base64
import email.utils
import http
import json
import os
import time
import urllib.parse

from fault_bodies import (IO_BLOCK, BytesBody, FileBody, SliceBody, answer_range, make_body,
                          safe_file_path)
from fault_wire import ClientGone, log, sleep_ms

# Where a response may stop sending, as (reply field, kind); at one offset
# a hold comes before a stall, and a stall before a cut.
STOP_FIELDS = (("hold_after_bytes", "hold"), ("stall_after_bytes", "stall"),
               ("close_after_bytes", "close"), ("reset_after_bytes", "reset"))


def stall(conn, reply, sent):
    """Sends nothing more, without closing, until the client gives up or
    stall_ms pass; then closes (FIN)."""
    seconds = float(reply.get("stall_ms", 600000)) / 1000.0
    log("  stalling after %d body bytes (up to %.1f s)" % (sent, seconds))
    deadline = time.monotonic() + seconds
    while True:
        left = deadline - time.monotonic()
        if left <= 0:
            break
        if conn.peer_closed(left):
            raise ClientGone("closed by the client during a stall after %d body bytes" % sent)
    conn.close_graceful()


def hold(conn, reply, sent, state, entry):
    """Sends nothing more until /__control/release names hold_id."""
    hold_id = str(reply.get("hold_id", ""))
    log("  holding %r after %d body bytes" % (hold_id, sent))
    if state is not None:
        state.update_entry(entry, holding=hold_id)
    try:
        while state is None or not state.is_released(hold_id):
            # The release is polled; the client closing wakes us at once.
            if conn.peer_closed(0.05):
                raise ClientGone("closed by the client during hold %r" % hold_id)
    finally:
        if state is not None:
            state.update_entry(entry, holding=None)
    log("  released %r" % hold_id)


def send_response(conn, req, reply, files_dir, default_close, body=None, state=None):
    """Write one (possibly faulty) response.  Returns True if the connection
    must be closed afterwards (and has been closed already).  BODY, when
    given, is an already opened body source used instead of the reply object's.
    With STATE, REQ is the logged request: its bytes_sent is kept up to date."""
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
    chunk_size = int(reply.get("chunk_size") or 0)
    gap_ms = reply.get("delay_between_chunks_ms", 0)
    rate = float(reply.get("rate_bytes_per_s") or 0)

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

        # Stops count bytes of payload (not chunk framing) of this response;
        # those beyond its end never come.
        stops = sorted((max(0, int(reply[field])), order, kind)
                       for order, (field, kind) in enumerate(STOP_FIELDS)
                       if reply.get(field) is not None and int(reply[field]) <= send_len)
        piece = chunk_size or (IO_BLOCK if chunked else max(send_len, 1))
        # Paced bodies go out in pieces of about 50 ms each.
        pace_block = max(1, min(IO_BLOCK, int(rate / 20))) if rate > 0 else IO_BLOCK
        sent = 0
        paced_from = time.monotonic()

        def stops_due():
            """Performs the stops due now; True once the connection has ended."""
            nonlocal paced_from
            while stops and stops[0][0] <= sent:
                _, _, kind = stops.pop(0)
                if kind == "hold":
                    hold(conn, reply, sent, state, req)
                    paced_from = time.monotonic() - (sent / rate if rate > 0 else 0)
                    continue
                if kind == "stall":
                    stall(conn, reply, sent)
                else:
                    log("  cutting connection (%s) after %d body bytes" % (kind, sent))
                    if kind == "reset":
                        conn.close_reset()
                    else:
                        conn.close_graceful()
                return True
            return False

        if stops_due():
            return True
        first = True
        while sent < send_len:
            if not first:
                sleep_ms(gap_ms)
            first = False
            n = min(piece, send_len - sent)
            if chunked:
                conn.send(b"%x\r\n" % n)
            end_of_piece = sent + n
            while sent < end_of_piece:
                block = min(pace_block, end_of_piece - sent)
                if stops:
                    block = min(block, stops[0][0] - sent)
                if rate > 0:
                    # The rate the test asked for, not synchronisation.
                    time.sleep(max(0.0, paced_from + sent / rate - time.monotonic()))
                data = body.read(sent, block)
                conn.send(data)
                sent += block
                if state is not None:
                    state.count_sent(req, len(data))
                if stops_due():
                    return True
            if chunked:
                conn.send(b"\r\n")
        if chunked and not no_body:
            conn.send(b"0\r\n\r\n")
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

def shape_scripted(req, reply, files_dir):
    """The reply object as sent, with its validators and its answer to a
    Range applied, and its body source (None for raw replies)."""
    if "raw" in reply or "raw_b64" in reply:
        return reply, None
    mode = reply.get("range_answer")
    etag, modified = reply.get("etag"), reply.get("last_modified")
    extra = [[name, str(value)] for name, value in (("ETag", etag), ("Last-Modified", modified))
             if value is not None]
    body = make_body(reply, files_dir)
    if (reply.get("ranges") or mode) and int(reply.get("status", 200)) == 200:
        status, first, count, content_range = answer_range(
            req["headers"], body.length, etag, modified, mode)
        extra.append(["Accept-Ranges", "bytes"])
        if content_range:
            extra.append(["Content-Range", content_range])
        if status != 200:
            body = SliceBody(body, first, count)
            reply = {k: v for k, v in reply.items() if k != "reason"}
        reply = dict(reply, status=status)
    if extra:
        reply = dict(reply, headers=list(reply.get("headers", [])) + extra)
    return reply, body


def prepare_file(req, state):
    """GET/HEAD /files/NAME with an exact Content-Length, validators, and one
    byte range honoured (If-Range too), so that resumed downloads can be
    tested against real files.  Returns None when there is no such file,
    else (reply, body)."""
    name = urllib.parse.unquote(req["path_only"][len("/files/"):])
    path = safe_file_path(state.files_dir, name)
    if path is None or req["method"].upper() not in ("GET", "HEAD"):
        return None
    body = FileBody(path)
    info = os.fstat(body.f.fileno())
    etag = '"%d-%d"' % (info.st_size, info.st_mtime_ns)
    modified = email.utils.formatdate(info.st_mtime, usegmt=True)
    headers = [["Content-Type", "application/octet-stream"], ["ETag", etag],
               ["Last-Modified", modified], ["Accept-Ranges", "bytes"]]
    status, first, count, content_range = answer_range(req["headers"], body.length, etag, modified)
    if content_range:
        headers.append(["Content-Range", content_range])
    if status != 200:
        body = SliceBody(body, first, count)
    return {"status": status, "headers": headers}, body
