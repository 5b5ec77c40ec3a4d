#!/bin/bash
# Self-test of the network test servers (fault server, nginx TLS front
# ends, squid).  Starts everything into a fresh temporary folder, checks
# each server with curl/openssl, stops everything again.
#
#   tests/servers/selftest.sh          (as root; needs curl besides servers.sh's packages)
#
# Prints one line per check and a closing "N passed, N failed"; exits
# non-zero if any check failed (the runtime folder with all logs is then
# kept and its path printed).

set -u

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PY=/usr/bin/python3
command -v curl >/dev/null || { echo "selftest: curl is needed (apt-get install curl)" >&2; exit 1; }

RT=$(mktemp -d /tmp/qvx-servers.XXXXXX)
PASSED=0
FAILED=0
TMP=$RT/selftest
finish() {
    "$HERE/servers.sh" stop "$RT" >/dev/null 2>&1
    if [ "$FAILED" -eq 0 ] && [ "$PASSED" -gt 0 ]; then
        rm -rf "$RT"
    else
        echo "runtime folder kept, with all logs: $RT"
    fi
}
trap finish EXIT

pass() { PASSED=$((PASSED + 1)); echo "ok   - $1"; }
fail() { FAILED=$((FAILED + 1)); echo "FAIL - $1"; shift; [ $# -gt 0 ] && printf '       %s\n' "$@"; }

# check DESCRIPTION COMMAND...: passes if the command succeeds.
check() {
    local desc=$1
    shift
    if "$@"; then pass "$desc"; else fail "$desc" "command: $*"; fi
}

# ---- talking to the fault server --------------------------------------------

ctl() {   # ctl METHOD NAME [JSON]: call the control API, print the reply
    curl -sS --max-time 30 -X "$1" ${3:+--data-binary "$3"} "$CTL/$2"
}
script() { ctl POST script "$1" >/dev/null; }

# log_true DESCRIPTION PYTHON-EXPR: the expression, evaluated with r bound
# to the request log (list of dicts, oldest first), must be true.
log_true() {
    local desc=$1 expr=$2 out
    if out=$(ctl GET requests | "$PY" -c '
import json, sys
r = json.load(sys.stdin)
ok = eval("(" + sys.argv[1] + ")")   # parenthesised: may span lines
if not ok:
    print(json.dumps(r[-1] if r else None, indent=None)[:2000])
sys.exit(0 if ok else 1)' "$expr"); then
        pass "$desc"
    else
        fail "$desc" "expected: $expr" "last log entry: $out"
    fi
}

# log_says PYTHON-EXPR: like log_true, quietly, for polling.
log_says() {
    ctl GET requests | "$PY" -c 'import json, sys; r = json.load(sys.stdin); sys.exit(0 if eval(sys.argv[1]) else 1)' "$1"
}
# eventually COMMAND...: the command succeeds within 10 s.
eventually() {
    local deadline=$((SECONDS + 10))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05   # polling interval
    done
}

# fetch ARGS...: run curl, leaving headers in $TMP/h, body in $TMP/b and
# "http_code size_download time_starttransfer time_total" in $W; the curl
# exit code in $RC.
fetch() {
    W=$(curl -sS --max-time 30 -D "$TMP/h" -o "$TMP/b" \
        -w '%{http_code} %{size_download} %{time_starttransfer} %{time_total}' "$@" 2>"$TMP/e")
    RC=$?
}
code() { echo "${W%% *}"; }
size() { echo "$W" | cut -d' ' -f2; }
has_header() { tr -d '\r' <"$TMP/h" | grep -qi "^$1\$"; }
not() { ! "$@"; }
# group_running PGID: a live (non-zombie) process is in that process group.
group_running() { ps -eo pgid=,stat= | awk -v g="$1" '$1 == g && $2 !~ /^Z/ {f = 1} END {exit !f}'; }
at_least() { "$PY" -c 'import sys; sys.exit(0 if float(sys.argv[1]) >= float(sys.argv[2]) else 1)' "$1" "$2"; }

# ---- start --------------------------------------------------------------------

echo "# starting servers in $RT"
if ! "$HERE/servers.sh" start "$RT"; then
    fail "servers start"
    echo "$PASSED passed, $FAILED failed"
    exit 1
fi
pass "servers start and answer"
# shellcheck disable=SC1091
. "$RT/ports.env"
mkdir -p "$TMP"
F=http://127.0.0.1:$FAULT_PORT
CTL=$F/__control
CERTS=$RT/certs

echo "# fault server: scripted responses"
ctl POST reset >/dev/null

script '{"path": "/gdisp.xml", "method": "POST", "repeat_last": true,
         "responses": [{"body": "<reply>one</reply>", "headers": [["Content-Type", "text/xml"]]}]}'
fetch -X POST --data-binary '<query/>' "$F/gdisp.xml?"
check "POST /gdisp.xml? answered 200" test "$(code)" = 200
check "  with Content-Length: 18" has_header 'Content-Length: 18'
check "  and the scripted body" test "$(cat "$TMP/b")" = '<reply>one</reply>'
log_true "  logged as POST /gdisp.xml? with its body" \
    'r[-1]["method"] == "POST" and r[-1]["path"] == "/gdisp.xml?" and r[-1]["query"] == ""
     and r[-1]["body_length"] == 8 and r[-1]["body_b64"] == "PHF1ZXJ5Lz4="'

script '{"path": "/seq", "responses": [{"status": 503, "body": "busy"}, {"body": "second"}]}'
fetch "$F/seq"; c1=$(code)
fetch "$F/seq"; c2=$(code); b2=$(cat "$TMP/b")
fetch "$F/seq"; c3=$(code)
check "responses used in order, then 404 when used up" test "$c1 $c2 $b2 $c3" = "503 200 second 404"

script '{"path": "/chunked", "repeat_last": true,
         "responses": [{"body": "abcdefgh", "chunked": true, "chunk_size": 3}]}'
fetch "$F/chunked"
check "chunked: Transfer-Encoding: chunked" has_header 'Transfer-Encoding: chunked'
check "  and no Content-Length" bash -c "! tr -d '\r' <'$TMP/h' | grep -qi '^content-length'"
check "  decoded body intact" test "$(cat "$TMP/b")" = abcdefgh
raw=$(curl -s --max-time 10 --raw "$F/chunked" | od -An -c | tr -d ' \n')
check "  chunk framing 3/3/2/0 on the wire" \
    test "$raw" = '3\r\nabc\r\n3\r\ndef\r\n2\r\ngh\r\n0\r\n\r\n'

script '{"path": "/lie-long", "responses": [{"body": "short", "content_length": 100}]}'
fetch "$F/lie-long"
check "lying Content-Length: 100 sent for a 5 byte body" has_header 'Content-Length: 100'
check "  client sees a short body (curl exit 18) of 5 bytes" test "$RC $(size)" = "18 5"

script '{"path": "/lie-short", "responses": [{"body": "0123456789", "content_length": 4}]}'
fetch "$F/lie-short"
check "Content-Length smaller than the body: client reads 4 bytes" test "$RC $(size)" = "0 4"

script '{"path": "/nolen", "responses": [{"body": "until-close", "content_length": "none"}]}'
fetch "$F/nolen"
check "content_length none: no header, body ends at close" \
    bash -c "! tr -d '\r' <'$TMP/h' | grep -qi '^content-length' && test \"\$(cat '$TMP/b')\" = until-close"

script '{"path": "/cut", "responses": [{"body_size": 100000, "close_after_bytes": 1000}]}'
fetch "$F/cut"
check "close_after_bytes 1000: 1000 bytes then FIN (curl exit 18)" test "$RC $(size)" = "18 1000"

script '{"path": "/rst", "responses": [{"body_size": 100000, "reset_after_bytes": 1000}]}'
fetch "$F/rst"
check "reset_after_bytes 1000: connection reset (curl exit 56)" test "$RC" = 56
check "  reported as a reset by the client" grep -qi 'reset' "$TMP/e"

script '{"path": "/empty", "responses": [{"raw": ""}]}'
fetch "$F/empty"
check "raw empty reply: client sees no response (curl exit 52)" test "$RC" = 52

script '{"path": "/slow-head", "responses": [{"body": "x", "delay_before_headers_ms": 600}]}'
fetch "$F/slow-head"
check "delay_before_headers_ms 600: first byte after >= 0.6 s" at_least "$(echo "$W" | cut -d' ' -f3)" 0.6

script '{"path": "/trickle", "responses": [{"body": "abc", "chunk_size": 1, "delay_between_chunks_ms": 400}]}'
fetch "$F/trickle"
t_first=$(echo "$W" | cut -d' ' -f3)
t_total=$(echo "$W" | cut -d' ' -f4)
check "3 bytes one at a time, 400 ms apart: body intact" test "$(code) $(cat "$TMP/b")" = "200 abc"
check "  and the body took >= 0.8 s after the first byte" \
    at_least "$("$PY" -c "print($t_total - $t_first)")" 0.75

echo "# fault server: request log"
ctl POST reset >/dev/null
# Raw bytes, so the header order and case are exactly ours and not a client's.
exec 3<>"/dev/tcp/127.0.0.1/$FAULT_PORT"
printf 'POST /gdisp.xml? HTTP/1.1\r\nhost: 127.0.0.1\r\nX-Zeta: 1\r\nx-alpha: two\r\nUser-Agent: QVX test\r\nContent-Length: 4\r\nConnection: close\r\n\r\nbody' >&3
reply=$(cat <&3)
exec 3<&-
check "raw request answered (404, not scripted) with Connection: close" \
    bash -c "printf '%s' \"\$1\" | head -1 | grep -q '^HTTP/1.1 404' && printf '%s' \"\$1\" | tr -d '\r' | grep -qi '^Connection: close$'" _ "$reply"
log_true "log has method, path, version and headers in order and case as sent" \
    'r[-1]["method"] == "POST" and r[-1]["path"] == "/gdisp.xml?" and r[-1]["version"] == "HTTP/1.1"
     and r[-1]["headers"] == [["host", "127.0.0.1"], ["X-Zeta", "1"], ["x-alpha", "two"],
                              ["User-Agent", "QVX test"], ["Content-Length", "4"], ["Connection", "close"]]
     and r[-1]["body_length"] == 4 and r[-1]["served_by"] == "none"'

curl -s -o /dev/null --max-time 10 --request-target "http://127.0.0.1:$FAULT_PORT/gdisp.xml?" "$F/gdisp.xml?"
log_true "absolute-form target: path normalised, original kept" \
    'r[-1]["target"] == "http://127.0.0.1:'"$FAULT_PORT"'/gdisp.xml?" and r[-1]["path"] == "/gdisp.xml?"
     and r[-1]["absolute_form"] and r[-1]["target_host"] == "127.0.0.1:'"$FAULT_PORT"'"'

ctl POST reset >/dev/null
curl -s -o /dev/null -o /dev/null --max-time 10 "$F/a" "$F/b"
log_true "keep-alive: two requests of one client share a connection" \
    'len(r) == 2 and r[0]["connection_id"] == r[1]["connection_id"]
     and [e["request_on_connection"] for e in r] == [0, 1]'

check "wait_requests returns once the log has 2 entries" \
    bash -c "curl -sf --max-time 10 -d '{\"count\": 2, \"timeout_ms\": 2000}' '$CTL/wait_requests' >/dev/null"
check "wait_requests times out with 504 when they do not come" \
    test "$(curl -s -o /dev/null -w '%{http_code}' --max-time 10 -d '{"count": 3, "timeout_ms": 200}' "$CTL/wait_requests")" = 504

# An idle keep-alive connection closed on request (stale-connection tests).
drop=$("$PY" - "$FAULT_PORT" "$CTL" <<'EOF'
import socket, sys, urllib.request
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])), timeout=10)
s.sendall(b"GET /x HTTP/1.1\r\nHost: t\r\n\r\n")
data = b""
while b"not scripted" not in data:
    data += s.recv(4096)
