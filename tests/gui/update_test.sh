#!/usr/bin/env bash
# The update: the editor's offer from a loopback server handing over to
# setupfetch, which downloads with progress, checks and opens the installer;
# Cancel and the options switch; Enter as cancel; a typed address; a refused
# counter upload.
# usage: update_test.sh PIMLORA PIMLORA_CLI [BUILD_DIR]
set -uo pipefail
. "$(dirname "$0")/lib.sh"
SETUPFETCH="$(dirname "$APP")/setupfetch"
UA="/usr/bin/python3 $GUI_DIR/update_atspi.py"
SERVERS="$GUI_DIR/../update/servers.py"

# --- servers: the maker's web server and the counter (HTTP + FTP) -----------
mkdir -p "$WORK/site" "$WORK/ftp/www"
head -c 3000000 /dev/urandom > "$WORK/site/setup_pimlora_631.exe"
sum=$(sha256sum "$WORK/site/setup_pimlora_631.exe" | cut -d' ' -f1)
printf '631\r\nsha256=%s\r\n' "$sum" > "$WORK/site/vandelore_update.txt"
printf '41' > "$WORK/ftp/www/vandelore_update.txt"
( sleep 100000 ) | /usr/bin/python3 "$SERVERS" --http-root "$WORK/site" --log "$WORK/site.log" > "$WORK/site.port" &
( sleep 100000 ) | /usr/bin/python3 "$SERVERS" --http-root "$WORK/ftp/www" --ftp-home "$WORK/ftp" > "$WORK/counter.port" &
for _ in $(seq 100); do [ -s "$WORK/site.port" ] && [ -s "$WORK/counter.port" ] && break; sleep 0.1; done
SITE=$(sed 's/http=\([0-9]*\).*/\1/' "$WORK/site.port")
read -r CHTTP CFTP < <(sed 's/http=\([0-9]*\) ftp=\([0-9]*\)/\1 \2/' "$WORK/counter.port")
# Slowed a little, so that setupfetch stays on the screen for a moment.
export PIMLORA_UPDATE_HOST="http://127.0.0.1:$SITE/slow/10"
export PIMLORA_COUNTER_HOST="127.0.0.1:$CHTTP:$CFTP"
export PIMLORA_UPDATE_TIMEOUT=2
printf 'tester:pw-tester-9\n' > "$WORK/account"; chmod 600 "$WORK/account"
export PIMLORA_COUNTER_CREDENTIALS="$WORK/account"
# The opener writes down what it was asked to open.
cat > "$WORK/opener.sh" <<EOS
#!/bin/sh
printf '%s\n' "\$@" > "$WORK/opened.new" && mv "$WORK/opened.new" "$WORK/opened"
EOS
chmod +x "$WORK/opener.sh"
export PIMLORA_OPENER="$WORK/opener.sh"
INSTALLER="$PIMLORA_HOME/setupfetch/setup_pimlora_631.exe"

visible() { xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
wait_window() { for _ in $(seq 150); do [ -n "$(visible "$1")" ] && return 0; sleep 0.1; done; return 1; }
wait_gone() { for _ in $(seq 150); do [ -z "$(visible "$1")" ] && return 0; sleep 0.1; done; return 1; }
wait_pid() { for _ in $(seq 300); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.1; done; return 1; }
wait_file() { for _ in $(seq 300); do [ -s "$1" ] && return 0; sleep 0.1; done; return 1; }
shown_name() { $UA "$1" names 2>/dev/null | cut -f2- | grep -xF -- "$2" >/dev/null; }
wait_name() { for _ in $(seq 50); do shown_name "$1" "$2" && return 0; sleep 0.2; done; return 1; }
# Clicks inside window $1 at client point $2 $3 (focus for the keys).
click_in() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.3; }

# --- the offer: 631 against our 630; OK hands over --------------------------------
"$APP" >"$WORK/app.log" 2>&1 &
APP_PID=$!
wait_window '^Pimlora update$' && pass "start-up offers the newer version" || fail "no update dialog"
import -window root "$WORK/offer.png" 2>/dev/null
wait_name pimlora "Pimlora 신버전을 다운로드 후 설치하시겠습니까" && pass "the question is shown" || fail "question: $($UA pimlora names)"
shown_name pimlora "신버전 6.31" && pass "the new version reads 6.31" || fail "version text: $($UA pimlora names)"
[ -z "$(visible '^Pimlora$')" ] && pass "the main window waits for the answer" || fail "main window shown before the answer"
# Watch for the main window until the editor has gone.
( while kill -0 $APP_PID 2>/dev/null; do [ -n "$(visible '^Pimlora($| - )')" ] && echo shown >> "$WORK/main-seen"
      sleep 0.05; done ) &
