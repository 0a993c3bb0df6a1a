#!/bin/sh
# Runs a test with a home and XDG base directories of its own, so that nothing the test or a
# library under it writes for the user (Qt's dialog history in ~/.config/QtProject.conf, font
# caches, CUPS's ~/.cups/lpoptions, a runtime directory) reaches the user's real home. DIR is
# emptied first, so that every run starts from nothing, and stays after the run for a look.
#
#   with-own-home.sh DIR COMMAND [ARGUMENT...]
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 DIR COMMAND [ARGUMENT...]" >&2
    exit 2
fi
dir=$1
shift
case $dir in
/?*) ;;
*)
    echo "$0: DIR must be an absolute path" >&2
    exit 2
    ;;
esac

rm -rf "$dir"
mkdir -p "$dir/.config" "$dir/.cache" "$dir/.local/share" "$dir/.local/state"
# Only its owner may use a runtime directory; Qt refuses one that others can enter.
mkdir -m 0700 "$dir/runtime"

HOME=$dir
XDG_CONFIG_HOME=$dir/.config
XDG_CACHE_HOME=$dir/.cache
XDG_DATA_HOME=$dir/.local/share
XDG_STATE_HOME=$dir/.local/state
XDG_RUNTIME_DIR=$dir/runtime
export HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_DATA_HOME XDG_STATE_HOME XDG_RUNTIME_DIR
exec "$@"