reply = urllib.request.urlopen(urllib.request.Request(sys.argv[2] + "/drop_connections", b"{}"))
print(reply.read().decode().count('"dropped": 1'), repr(s.recv(10)))
EOF
)
check "drop_connections closes an idle keep-alive connection" test "$drop" = "1 b''"

echo "# fault server: files and big bodies"
head -c 300000 /dev/urandom >"$RT/files/pkg.bin"
fetch "$F/files/pkg.bin"
check "GET /files/pkg.bin: 200 with Content-Length 300000" \
    bash -c "test '$(code)' = 200 && tr -d '\r' <'$TMP/h' | grep -qi '^Content-Length: 300000$'"
check "  content identical" cmp -s "$TMP/b" "$RT/files/pkg.bin"
fetch -r 1000- "$F/files/pkg.bin"
check "Range bytes=1000-: 206, 299000 bytes, Content-Range" \
    bash -c "test '$(code) $(size)' = '206 299000' && tr -d '\r' <'$TMP/h' | grep -qi '^Content-Range: bytes 1000-299999/300000$'"
fetch "$F/files/missing.bin"
check "missing file: 404" test "$(code)" = 404

script '{"path": "/big", "repeat_last": true, "responses": [{"body_size": 200000000, "body_fill": "pattern"}]}'
want=$(ctl POST body_digest '{"body_size": 200000000, "body_fill": "pattern"}' |
    "$PY" -c 'import json,sys; print(json.load(sys.stdin)["md5"])')
