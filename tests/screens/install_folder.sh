#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what an operator gets: the
# program folder with everything the program reads beside itself, the bin/ links, the
# manual pages, the desktop entry and the icons; then starts the installed program
# through bin/ and checks that it runs from its own folder. Last, a staged install
# with the prefix /usr (the package's) gets the system layout: the files an
# administrator edits in /etc, linked from the program folder.
#   install_folder.sh BUILD_DIR [CMAKE]
set -u
build=$1
cmake=${2:-cmake}
prefix=$(mktemp -d /tmp/tevral-install.XXXXXX)
folder="$prefix/lib/tevral-qx"
sim_pid=""
prog_pid=""

cleanup() {
  for pid in $prog_pid $sim_pid; do
    kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  done
  rm -rf "$prefix"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }
ok() { echo "ok: $*"; }

"$cmake" --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 ||
  { cat "$prefix.log"; rm -f "$prefix.log"; fail "cmake --install"; }
rm -f "$prefix.log"

# ---- the program folder
for f in tevral-qx veldra-sim veldra-ctl veldra-mqtt; do
  [ -f "$folder/$f" ] && [ -x "$folder/$f" ] || fail "$f missing or not executable"
done
[ -d "$folder/ports" ] && [ ! -L "$folder/ports" ] || fail "ports/ missing"
[ -z "$(ls -A "$folder/ports")" ] || fail "ports/ should start empty"
tr -d '\r' <"$folder/output_reso.txt" | grep -qx '"END"' || fail "output_reso.txt has no END line"
cmp -s "$folder/output_reso.txt" "$build/output_reso.txt" || fail "output_reso.txt differs from the build's"
[ -f "$folder/TEVRAL_QX.ini" ] && [ ! -L "$folder/TEVRAL_QX.ini" ] || fail "TEVRAL_QX.ini is not a file"
mapfile -t ini < <(tr -d '\r' <"$folder/TEVRAL_QX.ini")
[ "${#ini[@]}" -ge 4 ] || fail "TEVRAL_QX.ini has ${#ini[@]} lines"
# Ethernet to the local machine: starting the program opens no serial port.
[ "${ini[0]}" = "1" ] || fail "default settings select link ${ini[0]}, not Ethernet"
[ "${ini[3]}" = '"127.0.0.1"' ] || fail "default address ${ini[3]}"
bmps=(power_none power_on power_standby lock unlock speaker_on speaker_off power
      remote_speaker remote_lock remote_up remote_right remote_down remote_left remote_ok
      remote_exit remote_menu start keypad)
for b in "${bmps[@]}"; do
  cmp -s "$folder/bmp/$b.bmp" "$build/bmp/$b.bmp" || fail "bmp/$b.bmp missing or not the build's"
done
[ "$(ls "$folder/bmp" | wc -l)" -eq "${#bmps[@]}" ] || fail "bmp/ holds $(ls "$folder/bmp" | wc -l) files"
ok "program folder"

# ---- bin links, manual pages, desktop entry, icons, the bridge's service
for f in tevral-qx veldra-ctl veldra-sim veldra-mqtt; do
  [ -L "$prefix/bin/$f" ] || fail "bin/$f is not a link"
  [ "$(readlink -f "$prefix/bin/$f")" = "$(readlink -f "$folder/$f")" ] ||
    fail "bin/$f points to $(readlink -f "$prefix/bin/$f")"
  page="$prefix/share/man/man1/$f.1.gz"
  gzip -t "$page" 2>/dev/null || fail "no gzip manual page $page"
  zcat "$page" | grep -qxF "$f \\- $("$folder/$f" --help | sed -n '2s/\.$//p')" ||
    fail "$f.1.gz does not name $f with its --help's description"
