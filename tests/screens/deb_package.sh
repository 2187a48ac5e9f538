#!/usr/bin/env bash
# Builds the Debian package from the build folder and checks what an administrator
# gets: the files and their places, stripped programs, Depends computed from the
# programs' libraries (and satisfiable here), the default settings kept as a
# configuration file; then installs it with dpkg into a scratch root (its own dpkg
# database, so the machine's packages are not touched), starts the installed
# program's --version without a display and removes the package again.
#   deb_package.sh BUILD_DIR [CPACK]
set -u
build=$1
cpack=${2:-cpack}
work=$(mktemp -d /tmp/tevral-deb.XXXXXX)
root="$work/root"
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
fail() { echo "FAIL: $*"; exit 1; }
ok() { echo "ok: $*"; }
for tool in dpkg dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool not installed"; exit 77; }
done

(cd "$build" && "$cpack" -G DEB -B "$work/out") >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack -G DEB"; }
deb=$(ls "$work"/out/tevral-qx_*.deb 2>/dev/null)
[ -f "$deb" ] || fail "no tevral-qx_*.deb made"
ok "built $(basename "$deb")"

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
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles 2>/dev/null |
  grep -qx /usr/lib/tevral-qx/TEVRAL_QX.ini || fail "TEVRAL_QX.ini is not a conffile"

# ---- files: everything under /usr, in its place
mapfile -t listing < <(dpkg-deb -c "$deb" | awk '{print $6 ($7 ? " " $7 " " $8 : "")}')
has() { printf '%s\n' "${listing[@]}" | grep -qxF -- "$1"; }
for f in ./usr/lib/tevral-qx/tevral-qx ./usr/lib/tevral-qx/veldra-sim \
         ./usr/lib/tevral-qx/veldra-ctl "./usr/bin/veldra-ctl -> ../lib/tevral-qx/veldra-ctl" \
         ./usr/lib/tevral-qx/veldra-mqtt "./usr/bin/veldra-mqtt -> ../lib/tevral-qx/veldra-mqtt" \
         ./usr/lib/systemd/system/veldra-mqtt.service \
         ./usr/lib/tevral-qx/TEVRAL_QX.ini ./usr/lib/tevral-qx/output_reso.txt \
         ./usr/lib/tevral-qx/ports/ ./usr/lib/tevral-qx/bmp/start.bmp \
         "./usr/bin/tevral-qx -> ../lib/tevral-qx/tevral-qx" \
         ./usr/share/applications/tevral-qx.desktop \
         ./usr/share/icons/hicolor/64x64/apps/tevral-qx.png; do
  has "$f" || fail "package lacks $f"
done
outside=$(printf '%s\n' "${listing[@]}" | grep -v '^\./usr/' | grep -vx '\./')
[ -z "$outside" ] || fail "files outside /usr: $outside"
[ "$(printf '%s\n' "${listing[@]}" | grep -c '^\./usr/lib/tevral-qx/bmp/.*\.bmp$')" -eq \
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
grep -qx 'Exec=/usr/bin/tevral-qx' "$root/usr/share/applications/tevral-qx.desktop" ||
  fail "desktop entry: $(grep ^Exec "$root/usr/share/applications/tevral-qx.desktop")"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/tevral-qx" --version 2>&1)
rc=$?
[ "$rc" -eq 0 ] || fail "installed tevral-qx --version ended with $rc: $out"
grep -q '^TEVRAL-QX 1\.6 (build ' <<<"$out" || fail "installed tevral-qx --version said: $out"
ok "installed; tevral-qx --version: $out"
dpkg_root -r tevral-qx >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; fail "dpkg -r"; }
# Removal keeps only the configuration file (as dpkg does); a purge takes it too.
left=$(cd "$root" && find usr -type f -o -type l)
[ "$left" = "usr/lib/tevral-qx/TEVRAL_QX.ini" ] || fail "left after removal: $left"
dpkg_root -P tevral-qx >"$work/dpkg.out" 2>&1 || { cat "$work/dpkg.out"; fail "dpkg -P"; }
[ -z "$(cd "$root" && find usr -type f -o -type l 2>/dev/null)" ] || fail "files left after purge"
ok "removed and purged"
echo "deb_package: all checks passed"