$UA pimlora click "확 인" || fail "OK button not found"
wait_pid $APP_PID && pass "OK ends the editor" || fail "editor still running after OK"
[ ! -e "$WORK/main-seen" ] && pass "the main window was never shown" || fail "main window appeared after OK"
wait_window '^setupfetch$' && pass "OK starts setupfetch" || fail "setupfetch did not appear"
SF_PID=$(pgrep -n -x setupfetch)
wait_file "$WORK/opened" && pass "the checked installer goes to the opener" || fail "opener not run"
[ "$(cat "$WORK/opened" 2>/dev/null)" = "$INSTALLER" ] && pass "opened the file in the cache folder" \
    || fail "opened '$(cat "$WORK/opened" 2>/dev/null)'"
cmp -s "$INSTALLER" "$WORK/site/setup_pimlora_631.exe" && pass "downloaded file is the installer" || fail "file differs"
[ -n "$SF_PID" ] && { wait_pid "$SF_PID" && pass "setupfetch ends after the open" || fail "setupfetch still running"; }
[ "$(cat "$WORK/ftp/www/vandelore_update.txt")" = "42" ] && pass "the download counter grew by one" \
    || fail "counter: $(cat "$WORK/ftp/www/vandelore_update.txt")"
grep -q '/setup_pimlora_631.exe' "$WORK/site.log" && pass "the installer came from the maker's server" || fail "no installer request"

# --- Cancel: the editor starts as usual ----------------------------------------------
start_app() { "$APP" "$@" >"$WORK/app.log" 2>&1 & APP_PID=$!; }
start_app
wait_window '^Pimlora update$' || fail "no update dialog the second time"
$UA pimlora click "취 소" || fail "Cancel button not found"
wait_window '^Pimlora$' && pass "Cancel: the main window opens" || fail "no main window after Cancel"
[ -z "$(pgrep -n -x setupfetch)" ] && pass "Cancel starts nothing" || fail "setupfetch started after Cancel"
kill $APP_PID; wait_pid $APP_PID

# --- the options dialog turns the check off, and the choice is remembered ------------------
start_app
wait_window '^Pimlora update$' || fail "no update dialog the third time"
$UA pimlora click "취 소" || fail "Cancel button not found"
wait_window '^Pimlora$' || fail "no main window after Cancel"
menu_item "파일" "환경설정" || fail "options entry not found"
click_named "시작/표시" "push button" || fail "start-up page button not found"
click_named "시작할 때 새 버전 확인 안 함" "check box" || fail "update check box not found"
xdotool key Return
sleep 0.5
menu_quit
wait_pid $APP_PID || fail "editor did not end"
grep -a -q '^UD 1' "$PIMLORA_HOME/RoviCon_380.ini" && pass "the check box is stored as UD 1" \
    || fail "UD: $(grep -a '^UD' "$PIMLORA_HOME/RoviCon_380.ini")"
: > "$WORK/site.log"
start_app
wait_window '^Pimlora$' && pass "check turned off: the editor starts" || fail "no main window with the check off"
[ ! -s "$WORK/site.log" ] && pass "check turned off: nothing asked" || fail "asked the server: $(cat "$WORK/site.log")"
[ -z "$(visible '^Pimlora update$')" ] && pass "check turned off: no offer" || fail "offered with the check off"
kill $APP_PID; wait_pid $APP_PID

# --- setupfetch alone: slow download, progress, Enter cancels; a refused counter upload -----
rm -f "$WORK/opened" "$INSTALLER"
printf 'reader:pw-reader-9\n' > "$WORK/account"
export PIMLORA_UPDATE_HOST="http://127.0.0.1:$SITE/slow/40"
"$SETUPFETCH" > "$WORK/sf.log" 2>&1 &
SF_PID=$!
wait_window '^Pimlora$' || fail "no message box for the refused upload"
grep -q '파일전송오류(2)' "$WORK/sf.log" && pass "refused counter upload: 파일전송오류(2)" || fail "no (2): $(cat "$WORK/sf.log")"
xdotool key --window "$(visible '^Pimlora$')" Return 2>/dev/null || xdotool key Return
wait_gone '^Pimlora$' || fail "message box stays"
[ "$(cat "$WORK/ftp/www/vandelore_update.txt")" = "42" ] && pass "refused upload leaves the counter" || fail "counter changed"
first="" ; second=""
for _ in $(seq 100); do
    first=$($UA setupfetch names 2>/dev/null | cut -f2- | grep -E '^진행률 [0-9]+ 퍼센트\([0-9]+ K바이트\)$' | head -1)
    [ -n "$first" ] && break; sleep 0.1
