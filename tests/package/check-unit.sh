#!/bin/sh
# Checks the package's systemd user unit with systemd-analyze verify, which must accept it
# without a word. The unit names /usr/bin/tarvo, which the package is not installed to here: the
# copy checked runs the program unpacked from the package instead, and the manual page that it
# names is looked up there too. Exits 77 (a skip) without systemd-analyze.
#
#   check-unit.sh DEB
set -eu

deb=$1
if ! command -v systemd-analyze >/dev/null 2>&1; then
    echo "systemd-analyze is missing (package systemd): not checked"
    exit 77
fi
root=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-unit.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
mkdir -m 0700 "$root/runtime" "$root/check"
sed "s|^ExecStart=/usr/bin/tarvo|ExecStart=$root/usr/bin/tarvo|" \
    "$root/usr/lib/systemd/user/tarvo.service" >"$root/check/tarvo.service"
grep -q "^ExecStart=$root/usr/bin/tarvo\$" "$root/check/tarvo.service"

# Its manual page is looked up with man, where there is one.
man=--man=yes
command -v man >/dev/null 2>&1 || man=--man=no
if ! out=$(MANPATH=$root/usr/share/man XDG_RUNTIME_DIR=$root/runtime \
    systemd-analyze --user "$man" verify "$root/check/tarvo.service" 2>&1) || [ -n "$out" ]; then
    echo "FAIL: systemd-analyze verify: $out" >&2
    exit 1
fi
echo "systemd-analyze verify accepts tarvo.service"