got=$(curl -s --max-time 120 "$F/big" | md5sum | cut -d' ' -f1)
check "200 MB generated body streams with the digest body_digest gives" test "$got" = "$want"
rss=$(ps -o rss= -p "$(cat "$RT/run/fault_server.pid")")
check "  fault server memory stays small (${rss} KiB)" test "$rss" -lt 200000
curl -s --max-time 10 "$F/big" | head -c 1000 >/dev/null
check "client hanging up mid-body leaves the server serving" \
    bash -c "curl -sf --max-time 10 '$CTL/health' >/dev/null"

echo "# fault server: validators, ranges, stalls, holds, pace, accounting"
ctl POST reset >/dev/null
etag=$(curl -sI --max-time 10 "$F/files/pkg.bin" | tr -d '\r' | sed -n 's/^ETag: //Ip')
fetch -r 1000- -H "If-Range: $etag" "$F/files/pkg.bin"
check "file: strong ETag $etag; If-Range with it: 206" test "$(code) $(size)" = "206 299000"
fetch -r 1000- -H 'If-Range: "stale"' "$F/files/pkg.bin"
check "  If-Range with another: 200, whole file" test "$(code) $(size)" = "200 300000"

script '{"path": "/pkg", "repeat_last": true, "responses": [{"body_size": 100000, "etag": "\"v1\"",
         "last_modified": "Mon, 07 Dec 2026 10:00:00 GMT", "ranges": true, "close_after_bytes": 50000}]}'
