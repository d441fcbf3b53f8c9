#!/usr/bin/env bash
# Text stamps against picture stamps: 20 JPEGs of 4000 x 3000 stamped with a text that
# names each file ("© 2026 Jane Doe · {name}", so it is laid out and drawn for every
# file) at 15 % of the width, against the same run with a picture stamp of the same size
# (a PNG with alpha, scaled to 15 % as well). Both on one worker, bottom right, quality 90,
# the sides taking turns run by run; prints the median times and the median of the
# run-by-run ratios.
#
#   bench/text.sh [BUILD_DIR [RUNS]]      defaults: build, 5 runs
set -euo pipefail
. "$(dirname "$0")/common.sh"
# The text's block at this size is about 4.6 times as wide as high: a stamp of that shape.
"$tools" stamp "$work/stamp.png" 600 130

common=(--defaults -o "$work/out" -f jpg -q 90 --overwrite --align right,bottom
        --offset -10,-10 --size 15%width -j 1)
: > "$work/text.txt"
: > "$work/picture.txt"
for ((r = 1; r <= runs; ++r)); do
  sides=(text picture)
  (( r % 2 == 0 )) && sides=(picture text)
  for side in "${sides[@]}"; do
    if [ "$side" = text ]; then
      "$tools" measure "$batch" "${common[@]}" --text '© 2026 Jane Doe · {name}' "$work/in"
    else
      "$tools" measure "$batch" "${common[@]}" -s "$work/stamp.png" "$work/in"
    fi >> "$work/$side.txt"
  done
  echo "run $r: text $(tail -n 1 "$work/text.txt" | cut -d' ' -f1) s," \
       "picture $(tail -n 1 "$work/picture.txt" | cut -d' ' -f1) s"
done
text_s=$(cut -d' ' -f1 "$work/text.txt" | median)
picture_s=$(cut -d' ' -f1 "$work/picture.txt" | median)
ratio=$(paste -d' ' <(cut -d' ' -f1 "$work/text.txt") <(cut -d' ' -f1 "$work/picture.txt") |
  awk '{ print $1 / $2 }' | median)
printf 'medians of %d paired runs, 20 files of 4000 x 3000, -j 1:\n' "$runs"
printf '  text stamp with {name}, 15 %% of the width:   %.2f s\n' "$text_s"
printf '  picture stamp of the same size:             %.2f s\n' "$picture_s"
printf '  text / picture:                             %.3f (target 1.05)\n' "$ratio"
