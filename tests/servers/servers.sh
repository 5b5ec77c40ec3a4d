#!/bin/bash
# Network test servers for QVXLiveUpdate.
#
#   servers.sh start <runtime-dir>   (re)start everything, wait until it all answers
#   servers.sh stop  <runtime-dir>   stop what a start into <runtime-dir> started
#
# What runs (all on 127.0.0.1; every port can be overridden from the
# environment with the variable of the same name):
#   FAULT_PORT          18080  fault_server.py: scriptable HTTP/1.1 server
#   NGINX_HTTP_PORT     18081  nginx, plain HTTP front end to the fault server
#   TLS_GOOD_PORT       18441  nginx TLS, self-signed certificate for 127.0.0.1/localhost
#   TLS_EXPIRED_PORT    18442  nginx TLS, expired certificate
#   TLS_WRONGHOST_PORT  18443  nginx TLS, certificate for other.example
#   PROXY_AUTH_PORT     13128  squid, Basic proxy auth (wfz/482915, qjd/858)
#   PROXY_OPEN_PORT     13129  squid, no authentication
#   NO_LISTENER_PORT    18099  nothing listens here (connection refused)
# Once everything answers, the assignments above are written to
# <runtime-dir>/ports.env (so its presence means "ready").
#
# Everything generated (certificates, htpasswd, filled-in configs, pid
# files, logs, temp files) stays inside <runtime-dir>; nothing under /etc
# or /var is written.  Files put into <runtime-dir>/files are served by the
# fault server as /files/<name>.
#
# Needs (Debian): nginx squid openssl apache2-utils python3.  Run as root:
# squid is started as root and drops to $SQUID_USER (default proxy).

set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PY=/usr/bin/python3

# QVX_PORT_OFFSET moves every default port at once, so that two checkouts
# can run their tests side by side.
off=${QVX_PORT_OFFSET:-0}
: "${FAULT_PORT:=$((18080 + off))}"
: "${NGINX_HTTP_PORT:=$((18081 + off))}"
: "${TLS_GOOD_PORT:=$((18441 + off))}"
: "${TLS_EXPIRED_PORT:=$((18442 + off))}"
: "${TLS_WRONGHOST_PORT:=$((18443 + off))}"
: "${PROXY_AUTH_PORT:=$((13128 + off))}"
: "${PROXY_OPEN_PORT:=$((13129 + off))}"
: "${NO_LISTENER_PORT:=$((18099 + off))}"
: "${SQUID_USER:=proxy}"
: "${READY_TIMEOUT:=30}"     # seconds start may wait for the servers to answer
: "${STOP_TIMEOUT:=20}"      # seconds stop waits for a process before SIGKILL

PORT_VARS="FAULT_PORT NGINX_HTTP_PORT TLS_GOOD_PORT TLS_EXPIRED_PORT TLS_WRONGHOST_PORT
           PROXY_AUTH_PORT PROXY_OPEN_PORT NO_LISTENER_PORT"
TEMPLATE_VARS="RUNTIME_DIR SQUID_USER $PORT_VARS"

die() { echo "servers.sh: $*" >&2; exit 1; }
say() { echo "servers.sh: $*"; }

usage() {
    echo "usage: $0 start|stop <runtime-dir>" >&2
    exit 2
}

# ---------------------------------------------------------------------------
# Helpers
# ---------------------------------------------------------------------------

