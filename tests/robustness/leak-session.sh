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
# Its data folder holds the session's own files too: the game reads only the
# files its data names.
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: leak-session.sh KCS KCS_MAP DEMO_DATA_DIR" >&2; exit 2; }
data=$(mktemp -d "${TMPDIR:-/tmp}/kcs-leaks-XXXXXX")
trap 'rm -rf "$data"' EXIT
cp "$3"/*.bmp "$3"/font.ini "$3"/enemy.ini "$3"/kalvorn1.ini "$data"/

# Two screens across in screen row 8, where the enemy stands (world y 2104):
# a floor at tile row 12 (world y 2112) with a three-tile pit at columns
# 20-22 over nothing, so a player running right falls out of the level.
{
    printf 'tile . 1\ntile # 3 solid\nabsent ~\nmap\n'
    for _ in $(seq 120); do echo "~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~~"; done
    for _ in $(seq 12); do echo "................................"; done
    for _ in 1 2 3; do echo "####################...#########"; done
} >"$data/leaks.txt"
"$2" build "$data/leaks.txt" "$data/leaks.map"

cat >"$data/stageselect.ini" <<'INI'
[Levels]
amount=1
level0=LEAKS
[Kalvorns]
amount=1
kalvorn0=kalvorn1.ini
INI
# 4 + 16 * 11: the descent ends with the feet on tile row 12, on the enemy.
cat >"$data/levels.ini" <<'INI'
[LEAKS]
tileSheet=tiles.bmp
tileMap=leaks.map
boundaries=1
boundary0x=0
boundary0y=1920
boundary0w=512
teleportStopPosY=180
INI

# Level chosen at frame 11, play from about frame 192; run right into the pit
# and fall out; the ready phase again after the respawn, then the window is
# closed.
cat >"$data/session.replay" <<'REPLAY'
5 b down
6 b up
10 b down
11 b up
240 right down
470 right up
700 quit
REPLAY

log="$data/valgrind.log"
fail() {
    echo "leak session: $1"
    tail -n 60 "$log" 2>/dev/null || true
    cat "$data/err"
    exit 1
}
# Memcheck's errors and the leaks it is asked about give status 99.
valgrind --tool=memcheck --leak-check=full --show-leak-kinds=definite,indirect \
    --errors-for-leak-kinds=definite,indirect --error-exitcode=99 \
    --suppressions="$(dirname "$0")/valgrind.supp" --log-file="$log" \
    "$1" --headless --scale 1 --data "$data" --replay "$data/session.replay" \
    --trace "$data/trace.jsonl" >"$data/out" 2>"$data/err" ||
    fail "valgrind or kcs ended with status $?"

# The menu, the level, the enemy's hit and the fall.
trace="$data/trace.jsonl"
for part in '"screen":"select"' '"screen":"level"' '"state":"Reeling"' '"fallenOut":true'; do
    grep -q "$part" "$trace" || fail "the trace never shows $part"
done
# After the fall the ready countdown starts again: the respawn.
awk '/"fallenOut":true/ { fell = 1 } fell && /"ready":17[0-9]/ { found = 1 } END { exit !found }' \
    "$trace" || fail "the player never respawned"
last=$(tail -n 1 "$trace" | sed 's/^{"frame":\([0-9]*\),.*/\1/')
[ "$last" = 700 ] || fail "the session ended at frame $last, not at the quit in frame 700"