done
case "$(readlink "$prefix/bin/tevral-qx")" in /*) fail "bin/tevral-qx link is absolute" ;; esac
desktop="$prefix/share/applications/tevral-qx.desktop"
[ -f "$desktop" ] || fail "desktop entry missing"
grep -qx '\[Desktop Entry\]' "$desktop" || fail "desktop entry has no group header"
grep -qx 'Type=Application' "$desktop" || fail "desktop entry type"
grep -qx "Exec=$prefix/bin/tevral-qx" "$desktop" || fail "desktop entry Exec: $(grep ^Exec "$desktop")"
# A prefix outside the desktop's data folders: the icon by its path.
grep -qx "Icon=$prefix/share/icons/hicolor/256x256/apps/tevral-qx.png" "$desktop" ||
  fail "desktop entry Icon: $(grep ^Icon "$desktop")"
! grep -q '@' "$desktop" || fail "desktop entry keeps a placeholder"
for size in 48 64 256; do
  icon="$prefix/share/icons/hicolor/${size}x${size}/apps/tevral-qx.png"
  [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' \n')" = "89504e470d0a1a0a" ] ||
    fail "icon $size is not a PNG"
  [ "$(od -An -tu4 --endian=big -j16 -N8 "$icon" | tr -s ' ')" = " $size $size" ] ||
    fail "icon is not ${size}x${size}"
done
[ -f "$prefix/share/metainfo/io.github.tevral.tevral_qx.metainfo.xml" ] || fail "no AppStream metainfo"
[ -f "$prefix/share/doc/tevral-qx/copyright" ] || fail "no copyright file"
[ ! -e "$prefix/share/lintian" ] || fail "the package's lintian overrides outside the package"
ok "bin links, manual pages, desktop entry, icons"
unit="$prefix/lib/systemd/system/veldra-mqtt.service"
grep -qx "ExecStart=$prefix/bin/veldra-mqtt \$VELDRA_MQTT_OPTIONS" "$unit" ||
  fail "service ExecStart: $(grep ^ExecStart "$unit" 2>&1)"
"$prefix/bin/veldra-mqtt" --version | grep -q '^veldra-mqtt 1\.6 ' || fail "veldra-mqtt --version"
ok "the bridge's service"

# ---- the installed program gets to its window (and stays there until stopped)
export QT_QPA_PLATFORM=offscreen
# Not the real user's settings or port map.
export XDG_CONFIG_HOME="$prefix/config"
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-/tmp/tevral-runtime}"
mkdir -p "$XDG_RUNTIME_DIR"
timeout 3 "$prefix/bin/tevral-qx" >/dev/null 2>&1
rc=$?
[ "$rc" -eq 124 ] || fail "installed program ended by itself with code $rc"
ok "starts through bin/ (ended by timeout)"

# ---- through bin/ it still works from its own folder: with RS-232 COM1 selected there
# it opens the pseudo-terminal that its ports/COM1 maps.
printf '0\r\n1\r\n#FALSE#\r\n"127.0.0.1"\r\n' >"$folder/TEVRAL_QX.ini"
"$folder/veldra-sim" --pty "$folder/ports/COM1" >/dev/null 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -e "$folder/ports/COM1" ] && break; sleep 0.1; done
pty=$(readlink -f "$folder/ports/COM1")
[ -c "$pty" ] || fail "installed veldra-sim made no pseudo-terminal"
"$prefix/bin/tevral-qx" >/dev/null 2>&1 &
prog_pid=$!
opened=""
for _ in $(seq 100); do
  kill -0 "$prog_pid" 2>/dev/null || break
  for fd in /proc/"$prog_pid"/fd/*; do
    [ "$(readlink "$fd" 2>/dev/null)" = "$pty" ] && opened=yes
  done
  [ -n "$opened" ] && break
  sleep 0.1
done
kill -0 "$prog_pid" 2>/dev/null || fail "installed program ended by itself"
[ -n "$opened" ] || fail "installed program did not open its ports/COM1 ($pty)"
ok "runs from its own folder (opened ports/COM1 -> $pty)"
kill "$prog_pid"; wait "$prog_pid" 2>/dev/null; prog_pid=""
# veldra-ctl through bin/ takes the link the panel saved in its folder, and its ports/ map.
out=$("$prefix/bin/veldra-ctl" version 2>&1) || fail "installed veldra-ctl version: $out"
[ "$out" = "1.60" ] || fail "installed veldra-ctl version said: $out"
ok "veldra-ctl through bin/ reads the folder's settings and ports/COM1"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=""

# ---- a second install keeps the operator's settings
"$cmake" --install "$build" --prefix "$prefix" >/dev/null 2>&1 || fail "second cmake --install"
[ "$(head -c 1 "$folder/TEVRAL_QX.ini")" = "0" ] || fail "reinstall overwrote TEVRAL_QX.ini"
ok "reinstall keeps TEVRAL_QX.ini"

# ---- a staged install (DESTDIR) puts everything, the default settings included, under
# DESTDIR once
stage="$prefix/stage"
DESTDIR="$stage" "$cmake" --install "$build" --prefix /opt/tq >/dev/null 2>&1 ||
  fail "DESTDIR cmake --install"
for f in lib/tevral-qx/TEVRAL_QX.ini lib/tevral-qx/tevral-qx share/applications/tevral-qx.desktop; do
  [ -f "$stage/opt/tq/$f" ] || fail "staged install lacks $f"
done
[ "$(readlink "$stage/opt/tq/bin/tevral-qx")" = "../lib/tevral-qx/tevral-qx" ] ||
  fail "staged bin link: $(readlink "$stage/opt/tq/bin/tevral-qx")"
[ "$(cd "$stage" && ls)" = "opt" ] || fail "staged install wrote outside DESTDIR/opt: $(ls "$stage")"
grep -qx 'Exec=/opt/tq/bin/tevral-qx' "$stage/opt/tq/share/applications/tevral-qx.desktop" ||
  fail "staged desktop entry names the staging folder"
ok "DESTDIR install"

# ---- the prefix /usr: what an administrator edits lives in /etc/tevral-qx, the
# pictures in /usr/share/tevral-qx; the program folder links to them
stage="$prefix/stage-usr"
DESTDIR="$stage" "$cmake" --install "$build" --prefix /usr >/dev/null 2>&1 ||
  fail "DESTDIR cmake --install --prefix /usr"
for pair in TEVRAL_QX.ini=/etc/tevral-qx/TEVRAL_QX.ini output_reso.txt=/etc/tevral-qx/output_reso.txt \
            ports=/etc/tevral-qx/ports bmp=../../share/tevral-qx/bmp; do
  [ "$(readlink "$stage/usr/lib/tevral-qx/${pair%%=*}")" = "${pair#*=}" ] ||
    fail "/usr/lib/tevral-qx/${pair%%=*} does not link to ${pair#*=}"
done
[ "$(head -c 1 "$stage/etc/tevral-qx/TEVRAL_QX.ini")" = "1" ] || fail "/etc/tevral-qx/TEVRAL_QX.ini"
cmp -s "$stage/etc/tevral-qx/output_reso.txt" "$build/output_reso.txt" || fail "/etc/tevral-qx/output_reso.txt"
[ -d "$stage/etc/tevral-qx/ports" ] || fail "no /etc/tevral-qx/ports"
[ -f "$stage/usr/share/tevral-qx/bmp/start.bmp" ] || fail "no pictures in /usr/share/tevral-qx/bmp"
[ -f "$stage/usr/lib/tevral-qx/bmp/start.bmp" ] || fail "the program folder's bmp/ link is broken"
# (lib: the bridge's systemd unit, in /lib/systemd/system as Debian 12 has it)
[ "$(cd "$stage" && ls | tr '\n' ' ')" = "etc lib usr " ] || fail "staged /usr install: $(ls "$stage")"
[ -f "$stage/lib/systemd/system/veldra-mqtt.service" ] || fail "no /lib/systemd/system/veldra-mqtt.service"
grep -qx 'Icon=tevral-qx' "$stage/usr/share/applications/tevral-qx.desktop" ||
  fail "desktop entry of a /usr install: $(grep ^Icon "$stage/usr/share/applications/tevral-qx.desktop")"
ok "prefix /usr: system layout"
echo "install_folder: all checks passed"