# fill_template IN OUT: replace every @VAR@ of TEMPLATE_VARS.  Done in bash
# rather than sed so that any character in the runtime path is safe.
fill_template() {
    local text var
    text=$(<"$1")
    for var in $TEMPLATE_VARS; do
        text=${text//"@$var@"/"${!var}"}
    done
    printf '%s\n' "$text" >"$2"
}

# owned_pid PIDFILE: print the pid in PIDFILE if that process is alive and
# really one of ours (its command line names this runtime folder), so a
# stale pid file never makes us signal some unrelated process.
owned_pid() {
    local pid
    [ -s "$1" ] || return 1
    pid=$(tr -dc '0-9' <"$1")
    [ -n "$pid" ] && [ -r "/proc/$pid/cmdline" ] || return 1
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "$RUNTIME_DIR" || return 1
    echo "$pid"
}

# alive PID: the process, or any process of the group it leads, still runs.
# nginx, squid and the fault server all run as session leaders, so their
# workers and helpers share the leader's pid as process group id.  Zombies
# do not count: they are dead, and the reaper here (not our shell: these
# daemons are re-parented) may take a second or more to collect them.
alive() {
    local f line st pgrp
    for f in /proc/[0-9]*/stat; do
        read -r line 2>/dev/null <"$f" || continue
        line=${line##*) }              # drop "pid (comm) ", leaving: state ppid pgrp ...
        read -r st _ pgrp _ <<<"$line"
        [ "$st" = Z ] && continue
        if [ "$f" = "/proc/$1/stat" ] || [ "$pgrp" = "$1" ]; then
            return 0
        fi
    done
    return 1
}

# stop_one NAME PIDFILE: SIGTERM, then wait (with a deadline) until the
# process and its group are gone; SIGKILL the group if the deadline passes.
stop_one() {
    local name=$1 pidfile=$2 pid deadline
    if ! pid=$(owned_pid "$pidfile"); then
        rm -f "$pidfile"
        return 0
    fi
    say "stopping $name (pid $pid)"
    kill -TERM "$pid" 2>/dev/null || true
    deadline=$((SECONDS + STOP_TIMEOUT))
    while alive "$pid"; do
        if ((SECONDS >= deadline)); then
            say "$name did not stop in ${STOP_TIMEOUT}s, killing it"
            kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
            deadline=$((SECONDS + 5))
            while alive "$pid"; do
                ((SECONDS < deadline)) || die "$name (pid $pid) survives SIGKILL"
                sleep 0.1   # polling interval
            done
            break
        fi
        sleep 0.1   # polling interval
    done
    rm -f "$pidfile"
}

# ---------------------------------------------------------------------------
# Set-up of the runtime folder
# ---------------------------------------------------------------------------

# Three certificates, none from a CA anyone trusts:
#   good      self-signed, CN/SAN 127.0.0.1 + localhost, valid for 10 years
#   expired   self-signed, same names, valid 2020-01-01 .. 2021-01-01
#   wronghost self-signed, CN/SAN other.example, valid now
# OpenSSL 3.0 (Debian 12) has no "x509 -not_before", so the expired one is
# made with "openssl ca -selfsign", which takes explicit start/end dates.
# The 127.0.0.1 name is given both as an IP and as a DNS entry: some
# certificate checkers (Wine's among them, depending on version) compare
# only DNS names.
make_certs() {
    local d=$RUNTIME_DIR/certs
    mkdir -p "$d"
    chmod 700 "$d"
    if [ -s "$d/good.crt" ] && [ -s "$d/expired.crt" ] && [ -s "$d/wronghost.crt" ] &&
        openssl x509 -noout -checkend 86400 -in "$d/good.crt" >/dev/null &&
        openssl x509 -noout -checkend 86400 -in "$d/wronghost.crt" >/dev/null; then
        return 0   # keep them: a test may have installed them somewhere already
    fi
    say "generating certificates in $d"
    (
        cd "$d"
        rm -rf ca-db ./*.crt ./*.key ./*.csr
        mkdir -p ca-db/new
        : >ca-db/index.txt
        echo 1000 >ca-db/serial
        # Our own openssl configuration so the result does not depend on
        # the machine's /etc/ssl/openssl.cnf.
        cat >openssl.cnf <<'EOF'
[ req ]
distinguished_name = req_dn
prompt             = no
[ req_dn ]
CN = unused

# Usual layout of a self-signed server certificate.
[ ext_local ]
basicConstraints       = critical, CA:TRUE
keyUsage               = critical, digitalSignature, keyEncipherment, keyCertSign
extendedKeyUsage       = serverAuth
subjectKeyIdentifier   = hash
subjectAltName         = IP:127.0.0.1, DNS:localhost, DNS:127.0.0.1
[ ext_other ]
basicConstraints       = critical, CA:TRUE
keyUsage               = critical, digitalSignature, keyEncipherment, keyCertSign
extendedKeyUsage       = serverAuth
subjectKeyIdentifier   = hash
subjectAltName         = DNS:other.example

# Only used to sign the expired certificate with explicit dates.
[ ca ]
default_ca = dated
[ dated ]
database        = ca-db/index.txt
new_certs_dir   = ca-db/new
serial          = ca-db/serial
default_md      = sha256
policy          = policy_any
unique_subject  = no
email_in_dn     = no
[ policy_any ]
commonName = supplied
EOF
        openssl req -config openssl.cnf -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
            -subj "/CN=127.0.0.1" -extensions ext_local \
            -keyout good.key -out good.crt 2>/dev/null
        openssl req -config openssl.cnf -x509 -newkey rsa:2048 -nodes -sha256 -days 3650 \
            -subj "/CN=other.example" -extensions ext_other \
            -keyout wronghost.key -out wronghost.crt 2>/dev/null
        openssl req -config openssl.cnf -new -newkey rsa:2048 -nodes \
            -subj "/CN=127.0.0.1" -keyout expired.key -out expired.csr 2>/dev/null
        openssl ca -config openssl.cnf -batch -notext -selfsign -keyfile expired.key \
            -in expired.csr -out expired.crt -extensions ext_local \
            -startdate 20200101000000Z -enddate 20210101000000Z 2>/dev/null
        chmod 600 ./*.key
    ) || die "certificate generation failed"
}

# The proxy's password file: exactly these two users.  MD5 (apr1) hashes,
# which basic_ncsa_auth understands on every squid version.
make_htpasswd() {
    local f=$RUNTIME_DIR/squid/htpasswd
    htpasswd -c -b -m "$f" wfz 482915 2>/dev/null
    htpasswd -b -m "$f" qjd 858 2>/dev/null
    chown "root:$(id -gn "$SQUID_USER")" "$f"
    chmod 640 "$f"
}

prepare_dirs() {
    mkdir -p "$RUNTIME_DIR"/{run,logs,files,nginx/client_body,nginx/proxy,nginx/fastcgi} \
        "$RUNTIME_DIR"/{nginx/uwsgi,nginx/scgi,squid}
    # squid works as $SQUID_USER after start-up: give it its own folder,
    # and make sure it can reach it (a mktemp folder is private to root).
    chown "$SQUID_USER:$(id -gn "$SQUID_USER")" "$RUNTIME_DIR/squid"
    chmod 750 "$RUNTIME_DIR/squid"
    if ! runuser -u "$SQUID_USER" -- test -w "$RUNTIME_DIR/squid"; then
        chmod o+x "$RUNTIME_DIR"
    fi
    runuser -u "$SQUID_USER" -- test -w "$RUNTIME_DIR/squid" ||
        die "user $SQUID_USER cannot reach $RUNTIME_DIR/squid (a parent folder is" \
            "closed to it); use a runtime folder under /tmp or /var/tmp"
}

# ---------------------------------------------------------------------------
# start / stop
# ---------------------------------------------------------------------------

do_stop() {
    [ -d "$RUNTIME_DIR" ] || return 0
    rm -f "$RUNTIME_DIR/ports.env"
    stop_one squid "$RUNTIME_DIR/squid/squid.pid"
    stop_one nginx "$RUNTIME_DIR/run/nginx.pid"
    stop_one "fault server" "$RUNTIME_DIR/run/fault_server.pid"
}

do_start() {
    local var ports=""

    # A start while running is a clean restart.
    do_stop
    for var in $PORT_VARS; do ports+=" ${!var}"; done
    # shellcheck disable=SC2086
    "$PY" "$HERE/wait_ready.py" free $ports --timeout 10 ||
        die "ports in use by something else (another runtime folder still running?)"

    prepare_dirs
    make_certs
    make_htpasswd
    fill_template "$HERE/nginx.conf.in" "$RUNTIME_DIR/nginx/nginx.conf"
    fill_template "$HERE/squid.conf.in" "$RUNTIME_DIR/squid/squid.conf"

    say "starting fault server on $FAULT_PORT"
    # Its own session, all output to its log: it outlives this script and
    # must not hold the caller's terminal or pipes open.
    setsid "$PY" "$HERE/fault_server.py" "$FAULT_PORT" "$RUNTIME_DIR/files" \
        --pid-file "$RUNTIME_DIR/run/fault_server.pid" \
        </dev/null >>"$RUNTIME_DIR/logs/fault_server.log" 2>&1 &

    say "starting nginx"
    local nginx_args=(-p "$RUNTIME_DIR/nginx" -c "$RUNTIME_DIR/nginx/nginx.conf"
        -e "$RUNTIME_DIR/logs/nginx-error.log")
    nginx -t -q "${nginx_args[@]}" </dev/null >>"$RUNTIME_DIR/logs/nginx-start.log" 2>&1 ||
        die "nginx rejects its configuration, see $RUNTIME_DIR/logs/nginx-start.log"
    nginx "${nginx_args[@]}" </dev/null >>"$RUNTIME_DIR/logs/nginx-start.log" 2>&1 ||
        die "nginx did not start, see $RUNTIME_DIR/logs/nginx-start.log"

    say "starting squid"
    local squid_conf=$RUNTIME_DIR/squid/squid.conf
    squid -k parse -f "$squid_conf" </dev/null >>"$RUNTIME_DIR/logs/squid-start.log" 2>&1 ||
        die "squid rejects its configuration, see $RUNTIME_DIR/logs/squid-start.log"
    squid -f "$squid_conf" </dev/null >>"$RUNTIME_DIR/logs/squid-start.log" 2>&1 ||
        die "squid did not start, see $RUNTIME_DIR/logs/squid-start.log"

    {
        echo "# written by servers.sh once every server answered"
        for var in $PORT_VARS; do echo "$var=${!var}"; done
        echo "RUNTIME_DIR='$RUNTIME_DIR'"
    } >"$RUNTIME_DIR/ports.env.tmp"
    if ! "$PY" "$HERE/wait_ready.py" ready "$RUNTIME_DIR/ports.env.tmp" \
        --timeout "$READY_TIMEOUT"; then
        echo "servers.sh: not ready in ${READY_TIMEOUT}s; logs in $RUNTIME_DIR/logs" \
            "and $RUNTIME_DIR/squid" >&2
        do_stop
        exit 1
    fi
    # The fault server must not answer on the "nobody listens" port either.
    "$PY" "$HERE/wait_ready.py" free "$NO_LISTENER_PORT" --timeout 1 ||
        die "something listens on NO_LISTENER_PORT $NO_LISTENER_PORT"
    mv "$RUNTIME_DIR/ports.env.tmp" "$RUNTIME_DIR/ports.env"
    say "ready; ports in $RUNTIME_DIR/ports.env"
}

[ $# -eq 2 ] || usage
[ "$(id -u)" -eq 0 ] || die "must run as root (squid and nginx are started as root)"
case $1 in
start)
    mkdir -p "$2"
    RUNTIME_DIR=$(cd "$2" && pwd)
    do_start
    ;;
stop)
    [ -d "$2" ] || { say "nothing to stop in $2"; exit 0; }
    RUNTIME_DIR=$(cd "$2" && pwd)
    do_stop
    say "stopped"
    ;;
*) usage ;;
esac
