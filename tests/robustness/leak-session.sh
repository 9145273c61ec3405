#!/usr/bin/env bash
# A whole headless session under valgrind's memcheck: the menu, a level, the
# enemy's touch, running into a pit, falling out, respawning and closing the
# window. Fails on any invalid access and on any leak ("definitely" or
# "indirectly lost"), and checks on the trace that each part happened.
#
#     leak-session.sh KCS KCS_MAP DEMO_DATA_DIR
#
# The level is made here so the session does not hang on the demo levels'
# layout; the font, the characters, the enemy and the tiles are the demo's.
set -euo pipefail

kcs=${1:?usage: leak-session.sh KCS KCS_MAP DEMO_DATA_DIR}
kcs_map=${2:?usage: leak-session.sh KCS KCS_MAP DEMO_DATA_DIR}
demo=${3:?usage: leak-session.sh KCS KCS_MAP DEMO_DATA_DIR}
here=$(cd "$(dirname "$0")" && pwd)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/kcs-leaks-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
data="$scratch/data"
mkdir -p "$data"
cp "$demo"/*.bmp "$demo"/font.ini "$demo"/enemy.ini "$demo"/kalvorn1.ini "$data"/

# A row of $2 tiles of character $1.
row() { printf "%${2}s\n" "" | tr ' ' "$1"; }

# Two screens across in screen row 8, where the enemy stands (world y 2104):
# a floor at tile row 12 (world y 2112) with a three-tile pit at columns
# 20-22 over nothing, so a player running right falls out of the level.
{
    printf 'tile . 1\ntile # 3 solid\nabsent ~\nmap\n'
    for _ in $(seq 120); do row '~' 32; done
    for _ in $(seq 12); do row . 32; done
    for _ in 1 2 3; do echo "####################...#########"; done
} >"$scratch/leaks.txt"
"$kcs_map" build "$scratch/leaks.txt" "$data/leaks.map"

cat >"$data/stageselect.ini" <<'INI'
[Levels]
amount=1
level0=LEAKS
[Kalvorns]
amount=1
kalvorn0=kalvorn1.ini
kalvorn0title=KALVORN
INI
# 4 + 16 * 11: the descent ends with the feet on tile row 12, on the enemy.
cat >"$data/levels.ini" <<'INI'
[Common]
readyMessage=READY
[LEAKS]
tileSheet=tiles.bmp
tileMap=leaks.map
boundaries=1
boundary0x=0
boundary0y=1920
boundary0w=512
teleportStartYSpeedFraction=0
teleportStopPosY=180
INI

# Level chosen at frame 11, play from about frame 192; run right into the pit
# and fall out; the ready phase again after the respawn, then the window is
# closed.
cat >"$scratch/session.replay" <<'REPLAY'
5 b down
6 b up
10 b down
11 b up
240 right down
244 b down
245 b up
250 space down
262 space up
470 right up
700 quit
REPLAY

log="$scratch/valgrind.log"
status=0
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
    --suppressions="$here/valgrind.supp" --log-file="$log" \
    "$kcs" --headless --scale 1 --data "$data" --replay "$scratch/session.replay" \
    --trace "$scratch/trace.jsonl" >"$scratch/out" 2>"$scratch/err" || status=$?

fail() {
    echo "leak session: $1"
    tail -n 60 "$log" 2>/dev/null || true
    cat "$scratch/err"
    exit 1
}
[ "$status" -eq 0 ] || fail "valgrind or kcs ended with status $status"
grep -q "ERROR SUMMARY: 0 errors" "$log" || fail "memcheck reported errors"
if grep -qE "(definitely|indirectly) lost: [1-9]" "$log"; then
    fail "memory was lost"
fi

trace="$scratch/trace.jsonl"
grep -q '"screen":"select"' "$trace" || fail "the trace never shows the menu"
grep -q '"screen":"level"' "$trace" || fail "the level never started"
grep -q '"state":"Reeling"' "$trace" || fail "the enemy never hit the player"
grep -q '"fallenOut":true' "$trace" || fail "the player never fell out"
# After the fall the ready countdown starts again: the respawn.
awk '/"fallenOut":true/ { fell = 1 } fell && /"ready":17[0-9]/ { found = 1 } END { exit !found }' \
    "$trace" || fail "the player never respawned"
last=$(tail -n 1 "$trace" | sed 's/^{"frame":\([0-9]*\),.*/\1/')
[ "$last" = 700 ] || fail "the session ended at frame $last, not at the quit in frame 700"

echo "leak session: $(grep -c . "$trace") frames; $(grep -E 'ERROR SUMMARY|definitely lost|indirectly lost|no leaks are possible' "$log" | sed 's/^==[0-9]*== *//' | tr '\n' ';')"
echo "leak session: 1 passed, 0 failed"