fetch -r 60000- -H 'If-Range: "v1"' "$F/pkg"
check "ranges: If-Range = ETag: 206 of 40000 bytes" test "$(code) $(size)" = "206 40000"
check "  Content-Range: bytes 60000-99999/100000" has_header 'Content-Range: bytes 60000-99999/100000'
check "  the body is the pattern from offset 60000" "$PY" -c '
import sys; d = open(sys.argv[1], "rb").read(); sys.exit(d != bytes((60000 + i) % 251 for i in range(len(d))))' "$TMP/b"
fetch -r 10000- "$F/pkg"
check "  a cut counts the bytes of this response: 50000 from 10000 on" test "$RC $(size)" = "18 50000"
fetch -r 60000-60009 -H 'If-Range: Mon, 07 Dec 2026 10:00:00 GMT' "$F/pkg"
check "  bytes=N-M, If-Range = Last-Modified: 206 of 10 bytes" test "$(code) $(size)" = "206 10"
fetch -r 60000- -H 'If-Range: "v0"' "$F/pkg"
check "  If-Range mismatch: 200 from the start (cut at 50000 as scripted)" test "$(code) $(size)" = "200 50000"
fetch -r 100000- "$F/pkg"
check "  start at the end: 416 without body" test "$(code) $(size)" = "416 0"
check "  and Content-Range: bytes */100000" has_header 'Content-Range: bytes \*/100000'
for answer in "ignore 200 1000 -" "416 416 0 bytes */1000" "wrong_total 206 400 bytes 600-999/1001" \
    "wrong_start 206 400 bytes 601-999/1000" "skip_if_range 206 400 bytes 600-999/1000" \
    "always_206 206 1000 bytes 0-999/1000"; do
    read -r mode want length range <<<"$answer"
    script '{"path": "/lie", "repeat_last": true, "responses": [{"body_size": 1000, "range_answer": "'"$mode"'"}]}'
    fetch -r 600- -H 'If-Range: "v0"' "$F/lie"
    check "range_answer $mode to bytes=600-: $want, $length bytes, Content-Range $range" \
        test "$(code) $(size) $(tr -d '\r' <"$TMP/h" | sed -n 's/^Content-Range: //Ip' | grep . || echo -)" = "$want $length $range"
done
fetch "$F/lie"
check "  always_206 without a Range: 206 all the same" test "$(code) $(size)" = "206 1000"