done
[ -n "$first" ] && pass "progress text: $first" || fail "no progress text: $($UA setupfetch names)"
sleep 1.5
second=$($UA setupfetch names 2>/dev/null | cut -f2- | grep -E '^진행률' | head -1)
kb() { sed 's/.*(\([0-9]*\) K.*/\1/' <<<"$1"; }
[ -n "$second" ] && [ "$(kb "$second")" -gt "$(kb "$first")" ] && pass "progress grows: $second" || fail "progress: '$first' then '$second'"
bar=$($UA setupfetch progress 2>/dev/null)
[ -n "$bar" ] && [ "$(awk -v v="$bar" 'BEGIN { print (v > 0 && v <= 1) }')" = 1 ] && pass "progress bar at $bar" \
    || fail "progress bar '$bar'"
import -window root "$WORK/progress.png" 2>/dev/null
click_in "$(visible '^setupfetch$')" 300 60
xdotool key Return
wait_window '^Pimlora$' && pass "Enter during the download: a message" || fail "no message after Enter"
grep -q '파일전송오류(1)' "$WORK/sf.log" && pass "cancelled: 파일전송오류(1)" || fail "no (1): $(cat "$WORK/sf.log")"
xdotool key --window "$(visible '^Pimlora$')" Return 2>/dev/null || xdotool key Return
wait_pid $SF_PID && pass "setupfetch ends after the cancelled download" || fail "still running after (1)"
[ ! -e "$WORK/opened" ] && [ ! -e "$INSTALLER" ] && pass "cancelled: nothing opened, nothing kept" || fail "opened or kept after cancel"

# --- setupfetch without a version file: the address box; a typed address ---------------------
export PIMLORA_UPDATE_HOST="127.0.0.1:1"
"$SETUPFETCH" > "$WORK/sf.log" 2>&1 &
SF_PID=$!
wait_window '^setupfetch$' || fail "setupfetch did not appear"
for _ in $(seq 50); do $UA setupfetch state URL 2>/dev/null | grep focused >/dev/null && break; sleep 0.2; done
st=$($UA setupfetch state URL 2>/dev/null)
grep -q enabled <<<"$st" && grep -q focused <<<"$st" && pass "no version file: the address box is open and focused" \
    || fail "address box: $st"
[ -z "$($UA setupfetch text URL 2>/dev/null)" ] && pass "the address box is empty" || fail "address box holds text"
xdotool type --delay 20 "http://127.0.0.1:$SITE/setup_pimlora_631.exe"
xdotool key Return
wait_window '^Pimlora$' && pass "typed address downloaded" || fail "no message after the typed download"
grep -q "직접 다운로드 후 설치바람" "$WORK/sf.log" && grep -q "$INSTALLER" "$WORK/sf.log" \
    && pass "no checksum: the user is told where the file is" || fail "message: $(cat "$WORK/sf.log")"
import -window root "$WORK/manual.png" 2>/dev/null
xdotool key --window "$(visible '^Pimlora$')" Return 2>/dev/null || xdotool key Return
wait_pid $SF_PID && pass "setupfetch ends" || fail "setupfetch still running"
[ ! -e "$WORK/opened" ] && pass "an unchecked file is not opened" || fail "unchecked file opened"
cmp -s "$INSTALLER" "$WORK/site/setup_pimlora_631.exe" && pass "the typed address's file is kept" || fail "file missing"

# --- the close button ends setupfetch at any time ------------------------------------------
export PIMLORA_UPDATE_HOST="127.0.0.1:1"
"$SETUPFETCH" > "$WORK/sf.log" 2>&1 &
SF_PID=$!
wait_window '^setupfetch$' || fail "setupfetch did not appear"
sleep 0.5
$UA setupfetch click Close || fail "close button not found"
wait_pid $SF_PID && pass "the close button ends setupfetch" || fail "still running after Close"

[ -n "${KEEP_SHOTS:-}" ] && cp "$WORK"/*.png "$KEEP_SHOTS"/ 2>/dev/null
finish
