#!/bin/sh
# Compiles the shared code (core, process, monitor, ui/logic and the system-free part of
# platform) with the Windows compiler, syntax only, against the platform headers: a POSIX or
# toolkit header that creeps into the shared code fails here before a Windows build is tried.
# The Windows compiler ships a few POSIX headers of its own (unistd.h, dirent.h, sys/stat.h):
# the headers of posix-headers/, found first, stop the compilation where the shared code
# includes one of those.
#
#   check-shared-code.sh SOURCE_DIR
set -eu

root=$1
here=$(dirname "$0")
compiler=x86_64-w64-mingw32-g++-posix
shared="core process monitor ui/logic platform"
check() {
    "$compiler" -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I"$here/posix-headers" \
        -I"$root" -x c++ "$@"
}

status=0
headers=
for directory in $shared; do
    for file in "$root/$directory"/*.cpp; do
        if ! check "$file"; then
            echo "not portable: ${file#"$root"/}" >&2
            status=1
        fi
    done
    for file in "$root/$directory"/*.h; do
        headers="$headers#include \"${file#"$root"/}\"
"
    done
done
# Every header on its own counts too, also one that no source file includes.
if ! printf '%s' "$headers" | check -; then
    echo "not portable: a header of $shared" >&2
    status=1
fi
exit $status
