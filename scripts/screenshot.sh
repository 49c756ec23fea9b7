#!/bin/sh
# Makes docs/screenshot.png: starts the real Quillory on a virtual X screen with a window manager,
# with a small saved source list, and captures its window with the frame. Then makes the
# screenshots of the lists and of the message after a merge (screenshot-lists.png,
# screenshot-merge-list.png, screenshot-report.png) with the window tests that build and merge
# them, run on the same kind of virtual X screen.
#   scripts/screenshot.sh [path/to/quillory]   (default: build/src/quillory)
set -eu
cd "$(dirname "$0")/.."
APP="${1:-build/src/quillory}"
OUT="docs/screenshot.png"
[ -x "$APP" ] || { echo "screenshot: $APP is not built (run: make build)" >&2; exit 1; }
for tool in xvfb-run openbox import xwininfo; do
    command -v "$tool" >/dev/null || { echo "screenshot: $tool is missing (run: scripts/install-deps.sh)" >&2; exit 1; }
done

WORK="$(mktemp -d "${TMPDIR:-/tmp}/quillory-screenshot-XXXXXX")"
trap 'rm -rf "$WORK"' EXIT INT TERM

# The program keeps its list beside itself: run a copy in its own folder, with saving at exit off,
# so the user's own list is never touched.
mkdir -p "$WORK/bin" "$WORK/Documents/Reports 2026" "$WORK/Documents/Budget"
cp "$APP" "$WORK/bin/quillory"
: > "$WORK/Documents/Reports 2026/January.xlsx"
: > "$WORK/Documents/Reports 2026/February.xlsx"
: > "$WORK/Documents/Budget/Budget 2026.xlsx"
: > "$WORK/Documents/Staff list.xlsx"
printf '%s\r\n' "$WORK/Documents/Reports 2026" "$WORK/Documents/Budget/Budget 2026.xlsx" \
    "$WORK/Documents/Staff list.xlsx" "$WORK/Documents/Archive/2019 totals.xlsx" \
    > "$WORK/bin/EXCEL.txt"
printf '0\r\n' > "$WORK/bin/set.txt"

cat > "$WORK/capture.sh" <<'INNER'
#!/bin/sh
set -eu
openbox >/dev/null 2>&1 &
sleep 1
"$1/bin/quillory" >/dev/null 2>&1 &
app=$!
id=""
for _ in $(seq 1 50); do
    id="$(xwininfo -root -tree 2>/dev/null | awk '/"Quillory": \("quillory"/ {print $1; exit}')"
    [ -n "$id" ] && break
    sleep 0.2
done
[ -n "$id" ] || { echo "screenshot: the window did not appear" >&2; kill "$app"; exit 1; }
sleep 1.5
# The frame window of the window manager holds the title bar: capture the top-level parent.
frame="$(xwininfo -id "$id" -children | awk '/Parent window id/ {print $4}')"
[ "$frame" = "$(xwininfo -root | awk '/Window id/ {print $4}')" ] && frame="$id"
geometry="$(xwininfo -id "$frame" | awk '/Absolute upper-left X/ {x=$4} /Absolute upper-left Y/ {y=$4}
    /Width:/ {w=$2} /Height:/ {h=$2} END {print w "x" h "+" x "+" y}')"
import -window root -crop "$geometry" +repage "$2"
kill "$app"
INNER
chmod +x "$WORK/capture.sh"
mkdir -p docs
xvfb-run -a -s "-screen 0 1024x768x24" "$WORK/capture.sh" "$WORK" "$OUT"
echo "wrote $OUT"

TESTS="$(dirname "$(dirname "$APP")")/tests"
for test in BrowseMerge_test ReportMessage_test; do
    [ -x "$TESTS/$test" ] || { echo "screenshot: $TESTS/$test is not built" >&2; exit 1; }
    QT_QPA_PLATFORM=xcb QUILLORY_SCREENSHOT_DIR="$PWD/docs" \
        xvfb-run -a -s "-screen 0 1280x1024x24" "$TESTS/$test" >/dev/null ||
        { echo "screenshot: $test failed" >&2; exit 1; }
done
echo "wrote docs/screenshot-lists.png docs/screenshot-merge-list.png docs/screenshot-report.png"
