#!/usr/bin/env bash
# Pictures from a scanner and from the screen in the editor: choosing the
# scanner, one colour page, three pages from the document feeder, a
# cancelled scan, the editor without the SANE library; capturing the
# desktop and a window from the capture dialog's list, and an area with the
# hollow capture frame, which remembers its place; the menu entries are
# enabled.
# The scanner is SANE's own test back end behind a private configuration
# folder. Pictures are read back through the clipboard (Ctrl+C copies the
# whole layer without a selection).
# usage: acquire_test.sh PIMLORA PIMLORA_CLI BUILD_DIR
set -uo pipefail
. "$(dirname "$0")/lib.sh"
PAINTER="$BUILD/tests/acquire/x11_painter"
export LC_ALL=C.UTF-8

mkdir -p "$WORK/sane"
echo test > "$WORK/sane/dll.conf"
cat > "$WORK/sane/test.conf" <<'CONF'
number_of_devices 2
mode Color
depth 8
resolution_min 1.0
resolution_max 1200.0
resolution_quant 1.0
resolution 50.0
test-picture "Color pattern"
geometry_min 0.0
geometry_max 300.0
geometry_quant 1.0
tl_x 0.0
tl_y 0.0
br_x 80.0
br_y 100.0
CONF
export SANE_CONFIG_DIR="$WORK/sane"
PROFILE="$PIMLORA_HOME/profile.ini"

wait_window() { for _ in $(seq 100); do window_titled "$1" >/dev/null && return 0; sleep 0.1; done; return 1; }
wait_no_window() { for _ in $(seq 100); do window_titled "$1" >/dev/null || return 0; sleep 0.1; done; return 1; }
# Main window title matching a shell pattern (up to 20 s: scans and documents).
wait_title_like() {
    for _ in $(seq 200); do
        # shellcheck disable=SC2053
        [[ "$(title)" == $1 ]] && return 0
        sleep 0.1
    done
    return 1
}
# The file menu's entries, found by their labels.
capture_frame() { focus; menu_item "파일" "영역 캡쳐 및 인쇄"; }
capture_dialog() { focus; menu_item "파일" "화면 캡쳐"; }
scan() { focus; menu_item "파일" "외부이미지 입력"; }
choose_scanner() { focus; menu_item "파일" "외부장치 선택"; }
# The active document's picture, through the clipboard, as PNG.
copy_picture() {
    rm -f "$1"
    key ctrl+c
    for _ in $(seq 50); do
        xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -q image/png && break
        sleep 0.1
    done
    xclip -o -selection clipboard -t image/png > "$1" 2>/dev/null
    [ -s "$1" ]
}
size_of() { identify -format '%wx%h' "$1" 2>/dev/null; }
pixel() { $IM "$1" -format "%[pixel:p{$2}]" info: 2>/dev/null; }
stop_app() { kill "$APP_PID" 2>/dev/null; wait "$APP_PID" 2>/dev/null; }

# --- choose the scanner, scan one colour page -----------------------------------------
start
choose_scanner
wait_window "외부장치 선택" && pass "1474 shows the device list" || fail "no device list"
xdotool key Return
wait_no_window "외부장치 선택" || fail "device list stays"
grep -q "^Device=test:0" "$PROFILE" && pass "the chosen device is remembered" || fail "device not in the profile"
scan
wait_window "외부이미지 입력" && pass "1475 shows the scan dialog of the known device" || fail "no scan dialog"
import -window root "$WORK/scan_dialog.png"
xdotool key Return
wait_title_like "Pimlora - 스캔영상_1 *" && pass "the page becomes 스캔영상_1" || fail "after the scan: '$(title)'"
scanimage -d test:0 --format=pnm > "$WORK/reference.pnm" 2>/dev/null
copy_picture "$WORK/page.png" || fail "no picture on the clipboard"
[ "$(size_of "$WORK/page.png")" = "157x196" ] && pass "the page is 80 x 100 mm at 50 dpi" || fail "page size $(size_of "$WORK/page.png")"
same_pixels "$WORK/page.png" "$WORK/reference.pnm" && pass "the page is the test pattern scanimage reads" || fail "page pixels differ"
stop_app

