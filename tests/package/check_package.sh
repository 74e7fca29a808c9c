#!/usr/bin/env bash
# Builds the Debian package the way a user does, with scripts/package in an
# empty build folder (compiled objects come from ccache), unpacks it into a
# fresh root and checks what a user gets: the file list, the package's fields,
# lintian's verdict, the maintainer scripts, the udev rule, the manual pages,
# and the program folder that the installed mirelle makes for a user with an
# empty home folder.
#   check_package.sh SOURCE_DIR BUILD_DIR
# The package is built in BUILD_DIR-package (beside BUILD_DIR, so that ccache
# finds the objects of BUILD_DIR's build under the same relative paths); the
# folder is removed afterwards.
set -euo pipefail
src=$1
build=$2-package
work=$(mktemp -d)
trap 'rm -rf "$work" "$build"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -rf "$build"
deb=$(BUILD_DIR="$build" bash "$src/scripts/package" 2>"$work/package.log" | tail -n 1) ||
  { cat "$work/package.log" >&2; fail "scripts/package"; }
[[ "$deb" == "$build"/mirelle_*_amd64.deb && -f "$deb" ]] || fail "scripts/package made no mirelle_VERSION_amd64.deb: $deb"
dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
files=$(cd "$work/root" && find . -type f -o -type l | sed 's|^\.||' | sort)

for f in /usr/bin/mirelle /usr/bin/mirelle-sim /usr/bin/mirelle-cli \
         /usr/share/mirelle/CHIPDEF.INI /usr/share/mirelle/DownLoad/tq4a01.bin /usr/share/mirelle/Help/flash.html \
         /usr/share/mirelle/samples/blinky.mot /usr/share/mirelle/samples/blinky.hex \
         /usr/share/applications/mirelle.desktop \
         /usr/share/icons/hicolor/16x16/apps/mirelle.png /usr/share/icons/hicolor/48x48/apps/mirelle.png \
         /usr/share/icons/hicolor/256x256/apps/mirelle.png \
         /usr/share/man/man1/mirelle.1.gz /usr/share/man/man1/mirelle-sim.1.gz /usr/share/man/man1/mirelle-cli.1.gz \
         /usr/lib/udev/rules.d/60-mirelle-serial.rules /usr/share/doc/mirelle/copyright \
         /usr/share/doc/mirelle/changelog.gz /usr/share/doc/mirelle/FIRST-RUN; do
  grep -qx -- "$f" <<<"$files" || fail "missing $f"
done
# Nothing outside /usr, and no build leftovers.
stray=$(grep -v '^/usr/' <<<"$files" || true)
[ -z "$stray" ] || fail "files outside /usr: $stray"

depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libc6' <<<"$depends" || fail "Depends lacks libc6: $depends"
if ldd "$build/bin/mirelle" | grep -q libQt6Widgets; then
  grep -q 'libqt6widgets6' <<<"$depends" || fail "Depends lacks Qt: $depends"
fi
grep -q '^Exec=mirelle$' "$work/root/usr/share/applications/mirelle.desktop" || fail "desktop entry's command"
# The synopsis is one short line; the long description follows it.
[ "$(dpkg-deb -f "$deb" Description | head -n 1)" = "flash programmer for single-chip microcontrollers" ] ||
  fail "Description's first line: $(dpkg-deb -f "$deb" Description | head -n 1)"
[ "$(dpkg-deb -f "$deb" Maintainer)" = "$(sed -n 's/^MIRELLE_MAINTAINER:STRING=//p' "$build/CMakeCache.txt")" ] ||
  fail "Maintainer is not MIRELLE_MAINTAINER: $(dpkg-deb -f "$deb" Maintainer)"

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
home2="$work/home2"
mkdir -p "$home2"
env -i HOME="$home2" PATH=/usr/bin:/bin LANG=C "$work/root/usr/bin/mirelle-cli" targets </dev/null >"$work/targets.txt" 2>&1 ||
  fail "mirelle-cli targets: $(cat "$work/targets.txt")"
grep -q '^TQ4A01$' "$work/targets.txt" || fail "mirelle-cli targets lists no sample chip"
[ -f "$home2/.config/mirelle/DownLoad/tq4a01.bin" ] || fail "mirelle-cli did not fill the per-user folder"

if command -v udevadm >/dev/null && udevadm verify --help >/dev/null 2>&1; then
  udevadm verify "$work/root/usr/lib/udev/rules.d/60-mirelle-serial.rules" || fail "udev rule"
fi

