#!/usr/bin/env bash
# Installs the build into a temporary DESTDIR and checks what a desktop user
# gets: programs that run from there (and never from the source tree), the
# desktop entry, icons, AppStream data, the VOR file type, the thumbnailer,
# the manuals, the completion and the Debian package.
# usage: install_test.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD=$(cd "$1" && pwd)
SRC=$(cd "$2" && pwd)
IM=/usr/bin/convert-im6.q16
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
failures=0
pass() { echo "ok   - $1"; }
fail() { echo "FAIL - $1"; failures=$((failures + 1)); }

DEST=$WORK/root
PREFIX=/usr
DESTDIR=$DEST cmake --install "$BUILD" --prefix "$PREFIX" >"$WORK/install.log" 2>&1 \
    && pass "cmake --install into DESTDIR" || { fail "cmake --install"; cat "$WORK/install.log"; }
R=$DEST$PREFIX

for f in bin/pimlora bin/pimlora-cli share/pimlora/RoviCon_380.ini share/pimlora/FirstShow.ini \
         share/applications/pimlora.desktop share/icons/hicolor/scalable/apps/pimlora.svg \
         share/metainfo/com.vandelore.pimlora.metainfo.xml share/mime/packages/pimlora.xml \
         share/thumbnailers/pimlora.thumbnailer share/man/man1/pimlora.1 share/man/man1/pimlora-cli.1 \
         share/bash-completion/completions/pimlora-cli; do
    [ -e "$R/$f" ] || fail "installed file missing: $f"
done
for s in 16 22 24 32 48 64 128 256; do
    f=$R/share/icons/hicolor/${s}x${s}/apps/pimlora.png
    [ "$(identify -format '%wx%h' "$f" 2>/dev/null)" = "${s}x${s}" ] || fail "icon ${s}x${s}"
done
[ -x "$BUILD/setupfetch" ] && { [ -x "$R/bin/setupfetch" ] || fail "setupfetch not installed"; }
pass "programs, resources, icons and desktop files installed"

# --- the installed programs run on a picture outside the source tree -----------
mkdir -p "$WORK/pictures"
$IM -size 64x48 gradient:red-blue -type TrueColor "BMP3:$WORK/pictures/p.bmp"
out=$(cd "$WORK" && "$R/bin/pimlora-cli" info pictures/p.bmp)
[ "${out%% xdpi*}" = "format=bmp width=64 height=48 bits=24 colors=0 frames=1" ] \
    && pass "installed pimlora-cli reads a picture" || fail "installed pimlora-cli info: '$out'"
(cd "$WORK" && "$R/bin/pimlora-cli" doc pictures/p.bmp pictures/p.vor) && [ -s "$WORK/pictures/p.vor" ] \
    && pass "installed pimlora-cli writes a VOR document" || fail "installed pimlora-cli doc"
# The installed editor finds its defaults under share/pimlora, not in the
# source tree or the build folder: run it with both out of reach.
if command -v xvfb-run >/dev/null; then
    export PIMLORA_HOME=$WORK/home
    mkdir -p "$PIMLORA_HOME"
    strace_ok=0
    if command -v strace >/dev/null; then
        # Started from a folder of its own, as from a user's home: the image
        # browser reads the folders around the one it starts in.
        (cd "$WORK" && exec timeout 20 xvfb-run -a strace -f -e trace=openat,open,stat,newfstatat -o "$WORK/trace" \
            "$R/bin/pimlora" >/dev/null 2>&1) &
        strace_ok=1
    else
        (cd "$WORK" && exec timeout 20 xvfb-run -a "$R/bin/pimlora" >/dev/null 2>&1) &
    fi
    pid=$!
    for _ in $(seq 100); do [ -f "$PIMLORA_HOME/RoviCon_380.ini" ] && break; sleep 0.1; done
    sleep 1
    kill $pid 2>/dev/null; wait $pid 2>/dev/null
    pkill -f "$R/bin/pimlora" 2>/dev/null
    cmp -s "$PIMLORA_HOME/RoviCon_380.ini" "$SRC/resources/RoviCon_380.ini" \
        && pass "installed editor installs its default configuration from share/pimlora" \
        || fail "installed editor did not install the defaults"
    if [ $strace_ok = 1 ]; then
        grep -F -e "\"$SRC/" -e "\"$BUILD/" "$WORK/trace" | grep -v ENOENT >"$WORK/reads"
        if [ -s "$WORK/reads" ]; then
            fail "installed editor reads the source tree or the build folder: $(head -3 "$WORK/reads")"
        else
            pass "installed editor reads nothing of the source tree or the build folder"
        fi
    fi
    unset PIMLORA_HOME