ctl POST clear_requests >/dev/null
script '{"path": "/stall", "responses": [{"body_size": 10000, "stall_after_bytes": 3000}]}'
fetch --max-time 1 "$F/stall"
check "stall_after_bytes 3000: 3000 bytes, then silence on an open connection (curl exit 28)" \
    test "$RC $(size)" = "28 3000"
check "  the server notices the client closing" \
    eventually grep -q "closed by the client during a stall" "$RT/logs/fault_server.log"
script '{"path": "/stall", "responses": [{"body_size": 10000, "stall_after_bytes": 0, "stall_ms": 500}]}'
fetch "$F/stall"
check "  stall_ms 500 right after the headers: then FIN (curl exit 18), no body" test "$RC $(size)" = "18 0"

script '{"path": "/hold", "responses": [{"body_size": 10000, "hold_after_bytes": 9000, "hold_id": "tail"}]}'
curl -s -o "$TMP/held" --max-time 20 "$F/hold" &
held=$!
check "hold_after_bytes 9000: the log shows the request holding after 9000 bytes" \
    eventually log_says 'r[-1].get("holding") == "tail" and r[-1]["bytes_sent"] == 9000'
check "  release answers that one was waiting" \
    bash -c "curl -s -d '{\"id\": \"tail\"}' '$CTL/release' | grep -q '\"waiting\": 1'"
wait "$held"
check "  and the client gets the rest" test "$(wc -c <"$TMP/held")" = 10000
log_true "  bytes_sent of each request, final" '[e["bytes_sent"] for e in r] == [3000, 0, 10000]'
check "stats: body bytes and requests since clear_requests" \
    bash -c "curl -s '$CTL/stats' | tr -d ' \n' | grep -qx '{\"body_bytes_sent\":13000,\"requests\":3}'"

script '{"path": "/paced", "responses": [{"body_size": 150000, "rate_bytes_per_s": 100000}]}'
fetch "$F/paced"
check "rate_bytes_per_s 100000: 150000 bytes take >= 1.2 s" at_least "$(echo "$W" | cut -d' ' -f4)" 1.2

# Left stalled and held for "stop" to end.
script '{"path": "/stuck", "repeat_last": true, "responses": [{"body_size": 10000, "stall_after_bytes": 10},
                                                             {"body_size": 10000, "hold_after_bytes": 10, "hold_id": "never"}]}'
curl -s -o /dev/null "$F/stuck" &
curl -s -o /dev/null "$F/stuck" &

echo "# TLS front ends (nginx)"
ctl POST reset >/dev/null
script '{"path": "/gdisp.xml", "repeat_last": true, "responses": [{"body": "<tls/>"}]}'
for port in "$TLS_GOOD_PORT" "$TLS_EXPIRED_PORT" "$TLS_WRONGHOST_PORT"; do
    fetch -k -X POST --data-binary 'q' "https://127.0.0.1:$port/gdisp.xml?"
    check "https :$port with -k: 200, upstream Content-Length passed through" \
        bash -c "test '$(code) $(cat "$TMP/b")' = '200 <tls/>' && tr -d '\r' <'$TMP/h' | grep -qi '^Content-Length: 6$'"
    log_true "  fault server saw it as endpoint $port, path /gdisp.xml?, body 1 byte" \
        'r[-1]["endpoint_port"] == '"$port"' and r[-1]["path"] == "/gdisp.xml?" and r[-1]["body_length"] == 1
         and ["X-Forwarded-Proto", "https"] in r[-1]["headers"]'
done
fetch "http://127.0.0.1:$NGINX_HTTP_PORT/gdisp.xml?"
check "plain http front end :$NGINX_HTTP_PORT: 200" test "$(code)" = 200
log_true "  seen as endpoint $NGINX_HTTP_PORT" 'r[-1]["endpoint_port"] == '"$NGINX_HTTP_PORT"

