#!/usr/bin/env bash
# Packs the build folder's programs into the Debian package, unpacks it into a
# fresh root and checks what a user gets: the file list, the package's fields,
# and the program folder that the installed mirelle makes for a user with an
# empty home folder.
#   check_package.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >/dev/null) || fail "cpack"
deb=$(ls "$work"/out/mirelle_*_amd64.deb 2>/dev/null | head -n 1)
[ -n "$deb" ] || fail "no mirelle_VERSION_amd64.deb"
dpkg-deb -x "$deb" "$work/root"
files=$(cd "$work/root" && find . -type f -o -type l | sed 's|^\.||' | sort)

for f in /usr/bin/mirelle /usr/bin/mirelle-sim \
         /usr/share/mirelle/CHIPDEF.INI /usr/share/mirelle/DownLoad/tq4a01.bin /usr/share/mirelle/Help/flash.html \
         /usr/share/applications/mirelle.desktop \
         /usr/share/icons/hicolor/16x16/apps/mirelle.png /usr/share/icons/hicolor/48x48/apps/mirelle.png \
         /usr/share/icons/hicolor/256x256/apps/mirelle.png \
         /usr/share/man/man1/mirelle.1.gz /usr/share/man/man1/mirelle-sim.1.gz \
         /usr/lib/udev/rules.d/60-mirelle-serial.rules /usr/share/doc/mirelle/copyright; do
  grep -qx -- "$f" <<<"$files" || fail "missing $f"
done
if [ -e "$build/bin/mirelle-cli" ]; then
  for f in /usr/bin/mirelle-cli /usr/share/man/man1/mirelle-cli.1.gz; do
    grep -qx -- "$f" <<<"$files" || fail "missing $f"
  done
fi
# Nothing outside /usr, and no build leftovers.
stray=$(grep -v '^/usr/' <<<"$files" || true)
[ -z "$stray" ] || fail "files outside /usr: $stray"

depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libc6' <<<"$depends" || fail "Depends lacks libc6: $depends"
if ldd "$build/bin/mirelle" | grep -q libQt6Widgets; then
  grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks Qt: $depends"
fi
grep -q '^Exec=mirelle$' "$work/root/usr/share/applications/mirelle.desktop" || fail "desktop entry's command"

# The installed program, started by a user with an empty home folder, makes
# ~/.config/mirelle from the installed data; a file the user changed stays.
home="$work/home"
mkdir -p "$home"
run() { env -i HOME="$home" PATH=/usr/bin:/bin LANG=C "$work/root/usr/bin/mirelle" "$work/none.mot" no_dialog </dev/null >/dev/null 2>&1 || true; }
run
user="$home/.config/mirelle"
for f in CHIPDEF.INI DownLoad/tq4a01.bin Help/flash.html MESSFILE.TXT; do
  [ -f "$user/$f" ] || fail "per-user folder lacks $f"
done
head -n 1 "$user/MESSFILE.TXT" | grep -q '^NG' || fail "the failed run's log"
echo "; mine" > "$user/CHIPDEF.INI"
rm "$user/DownLoad/tq4a01.bin"
run
[ "$(cat "$user/CHIPDEF.INI")" = "; mine" ] || fail "the user's CHIPDEF.INI was overwritten"
[ -f "$user/DownLoad/tq4a01.bin" ] || fail "a missing file was not filled again"

# mirelle-cli finds the same per-user folder: a second user's first command fills it.
if [ -x "$work/root/usr/bin/mirelle-cli" ]; then
  home2="$work/home2"
  mkdir -p "$home2"
  env -i HOME="$home2" PATH=/usr/bin:/bin LANG=C "$work/root/usr/bin/mirelle-cli" targets </dev/null >"$work/targets.txt" 2>&1 ||
    fail "mirelle-cli targets: $(cat "$work/targets.txt")"
  grep -q '^TQ4A01$' "$work/targets.txt" || fail "mirelle-cli targets lists no sample chip"
  [ -f "$home2/.config/mirelle/DownLoad/tq4a01.bin" ] || fail "mirelle-cli did not fill the per-user folder"
fi

if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$work/root/usr/lib/udev/rules.d/60-mirelle-serial.rules" || fail "udev rule"
fi
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
