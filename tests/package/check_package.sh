#!/usr/bin/env bash
# Builds the Debian package, checks its file list and dependencies, runs
# lintian on it (any error or warning fails), validates its AppStream
# metadata and its manual pages, unpacks it and starts the installed programs
# through their /usr/bin links: the companion must find the chips, the main
# window must appear on a virtual display (the firmware image was found), and
# without the image the firmware message must appear instead.
# Usage: check_package.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null)
deb=$(ls "$work"/out/*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"

files=$(dpkg-deb -c "$deb" | awk '{print $6}')
metainfo=./usr/share/metainfo/com.example.qzt_sensors.qzt6604_5.metainfo.xml
for want in ./usr/bin/qzt6604-5 ./usr/lib/qzt6604-5/qzt6604-5 ./usr/lib/qzt6604-5/SSTFW.hex \
            ./usr/bin/qzt6604-5-cli ./usr/lib/qzt6604-5/qzt6604-5-cli \
            ./usr/share/doc/qzt6604-5/copyright ./usr/share/doc/qzt6604-5/changelog.gz \
            ./usr/share/man/man1/qzt6604-5.1.gz ./usr/share/man/man1/qzt6604-5-cli.1.gz \
            "$metainfo" ./usr/share/applications/qzt6604-5.desktop \
            ./usr/share/icons/hicolor/scalable/apps/qzt6604-5.svg \
            ./usr/share/icons/hicolor/48x48/apps/qzt6604-5.png; do
  grep -qx -- "$want" <<<"$files" || { echo "missing from package: $want"; exit 1; }
done
if grep -q -E 'test_|bench_' <<<"$files"; then echo "tests or benchmarks packaged"; exit 1; fi
depends=$(dpkg-deb -f "$deb" Depends)
echo "depends: $depends"
for lib in libqt6widgets6 libqt6gui6 libqt6core6; do
  grep -q "$lib" <<<"$depends" || { echo "missing dependency $lib"; exit 1; }
done

# lintian: no error and no warning; tags accepted on purpose live in the
# package's override file, each with its reason.
lintian_out=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
echo "lintian: ${lintian_out:-clean}"
if grep -qE '^[EW]:' <<<"$lintian_out"; then echo "lintian reports errors or warnings"; exit 1; fi

root="$work/root"
dpkg-deb -x "$deb" "$root"
appstreamcli validate --no-net "$root/$metainfo" || { echo "metainfo does not validate"; exit 1; }
launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$root/$metainfo")
[ -f "$root/usr/share/applications/$launchable" ] || { echo "metainfo names $launchable"; exit 1; }
version=$(dpkg-deb -f "$deb" Version)
zcat "$root/usr/share/doc/qzt6604-5/changelog.gz" >"$work/changelog"
for what in "changelog:$(dpkg-parsechangelog -l "$work/changelog" -S Version)" \
            "metainfo release:$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$root/$metainfo" | head -1)"; do
  [ "${what#*:}" = "$version" ] || { echo "${what%%:*} names ${what#*:}, the package is $version"; exit 1; }
done
for page in qzt6604-5 qzt6604-5-cli; do
  text=$(MANWIDTH=200 man -l "$root/usr/share/man/man1/$page.1.gz" 2>&1)
  for want in "^NAME" "^EXIT STATUS" "^FILES" "^ADAPTER BOARD" "--adapter" "--help" "--version" \
              "SSTFW.hex" "Date:" "TAG\+=\"uaccess\""; do
    grep -qE -- "$want" <<<"$text" || { echo "manual page $page lacks $want"; exit 1; }
  done
done

# The companion, started through its link, finds its firmware and the chips.
scan=$("$root/usr/bin/qzt6604-5-cli" scan)
[ "$(wc -l <<<"$scan")" -eq 2 ] || { echo "companion scan: $scan"; exit 1; }
exec_line=$(grep '^Exec=' "$root/usr/share/applications/qzt6604-5.desktop" | cut -d= -f2)
[ "$exec_line" = "qzt6604-5" ] || { echo "unexpected Exec line: $exec_line"; exit 1; }

display=":$((200 + RANDOM % 500))"
Xvfb "$display" -screen 0 1280x900x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

# Starts the program as the desktop entry does (by name on the PATH) and
# prints the titles of its top-level windows after a few seconds.
run_titles() {
  DISPLAY=$display QT_QPA_PLATFORM=xcb PATH="$root/usr/bin:$PATH" "$exec_line" >/dev/null 2>&1 &
  app_pid=$!
  sleep 4
  kill -0 "$app_pid" 2>/dev/null || { echo "program ended early"; exit 1; }
  for id in $(DISPLAY=$display xdotool search --pid "$app_pid" --onlyvisible --name '.' 2>/dev/null); do
    DISPLAY=$display xdotool getwindowname "$id"
  done
  kill "$app_pid"; wait "$app_pid" 2>/dev/null || true
  app_pid=""
}

titles=$(run_titles)
echo "windows with the firmware beside the program: ${titles//$'\n'/, }"
grep -qx 'QZT6604/5' <<<"$titles" || { echo "main window did not appear"; exit 1; }
if grep -q 'Evaluation Software' <<<"$titles"; then echo "a message box appeared"; exit 1; fi

rm "$root/usr/lib/qzt6604-5/SSTFW.hex"
titles=$(run_titles)
echo "windows without the firmware: ${titles//$'\n'/, }"
grep -qx 'QZT6604/5 Evaluation Software' <<<"$titles" || { echo "no firmware message"; exit 1; }
echo "package check passed"
