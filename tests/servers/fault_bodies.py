"""Response bodies of the fault server, and the byte ranges it answers.

Every body source streams: read(offset, n) returns bytes on demand, so a
body_size of several GiB never sits in memory, and a range of it can start
at any offset.
"""

import base64
import os

# Bytes written per send() when nothing else asks for smaller pieces.
IO_BLOCK = 64 * 1024


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
    def __init__(self, path):
        self.f = open(path, "rb")
        self.length = os.fstat(self.f.fileno()).st_size

    def read(self, offset, n):
        n = max(0, min(n, self.length - offset))
        self.f.seek(offset)
        return self.f.read(n)

    def close(self):
        self.f.close()


class SliceBody:
    """COUNT bytes of another body from FIRST on (the body of a 206)."""

    def __init__(self, whole, first, count):
        self.whole = whole
        self.first = first
        self.length = max(0, count)

    def read(self, offset, n):
        n = max(0, min(n, self.length - offset))
        return self.whole.read(self.first + offset, n)

    def close(self):
        self.whole.close()


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
# Byte ranges.
# --------------------------------------------------------------------------

RANGE_ANSWERS = ("ignore", "416", "wrong_total", "wrong_start", "always_206", "skip_if_range")


def parse_range(value, length):
    """A single "bytes=" range of a body of LENGTH as (first, last), last
    clamped to the end; first >= length when it cannot be satisfied.  None
    when there is no usable range (absent, unparsable, several ranges): the
    request is then answered whole, as a server may."""
    if not value:
        return None
    value = value.strip()
    if not value.lower().startswith("bytes=") or "," in value:
        return None
    a, sep, b = value[6:].partition("-")
    try:
        if not sep:
            return None
        if a.strip() == "":                      # suffix range: the last N bytes
            n = int(b)
            return (max(0, length - n), length - 1) if n > 0 else (length, length)
        first = int(a)
        last = min(int(b), length - 1) if b.strip() else length - 1
    except ValueError:
        return None
    if first < 0 or (b.strip() and int(b) < first):
        return (length, length)
    return first, last


def answer_range(headers, length, etag=None, last_modified=None, mode=None):
    """How to answer a request with HEADERS ([name, value] pairs) for a body
    of LENGTH bytes that honours ranges.  MODE is None for a correct server,
    else one of RANGE_ANSWERS.  Returns (status, first, count, content_range),
    content_range None when the answer has no Content-Range header."""
    whole = (200, 0, length, None)

    def header(name):
        found = [v for k, v in headers if k.lower() == name]
        return found[-1] if found else None

    if mode == "always_206":
        return 206, 0, length, "bytes 0-%d/%d" % (length - 1, length)
    rng = parse_range(header("range"), length)
    if rng is None or mode == "ignore":
        return whole
    if mode is None:
        if_range = header("if-range")
        if if_range is not None and if_range.strip() not in (etag, last_modified):
            return whole                        # the entity changed: all of it
    first, last = rng
    if mode == "416" or first >= length:
        return 416, 0, 0, "bytes */%d" % length
    count = last - first + 1
    if mode == "wrong_total":
        return 206, first, count, "bytes %d-%d/%d" % (first, last, length + 1)
    if mode == "wrong_start":
        return 206, first, count, "bytes %d-%d/%d" % (first + 1, last, length)
    return 206, first, count, "bytes %d-%d/%d" % (first, last, length)
