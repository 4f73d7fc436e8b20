#!/usr/bin/env bash
# The agent's main job end to end: an application with two private fonts (one by full path, one
# by name in the fonts folder) is defined in the virtual registry; a program started through the
# launcher sees both, a program started without it sees neither.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh" "$build"
bin="$s_build_dir/bin"
demo="$s_build_dir/demo"
app='{7D0E5A9C-1F1B-4C53-9E57-5D3C2E0A1B01}'
session=1
sans="Tidewell Demo Sans"
serif="Tidewell Demo Serif"
fonts_sub="TidewellDemo"
fonts_dir="$WINEPREFIX/drive_c/windows/Fonts/$fonts_sub"
dejavu=/usr/share/fonts/truetype/dejavu

winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
run() { wine "$@" 2>/dev/null | tr -d '\r'; }

cleanup() {
    run "$bin/appfonts.exe" remove --session $session --app-id "$app" >/dev/null || true
    rm -rf "$fonts_dir"
}
trap cleanup EXIT

echo "== Making two fonts whose family names no system font has"
mkdir -p "$demo" "$fonts_dir"
/usr/bin/python3 "$root/scripts/make-fonts.py" "$dejavu/DejaVuSans.ttf" "$sans" "$demo/TidewellDemoSans.ttf"
/usr/bin/python3 "$root/scripts/make-fonts.py" "$dejavu/DejaVuSerif.ttf" "$serif" "$demo/TidewellDemoSerif.ttf"
# A subfolder: font files lying directly in Wine's fonts folder would be public to every process.
cp "$demo/TidewellDemoSerif.ttf" "$fonts_dir/"
echo "   $sans:  $(winpath "$demo/TidewellDemoSans.ttf")"
echo "   $serif: <fonts folder>\\$fonts_sub\\TidewellDemoSerif.ttf"

echo "== Defining the application $app for profile '$(run "$bin/appfonts.exe" profile)', session $session"
run "$bin/appfonts.exe" add --session $session --app-id "$app" --name "$sans (TrueType)" "$(winpath "$demo/TidewellDemoSans.ttf")"
run "$bin/appfonts.exe" add --session $session --app-id "$app" --name "$serif (TrueType)" "$fonts_sub\\TidewellDemoSerif.ttf"
run "$bin/appfonts.exe" list --session $session --app-id "$app" | sed 's/^/   /'

echo "== What the agent will do, as appfonts check sees it"
run "$bin/appfonts.exe" check --session $session --app-id "$app" | sed 's/^/   /'

echo "== A process of the application, started through the launcher with the agent"
launched=$(run "$bin/launcher.exe" --app-id "$app" --session $session "$bin/fontprobe.exe" "$sans" "$serif")
echo "$launched" | sed 's/^/   /'

echo "== Another process, started without the launcher"
# fontprobe exits 1 here: the families it was asked about are absent, as they should be.
other=$(run "$bin/fontprobe.exe" "$sans" "$serif" || true)
echo "$other" | sed 's/^/   /'

ok=1
grep -q "font \"$sans\": visible" <<<"$launched" || ok=0
grep -q "font \"$serif\": visible" <<<"$launched" || ok=0
grep -q "handoff-values=0" <<<"$launched" || ok=0
grep -q "font \"$sans\": absent" <<<"$other" || ok=0
grep -q "font \"$serif\": absent" <<<"$other" || ok=0
if [ $ok -eq 1 ]; then
    echo "== Demo passed: the launched process sees both private fonts, the other process sees neither."
else
    echo "== Demo FAILED: see the probe output above." >&2
    exit 1
fi