# --- three pages from the document feeder -------------------------------------------------------
# The scan dialog comes back with the settings of the last scan: the feeder, three pages.
cat > "$PROFILE" <<'INI'
[Scanner]
Device=test:0
OptionsDevice=test:0
Options=resolution=20\tsource=Automatic Document Feeder
Pages=3
INI
start
scan
wait_window "외부장치 선택" || fail "no device list before the first scan"
xdotool key Return
wait_window "외부이미지 입력" || fail "no scan dialog"
xdotool key Return
wait_title_like "Pimlora - 스캔영상_3 *" && pass "the third feeder page is 스캔영상_3" || fail "after the feeder: '$(title)'"
# Closing two of the documents (window menu, "닫기"; No to saving) shows
# the other two.
seen=" $(title | cut -d' ' -f3) "
for _ in 1 2; do
    key F10 Left Down Return
    dialog_key "Pimlora" shift+Tab shift+Tab Return
    sleep 0.5
    seen="$seen$(title | cut -d' ' -f3) "
done
case "$seen" in
    " 스캔영상_3 스캔영상_2 스캔영상_1 " | " 스캔영상_3 스캔영상_1 스캔영상_2 ") pass "three documents 스캔영상_1, _2, _3" ;;
    *) fail "documents seen while closing:$seen" ;;
esac

# --- a cancelled scan ---------------------------------------------------------------------------
cat > "$PROFILE" <<'INI'
[Scanner]
Device=test:0
OptionsDevice=test:0
Options=resolution=300\tsource=Flatbed\tread-delay=yes\tread-delay-duration=200000
Pages=0
INI
stop_app
start
scan
wait_window "외부장치 선택" && xdotool key Return
wait_window "외부이미지 입력" && xdotool key Return
wait_window "스캔 중" && pass "the scan shows its progress" || fail "no progress window"
import -window root "$WORK/progress.png"
xdotool key Escape
wait_no_window "스캔 중" && pass "cancel ends the scan" || fail "progress window stays"
sleep 1
[ "$(title)" = "Pimlora" ] && pass "a cancelled scan leaves no document" || fail "after cancel: '$(title)'"
kill -0 "$APP_PID" 2>/dev/null || fail "editor ended"
stop_app

# --- without the SANE library -------------------------------------------------------------------
PIMLORA_SANE_LIBRARY="$WORK/no/libsane.so.1" start
[ "$(title)" = "Pimlora" ] && pass "the editor starts without libsane" || fail "start without libsane: '$(title)'"
choose_scanner
scan
sleep 1
ok=1
for t in "외부장치 선택" "외부이미지 입력" "스캔 중"; do window_titled "$t" >/dev/null && ok=0; done
[ "$(xdotool search --onlyvisible --name '^Pimlora$' 2>/dev/null | wc -l)" -le 1 ] || ok=0   # no message box
[ "$ok" = 1 ] && [ "$(title)" = "Pimlora" ] && kill -0 "$APP_PID" 2>/dev/null &&
    pass "without libsane choosing and scanning do nothing, quietly" || fail "without libsane: '$(title)'"
stop_app

# --- window capture -----------------------------------------------------------------------------------
"$PAINTER" "Painter Window" 50 60 300 200 --stay > "$WORK/painter.out" 2>&1 &
for _ in $(seq 50); do grep -q ready "$WORK/painter.out" 2>/dev/null && break; sleep 0.1; done
start
capture_dialog
wait_window "화면 캡쳐" && pass "1424 shows the capture list" || fail "no capture dialog"
xdotool key Return                                   # "Desktop", the first entry
wait_title_like "Pimlora - Captured Image 1 *" && pass "the desktop becomes Captured Image 1" || fail "desktop: '$(title)'"
copy_picture "$WORK/desktop.png" || fail "no desktop picture"
[ "$(size_of "$WORK/desktop.png")" = "1280x1024" ] && pass "the desktop capture has the screen's size" ||
    fail "desktop size $(size_of "$WORK/desktop.png")"
capture_dialog
wait_window "화면 캡쳐" || fail "no capture dialog the second time"
import -window root "$WORK/capture_dialog.png"
xdotool key Down Return                              # the painter, listed before the editor
wait_title_like "Pimlora - Captured Image 2 *" && pass "the window becomes Captured Image 2" || fail "window: '$(title)'"
copy_picture "$WORK/window.png" || fail "no window picture"
painter=$(xdotool search --name '^Painter Window$' | head -1)
eval "$(xdotool getwindowgeometry --shell "$painter")"
[ "$(size_of "$WORK/window.png")" = "${WIDTH}x${HEIGHT}" ] && pass "the window capture has the window's size" ||
    fail "window size $(size_of "$WORK/window.png"), window ${WIDTH}x${HEIGHT}"