fi

# --- desktop entry and AppStream data ----------------------------------------
desktop-file-validate "$R/share/applications/pimlora.desktop" && pass "desktop-file-validate" \
    || fail "desktop-file-validate"
grep -q '^Exec=pimlora %F$' "$R/share/applications/pimlora.desktop" && grep -q '^Name\[ko\]=' "$R/share/applications/pimlora.desktop" \
    && pass "desktop entry opens several files and has a Korean name" || fail "desktop entry Exec/Name[ko]"
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$R/share/metainfo/com.vandelore.pimlora.metainfo.xml" >"$WORK/as.log" 2>&1 \
        && pass "appstreamcli validate --no-net" || { fail "appstreamcli validate"; cat "$WORK/as.log"; }
fi

# --- the VOR file type ---------------------------------------------------------
xmllint --noout "$R/share/mime/packages/pimlora.xml" && pass "mime package is well-formed XML" || fail "xmllint mime"
DATA=$WORK/data
mkdir -p "$DATA/mime/packages"
cp "$R/share/mime/packages/pimlora.xml" "$DATA/mime/packages/"
update-mime-database "$DATA/mime" >/dev/null 2>&1 || fail "update-mime-database"
cp "$WORK/pictures/p.vor" "$WORK/document"
type=$(XDG_DATA_DIRS=$DATA:/usr/share XDG_DATA_HOME=$WORK/nothing xdg-mime query filetype "$WORK/document" 2>/dev/null)
[ "$type" = application/x-pimlora-vor ] && pass "xdg-mime recognises a VOR file without extension by its content" \
    || fail "xdg-mime query filetype: '$type'"
if command -v gio >/dev/null; then
    type=$(XDG_DATA_DIRS=$DATA:/usr/share XDG_DATA_HOME=$WORK/nothing gio info -a standard::content-type \
           "$WORK/pictures/p.vor" 2>/dev/null | sed -n 's/.*content-type: //p')
    [ "$type" = application/x-pimlora-vor ] && pass "the desktop's type lookup gives .vor files to Pimlora" \
        || fail "gio content type of p.vor: '$type'"
fi
grep -q 'application/x-pimlora-vor' "$R/share/applications/pimlora.desktop" || fail "desktop entry lacks the VOR type"

# --- thumbnailer ------------------------------------------------------------------
if grep -q '^Exec=pimlora-cli thumbnail %i %o %s$' "$R/share/thumbnailers/pimlora.thumbnailer"; then
    pass "thumbnailer entry"
else
    fail "thumbnailer entry"
fi
# The thumbnail of a VOR document is its flattened picture fitted into the
# asked size, aspect kept.
$IM -size 200x100 xc:'#2040c0' -type TrueColor "BMP3:$WORK/pictures/blue.bmp"
(cd "$WORK" && "$R/bin/pimlora-cli" doc pictures/blue.bmp pictures/t.vor) || fail "doc for the thumbnail"
if (cd "$WORK" && "$R/bin/pimlora-cli" thumbnail pictures/t.vor pictures/t.png 128); then
    [ "$(identify -format '%m %wx%h' "$WORK/pictures/t.png")" = "PNG 128x64" ] \
        && pass "thumbnail of a VOR document fits the asked size" \
        || fail "thumbnail size: $(identify -format '%m %wx%h' "$WORK/pictures/t.png")"
    px=$($IM "$WORK/pictures/t.png" -format '%[pixel:p{64,32}]' info:)
    case "$px" in srgb\(32,64,192\)|"#2040C0") pass "thumbnail shows the flattened picture";;
                  *) fail "thumbnail pixel: $px";; esac
else
    fail "pimlora-cli thumbnail of a VOR document"
