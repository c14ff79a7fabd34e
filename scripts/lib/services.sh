# Private MariaDB and cupsd for the tests and the demo. Source this file, then call
#   services_start RUN_DIR DB_PORT   -> exports TARVOLIN_DB_*, ODBCSYSINI, CUPS_SERVER
#   mariadb_start RUN_DIR PORT [SERVER_OPTION...]   -> one MariaDB alone (options such as --sql-mode=...)
#   services_stop RUN_DIR
# Nothing here touches the system's own MariaDB or CUPS.

odbc_driver_path() {
    local p
    p=$(dpkg -L odbc-mariadb 2>/dev/null | grep -m1 '/libmaodbc\.so$')
    [ -n "$p" ] || p=$(find /usr/lib -name libmaodbc.so 2>/dev/null | head -1)
    echo "$p"
}

mariadb_start() {
    local run=$1 port=$2 d="$1/mariadb"
    shift 2
    # A temporary folder of its own: tests start several servers at once, and their installs' temporary
    # tables must not meet in /tmp.
    mkdir -p "$d/tmp"
    if [ ! -d "$d/data/mysql" ]; then
        mkdir -p "$d/data"
        mariadb-install-db --no-defaults --datadir="$d/data" --tmpdir="$d/tmp" --auth-root-authentication-method=normal \
            --user=root --skip-test-db >"$d/install.log" 2>&1 || { cat "$d/install.log" >&2; return 1; }
    fi
    mariadbd --no-defaults --datadir="$d/data" --tmpdir="$d/tmp" --socket="$d/mysql.sock" --port="$port" \
        --bind-address=127.0.0.1 --user=root --pid-file="$d/mariadb.pid" --log-error="$d/error.log" \
        --character-set-server=utf8mb4 --collation-server=utf8mb4_general_ci \
        --innodb-buffer-pool-size=64M --innodb-flush-log-at-trx-commit=2 --skip-log-bin \
        --max-connections=500 "$@" >/dev/null 2>&1 &
    local i
    for i in $(seq 1 120); do
        mariadb-admin --no-defaults -S "$d/mysql.sock" -uroot ping >/dev/null 2>&1 && break
        sleep 0.25
    done
    mariadb-admin --no-defaults -S "$d/mysql.sock" -uroot ping >/dev/null 2>&1 || { cat "$d/error.log" >&2; return 1; }
    export TARVOLIN_DB_HOST=127.0.0.1 TARVOLIN_DB_PORT="$port" TARVOLIN_DB_SOCKET="$d/mysql.sock"
    export TARVOLIN_DB_USER=root TARVOLIN_DB_PASSWORD=""
}

odbc_setup() {
    local run=$1 drv
    drv=$(odbc_driver_path)
    [ -n "$drv" ] || { echo "libmaodbc.so not found (odbc-mariadb)" >&2; return 1; }
    mkdir -p "$run/odbc"
    cat >"$run/odbc/odbcinst.ini" <<INI
[ODBC Drivers]
MariaDB Unicode=Installed

[MariaDB Unicode]
Description=MariaDB Connector/ODBC(Unicode), as Debian's odbc-mariadb registers it
Driver=$drv
Threading=0
INI
    : >"$run/odbc/odbc.ini"
    export ODBCSYSINI="$run/odbc" ODBCINSTINI=odbcinst.ini ODBCINI="$run/odbc/odbc.ini"
    export TARVOLIN_ODBC_DRIVER="MariaDB Unicode"
}

cups_start() {
    local run=$1 c="$1/cups"
    mkdir -p "$c"/{spool,cache,state,log,conf,conf/ppd,conf/ssl}
    chown -R lp:lp "$c/spool" "$c/cache" "$c/state" "$c/log" 2>/dev/null || true
    chmod 0755 "$c" "$run"
    cat >"$c/cupsd.conf" <<CONF
Listen $c/cups.sock
LogLevel warn
WebInterface No
Browsing No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Location /admin>
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
CONF
    # A test's own cupsd may ask for more lines (a job limit, a body limit): TARVOLIN_CUPSD_CONF_EXTRA.
    [ -z "${TARVOLIN_CUPSD_CONF_EXTRA:-}" ] || printf '%b\n' "$TARVOLIN_CUPSD_CONF_EXTRA" >>"$c/cupsd.conf"
    cat >"$c/cups-files.conf" <<CONF
User lp
Group lp
SystemGroup root lpadmin
ServerRoot $c/conf
RequestRoot $c/spool
CacheDir $c/cache
StateDir $c/state
TempDir $c/spool
ErrorLog $c/log/error_log
AccessLog $c/log/access_log
PageLog $c/log/page_log
ServerBin /usr/lib/cups
DataDir /usr/share/cups
FileDevice Yes
CONF
    cupsd -f -c "$c/cupsd.conf" -s "$c/cups-files.conf" >"$c/log/cupsd.out" 2>&1 &
    echo $! >"$c/cupsd.pid"
    export CUPS_SERVER="$c/cups.sock"
    local i
    for i in $(seq 1 80); do
        lpstat -r 2>/dev/null | grep -q "is running" && return 0
        sleep 0.25
    done
    echo "cupsd did not start" >&2
    cat "$c/log/cupsd.out" "$c/log/error_log" >&2 2>/dev/null
    return 1
}

services_start() {
    local run=$1 port=$2
    mkdir -p "$run"
    mariadb_start "$run" "$port" && odbc_setup "$run" && cups_start "$run"
}

services_stop() {
    local run=$1
    if [ -S "$run/mariadb/mysql.sock" ]; then
        mariadb-admin --no-defaults -S "$run/mariadb/mysql.sock" -uroot shutdown >/dev/null 2>&1 || true
    fi
    if [ -f "$run/cups/cupsd.pid" ]; then
        local pid
        pid=$(cat "$run/cups/cupsd.pid")
        kill "$pid" 2>/dev/null || true
        # cupsd writes its cache on the way out: wait for it (10 s at most) so the run folder can go.
        for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        rm -f "$run/cups/cupsd.pid"
    fi
}
