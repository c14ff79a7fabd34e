# The demo's set-up, shared by scripts/demo and scripts/bench-real. Source after services.sh and call
# services_start first. Background processes started here are appended to the caller's PIDS array.
#   demo_database DB                   a fresh database DB with db/schema.sql and db/demo.sql
#   demo_printers RUN DB CAPTURE_PORT  the capture printer and a raw queue per printer the data names
#                                      (TICKETS the default); sets DEMO_QUEUES, DEMO_CAPTURE
#   demo_settings RUN DB DB_PORT       the till's base settings; exports XDG_CONFIG_HOME, XDG_DATA_HOME,
#                                      XDG_RUNTIME_DIR
#   demo_display RUN [always]          Xvfb when there is no display (or always); sets DEMO_SCREEN
#   demo_wait_ping PORT PID OUT        waits until tarvolin (PID, output in OUT) answers a ping
#   port_free PORT, reserve_port VAR       a port for a server started here, reserved (see below)

port_free() { python3 -c 'import socket,sys;s=socket.socket();s.setsockopt(socket.SOL_SOCKET,socket.SO_REUSEADDR,1);s.bind(("0.0.0.0",int(sys.argv[1])))' "$1" 2>/dev/null; }
# A free port below the kernel's ephemeral range (no socket bound to port 0 and no outgoing connection
# can take it), locked as testsupport/PuertoReservado locks it (/tmp/tarvolin-puertos/PORT) for as long
# as this shell and what it starts run, so no other process of ours takes it either. Sets VAR.
reserve_port() {
    local var=$1 lo p fd
    lo=$(cut -f1 /proc/sys/net/ipv4/ip_local_port_range)
    [ "$lo" -gt 12000 ] || lo=32768
    mkdir -p /tmp/tarvolin-puertos 2>/dev/null && chmod 1777 /tmp/tarvolin-puertos 2>/dev/null || true
    for _ in $(seq 1 200); do
        p=$((lo - 10000 + (RANDOM * 32768 + RANDOM) % 10000))
        exec {fd}>>"/tmp/tarvolin-puertos/$p" || continue
        if flock -n "$fd" && port_free "$p"; then
            printf -v "$var" '%s' "$p"
            return 0
        fi
        exec {fd}>&-
    done
    echo "no free port could be reserved" >&2
    return 1
}

demo_database() {
    local db=$1
    mariadb --no-defaults -S "$TARVOLIN_DB_SOCKET" -uroot \
        -e "drop database if exists $db; create database $db character set utf8mb4;"
    mariadb --no-defaults -S "$TARVOLIN_DB_SOCKET" -uroot "$db" <db/schema.sql
    mariadb --no-defaults -S "$TARVOLIN_DB_SOCKET" -uroot "$db" <db/demo.sql
}

demo_printers() {
    local run=$1 db=$2 port=$3 q
    DEMO_CAPTURE="$run/capture"
    python3 -u scripts/lib/capture.py --port "$port" --dir "$DEMO_CAPTURE" >"$run/capture.log" 2>&1 &
    PIDS+=($!)
    for _ in $(seq 1 50); do
        grep -q listening "$run/capture.log" 2>/dev/null && break
        sleep 0.1
    done
    # Every queue the demo data names, raw, into the capture; the ticket queue is also the default.
    DEMO_QUEUES=$(mariadb --no-defaults -S "$TARVOLIN_DB_SOCKET" -uroot -N "$db" -e \
        "select valor from configtpv where clave in ('ImpTicket','ImpresoraSecundaria','ImpCintaControl','ImpresoraOPOS') and valor<>'' union select impresora from maeimp where impresora<>''" | sort -u)
    for q in $DEMO_QUEUES; do
        lpadmin -p "$q" -E -v "socket://127.0.0.1:$port/?waiteof=false" -m raw 2>/dev/null
    done
    lpadmin -d TICKETS
}

demo_settings() {
    local run=$1 db=$2 db_port=$3
    export XDG_CONFIG_HOME="$run/config" XDG_DATA_HOME="$run/data" XDG_RUNTIME_DIR="$run/runtime"
    mkdir -p "$XDG_CONFIG_HOME/Vesk/registry" "$XDG_DATA_HOME"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
    cat >"$XDG_CONFIG_HOME/Vesk/registry/HKEY_CURRENT_USER.ini" <<INI
[HKEY_CURRENT_USER\\SOFTWARE\\Vesk\\Tarvolin]
IpServidor=sz:127.0.0.1;PORT=$db_port
NombreBBDDServidor=sz:$db
UsuarioMysql=sz:root
MysqlPassword=sz:0
Empresa=sz:1
Restaurante=sz:1
TPV=sz:1
INI
    chmod 600 "$XDG_CONFIG_HOME/Vesk/registry/HKEY_CURRENT_USER.ini"
}

demo_display() {
    local run=$1 always=${2:-}
    if [ -n "${DISPLAY:-}" ] && [ -z "$always" ]; then
        DEMO_SCREEN="your display $DISPLAY"
        return
    fi
    local n=77
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$run/xvfb.log" 2>&1 &
    PIDS+=($!)
    for _ in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    export DISPLAY=":$n"
    unset QT_QPA_PLATFORM
    # Nobody can answer a dialog on a virtual screen: messages go to the program's output instead.
    export TARVOLIN_SIN_DIALOGOS=1
    DEMO_SCREEN="a virtual screen (Xvfb $DISPLAY)"
}

demo_ping_ok() { printf '{"accion":"Ping"}' | socat -t 5 - "TCP:127.0.0.1:$1,shut-none" 2>/dev/null | grep -q '"respuesta":"S"'; }

demo_wait_ping() {
    local port=$1 pid=$2 out=$3
    for _ in $(seq 1 60); do
        demo_ping_ok "$port" && return 0
        kill -0 "$pid" 2>/dev/null || { echo "tarvolin ended:" >&2; cat "$out" >&2; return 1; }
        sleep 0.5
    done
    demo_ping_ok "$port" || { echo "tarvolin does not answer on port $port" >&2; cat "$out" >&2; return 1; }
}
