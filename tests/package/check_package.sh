#!/usr/bin/env bash
# Builds the Debian package, checks its file list and dependencies, unpacks
# it and starts the installed program on a virtual display through its
# /usr/bin link: the main window must appear (the firmware image was found),
# and without the image the firmware message must appear instead.
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
for want in ./usr/bin/qzt6604-5 ./usr/lib/qzt6604-5/qzt6604-5 ./usr/lib/qzt6604-5/SSTFW.hex \
            ./usr/share/applications/qzt6604-5.desktop \
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

root="$work/root"
dpkg-deb -x "$deb" "$root"
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
