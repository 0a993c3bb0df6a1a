#!/bin/sh
# pictures.sh BUILD DOCS: pictures of the Windows configuration window, printer picker and tray
# menu, as a user opens them: tarvo.exe of the Windows build tree BUILD runs under wine, in the
# tests' wine prefix, with printers of a private CUPS scheduler; a click on its tray icon opens the
# configuration window, a click on a row button the picker. Each window's client area is saved
# into DOCS as windows-configuration-window.png and windows-printer-picker.png. Then a job whose
# section cannot be delivered gives the icon its badge, and a right click opens the menu: the
# tray and the menu are saved as windows-tray-menu.png.
#
# Runs on the X display that DISPLAY names, at 96 dpi; `make windows-pictures` gives it one of
# its own (xvfb-run). Needs xdotool and ImageMagick's import.
set -eu
[ $# -eq 2 ] || { echo "usage: $0 BUILD DOCS" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
docs=$(cd "$2" && pwd)
work=$build/pictures
WINEPREFIX=$build/wineprefix
WINEDEBUG=-all
WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=d
LC_ALL=C.UTF-8
CUPS_SERVER=$work/cups/cups.sock
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES LC_ALL CUPS_SERVER

# The window's client area at 96 dpi, in pixels, from its size in twips.
pixels() { echo $((($1 * 96 + 720) / 1440)); }

# The X window of the Windows window with that caption, once it shows.
window() {
    for _ in $(seq 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) || true
        [ -n "$id" ] && { echo "$id"; return; }
        sleep 0.2
    done
    echo "$0: no window \"$1\"" >&2
    exit 1
}

# X and Y of the window's frame: wine draws the frame, the same width left, right and below.
geometry() {
    eval "$(xdotool getwindowgeometry --shell "$1")"
    border=$(((WIDTH - $2) / 2))
    top=$((HEIGHT - $3 - border))
}

# Clicks at a point of the client area.
click() {
    geometry "$1" "$2" "$3"
    xdotool mousemove --window "$1" $((border + $4)) $((top + $5)) click 1
}

# Saves the client area of the window.
save() {
    geometry "$1" "$2" "$3"
    /usr/bin/import -window "$1" -crop "${2}x${3}+${border}+${top}" +repage "$4"
}

stop() {
    sh "$here/wine-fixture.sh" cleanup
    sh "$here/printers.sh" stop "$work/cups"
}

# Wine reads the printers once, in the first program of a session: the prefix's server stops
# before the scheduler with the pictures' printers starts.
sh "$here/wine-fixture.sh" cleanup
sh "$here/printers.sh" start "$work/cups" Receipt_Front Receipt_Kitchen Zebra_GK420 Office_Laser
trap stop EXIT
sh "$here/wine-fixture.sh" setup
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1

rm -rf "$work/app" "$WINEPREFIX/drive_c/Shop"
mkdir -p "$work/app" "$WINEPREFIX/drive_c/Shop/Tarvo"
cp "$build/tarvo.exe" "$work/app/"
printf '%s\r\n' '[MAP]' '@@1@=Receipt_Front' 'Type1=Ticket' '@@2@=Receipt_Kitchen' \
    'Type2=Dup Ticket' '@@3@=Zebra_GK420' 'Type3=Label' '@@4@=Office_Laser' 'Type4=Report' \
    '@@5@=C:\Shop\out\tickets.txt' 'Type5=File' '@@6@=C:\Shop\out' 'Type6=NamedFile' \
    '[MONITOR]' 'PATH=C:\Shop\Tarvo' >"$work/app/tarvo.ini"
(cd "$work/app" && exec wine tarvo.exe) </dev/null >"$work/tarvo.out" 2>&1 &

# Wine's own notification area, a small window: its first icon is Tarvo's (20 pixels square).
tray=$(window 'Wine System Tray')
eval "$(xdotool getwindowgeometry --shell "$tray")"
xdotool mousemove --window "$tray" 13 $((HEIGHT - 13)) click 1

config=$(window 'Tarvo Configuration')
configWidth=$(pixels 9885)
configHeight=$(pixels 6180)
# The caret after the monitor directory, where typing goes on, rather than over its first letter.
xdotool key End
sleep 1
save "$config" "$configWidth" "$configHeight" "$docs/windows-configuration-window.png"

# The button of row 3, then the fourth printer.
click "$config" "$configWidth" "$configHeight" $(($(pixels 7560) + 8)) $(($(pixels 2280) + 8))
picker=$(window 'Select Printer')
pickerWidth=$(pixels 7245)
pickerHeight=$(pixels 4890)
click "$picker" "$pickerWidth" "$pickerHeight" 60 $(($(pixels 120) + 46))
sleep 1
save "$picker" "$pickerWidth" "$pickerHeight" "$docs/windows-printer-picker.png"
xdotool key Escape
sleep 1
xdotool key Escape

# Row 5's folder C:\Shop\out does not exist: its section is kept, the icon shows the badge and a
# balloon says so. Then a right click on the icon opens the menu, the only window that the
# program shows by then.
printf '@!@5Table 4: 2 coffee\r\n' >"$WINEPREFIX/drive_c/Shop/Tarvo/order1"
sleep 3
/usr/bin/import -window root -crop 235x115+0+0 +repage "$docs/windows-tray-notification.png"
eval "$(xdotool getwindowgeometry --shell "$tray")"
xdotool mousemove --window "$tray" 13 $((HEIGHT - 13)) click 3
sleep 1
menu=$(xdotool search --onlyvisible --classname '^tarvo.exe$' | head -1)
/usr/bin/import -window "$menu" +repage "$docs/windows-tray-menu.png"
xdotool key Escape
echo "Saved $docs/windows-configuration-window.png, $docs/windows-printer-picker.png," \
    "$docs/windows-tray-notification.png and $docs/windows-tray-menu.png"
