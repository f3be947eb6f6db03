#!/usr/bin/env bash
# Builds the Debian package and checks its files, lintian, AppStream metadata,
# manual pages, and both programs started from it, with and without firmware.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "$*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/*.deb)
files=$(dpkg-deb -c "$deb" | awk '{print $6}')
for want in ./usr/share/doc/qzt6604-5/copyright ./usr/share/icons/hicolor/scalable/apps/qzt6604-5.svg \
            ./usr/share/icons/hicolor/48x48/apps/qzt6604-5.png \
            ./usr/share/doc/qzt6604-5/examples/qzt6604-5-cli-serve.service; do
  grep -qx -- "$want" <<<"$files" || fail "missing from package: $want"
done
! grep -qE 'test_|bench_' <<<"$files" || fail "tests or benchmarks packaged"

lintian_out=$(lintian -I --pedantic "$deb" 2>&1 || true)
! grep -qE '^[EW]:' <<<"$lintian_out" || fail "lintian: $lintian_out"
# Built with Debian's hardening flags and stripped as dh_strip would.
for tag in hardening-no-bindnow hardening-no-fortify-functions hardening-no-relro hardening-no-pie \
           binary-has-unneeded-section; do
  ! grep -q " $tag " <<<"$lintian_out " || fail "lintian: $(grep " $tag" <<<"$lintian_out")"
done

root="$work/root"
dpkg-deb -x "$deb" "$root"
metainfo=$root/usr/share/metainfo/com.example.qzt_sensors.qzt6604_5.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "metainfo does not validate"
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ -f "$root/usr/share/applications/$launchable" ] || fail "metainfo names $launchable"
version=$(dpkg-deb -f "$deb" Version)
zcat "$root/usr/share/doc/qzt6604-5/changelog.gz" >"$work/changelog"
[ "$(dpkg-parsechangelog -l "$work/changelog" -S Version)" = "$version" ] || fail "changelog lacks $version"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo release is not $version"
for page in qzt6604-5 qzt6604-5-cli; do
  text=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/$page.1.gz" 2>&1)
  for want in "^EXIT STATUS" "^FILES" "^ADAPTER BOARD" "--adapter" "--help" "--version" \
              "SSTFW.hex" "Date:" "TAG\+=\"uaccess\""; do
    grep -qE -- "$want" <<<"$text" || fail "manual page $page lacks $want"
  done
done

# The desktop entry opens a log handed to it; the log type claims the
# program's logs by their first line, not any .sav file by its name.
entry=$root/usr/share/applications/qzt6604-5.desktop
desktop-file-validate "$entry" || fail "desktop entry does not validate"
grep -qx 'Exec=qzt6604-5 %f' "$entry" || fail "desktop entry takes no file"
mkdir -p "$work/data/mime/packages" "$work/data/applications"
cp "$root/usr/share/mime/packages/qzt6604-5.xml" "$work/data/mime/packages/"
cp "$entry" "$work/data/applications/"
update-mime-database "$work/data/mime" >/dev/null 2>&1
update-desktop-database "$work/data/applications"
[ "$(XDG_DATA_DIRS="$work/data" xdg-mime query default application/x-qzt6604-5-log)" = \
  qzt6604-5.desktop ] || fail "the program does not open logs"
printf 'QZT6605\r\nDate:,05/12/2026,Time:,15:45:12,\r\nInternal,\r\n 25.5,\r\n' >"$work/night.sav"
printf 'QZT6604\r\nDate:,05/12/2026,Time:,15:45:12,\r\n' >"$work/night.txt"
printf 'some other program\n' >"$work/other.sav"
# GLib, which GNOME's file manager uses, weighs the .sav globs too (a lone
# glob such as *.txt it trusts without looking inside).
log=application/x-qzt6604-5-log
export XDG_DATA_DIRS="$work/data:/usr/share"
for file in night.sav night.txt other.sav; do
  types=$(xdg-mime query filetype "$work/$file")
  [ "$file" = night.txt ] ||
    types+=$'\n'$(gio info -a standard::content-type "$work/$file" | sed -n 's/.*type: //p')
  while read -r type; do
    if [ "$file" = other.sav ]; then [ "$type" != "$log" ]; else [ "$type" = "$log" ]; fi ||
      fail "$file taken for $type"
  done <<<"$types"
done
unset XDG_DATA_DIRS

[ "$("$root/usr/bin/qzt6604-5-cli" scan | wc -l)" -eq 2 ] || fail "companion scan finds no chips"
MANWIDTH=200 man -l "$root/usr/share/man/man1/qzt6604-5-cli.1.gz" 2>&1 | grep -q "^SERVING PROMETHEUS" ||
  fail "manual page qzt6604-5-cli lacks serve"
"$(dirname "$0")/check_prometheus.sh" "$root/usr/bin/qzt6604-5-cli"

display=":$((200 + RANDOM % 500))"
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# Starts the program by name on the PATH; prints its visible windows' titles.
run_titles() {
  DISPLAY=$display QT_QPA_PLATFORM=xcb PATH="$root/usr/bin:$PATH" qzt6604-5 >/dev/null 2>&1 &
  local pid=$!
  sleep 4
  kill -0 "$pid" 2>/dev/null || fail "program ended early"
  for id in $(DISPLAY=$display xdotool search --pid "$pid" --onlyvisible --name '.' 2>/dev/null); do
    DISPLAY=$display xdotool getwindowname "$id"
  done
  kill "$pid"
}

titles=$(run_titles)
grep -qx 'QZT6604/5' <<<"$titles" || fail "main window did not appear: $titles"
! grep -q 'Evaluation Software' <<<"$titles" || fail "a message box appeared"
rm "$root/usr/lib/qzt6604-5/SSTFW.hex"
grep -qx 'QZT6604/5 Evaluation Software' <<<"$(run_titles)" || fail "no firmware message"
cli=$("$root/usr/bin/qzt6604-5-cli" temps 0x48 2>&1) && fail "companion ran without its firmware"
grep -q "Firmware failed to download" <<<"$cli" || fail "companion: $cli"
echo "package check passed"