# The udev rule keeps from ModemManager the adapters of the field, by vendor
# and product id, and no other serial device (real modems stay its own).
rule="$work/root/usr/lib/udev/rules.d/60-mirelle-serial.rules"
while read -r vendor product what; do
  grep -Eq "ATTRS\{idVendor\}==\"$vendor\", ATTRS\{idProduct\}==\"([0-9a-f]+\|)*$product(\|[0-9a-f]+)*\", GOTO=\"mirelle_serial_adapter\"" "$rule" ||
    fail "udev rule: $what ($vendor:$product) is not matched"
done <<'TABLE'
0403 6001 FTDI FT232R
0403 6010 FTDI FT2232
0403 6011 FTDI FT4232
0403 6014 FTDI FT232H
0403 6015 FTDI FT-X
10c4 ea60 CP2102
10c4 ea70 CP2105
10c4 ea71 CP2108
1a86 7523 CH340
1a86 5523 CH341
067b 2303 PL2303
067b 23a3 PL2303GC
TABLE
# Every way into the adapter block passes a vendor match, the line before it
# sends every other device past it, and only that block keeps ModemManager off.
! grep 'GOTO="mirelle_serial_adapter"' "$rule" | grep -v 'ATTRS{idVendor}==' || fail "udev rule: a jump to the adapter block without a vendor"
grep -v '^[[:space:]]*\(#\|$\)' "$rule" | grep -B1 '^LABEL="mirelle_serial_adapter"' | head -n 1 | grep -qx 'GOTO="mirelle_serial_end"' ||
  fail "udev rule: other devices fall through into the adapter block"
[ "$(grep -c 'ID_MM_DEVICE_IGNORE' "$rule")" = 1 ] || fail "udev rule: ModemManager is kept off in more than one place"
sed -n '/^LABEL="mirelle_serial_adapter"/,/^LABEL=/p' "$rule" | grep -q 'ENV{ID_MM_DEVICE_IGNORE}="1"' ||
  fail "udev rule: the adapters are not kept from ModemManager"

# The maintainer scripts reload udev's rules where udevadm exists, and only then.
mkdir -p "$work/fakebin"
printf '#!/bin/sh\necho "$*" >>"%s"\n' "$work/udevadm.log" >"$work/fakebin/udevadm"
chmod +x "$work/fakebin/udevadm"
while IFS='|' read -r script arg expected; do
  : >"$work/udevadm.log"
  [ -x "$work/control/$script" ] || fail "$script is missing or not executable"
  PATH="$work/fakebin:/usr/bin:/bin" sh "$work/control/$script" "$arg" || fail "$script $arg failed"
  ran=$(tr '\n' ';' <"$work/udevadm.log")
  [ "$ran" = "$expected" ] || fail "$script $arg ran udevadm '$ran', expected '$expected'"
  PATH=/nonexistent /bin/sh "$work/control/$script" "$arg" || fail "$script $arg fails without udevadm"
done <<'TABLE'
postinst|configure|control --reload;trigger --subsystem-match=tty --action=change;
postinst|abort-upgrade|
postrm|remove|control --reload;
postrm|upgrade|
TABLE

# The manual pages name each other; those of the programs that use the
# program folder say where its files are and what the environment changes.
for page in mirelle mirelle-cli mirelle-sim; do
  text=$(zcat "$work/root/usr/share/man/man1/$page.1.gz")
  see=$(sed -n '/^\.SH SEE ALSO/,$p' <<<"$text")
  for other in mirelle mirelle-cli mirelle-sim; do
    [ "$other" = "$page" ] || grep -q "^\.BR $other (1)" <<<"$see" || fail "$page(1): SEE ALSO lacks $other(1)"
  done
  [ "$page" = mirelle-sim ] && continue
  for word in ENVIRONMENT:MIRELLE_HOME ENVIRONMENT:XDG_CONFIG_HOME ENVIRONMENT:MIRELLE_UI \
              FILES:CHIPDEF.INI FILES:DownLoad/ FILES:Customize.ini FILES:DATAFILE.TXT FILES:MESSFILE.TXT \
              FILES:TIMETEST.TXT FILES:CRCTEST.TXT FILES:Help/; do
    section=${word%%:*} name=${word#*:}
    sed -n "/^\.SH $section/,/^\.SH/p" <<<"$text" | grep -qF -- "$name" || fail "$page(1): $section lacks $name"
  done
done

# lintian, as a Debian maintainer runs it: no error and no warning.
lintian --fail-on error,warning "$deb" >"$work/lintian.txt" 2>&1 || { cat "$work/lintian.txt" >&2; fail "lintian"; }

echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes; Depends: $depends"
