#!/usr/bin/env bash
# Batch throughput of quillmark-batch against a baseline that only decodes and re-encodes
# the same JPEGs through libjpeg in one process, with the same settings (quality 90, the
# input's EXIF block carried over, and the image library's own decoding and encoding
# choices: float DCT, no fancy upsampling). A second baseline with libjpeg's defaults is
# shown for reference.
#
#   bench/batch.sh [BUILD_DIR [RUNS]]      defaults: build, 5 runs
#
# Inputs: 20 JPEGs of 4000 x 3000 with an EXIF block and a 400 x 200 PNG stamp with alpha,
# stamped bottom right, offset -10,-10, opacity 128. Prints the median wall time and peak
# memory of each side, their ratio, and the peak of a 5-file run to show that memory does
# not grow with the number of files. The same 20 photos stamped with --lossless (only the
# MCUs under the stamp re-encoded) against the same baseline, and how far each output's
# size lies from its input's.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-5}
tools=$build/bench/qm_batch_tools
batch=$build/cli/quillmark-batch
for exe in "$tools" "$batch"; do
  [ -x "$exe" ] || { echo "batch.sh: $exe is missing; build first" >&2; exit 2; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/in5" "$work/out" "$work/base" "$work/lossless"
echo "making 20 inputs of 4000 x 3000 ..."
"$tools" inputs "$work/in" 20 4000 3000
cp "$work"/in/photo0[0-4].jpg "$work/in5/"
"$tools" stamp "$work/stamp.png" 400 200

stamp_args=(--defaults -s "$work/stamp.png" -o "$work/out" -f jpg -q 90 --preserve-headers
            --overwrite --align right,bottom --offset -10,-10 --opacity 128)
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: > "$work/base.txt"; : > "$work/base-default.txt"; : > "$work/qm.txt"; : > "$work/qm5.txt"
: > "$work/lossless.txt"
# Lossless JPEG output re-encodes only the MCUs under the stamp; one worker, as the baseline.
lossless_args=("${stamp_args[@]}" -o "$work/lossless" --lossless)
if "$batch" --help | grep -q -- '--jobs'; then lossless_args+=(--jobs 1); fi
for ((r = 1; r <= runs; ++r)); do
  # Alternate the sides so that a busy neighbour on the machine hurts both alike.
  "$tools" measure "$tools" baseline library "$work/base" "$work"/in/*.jpg >> "$work/base.txt"
  "$tools" measure "$batch" "${stamp_args[@]}" "$work/in" >> "$work/qm.txt"
  "$tools" measure "$tools" baseline default "$work/base" "$work"/in/*.jpg >> "$work/base-default.txt"
  "$tools" measure "$batch" "${stamp_args[@]}" "$work/in5" >> "$work/qm5.txt"
  "$tools" measure "$batch" "${lossless_args[@]}" "$work/in" >> "$work/lossless.txt"
  echo "run $r: baseline $(tail -n 1 "$work/base.txt"), quillmark-batch $(tail -n 1 "$work/qm.txt")," \
       "lossless $(tail -n 1 "$work/lossless.txt")"
done

base_s=$(cut -d' ' -f1 "$work/base.txt" | median)
base_kb=$(cut -d' ' -f2 "$work/base.txt" | median)
islow_s=$(cut -d' ' -f1 "$work/base-default.txt" | median)
qm_s=$(cut -d' ' -f1 "$work/qm.txt" | median)
qm_kb=$(cut -d' ' -f2 "$work/qm.txt" | median)
qm5_kb=$(cut -d' ' -f2 "$work/qm5.txt" | median)
ll_s=$(cut -d' ' -f1 "$work/lossless.txt" | median)
# The largest departure of a lossless output's size from its input's, in percent.
ll_size=$(for f in "$work"/in/*.jpg; do
  echo "$(stat -c %s "$f") $(stat -c %s "$work/lossless/$(basename "$f")")"
done | awk '{ d = ($2 - $1) * 100 / $1; if (d < 0) d = -d; if (d > m) m = d } END { printf "%.2f", m }')
awk -v ll="$ll_s" -v lls="$ll_size" -v b="$base_s" -v bk="$base_kb" -v i="$islow_s" -v q="$qm_s" -v qk="$qm_kb" -v q5="$qm5_kb" -v n="$runs" 'BEGIN {
  printf "medians of %d runs, 20 files of 4000 x 3000:\n", n
  printf "  libjpeg baseline, image library settings:   %.2f s, %.1f pictures/s, peak %.1f MB\n", b, 20 / b, bk / 1024
  printf "  libjpeg baseline, libjpeg defaults:          %.2f s\n", i
  printf "  quillmark-batch:                             %.2f s, %.1f pictures/s, peak %.1f MB\n", q, 20 / q, qk / 1024
  printf "  ratio quillmark-batch / baseline:            %.3f (target 1.10)\n", q / b
  printf "  quillmark-batch --lossless:                  %.2f s, ratio to baseline %.3f (target 0.85)\n", ll, ll / b
  printf "  lossless output sizes: at most %s %% from their input (target 1 %%)\n", lls
  printf "  peak with 5 files: %.1f MB, with 20 files: %.1f MB (target under 80 MB, not growing)\n", q5 / 1024, qk / 1024
}'