fetch --cacert "$CERTS/good.crt" "https://127.0.0.1:$TLS_GOOD_PORT/gdisp.xml"
check "good certificate verifies for 127.0.0.1 when trusted" test "$RC $(code)" = "0 200"
fetch --cacert "$CERTS/good.crt" --resolve "localhost:$TLS_GOOD_PORT:127.0.0.1" "https://localhost:$TLS_GOOD_PORT/gdisp.xml"
check "  and for localhost" test "$RC $(code)" = "0 200"
fetch "https://127.0.0.1:$TLS_GOOD_PORT/gdisp.xml"
check "  but is rejected when not trusted (self-signed)" grep -qi 'self.signed' "$TMP/e"
fetch --cacert "$CERTS/expired.crt" "https://127.0.0.1:$TLS_EXPIRED_PORT/gdisp.xml"
check "expired certificate rejected as expired even when trusted" grep -qi 'expired' "$TMP/e"
fetch --cacert "$CERTS/wronghost.crt" "https://127.0.0.1:$TLS_WRONGHOST_PORT/gdisp.xml"
check "wrong-host certificate rejected for its name even when trusted" grep -qi 'subject name' "$TMP/e"

# What the servers really present, seen with openssl s_client.
s_client() {   # s_client PORT CAFILE EXTRA-ARGS...: prints the verify result line and the cert
    local port=$1 ca=$2
    shift 2
    openssl s_client -connect "127.0.0.1:$port" -servername localhost -CAfile "$ca" "$@" \
        </dev/null 2>/dev/null | tee "$TMP/s_client.$port"
}
s_client "$TLS_GOOD_PORT" "$CERTS/good.crt" -verify_ip 127.0.0.1 >/dev/null
check "s_client :$TLS_GOOD_PORT: verify return code 0 (ok)" grep -q 'Verify return code: 0 (ok)' "$TMP/s_client.$TLS_GOOD_PORT"
s_client "$TLS_EXPIRED_PORT" "$CERTS/expired.crt" -verify_ip 127.0.0.1 >/dev/null
check "s_client :$TLS_EXPIRED_PORT: certificate has expired" grep -q 'Verify return code: 10 (certificate has expired)' "$TMP/s_client.$TLS_EXPIRED_PORT"
not_after=$(openssl x509 -noout -enddate <"$TMP/s_client.$TLS_EXPIRED_PORT" | cut -d= -f2)
check "  its notAfter ($not_after) is in the past" test "$(date -d "$not_after" +%s)" -lt "$(date +%s)"
s_client "$TLS_WRONGHOST_PORT" "$CERTS/wronghost.crt" -verify_ip 127.0.0.1 >/dev/null
check "s_client :$TLS_WRONGHOST_PORT: IP address mismatch" grep -q 'Verify return code: 64 (IP address mismatch)' "$TMP/s_client.$TLS_WRONGHOST_PORT"
s_client "$TLS_WRONGHOST_PORT" "$CERTS/wronghost.crt" -verify_hostname localhost >/dev/null
check "  and hostname mismatch for localhost" grep -q 'Verify return code: 62 (hostname mismatch)' "$TMP/s_client.$TLS_WRONGHOST_PORT"
subject=$(openssl x509 -noout -subject -ext subjectAltName <"$TMP/s_client.$TLS_WRONGHOST_PORT" | tr '\n' ' ')
check "  it names other.example only ($subject)" \
    bash -c "echo '$subject' | grep -q 'CN *= *other.example' && ! echo '$subject' | grep -q '127.0.0.1'"

echo "# proxy (squid)"
ctl POST reset >/dev/null   # (reset also forgets the scripts)
script '{"path": "/gdisp.xml", "repeat_last": true, "responses": [{"body": "<tls/>"}]}'
target="http://127.0.0.1:$FAULT_PORT/gdisp.xml?"
fetch -x "http://127.0.0.1:$PROXY_AUTH_PORT" -X POST --data-binary 'q' "$target"
check "auth proxy :$PROXY_AUTH_PORT without credentials: 407" test "$(code)" = 407
check "  with a Basic challenge" has_header 'Proxy-Authenticate: Basic realm="QVX test proxy"'
fetch -x "http://127.0.0.1:$PROXY_AUTH_PORT" -U wfz:wrong -X POST --data-binary 'q' "$target"
check "  wrong password: 407" test "$(code)" = 407
for cred in wfz:482915 qjd:858; do
    fetch -x "http://127.0.0.1:$PROXY_AUTH_PORT" -U "$cred" -X POST --data-binary 'q' "$target"
    check "  with $cred: 200 from the fault server" test "$(code) $(cat "$TMP/b")" = "200 <tls/>"
done
log_true "  only the two authenticated requests reached the fault server" 'len(r) == 2'

