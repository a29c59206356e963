#!/usr/bin/env bash
# The editor's shell: files from the command line, zoom keys and the title,
# saving, the close sequence, the clipboard, the options dialog, resource
# pictures and a missing configuration.
# usage: shell_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"

$IM -size 400x300 gradient:red-blue -type TrueColor "BMP3:$WORK/pic.bmp"
$IM -size 320x200 plasma:fractal -type TrueColor "BMP3:$WORK/second.bmp"

# --- start with a file, zoom keys and the title -------------------------------------
start "$WORK/pic.bmp"
[ -f "$PIMLORA_HOME/RoviCon_380.ini" ] && pass "first start installs the default settings" || fail "defaults installed"
wait_title "Pimlora - pic.bmp 100 % " && pass "file from the command line, title at 100 %" || fail "title: '$(title)'"
key ctrl+equal
wait_title "Pimlora - pic.bmp 125 % " && pass "Ctrl+= zooms to 125 %" || fail "after Ctrl+=: '$(title)'"
key ctrl+equal ctrl+1
wait_title "Pimlora - pic.bmp 100 % " && pass "Ctrl+1 back to 100 %" || fail "after Ctrl+1: '$(title)'"
key ctrl+minus
wait_title "Pimlora - pic.bmp 80 % " && pass "Ctrl+- zooms to 80 %" || fail "after Ctrl+-: '$(title)'"

# --- a menu command by keyboard, save with Ctrl+S, reopen --------------------------------
cp "$WORK/pic.bmp" "$WORK/orig.bmp"
before=$(stat -c %.9Y.%s "$WORK/pic.bmp")
menu_item "이미지" "반전변환"
key ctrl+s
wait_changed "$WORK/pic.bmp" "$before" && pass "menu command marks the document, Ctrl+S writes it" || fail "Ctrl+S did not write"
$IM "$WORK/orig.bmp" -negate "BMP3:$WORK/negated.bmp"
same_pixels "$WORK/pic.bmp" "$WORK/negated.bmp" && pass "saved pixels are the negative of the opened picture" || fail "saved pixels differ"

# --- the close sequence with a modified document ---------------------------------------------
menu_item "이미지" "반전변환"    # modified again
menu_quit
dialog_key "Pimlora" Escape                # Cancel: stays open
kill -0 $APP_PID 2>/dev/null && pass "Cancel in the save prompt keeps the program running" || fail "program ended on Cancel"
grep -q "저장하시겠습니까" "$WORK/app.log" && fail "prompt text went to the log" || true
before=$(stat -c %.9Y.%s "$WORK/pic.bmp")
menu_quit
dialog_key "Pimlora" shift+Tab shift+Tab Return   # No: closes without saving
wait_exit && pass "No in the save prompt ends the program" || fail "program still running after No"
[ "$before" = "$(stat -c %.9Y.%s "$WORK/pic.bmp")" ] && pass "No leaves the file unchanged" || fail "file changed after No"
kill $APP_PID 2>/dev/null

# --- two documents from the command line, Yes in the prompt saves the modified one ---------------
start "$WORK/pic.bmp" "$WORK/second.bmp"
key ctrl+equal
wait_title "Pimlora - second.bmp 125 % " && pass "second document active and zoomed" || fail "two documents: '$(title)'"
menu_item "이미지" "반전변환"     # second.bmp modified
before=$(stat -c %.9Y.%s "$WORK/second.bmp")
pic_before=$(stat -c %.9Y.%s "$WORK/pic.bmp")
menu_quit
dialog_key "Pimlora" Return                       # Yes (the default)
wait_exit && pass "Yes in the save prompt saves and ends" || fail "program still running after Yes"
[ "$before" != "$(stat -c %.9Y.%s "$WORK/second.bmp")" ] && pass "Yes writes the modified document" || fail "file not written after Yes"
[ "$pic_before" = "$(stat -c %.9Y.%s "$WORK/pic.bmp")" ] && pass "the unmodified document is closed without asking" || fail "unmodified document written"

