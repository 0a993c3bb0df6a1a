#!/bin/sh
# Checks the Debian package as Debian's tools see it: its files, lintian (no error, and every
# warning named in the README with its reason), the desktop entries (desktop-file-validate),
# and a changelog whose latest entry is the package's version.
#
#   check-package.sh DEB README
set -eu

deb=$1
readme=$2
status=0
fail() {
    echo "FAIL: $*" >&2
    status=1
}

root=$(mktemp -d "${TMPDIR:-/tmp}/tarvo-deb.XXXXXX")
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
version=$(dpkg-deb -f "$deb" Version)

# Exactly the files of an installed Tarvo, nothing more and nothing less.
expected="usr/bin/tarvo
usr/lib/systemd/user/tarvo.service
usr/share/applications/tarvo.desktop
usr/share/doc/tarvo/README.md
usr/share/doc/tarvo/changelog.gz
usr/share/doc/tarvo/copyright
usr/share/icons/hicolor/16x16/apps/tarvo.png
usr/share/icons/hicolor/24x24/apps/tarvo.png
usr/share/icons/hicolor/32x32/apps/tarvo.png
usr/share/icons/hicolor/48x48/apps/tarvo.png
usr/share/man/man1/tarvo.1.gz
usr/share/tarvo/autostart/tarvo.desktop
usr/share/tarvo/installed"
actual=$(cd "$root" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    fail "the package's files differ from an installed Tarvo's:"
    printf '%s\n' "$expected" >"$root.expected"
    printf '%s\n' "$actual" | diff "$root.expected" - >&2 || true
    rm -f "$root.expected"
fi
[ -x "$root/usr/bin/tarvo" ] || fail "usr/bin/tarvo is not executable"

for entry in usr/share/applications/tarvo.desktop usr/share/tarvo/autostart/tarvo.desktop; do
    if ! out=$(desktop-file-validate "$root/$entry" 2>&1) || [ -n "$out" ]; then
        fail "desktop-file-validate $entry: $out"
    fi
done

latest=$(gzip -dc "$root/usr/share/doc/tarvo/changelog.gz" | head -n 1)
case $latest in
"tarvo ($version) "*) ;;
*) fail "the changelog's latest entry is not version $version: $latest" ;;
esac

# lintian refuses nothing as root, but says so on standard error.
report=$(lintian --no-tag-display-limit "$deb" 2>/dev/null) || true
printf '%s\n' "$report" | grep '^E: ' >&2 && fail "lintian reports errors"
for tag in $(printf '%s\n' "$report" | sed -n 's/^W: [^ ]* \([^ ]*\).*/\1/p' | sort -u); do
    grep -qF -- "$tag" "$readme" || fail "lintian warns $tag, which the README does not name"
done
[ $status -eq 0 ] && echo "the package's files, desktop entries, changelog and lintian are fine"
exit $status
