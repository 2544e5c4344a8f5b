#!/usr/bin/env bash
# Start to first paint and peak memory: the program (startup_probe) against a
# window of stock Qt widgets (bare_window), both on one Xvfb display, run
# interleaved. Prints the medians and the ratios program / bare.
#
#   bench/startup.sh BIN_DIR [RUNS]
#
# BIN_DIR holds startup_probe, bare_window and measure_run (build-bench/bench).
set -euo pipefail

bin=${1:?usage: startup.sh BIN_DIR [RUNS]}
runs=${2:-11}
goal=1.10
for p in startup_probe bare_window measure_run; do
    [[ -x "$bin/$p" ]] || { echo "startup.sh: $bin/$p is missing" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb=
cleanup() {
    [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# -displayfd picks a free display and tells us its number once it is up.
Xvfb -displayfd 1 -nolisten tcp -screen 0 1024x768x24 >"$work/display" 2>/dev/null &
xvfb=$!
for _ in $(seq 200); do
    [[ -s "$work/display" ]] && break
    sleep 0.05
done
[[ -s "$work/display" ]] || { echo "startup.sh: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$work/display")"
export DISPLAY
export QT_QPA_PLATFORM=xcb
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

# One run; appends "wall_ms rss_kib paint_ms cpu_ms" to the program's file.
run() {
    local name=$1 out
    if ! out=$("$bin/measure_run" "$bin/$name" 2>"$work/stderr"); then
        echo "startup.sh: $name failed:" >&2
        cat "$work/stderr" >&2
        exit 1
    fi
    awk '/^first paint/ {p = $3} /^measured/ {w = $2; r = $4; c = $6} END {print w, r, p, c}' \
        <<<"$out" >>"$work/$name"
}

# A first run of each fills the file cache and the font cache; not counted.
run startup_probe
run bare_window
: >"$work/startup_probe"
: >"$work/bare_window"

for ((i = 1; i <= runs; i++)); do
    # Alternate which goes first so neither always follows the other.
    if ((i % 2)); then
        run startup_probe
        run bare_window
    else
        run bare_window
        run startup_probe
    fi
done

median() {  # column of a file
    sort -g -k"$2","$2" "$1" | awk -v c="$2" '{v[NR] = $c} END {
        print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
range() {
    sort -g -k"$2","$2" "$1" | awk -v c="$2" 'NR == 1 {lo = $c} {hi = $c} END {print lo "-" hi}'
}

printf '\nStart to first paint on Xvfb, %d interleaved runs each (medians)\n' "$runs"
printf '%-14s %8s %16s %9s %14s %11s %7s\n' program "wall ms" "wall range" "RSS KiB" \
    "RSS range" "in main ms" "CPU ms"
for name in startup_probe bare_window; do
    printf '%-14s %8.1f %16s %9.0f %14s %11.1f %7.1f\n' "$name" \
        "$(median "$work/$name" 1)" "$(range "$work/$name" 1)" \
        "$(median "$work/$name" 2)" "$(range "$work/$name" 2)" \
        "$(median "$work/$name" 3)" "$(median "$work/$name" 4)"
done

ratio() {  # label column unit [goal]
    local a b g=${4:-$goal}
    a=$(median "$work/startup_probe" "$2")
    b=$(median "$work/bare_window" "$2")
    awk -v l="$1" -v a="$a" -v b="$b" -v u="$3" -v g="$g" 'BEGIN {
        r = a / b
        if (g == "-") printf "%s: %.1f %s / %.1f %s = %.2f (no goal)\n", l, a, u, b, u, r
        else printf "%s: %.1f %s / %.1f %s = %.2f (goal <= %.2f) %s\n", l, a, u, b, u, r, g,
            (r <= g ? "met" : "MISSED") }'
}
printf '\nleverans / bare Qt window (same seven controls)\n'
ratio "start to first paint, wall" 1 ms
ratio "peak RSS" 2 KiB
ratio "start to first paint, CPU (user + system)" 4 ms -