ctl POST clear_requests >/dev/null
fetch -x "http://127.0.0.1:$PROXY_OPEN_PORT" -X POST -H 'X-Zeta: 1' -H 'x-alpha: two' \
    --data-binary '<query>1</query>' --request-target "$target" "$target"
check "open proxy :$PROXY_OPEN_PORT: POST passes without credentials" test "$(code)" = 200
log_true "  body and client headers arrive unchanged, bare ? kept, no proxy headers added" \
    'r[-1]["path"] == "/gdisp.xml?" and r[-1]["body_b64"] == "PHF1ZXJ5PjE8L3F1ZXJ5Pg=="
     and [h for h in r[-1]["headers"] if h[0] in ("X-Zeta", "x-alpha")] == [["X-Zeta", "1"], ["x-alpha", "two"]]
     and not any(h[0].lower() in ("via", "x-forwarded-for", "proxy-authorization", "proxy-connection", "cache-control")
                 for h in r[-1]["headers"])'

fetch -k -x "http://127.0.0.1:$PROXY_OPEN_PORT" "https://127.0.0.1:$TLS_GOOD_PORT/gdisp.xml?"
check "CONNECT to :$TLS_GOOD_PORT through :$PROXY_OPEN_PORT: 200 over the tunnel" test "$(code)" = 200
log_true "  arrived through the TLS front end" 'r[-1]["endpoint_port"] == '"$TLS_GOOD_PORT"
fetch -k -x "http://127.0.0.1:$PROXY_AUTH_PORT" -U qjd:858 "https://127.0.0.1:$TLS_EXPIRED_PORT/gdisp.xml?"
check "CONNECT to :$TLS_EXPIRED_PORT through :$PROXY_AUTH_PORT with credentials: 200" test "$(code)" = 200
fetch -k -x "http://127.0.0.1:$PROXY_AUTH_PORT" "https://127.0.0.1:$TLS_GOOD_PORT/gdisp.xml?"
check "CONNECT through :$PROXY_AUTH_PORT without credentials: 407" \
    test "$(curl -s -o /dev/null -w '%{http_connect}' --max-time 10 -k -x "http://127.0.0.1:$PROXY_AUTH_PORT" "https://127.0.0.1:$TLS_GOOD_PORT/")" = 407
check "CONNECT to a port outside the TLS ones: 403" \
    test "$(curl -s -o /dev/null -w '%{http_connect}' --max-time 10 -p -x "http://127.0.0.1:$PROXY_OPEN_PORT" "http://127.0.0.1:$FAULT_PORT/")" = 403

echo "# nothing listening"
curl -s -o /dev/null --max-time 10 "http://127.0.0.1:$NO_LISTENER_PORT/"
check "port $NO_LISTENER_PORT refuses connections (curl exit 7)" test $? = 7
fetch -x "http://127.0.0.1:$PROXY_OPEN_PORT" "http://127.0.0.1:$NO_LISTENER_PORT/"
check "  through the proxy: 503 from squid" test "$(code)" = 503

echo "# restart and stop"
pids_before=$(cat "$RT/run/fault_server.pid" "$RT/run/nginx.pid" "$RT/squid/squid.pid" | tr '\n' ' ')
check "start while running restarts cleanly" bash -c "'$HERE/servers.sh' start '$RT' >/dev/null"
check "  with new processes" test "$pids_before" != "$(cat "$RT/run/fault_server.pid" "$RT/run/nginx.pid" "$RT/squid/squid.pid" | tr '\n' ' ')"
for p in $pids_before; do
    check "  old process group $p is gone" not group_running "$p"
done
pids=$(cat "$RT/run/fault_server.pid" "$RT/run/nginx.pid" "$RT/squid/squid.pid")
check "stop" bash -c "'$HERE/servers.sh' stop '$RT' >/dev/null"
for p in $pids; do
    check "  process group $p is gone" not group_running "$p"
done
check "  all ports free again" "$PY" "$HERE/wait_ready.py" free "$FAULT_PORT" "$NGINX_HTTP_PORT" \
    "$TLS_GOOD_PORT" "$TLS_EXPIRED_PORT" "$TLS_WRONGHOST_PORT" "$PROXY_AUTH_PORT" "$PROXY_OPEN_PORT" --timeout 1
check "  ports.env removed" test ! -e "$RT/ports.env"

echo "$PASSED passed, $FAILED failed"
[ "$FAILED" -eq 0 ]