fi
# A VOR whose flattened block was destroyed gives no thumbnail but a clear
# failure (and no output file), even though its header reads.
head -c 60 "$WORK/pictures/t.vor" >"$WORK/pictures/cut.vor"
err=$(cd "$WORK" && "$R/bin/pimlora-cli" thumbnail pictures/cut.vor pictures/cut.png 128 2>&1 >/dev/null); rc=$?
[ $rc = 1 ] && [ ! -e "$WORK/pictures/cut.png" ] && [[ $err == "pimlora-cli: pictures/cut.vor: "* ]] \
    && pass "a damaged VOR gives no thumbnail" || fail "thumbnail of a damaged VOR: rc=$rc '$err'"
(cd "$WORK" && "$R/bin/pimlora-cli" thumbnail pictures/t.vor pictures/x.png 0 2>/dev/null); rc=$?
[ $rc = 2 ] && pass "thumbnail size 0 is a usage error" || fail "thumbnail size 0: rc=$rc"

# --- manuals and completion ------------------------------------------------------------
for m in pimlora pimlora-cli; do
    MANWIDTH=100 man -l "$R/share/man/man1/$m.1" >"$WORK/$m.txt" 2>"$WORK/man.err" && [ -s "$WORK/$m.txt" ] \
        || fail "man $m"
    grep -q -i "warning" "$WORK/man.err" && fail "man $m warns: $(head -2 "$WORK/man.err")"
done
# The manual carries every verb of the program's help.
for verb in $("$R/bin/pimlora-cli" --help | sed -n 's/^  pimlora-cli \([a-z][a-z0-9-]*\).*/\1/p'); do
    grep -q "pimlora-cli $verb" "$WORK/pimlora-cli.txt" || fail "man pimlora-cli lacks the verb $verb"
done
pass "manual pages render and follow --help"
words=$(bash -c ". '$R/share/bash-completion/completions/pimlora-cli'; COMP_WORDS=('$R/bin/pimlora-cli' ''); COMP_CWORD=1; _pimlora_cli; echo \${COMPREPLY[*]}")
case " $words " in *" run "*) pass "completion offers the verbs";; *) fail "completion of verbs: '$words'";; esac
words=$(bash -c ". '$R/share/bash-completion/completions/pimlora-cli'; COMP_WORDS=('$R/bin/pimlora-cli' run a.bmp b.bmp fi); COMP_CWORD=4; _pimlora_cli; echo \${COMPREPLY[*]}")
case " $words " in *" filter: "*) pass "completion offers step names";; *) fail "completion of steps: '$words'";; esac
words=$(bash -c ". '$R/share/bash-completion/completions/pimlora-cli'; COMP_WORDS=('$R/bin/pimlora-cli' run a.bmp b.bmp filter:유); COMP_CWORD=4; _pimlora_cli; echo \${COMPREPLY[*]}")
[ "$words" = "filter:유리성에 filter:유화" ] && pass "completion offers filter names" \
    || fail "completion of filter names: '$words'"


# --- the Debian package ------------------------------------------------------------
if command -v cpack >/dev/null && command -v dpkg-shlibdeps >/dev/null; then
    (cd "$BUILD" && cpack -G DEB -B "$WORK/deb" >"$WORK/cpack.log" 2>&1) || { fail "cpack -G DEB"; tail -20 "$WORK/cpack.log"; }
    deb=$(ls "$WORK"/deb/*.deb 2>/dev/null | head -1)
    if [ -n "$deb" ]; then
        pass "cpack -G DEB builds $(basename "$deb")"
        dpkg-deb -c "$deb" >"$WORK/deb.list"
        for f in ./usr/bin/pimlora ./usr/bin/pimlora-cli ./usr/share/applications/pimlora.desktop \
                 ./usr/share/mime/packages/pimlora.xml ./usr/share/thumbnailers/pimlora.thumbnailer \
                 ./usr/share/man/man1/pimlora-cli.1 ./usr/share/pimlora/RoviCon_380.ini \
                 ./usr/share/icons/hicolor/48x48/apps/pimlora.png; do
            grep -q " $f\$" "$WORK/deb.list" || fail "package lacks $f"
        done
        depends=$(dpkg-deb -f "$deb" Depends)
        case "$depends" in *libwx*|*libjpeg*) pass "package dependencies come from the binaries: ${depends:0:60}...";;
            *) fail "package Depends: '$depends'";; esac
    fi
fi

echo "$failures failure(s)"
[ $failures -eq 0 ]
