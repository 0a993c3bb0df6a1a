#!/bin/sh
# The printers of the Windows tests: the tests' private CUPS scheduler with capture queues.
#
#   printers.sh start DIR QUEUE...   starts a fresh scheduler in DIR with these queues
#   printers.sh stop DIR             stops it
#
# Wine lists a scheduler's queues as Windows printers, but reads the list only in the first
# program of a session that prints, and later programs share that list while it runs: every
# queue must exist before the first Windows test starts.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
server=$here/../cups/cups-server.sh
PATH=$PATH:/usr/sbin:/sbin
export PATH
[ $# -ge 2 ] || { echo "usage: $0 start|stop DIR [QUEUE...]" >&2; exit 2; }
action=$1
dir=$2
shift 2
case $action in
start)
    sh "$server" start "$dir"
    for queue in "$@"; do
        CUPS_SERVER=$dir/cups.sock lpadmin -p "$queue" -v capture:/ -E
    done
    ;;
stop) sh "$server" stop "$dir" ;;
*)
    echo "usage: $0 start|stop DIR [QUEUE...]" >&2
    exit 2
    ;;
esac
