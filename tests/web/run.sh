#!/usr/bin/env bash
# The web tier: the golden replays played by the web build in headless
# chromium, against the native kcs of the same source (play-replays.mjs), on
# the data each plays natively.
#   tests/web/run.sh BUILD SITE [--build | --compile]
# BUILD is the native build folder (its kcs and data), SITE the web build's
# folder; --build builds the web build there first, in BUILD/web-wasm.
# --compile only compiles the game there and fetches the browser's driver,
# and plays nothing: make test runs it beside the native build, which the
# rest waits for. Without emscripten, chromium or npm it says which is
# missing and exits 77: skipped, unless KCS_REQUIRE_WEB is set (CI, which
# installs them), when that fails. Its last line is also left in
# BUILD/web-tier.txt for make test to show.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
site=$(cd "$2" && pwd)
mode=${3:-}
summary="$build/web-tier.txt"
missing=""
command -v emcmake >/dev/null 2>&1 || missing="$missing emscripten"
command -v chromium >/dev/null 2>&1 || missing="$missing chromium"
command -v npm >/dev/null 2>&1 || missing="$missing npm"
if [ -n "$missing" ]; then
    [ "$mode" != --compile ] || exit 0
    echo "The web tier was skipped: missing$missing (make web-test-deps installs them)." |
        tee "$summary"
    [ -z "${KCS_REQUIRE_WEB:-}" ] || exit 1
    exit 77
fi
export NODE_PATH=/usr/share/nodejs
web_build() { # TARGET...
    emcmake cmake -S "$source_dir" -B "$build/web-wasm" -DCMAKE_BUILD_TYPE=Release \
        -DKCS_WEB_DATA="$build/data" -DKCS_WEB_OUT="$site" &&
        cmake --build "$build/web-wasm" -j "${KCS_WEB_JOBS:-2}" "$@"
}
# puppeteer-core drives the Debian chromium; it downloads no browser.
driver="$build/web-test/node_modules"
fetch_driver() {
    [ -d "$driver/puppeteer-core" ] ||
        npm install --prefix "$build/web-test" --no-save --no-audit --no-fund --silent \
            --prefer-offline puppeteer-core@24.9.0
}
if [ "$mode" = --compile ]; then
    # What fails here fails again, and is shown, when the tier builds.
    web_build --target kcs >"$build/web-wasm.log" 2>&1 || true
    fetch_driver || true
    exit 0
fi
echo "The web tier did not finish: see the test's output." >"$summary"
if [ "$mode" = --build ]; then
    log="$build/web-wasm.log"
    if ! web_build >"$log" 2>&1; then
        tail -n 30 "$log"
        echo "The web build failed (its whole output: $log)."
        exit 1
    fi
fi
fetch_driver
# Other data plays the same page with that data packed instead: the game is
# not built again for it. The golden replays of the classic data play it as
# it is; the pause's also plays it with its pictures in the other BMP layouts
# (bmp-layouts.py), which both the native SDL and the page's reader read.
emscripten=$(dirname "$(readlink -f "$(command -v emcc)")")
pack() { # DATA SITE
    mkdir -p "$2"
    for name in index.html kcs.js kcs.wasm; do
        ln -sf "$site/$name" "$2/$name"
    done
    (cd "$2" && python3 "$emscripten/tools/file_packager.py" kcs.data \
        --preload "$1@/data" --js-output=kcs-data.js >/dev/null 2>&1)
}
classic="$build/web-test/classic"
pack "$build/data-classic" "$classic"
layouts="$build/web-test/layouts"
rm -rf "$layouts-data"
cp -r "$build/data-classic" "$layouts-data"
python3 "$source_dir/tests/web/bmp-layouts.py" "$layouts-data"
pack "$layouts-data" "$layouts"
replays="$source_dir/tests/replays"
KCS_PUPPETEER_DIR="$driver/puppeteer-core" node "$source_dir/tests/web/play-replays.mjs" \
    "$build/kcs" "$build/web-test/work" \
    "$replays/rockfall-kalvorn.txt:1470:196,1000:$build/data-classic:$classic" \
    "$replays/starforge-vessa.txt:1900:215,1700:$build/data-classic:$classic" \
    "$source_dir/tests/program/menu-back-and-pause.replay:320:310:$build/data-classic:$classic" \
    "$replays/rockfall-win.txt:2160:278,1954:$build/data:$site" \
    "$source_dir/tests/program/menu-back-and-pause.replay:320:100,310:$layouts-data:$layouts" \
    | tee "$build/web-tier.log"
# Reached only when every replay passed.
echo "The web tier: $(tail -n 1 "$build/web-tier.log") (golden replays in headless chromium, traces and screenshots as native)." >"$summary"