q() { pixel "$WORK/window.png" "$1,$2"; }
[ "$(q $((WIDTH / 10)) $((HEIGHT / 10)))" = "srgb(255,0,0)" ] && [ "$(q $((WIDTH * 9 / 10)) $((HEIGHT / 10)))" = "srgb(0,255,0)" ] &&
    [ "$(q $((WIDTH / 10)) $((HEIGHT * 9 / 10)))" = "srgb(0,0,255)" ] &&
    [ "$(q $((WIDTH * 9 / 10)) $((HEIGHT * 9 / 10)))" = "srgb(255,255,255)" ] &&
    pass "the window capture has the window's pixels" || fail "window pixels $(q 10 10) $(q $((WIDTH - 10)) $((HEIGHT - 10)))"

# --- the capture frame ------------------------------------------------------------------------------
cat >> "$PROFILE" <<'INI'
[CaptureFrame]
X=100
Y=120
Width=400
Height=300
INI
stop_app
start
capture_frame
wait_window "  화면 캡쳐 및 인쇄창" && pass "2065 shows the capture frame" || fail "no capture frame"
frame=$(window_titled "  화면 캡쳐 및 인쇄창")
sleep 0.5
eval "$(xdotool getwindowgeometry --shell "$frame")"
[ "$X,$Y,$WIDTH,$HEIGHT" = "100,120,400,300" ] && pass "the frame comes at its remembered place" ||
    fail "frame at $X,$Y,$WIDTH,$HEIGHT"
import -window root "$WORK/frame.png"
xdotool mousemove 300 300
sleep 0.3
eval "$(xdotool getmouselocation --shell)"
[ "$WINDOW" != "$frame" ] && pass "the middle of the frame is hollow" || fail "the frame takes the middle's clicks"
xdotool mousemove 300 130
sleep 0.3
eval "$(xdotool getmouselocation --shell)"
[ "$WINDOW" = "$frame" ] && pass "the band is the frame's" || fail "band not the frame's ($WINDOW)"
xdotool mousemove $((100 + 92 + 16)) $((120 + 11)) click 1     # capture button
wait_title_like "Pimlora - Captured Image 1 *" && pass "the area becomes Captured Image 1" || fail "area: '$(title)'"
copy_picture "$WORK/area.png" || fail "no area picture"
[ "$(size_of "$WORK/area.png")" = "400x300" ] && pass "the area has the frame's size" || fail "area size $(size_of "$WORK/area.png")"
# Inside the borders the frame showed what lay beneath: the same pixels.
$IM "$WORK/area.png" -crop 386x261+7+32 +repage "$WORK/area_in.png"
$IM "$WORK/frame.png" -crop 386x261+107+152 +repage "$WORK/frame_in.png"
same_pixels "$WORK/area_in.png" "$WORK/frame_in.png" && pass "the area is exactly what lay under the frame" ||
    fail "area pixels differ from the screen under the frame"
# The frame moves with its band and remembers the place.
capture_frame
wait_window "  화면 캡쳐 및 인쇄창" || fail "no capture frame the second time"
sleep 0.5
xdotool mousemove 300 130 mousedown 1
for p in "310 135" "330 150" "350 160"; do sleep 0.2; xdotool mousemove $p; done
sleep 0.2
xdotool mouseup 1
sleep 0.5
import -window root "$WORK/frame_moved.png"
xdotool mousemove $((150 + 400 - 35 + 9)) $((150 + 12)) click 1   # close button
wait_no_window "  화면 캡쳐 및 인쇄창" && pass "the close button hides the frame" || fail "frame stays"
stop_app
start
capture_frame
wait_window "  화면 캡쳐 및 인쇄창" || fail "no capture frame after the restart"
sleep 0.5
frame=$(window_titled "  화면 캡쳐 및 인쇄창")
eval "$(xdotool getwindowgeometry --shell "$frame")"
[ "$X,$Y,$WIDTH,$HEIGHT" = "150,150,400,300" ] && pass "the frame remembers the place it was moved to" ||
    fail "frame after the restart at $X,$Y,$WIDTH,$HEIGHT"
import -window root "$WORK/frame2.png"
stop_app

[ -n "${ACQUIRE_SHOTS:-}" ] && cp "$WORK"/*.png "$ACQUIRE_SHOTS"/ 2>/dev/null
finish