# --- paste a clipboard picture as a new layer (Ctrl+V), save the VOR with Ctrl+S --------------------
# The picture is offered on the X clipboard as PNG by xclip, which serves it
# until it is killed.
$IM -size 48x36 plasma:fractal -type TrueColor "PNG24:$WORK/clip.png"
"$CLI" doc "$WORK/pic.bmp" "$WORK/layers.vor" >/dev/null
layers_before=$("$CLI" layers "$WORK/layers.vor" | grep -c '^slot=')
xclip -quiet -selection clipboard -t image/png -i "$WORK/clip.png" >/dev/null 2>&1 &
CLIP_PID=$!
offered() { xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -q image/png; }
for _ in $(seq 50); do offered && break; sleep 0.1; done
offered || fail "xclip does not offer the picture"
start "$WORK/layers.vor"
wait_title "Pimlora - layers.vor 100 % " || fail "VOR from the command line: '$(title)'"
before=$(stat -c %.9Y.%s "$WORK/layers.vor")
key ctrl+v
key ctrl+s
wait_changed "$WORK/layers.vor" "$before" || fail "Ctrl+S did not write the VOR"
layers_after=$("$CLI" layers "$WORK/layers.vor" | grep -c '^slot=')
[ "$layers_after" -eq $((layers_before + 1)) ] && pass "Ctrl+V adds the clipboard picture as a layer, Ctrl+S keeps it" \
    || fail "layers before $layers_before, after $layers_after"
# The pasted layer is opaque with its top-left corner on the canvas's.
"$CLI" doc "$WORK/layers.vor" "$WORK/flat.bmp" >/dev/null
$IM "$WORK/flat.bmp" -crop 48x36+0+0 +repage "BMP3:$WORK/pasted.bmp"
$IM "$WORK/flat.bmp" -crop 48x36+48+0 +repage "BMP3:$WORK/beside.bmp"
$IM "$WORK/pic.bmp" -crop 48x36+48+0 +repage "BMP3:$WORK/beside_want.bmp"
same_pixels "$WORK/pasted.bmp" "$WORK/clip.png" && same_pixels "$WORK/beside.bmp" "$WORK/beside_want.bmp" \
    && pass "the saved document shows the pasted pixels at the top-left corner" || fail "pasted pixels differ"
kill $CLIP_PID 2>/dev/null
menu_quit
wait_exit || fail "program did not end after the paste"
kill $APP_PID 2>/dev/null
start "$WORK/layers.vor"
wait_title "Pimlora - layers.vor 100 % " && pass "the saved VOR opens again" || fail "reopening the VOR: '$(title)'"
menu_quit
wait_exit || fail "program did not end after reopening"
kill $APP_PID 2>/dev/null

# --- options dialog values survive a restart ---------------------------------------------------------
start
menu_item "파일" "환경설정"
dialog_key "환경설정" ctrl+a 2 Return        # a grid gap of 2 is stored as 4
menu_quit nodoc
wait_exit || fail "program did not end"
grep -a -q "GGap4 " "$PIMLORA_HOME/RoviCon_380.ini" && pass "options dialog: gap 2 stored as 4" || fail "GGap not 4: $(grep -a GGap "$PIMLORA_HOME/RoviCon_380.ini")"
start
menu_quit nodoc
wait_exit
grep -a -q "GGap4 " "$PIMLORA_HOME/RoviCon_380.ini" && pass "options survive a restart" || fail "GGap lost after restart"

# --- resource pictures share one counter (tool bar button "BMP", by mouse) ----------------------------
start
w=$(main_window)
click_named "BITMAP 자원" "push button"
wait_title "Pimlora - Pimlora1 100 %  BITMAP Resource Image 1" && pass "first resource picture numbered 1" || fail "resource title: '$(title)'"
click_named "BITMAP 자원" "push button"
wait_title "Pimlora - Pimlora2 100 %  BITMAP Resource Image 2" && pass "second resource picture numbered 2" || fail "resource title: '$(title)'"
menu_quit
wait_exit || fail "program did not end after resource pictures"

# --- a missing configuration file ends the first start, the next one runs ----------------------------------
rm "$PIMLORA_HOME/RoviCon_380.ini"
"$APP" >"$WORK/app.log" 2>&1 &
APP_PID=$!
dialog_key "Pimlora" Return
wait_exit && pass "missing configuration: message and end" || fail "program kept running without configuration"
[ -f "$PIMLORA_HOME/RoviCon_380.ini" ] && pass "the end wrote a configuration" || fail "no configuration written"
start
kill -0 $APP_PID 2>/dev/null && pass "next start runs" || fail "next start failed"
menu_quit nodoc
wait_exit

echo "$failures failure(s)"
[ $failures -eq 0 ]
