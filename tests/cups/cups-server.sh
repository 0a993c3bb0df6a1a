#!/bin/sh
# A private CUPS scheduler for the tests: everything it owns lives under one directory, it
# listens only on the Unix socket DIR/cups.sock, and its devices are the "capture" backend,
# which files every job's bytes, title and format under DIR/capture/<queue>/, and the "failing"
# backend, whose printer is never connected. It keeps a finished job's record for a minute, so
# that a test can see how the job ended.
#
#   cups-server.sh start DIR     starts a fresh scheduler: no queues, no captured jobs
#   cups-server.sh restart DIR   stops it and starts it again with its queues and captures
#   cups-server.sh stop DIR      stops it
set -eu

usage() {
    echo "usage: $0 start|restart|stop DIR" >&2
    exit 2
}

[ $# -eq 2 ] || usage
action=$1
dir=$2
case $dir in
/?*) ;;
*)
    echo "$0: DIR must be an absolute path" >&2
    exit 2
    ;;
esac
socket=$dir/cups.sock
# cupsd and lpadmin live in /usr/sbin, which a test's PATH may lack.
PATH=$PATH:/usr/sbin:/sbin
export PATH
# A Unix socket path holds at most 107 bytes.
if [ ${#socket} -gt 107 ]; then
    echo "$0: $socket is too long for a Unix socket; use a shorter build directory" >&2
    exit 2
fi
pidfile=$dir/cupsd.pid

# True when PID is a cupsd started with this directory's configuration; no other process is
# ever signalled.
is_ours() {
    [ -r "/proc/$1/cmdline" ] || return 1
    command=$({ tr '\0' ' ' <"/proc/$1/cmdline"; } 2>/dev/null) || return 1
    case $command in
    "cupsd -f -c $dir/conf/cupsd.conf "*) return 0 ;;
    esac
    return 1
}

# Every scheduler running on this directory's configuration: the one the pid file names and
# any left by an aborted run whose pid file is gone.
ours() {
    grep -lzxF -- "$dir/conf/cupsd.conf" /proc/[0-9]*/cmdline 2>/dev/null |
        while read -r file; do
            pid=${file#/proc/}
            pid=${pid%/cmdline}
            if is_ours "$pid"; then
                echo "$pid"
            fi
        done
}

stop() {
    pids=$(ours)
    if [ -n "$pids" ]; then
        # shellcheck disable=SC2086
        kill -TERM $pids 2>/dev/null || true
        i=0
        while [ -n "$(ours)" ] && [ $i -lt 100 ]; do
            sleep 0.1
            i=$((i + 1))
        done
        pids=$(ours)
        if [ -n "$pids" ]; then
            # shellcheck disable=SC2086
            kill -KILL $pids 2>/dev/null || true
        fi
    fi
    rm -f "$pidfile" "$socket"
}

write_config() {
    # A scheduler started by root refuses a backend in a directory that group or others may
    # write.
    umask 022
    mkdir -p "$dir/conf" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" \
        "$dir/bin/backend" "$dir/capture"
    ln -sfn /usr/lib/cups/daemon "$dir/bin/daemon"

    cat >"$dir/conf/cups-files.conf" <<EOF
ServerRoot $dir/conf
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerBin $dir/bin
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/printcap
EOF

    cat >"$dir/conf/cupsd.conf" <<EOF
Listen $socket
Browsing No
DefaultAuthType None
WebInterface No
LogLevel info
ErrorPolicy abort-job
PreserveJobHistory 60
PreserveJobFiles No
MaxJobs 0
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order allow,deny
    Allow all
  </Limit>
</Policy>
EOF

    # The backend runs with the environment cupsd gives it, so the capture directory is
    # written into it here. Each job becomes <job id>.title, .format and .data in its
    # queue's folder; .data appears last and whole (renamed into place), so a reader that
    # counts .data files never sees half a job.
    #
    # Who runs it: a scheduler started by root runs only programs that root owns and that
    # neither group nor others may write (their directory likewise), and runs a backend
    # that others may not execute as root, so that it can write the capture directory. A
    # scheduler started by anyone else runs every program as that user and checks no owner.
    # "start" makes the file and its directory afresh, so they belong to whoever starts the
    # scheduler, which suits both.
    backend=$dir/bin/backend/capture
    cat >"$backend" <<EOF
#!/bin/sh
if [ \$# -eq 0 ]; then
    echo 'direct capture "Unknown" "Test capture"'
    exit 0
fi
umask 022
out="$dir/capture/\$PRINTER"
job=\$(printf '%08d' "\$1")
mkdir -p "\$out"
printf '%s' "\$3" >"\$out/\$job.title"
printf '%s' "\$CONTENT_TYPE" >"\$out/\$job.format"
if [ \$# -ge 6 ]; then
    cat "\$6" >"\$out/\$job.part"
else
    cat >"\$out/\$job.part"
fi
mv "\$out/\$job.part" "\$out/\$job.data"
EOF
    chmod 0700 "$backend"

    # Fails every job as a backend does whose printer does not answer (CUPS_BACKEND_FAILED).
    cat >"$dir/bin/backend/failing" <<'EOF'
#!/bin/sh
if [ $# -eq 0 ]; then
    echo 'direct failing "Unknown" "Test printer that is never connected"'
    exit 0
fi
echo 'STATE: +offline-report' >&2
echo 'ERROR: The printer is not connected.' >&2
exit 1
EOF
    chmod 0700 "$dir/bin/backend/failing"
}

launch() {
    write_config
    cupsd -f -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" \
        </dev/null >"$dir/log/cupsd.out" 2>&1 &
    echo $! >"$pidfile"
    i=0
    while [ $i -lt 100 ]; do
        if CUPS_SERVER=$socket lpstat -r 2>/dev/null | grep -q "scheduler is running"; then
            exit 0
        fi
        if ! is_ours "$(cat "$pidfile")"; then
            break
        fi
        sleep 0.1
        i=$((i + 1))
    done
    echo "The test scheduler did not start; cupsd -t says:" >&2
    cupsd -t -c "$dir/conf/cupsd.conf" -s "$dir/conf/cups-files.conf" >&2 || true
    cat "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
    stop
    exit 1
}

case $action in
start)
    stop
    rm -rf "$dir/conf" "$dir/spool" "$dir/cache" "$dir/state" "$dir/log" "$dir/capture" \
        "$dir/printcap" "${dir:?}/bin"
    launch
    ;;
restart)
    stop
    launch
    ;;
stop) stop ;;
*) usage ;;
esac
