#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks what an administrator
# gets: Debian's checker (lintian, every tag down to pedantic and experimental, except
# those the package's overrides file gives a reason for), the files and their places,
# Depends computed from the programs' libraries (and satisfiable here), the files an
# administrator edits kept as configuration files in /etc; then installs it with dpkg
# into a scratch root (its own dpkg database, so the machine's packages are not
# touched), checks the installed desktop entry, AppStream metainfo and manual pages
# with their own validators, starts the installed programs (the panel's --version
# without a display; the simulator as the README's recipe does, with veldra-ctl
# talking to it) and removes the package again.
#   deb_package.sh BUILD_DIR [CPACK [HARDENED]]
# HARDENED 0: a build without the hardening flags (Debug, sanitizers), whose package is
# checked for everything but them.
set -u
build=$1
cpack=${2:-cpack}
hardened=${3:-1}
work=$(mktemp -d /tmp/tevral-deb.XXXXXX)
root="$work/root"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config"
fail() { echo "FAIL: $*"; exit 1; }
ok() { echo "ok: $*"; }
for tool in dpkg dpkg-deb dpkg-shlibdeps file lintian appstreamcli desktop-file-validate man; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done

(cd "$build" && "$cpack" -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$work"/out/tevral-qx_*.deb 2>/dev/null)
[ -f "$deb" ] || fail "no tevral-qx_*.deb made"
ok "built $(basename "$deb")"

# ---- Debian's checker: nothing left but the overridden tags (each with its reason)
unhardened=()
[ "$hardened" = 1 ] || unhardened=(--suppress-tags "hardening-no-bindnow,hardening-no-pie,\
hardening-no-fortify-functions,hardening-no-relro,unused-override")
lintian --pedantic --display-info --display-experimental "${unhardened[@]}" \
        --fail-on error,warning,info,pedantic,experimental "$deb" >"$work/lintian.out" 2>&1
rc=$?
tags=$(grep -E '^[EWIPX]: ' "$work/lintian.out")
[ -z "$tags" ] || { cat "$work/lintian.out"; fail "lintian: $(wc -l <<<"$tags") tags"; }
[ "$rc" -eq 0 ] || { cat "$work/lintian.out"; fail "lintian ended with $rc"; }
ok "lintian --pedantic: no tags"

# ---- control fields
[ "$(dpkg-deb -f "$deb" Package)" = "tevral-qx" ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
names=$(sed 's/([^)]*)//g; s/[,|]/ /g' <<<"$depends" | tr -s ' ' '\n')
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 \
           libqt6serialport6; do
  grep -qxF "$lib" <<<"$names" || fail "Depends lacks $lib: $depends"
done
# Every dependency names a package that is installed on this (building) machine.
for dep in $names; do
  dpkg-query -W -f='${Status}' "$dep" 2>/dev/null | grep -q "install ok installed" ||
    fail "Depends names $dep, which is not installed here"
done
ok "Depends: $depends"
conffiles=$(dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles 2>/dev/null)
[ "$conffiles" = $'/etc/tevral-qx/TEVRAL_QX.ini\n/etc/tevral-qx/output_reso.txt\n/etc/tevral-qx/venue.json' ] ||
  fail "conffiles: $conffiles"

# ---- files: everything under /usr, in its place
mapfile -t listing < <(dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}')
has() { printf '%s\n' "${listing[@]}" | grep -qxF -- "$1"; }
lib=./usr/lib/tevral-qx
for f in $lib/tevral-qx $lib/veldra-sim $lib/veldra-ctl $lib/veldra-mqtt \
         ./usr/share/tevral-qx/bmp/start.bmp ./lib/systemd/system/veldra-mqtt.service \
         "./usr/bin/veldra-mqtt -> ../lib/tevral-qx/veldra-mqtt" \
         ./usr/share/man/man1/veldra-mqtt.1.gz \
         "$lib/TEVRAL_QX.ini -> /etc/tevral-qx/TEVRAL_QX.ini" \
         "$lib/output_reso.txt -> /etc/tevral-qx/output_reso.txt" \
         "$lib/ports -> /etc/tevral-qx/ports" "$lib/bmp -> ../../share/tevral-qx/bmp" \
         ./etc/tevral-qx/TEVRAL_QX.ini ./etc/tevral-qx/output_reso.txt ./etc/tevral-qx/ports/ \
         ./etc/tevral-qx/venue.json \
         "./usr/bin/tevral-qx -> ../lib/tevral-qx/tevral-qx" \
         "./usr/bin/veldra-ctl -> ../lib/tevral-qx/veldra-ctl" \
         "./usr/bin/veldra-sim -> ../lib/tevral-qx/veldra-sim" \
         ./usr/share/man/man1/tevral-qx.1.gz ./usr/share/man/man1/veldra-ctl.1.gz \
         ./usr/share/man/man1/veldra-sim.1.gz \
         ./usr/share/doc/tevral-qx/copyright ./usr/share/doc/tevral-qx/changelog.gz \
         ./usr/share/lintian/overrides/tevral-qx \
         ./usr/share/applications/tevral-qx.desktop \
         ./usr/share/metainfo/org.example.tevral_qx.metainfo.xml \
         ./usr/share/icons/hicolor/48x48/apps/tevral-qx.png \
         ./usr/share/icons/hicolor/256x256/apps/tevral-qx.png; do
  has "$f" || fail "package lacks $f"
done
outside=$(printf '%s\n' "${listing[@]}" |
          grep -vE '^\./(usr/|etc/tevral-qx/|etc/$|lib/$|lib/systemd/$|lib/systemd/system/|$)')
[ -z "$outside" ] || fail "files outside /usr, /etc/tevral-qx and /lib/systemd/system: $outside"
[ "$(printf '%s\n' "${listing[@]}" | grep -c '^\./usr/share/tevral-qx/bmp/.*\.bmp$')" -eq \
  "$(ls "$build"/bmp/*.bmp | wc -l)" ] || fail "bmp/ is not the build's set"
ok "files in place"

# ---- installed with dpkg into a scratch root, started, removed
admin="$root/var/lib/dpkg"
mkdir -p "$admin/info" "$admin/updates" "$admin/triggers"
touch "$admin/status" "$admin/available"
dpkg_root() {
  dpkg --root="$root" --admindir="$admin" --log="$work/dpkg.log" --force-not-root \
       --force-depends --force-script-chrootless "$@"
}
dpkg_root -i "$deb" >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; fail "dpkg -i"; }
for p in "$root"/usr/lib/tevral-qx/*; do
  [ -x "$p" ] && [ -f "$p" ] || continue
  file -L "$p" | grep -q ', stripped' || fail "$(basename "$p") is not stripped"
done
desktop="$root/usr/share/applications/tevral-qx.desktop"
grep -qx 'Exec=/usr/bin/tevral-qx' "$desktop" || fail "desktop entry: $(grep ^Exec "$desktop")"
grep -qx 'Icon=tevral-qx' "$desktop" || fail "desktop entry: $(grep ^Icon "$desktop")"
out=$(desktop-file-validate "$desktop" 2>&1)
[ -z "$out" ] || fail "desktop-file-validate: $out"
out=$(appstreamcli validate --no-net --pedantic "$root"/usr/share/metainfo/*.metainfo.xml 2>&1) ||
  fail "appstreamcli validate: $out"
grep -qE '^[EWIP]: ' <<<"$out" && fail "appstreamcli validate: $out"
ok "desktop entry and AppStream metainfo validate"

# Every program on PATH has its page; each renders without a warning from man and
# says in its NAME line what the program is.
for bin in "$root"/usr/bin/*; do
  name=$(basename "$bin")
  page="$root/usr/share/man/man1/$name.1.gz"
  [ -f "$page" ] || fail "no manual page for $name"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "man -l $name.1.gz: $warnings"
  text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>&1) || fail "man -l $name.1.gz failed"
  grep -A1 '^NAME' <<<"$text" | tr -s ' ' | grep -qE "^ $name - [A-Z]" || fail "$name.1.gz NAME: $text"
  grep -q '^OPTIONS' <<<"$text" || fail "$name.1.gz has no OPTIONS section"
done
ok "manual pages: $(ls "$root"/usr/share/man/man1 | tr '\n' ' ')"

# The hardening flags reached the build: some program calls libc's checked functions
# (lintian checks relro, bind-now, PIE and the stack protector itself).
if [ "$hardened" = 1 ]; then
  nm -D --undefined-only "$root"/usr/lib/tevral-qx/* 2>/dev/null | grep -q ' __[a-z]*_chk@' ||
    fail "no program calls a fortified (_chk) function"
fi
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tevral-qx" --version 2>&1)
rc=$?
[ "$rc" -eq 0 ] || fail "installed tevral-qx --version ended with $rc: $out"
grep -q '^TEVRAL-QX 1\.6 (build ' <<<"$out" || fail "installed tevral-qx --version said: $out"
ok "installed; tevral-qx --version: $out"

# The README's recipe for an installed copy: the simulator on PATH serves this user's
# ports/COM1, which veldra-ctl (as the panel) looks up before the program folder's.
mkdir -p "$XDG_CONFIG_HOME/tevral-qx/ports"
"$root/usr/bin/veldra-sim" --pty "$XDG_CONFIG_HOME/tevral-qx/ports/COM1" >/dev/null 2>&1 &
sim_pid=$!
for _ in $(seq 100); do [ -e "$XDG_CONFIG_HOME/tevral-qx/ports/COM1" ] && break; sleep 0.1; done
out=$("$root/usr/bin/veldra-ctl" --port COM1 version 2>&1) || fail "veldra-ctl --port COM1 version: $out"
[ "$out" = "1.60" ] || fail "installed veldra-ctl version said: $out"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null; sim_pid=""
ok "installed veldra-sim serves ~/.config/tevral-qx/ports/COM1"

dpkg_root -r tevral-qx >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; fail "dpkg -r"; }
# Removal keeps only the configuration files (as dpkg does); a purge takes them too.
left=$(cd "$root" && find usr etc -type f -o -type l | sort | tr '\n' ' ')
[ "$left" = "etc/tevral-qx/TEVRAL_QX.ini etc/tevral-qx/output_reso.txt etc/tevral-qx/venue.json " ] ||
  fail "left after removal: $left"
dpkg_root -P tevral-qx >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; fail "dpkg -P"; }
[ -z "$(cd "$root" && find usr etc -type f -o -type l 2>/dev/null)" ] || fail "files left after purge"
ok "removed and purged"
echo "deb_package: all checks passed"
