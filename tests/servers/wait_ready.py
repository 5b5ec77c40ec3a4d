#!/usr/bin/python3
"""Readiness checks for servers.sh (standard library only).

    wait_ready.py free  PORT...          exit 0 once nothing listens on any PORT
    wait_ready.py ready ENV_FILE         exit 0 once every server of ENV_FILE answers

Both poll until a deadline (--timeout seconds, default 30) rather than
sleeping a fixed time: how long nginx, squid and its helpers take to come
up depends on the machine.

"ready" means more than an open port: the fault server answers its health
check directly, through the plain and the three TLS front ends, and
through both squid ports (the open one passes the request, the
authenticating one demands credentials with 407).
"""

import argparse
import http.client
import socket
import ssl
import sys
import time

POLL = 0.1  # pause between two polls of a condition that is not met yet


def listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=1):
            return True
    except OSError:
        return False


def read_env(path):
    env = {}
    with open(path) as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#") and "=" in line:
                k, v = line.split("=", 1)
                env[k] = v.strip("'\"")
    return env


def http_status(port, target, tls=False, headers=None):
    """Status of GET TARGET sent to 127.0.0.1:PORT, or None on any error."""
    try:
        if tls:
            ctx = ssl.create_default_context()
            ctx.check_hostname = False
            ctx.verify_mode = ssl.CERT_NONE   # the bad certificates are the point
            conn = http.client.HTTPSConnection("127.0.0.1", port, timeout=3, context=ctx)
        else:
            conn = http.client.HTTPConnection("127.0.0.1", port, timeout=3)
        conn.request("GET", target, headers=headers or {})
        status = conn.getresponse().status
        conn.close()
        return status
    except (OSError, http.client.HTTPException):
        return None


def checks_for(env):
    fault = int(env["FAULT_PORT"])
    health = "/__control/health"
    via_proxy = "http://127.0.0.1:%d%s" % (fault, health)
    yield "fault server :%d" % fault, lambda: http_status(fault, health) == 200
    p = int(env["NGINX_HTTP_PORT"])
    yield "nginx http :%d" % p, lambda p=p: http_status(p, health) == 200
    for name in ("TLS_GOOD_PORT", "TLS_EXPIRED_PORT", "TLS_WRONGHOST_PORT"):
        p = int(env[name])
        yield "nginx tls :%d" % p, lambda p=p: http_status(p, health, tls=True) == 200
    p = int(env["PROXY_OPEN_PORT"])
    yield "squid open :%d" % p, lambda p=p: http_status(p, via_proxy) == 200
    p = int(env["PROXY_AUTH_PORT"])
    yield "squid auth :%d" % p, lambda p=p: http_status(p, via_proxy) == 407


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("mode", choices=("free", "ready"))
    ap.add_argument("args", nargs="+")
    ap.add_argument("--timeout", type=float, default=30.0)
    a = ap.parse_args()
    deadline = time.monotonic() + a.timeout

    if a.mode == "free":
        pending = {"port %s still in use" % p: (lambda p=int(p): not listening(p))
                   for p in a.args}
    else:
        pending = dict(checks_for(read_env(a.args[0])))

    while pending:
        for name in list(pending):
            if pending[name]():
                del pending[name]
        if not pending or time.monotonic() > deadline:
            break
        time.sleep(POLL)
    if pending:
        for name in pending:
            print("gave up waiting: %s" % name, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
