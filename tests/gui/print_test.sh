#!/usr/bin/env bash
# Print preview and printing: the preview's sizes for the paper and the
# resolution chosen, its temporary picture, printing through the system's
# print dialog to a PDF file (checked rasterised: place, size, pixels), and
# the resolution kept in the document afterwards; the capture frame's print
# button.
# usage: print_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"

export HOME=$WORK
cd "$WORK"          # printing to a file writes into the current folder
# 600 x 400 at 150 dpi: left half blue, right half red.
$IM -size 300x400 xc:blue -size 300x400 xc:red +append -density 150 -units PixelsPerInch -type TrueColor \
    "BMP3:$WORK/p.bmp"
# The preview is up (found by its accessible name: the window manager
# frames it).
preview_shown() { $ATSPI names frame 2>/dev/null | grep -F "인쇄 미리 보기" >/dev/null; }
has_label() { $ATSPI names label | grep -F "$1" >/dev/null; }
wait_label() {
    for _ in $(seq 50); do has_label "$1" && return 0; sleep 0.1; done
    return 1
}
# Types into the resolution box (right of its label "DPI").
type_dpi() {
    local x y w h
    read -r x y w h < <(where_named "DPI" "label")
    xdotool mousemove $((x + 60)) $((y + 8)) click 1
    sleep 0.2
    xdotool key ctrl+a
    xdotool type --delay 80 "$1"
    sleep 0.5
}

start "$WORK/p.bmp"
wait_title "Pimlora - p.bmp 100 % " || fail "document not open: '$(title)'"
menu_item "파일" "이미지 인쇄"
for _ in $(seq 50); do preview_shown && break; sleep 0.1; done
preview_shown && pass "the print preview opens" || fail "no print preview"
wait_label "4.00" && has_label "2.67" && pass "4.00 x 2.67 inches at the picture's 150 dpi" || fail "sizes: $($ATSPI names label | tr '\n' '|')"
has_label "210 ⅹ 297mm" && pass "A4 chosen at first" || fail "paper text: $($ATSPI names label | tr '\n' '|')"
ls "$PIMLORA_HOME"/ttemp-*.bmp >/dev/null 2>&1 && pass "the preview picture is in the user's cache folder" || fail "no preview file"
[ -e "$WORK/ttemp.bmp" ] || [ -e "ttemp.bmp" ] && fail "ttemp.bmp written into the current folder" || true

# The picture box (4 in = 101 mm wide at (260, 60)) shows the picture;
# the label "DPI" at (50, 60) gives the dialog's origin.
read -r X Y _ _ < <(where_named "DPI" "label")
X=$((X - 50)) Y=$((Y - 60))
import -window root "$WORK/shot.png"
px() { $IM "$WORK/shot.png" -crop "1x1+$((X + $1))+$((Y + $2))" -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}'; }
[ "$(px 285 93)" = "#0000FF" ] && [ "$(px 335 93)" = "#FF0000" ] && pass "the picture box shows the picture" \
    || fail "picture box pixels $(px 285 93) $(px 335 93)"

# D4 landscape.
click_named "A4" "combo box"
xdotool key Down Down Down Return
sleep 0.3
click_named "세로방향" "combo box"
xdotool key Down Return
wait_label "10.2 ⅹ 13.5cm" && pass "D4 landscape" || fail "D4 text: $($ATSPI names label | tr '\n' '|')"
# A resolution of 0 counts as 1; then 300.
type_dpi 0
wait_label "600.00" && has_label "400.00" && pass "a resolution of 0 counts as 1" || fail "at 0: $($ATSPI names label | tr '\n' '|')"
type_dpi 300
wait_label "2.00" && has_label "1.33" && pass "300 dpi: 2.00 x 1.33 inches" || fail "at 300: $($ATSPI names label | tr '\n' '|')"

# Print to a file through the system's print dialog.
# GTK's own texts come in Korean when the system has the Korean locale.
click_named "인쇄" "push button"
click_named "파일로 인쇄" "table cell" || click_named "Print to File" "table cell" || fail "no printer to print to a file"
sleep 1
click_named "인쇄(P)" "push button" || click_named "Print" "push button" || fail "no print button in the print dialog"
# "출력.pdf" ("output.pdf") in the current folder.
pdf=
for _ in $(seq 100); do
    for f in "$WORK/출력.pdf" "$WORK/output.pdf"; do [ -s "$f" ] && pdf=$f; done
    [ -n "$pdf" ] && break
    sleep 0.1
