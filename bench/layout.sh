#!/usr/bin/env bash
# What a turned, tiled stamp costs: 20 JPEGs of 4000 x 3000 stamped with a 400 x 200 PNG
# once at the bottom right, and tiled over the whole photo at 45 degrees, one worker each,
# paired run by run. The stamp is turned once per size; the copies are only composed.
#
#   bench/layout.sh [BUILD_DIR [RUNS]]      defaults: build, 5 runs
set -euo pipefail
. "$(dirname "$0")/common.sh"
"$tools" stamp "$work/stamp.png" 400 200
args=(--defaults -s "$work/stamp.png" -o "$work/out" -f jpg -q 90 --overwrite -j 1
      --align right,bottom --offset -10,-10 --opacity 128)
: > "$work/single.txt"
: > "$work/tiled.txt"
for ((r = 1; r <= runs; ++r)); do
  for side in $( ((r % 2)) && echo single tiled || echo tiled single); do
    if [ "$side" = single ]; then
      "$tools" measure "$batch" "${args[@]}" "$work/in" >> "$work/single.txt"
    else
      "$tools" measure "$batch" "${args[@]}" --angle 45 --tile "$work/in" >> "$work/tiled.txt"
    fi
  done
  echo "run $r: single $(tail -n 1 "$work/single.txt" | cut -d' ' -f1) s," \
       "tiled at 45 degrees $(tail -n 1 "$work/tiled.txt" | cut -d' ' -f1) s"
done
single=$(cut -d' ' -f1 "$work/single.txt" | median)
tiled=$(cut -d' ' -f1 "$work/tiled.txt" | median)
ratio=$(paste -d' ' <(cut -d' ' -f1 "$work/tiled.txt") <(cut -d' ' -f1 "$work/single.txt") |
  awk '{ print $1 / $2 }' | median)
echo "medians of $runs paired runs: single stamp $single s, tiled at 45 degrees $tiled s," \
     "ratio $ratio (target 1.3)"
