#!/usr/bin/env bash
# The undo journal in the editor: a redo whose step file was replaced or
# removed is refused with a message and leaves the picture as it was; a
# journal that cannot be written gives a message, the editor stays open and
# the edits can be saved.
# usage: journal_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"

$IM -size 200x150 gradient:red-blue -type TrueColor "BMP3:$WORK/pic.bmp"
$IM -size 48x36 plasma:fractal -type TrueColor "PNG24:$WORK/clip.png"
"$CLI" doc "$WORK/pic.bmp" "$WORK/layers.vor" >/dev/null
layer_count() { "$CLI" layers "$1" | grep -c '^slot='; }
before_layers=$(layer_count "$WORK/layers.vor")

# The clipboard picture that Ctrl+V pastes as a new layer (one undo step).
xclip -quiet -selection clipboard -t image/png -i "$WORK/clip.png" >/dev/null 2>&1 &
offered() { xclip -o -selection clipboard -t TARGETS 2>/dev/null | grep -q image/png; }
for _ in $(seq 50); do offered && break; sleep 0.1; done
offered || fail "xclip does not offer the picture"

# Step 1's files: the pasted layer's file of ring position 1.
step_file() { ls "$PIMLORA_HOME"/tmp/run-*/UD_*_1_[0-9]*.ptwtmp 2>/dev/null | grep -v _sel | head -1; }
wait_file() { for _ in $(seq 50); do [ -n "$(step_file)" ] && return 0; sleep 0.1; done; return 1; }
# Waits for the message box titled "Pimlora" (the main window's title has more).
message_shown() { for _ in $(seq 50); do dialog_shown "Pimlora" && return 0; sleep 0.1; done; return 1; }

# --- redo with a replaced and with a missing step file -----------------------------------
start "$WORK/layers.vor"
wait_title "Pimlora - layers.vor 100 % " || fail "VOR from the command line: '$(title)'"
key ctrl+v
wait_file && pass "the pasted layer's step file is written" || fail "no step file after Ctrl+V"
file=$(step_file)
key ctrl+z
size=$(stat -c %s "$file")
head -c "$size" /dev/urandom >"$file"   # same size, other bytes
key ctrl+y
if message_shown; then
    import -window root "$WORK/redo-refused.png" 2>/dev/null
    [ -n "${SHOTS:-}" ] && cp "$WORK/redo-refused.png" "$SHOTS/"
    pass "redo with a replaced step file shows a message"
else
    fail "no message for a replaced step file"
fi
dialog_key "Pimlora" Return
kill -0 "$APP_PID" 2>/dev/null && pass "the editor stays open" || fail "the editor closed"
before=$(stat -c %.9Y.%s "$WORK/layers.vor")
key ctrl+s
wait_changed "$WORK/layers.vor" "$before" || fail "Ctrl+S did not write the VOR"
[ "$(layer_count "$WORK/layers.vor")" -eq "$before_layers" ] && pass "the refused redo left the layers as they were" \
    || fail "layers after the refused redo: $(layer_count "$WORK/layers.vor"), before $before_layers"
rm -f "$file"
key ctrl+y
message_shown && pass "redo with a missing step file shows a message" || fail "no message for a missing step file"
dialog_key "Pimlora" Return
kill -0 "$APP_PID" 2>/dev/null || fail "the editor closed after the missing file"
kill "$APP_PID" 2>/dev/null
wait "$APP_PID" 2>/dev/null

# --- a good redo brings the layer back ---------------------------------------------------
"$CLI" doc "$WORK/pic.bmp" "$WORK/layers.vor" >/dev/null
start "$WORK/layers.vor"
wait_title "Pimlora - layers.vor 100 % " || fail "VOR again: '$(title)'"
key ctrl+v
key ctrl+z
key ctrl+y
dialog_shown "Pimlora" && fail "a message for an intact redo"
before=$(stat -c %.9Y.%s "$WORK/layers.vor")
key ctrl+s
wait_changed "$WORK/layers.vor" "$before" || fail "Ctrl+S did not write the VOR"
[ "$(layer_count "$WORK/layers.vor")" -eq $((before_layers + 1)) ] && pass "an intact redo brings the pasted layer back" \
    || fail "layers after the redo: $(layer_count "$WORK/layers.vor")"
kill "$APP_PID" 2>/dev/null
wait "$APP_PID" 2>/dev/null

# --- a journal that cannot be written -------------------------------------------------------
# The journal's folder would be made under tmp, which is a plain file here.
export PIMLORA_HOME="$WORK/home2"
mkdir -p "$PIMLORA_HOME"
echo x >"$PIMLORA_HOME/tmp"
cp "$WORK/pic.bmp" "$WORK/edit.bmp"
start "$WORK/edit.bmp"
message_shown && pass "opening without a journal shows a message" || fail "no message when the journal cannot be written"
import -window root "$WORK/journal-failed.png" 2>/dev/null
[ -n "${SHOTS:-}" ] && cp "$WORK/journal-failed.png" "$SHOTS/"
dialog_key "Pimlora" Return
kill -0 "$APP_PID" 2>/dev/null && pass "the editor stays open without a journal" || fail "the editor closed"
wait_title "Pimlora - edit.bmp 100 % " || fail "title without a journal: '$(title)'"
key ctrl+v
message_shown && pass "an edit without a journal shows a message" || fail "no message for the edit"
dialog_key "Pimlora" Return
before=$(stat -c %.9Y.%s "$WORK/edit.bmp")
key ctrl+s
# Two layers into a BMP: the editor asks before it flattens them.
message_shown && dialog_key "Pimlora" Return
wait_changed "$WORK/edit.bmp" "$before" && pass "the edit is kept and saved" || fail "Ctrl+S did not write"
same_pixels "$WORK/edit.bmp" "$WORK/pic.bmp" && fail "the saved picture lacks the pasted layer" || true
kill -0 "$APP_PID" 2>/dev/null && pass "the editor is still running" || fail "the editor closed"
kill "$APP_PID" 2>/dev/null

finish