done
sleep 1
if [ -n "$pdf" ]; then
    pass "printed to a file"
    # 300 dots per inch, 100 dpi raster: the picture from 33.3 px, 600 dots
    # at 300 dpi less 100: 166.7 x 100 px.
    pdftoppm -r 100 -singlefile "$pdf" "$WORK/page"
    page=$WORK/page.ppm
    pp() { $IM "$page" -crop "1x1+$1+$2" -depth 8 txt:- | tail -1 | grep -o '#[0-9A-F]\{6\}'; }
    near() { /usr/bin/python3 -c "import sys; a,b=sys.argv[1][1:],sys.argv[2][1:]; sys.exit(0 if all(abs(int(a[i:i+2],16)-int(b[i:i+2],16))<40 for i in (0,2,4)) else 1)" "$1" "$2"; }
    near "$(pp 36 60)" "#0000FF" && near "$(pp 196 60)" "#FF0000" && near "$(pp 204 60)" "#FFFFFF" && \
        near "$(pp 100 136)" "#FFFFFF" && near "$(pp 100 131)" "#0000FF" && near "$(pp 30 60)" "#FFFFFF" \
        && pass "the page: the picture at (100, 100) dots, 500 x 300 dots, its pixels" \
        || fail "page pixels $(pp 36 60) $(pp 196 60) $(pp 204 60) $(pp 100 136) $(pp 100 131) $(pp 30 60)"
else
    fail "nothing printed"
fi
xdotool key Escape
for _ in $(seq 50); do preview_shown || break; sleep 0.1; done
preview_shown && fail "the preview stays open" || pass "Escape closes the preview"
ls "$PIMLORA_HOME"/ttemp-*.bmp >/dev/null 2>&1 && fail "the preview picture is left behind" || pass "the preview picture is removed"

# The resolution chosen stays in the document: saved, the file says 300 dpi.
before=$(stat -c %.9Y.%s "$WORK/p.bmp")
key ctrl+s
wait_changed "$WORK/p.bmp" "$before" || fail "Ctrl+S did not write"
"$CLI" info "$WORK/p.bmp" | grep "xdpi=300 ydpi=300" >/dev/null && pass "the document keeps 300 dpi after printing" \
    || fail "saved: $("$CLI" info "$WORK/p.bmp")"
menu_quit
wait_exit || kill $APP_PID
wait $APP_PID 2>/dev/null   # gone before the next start (else it would take the file over)

# --- the capture frame's print button: the preview of the area captured ------------------
# The frame's place (the one the editor wrote at its end replaced).
sed -i '/^\[CaptureFrame\]/,/^Height=/d' "$PIMLORA_HOME/profile.ini" 2>/dev/null
cat >> "$PIMLORA_HOME/profile.ini" <<'INI'
[CaptureFrame]
X=100
Y=120
Width=360
Height=216
INI
# Another document is active when the button is pressed.
start "$WORK/p.bmp"
wait_title "Pimlora - p.bmp 100 % " || fail "document not open: '$(title)'"
# (the first menu of a busy start may not list its entries in time: again then)
for _ in 1 2 3; do menu_item "파일" "영역 캡쳐 및 인쇄" && break; sleep 1; done
for _ in $(seq 100); do window_titled "  화면 캡쳐 및 인쇄창" >/dev/null && break; sleep 0.1; done
window_titled "  화면 캡쳐 및 인쇄창" >/dev/null || fail "no capture frame"
sleep 0.5
xdotool mousemove $((100 + 10 + 16)) $((120 + 11)) click 1   # the print button
for _ in $(seq 100); do preview_shown && break; sleep 0.1; done
preview_shown && pass "the capture frame's print button opens the print preview" || fail "no preview from the capture frame"
[[ "$(title)" == "Pimlora - Captured Image 1 "* ]] && pass "of the new picture Captured Image 1" || fail "title '$(title)'"
# 360 x 216 without a resolution: 72 dpi, 5.00 x 3.00 inches (p.bmp would be 2.00 x 1.33).
wait_label "5.00" && has_label "3.00" && pass "the preview has the captured area's size" \
    || fail "capture sizes: $($ATSPI names label | tr '\n' '|')"
xdotool key Escape
for _ in $(seq 50); do preview_shown || break; sleep 0.1; done
preview_shown && fail "the capture's preview stays open" || true
menu_quit
dialog_key "Pimlora" shift+Tab shift+Tab Return   # not saving the captured picture
wait_exit || kill $APP_PID
finish
