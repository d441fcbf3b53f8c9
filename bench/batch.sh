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
# stamped bottom right, offset -10,-10, opacity 128. quillmark-batch runs with -j 1 and
# with its default (one worker per core), the baseline in one process and split over two.
# Prints the median wall time and peak memory of each side, the run-by-run ratios, and the
# peak of a 5-file run to show that memory does not grow with the number of files. The
# same photos stamped with --lossless (only the MCUs under the stamp coded again, the rest
# of the scan copied) on one worker and on the default workers against the one-process
# baseline, once as they are and once as copies with a restart marker after every MCU row
# (made by jpegtran, same coefficients), and how far each output's size lies from its
# input's. Their processor time (user + sys, which a busy machine moves far less than wall
# time) against the baseline's, and the processor time of the lossless path's look at a
# photo (header and walk of the scan, one thread).
#
# The web run: the same photos made ready for the web in one pass (long edge 2048, stamp at
# 10 % of the copy's width, JPEG quality 85) against libvips' thumbnailer on one thread
# (vipsthumbnail --size 2048, VIPS_CONCURRENCY=1, quality 85), when libvips-tools is there.
set -euo pipefail
command -v jpegtran > /dev/null || { echo "batch.sh: jpegtran is missing (libjpeg-turbo-progs)" >&2; exit 2; }
. "$(dirname "$0")/common.sh"
mkdir -p "$work/in5" "$work/rst" "$work/base" "$work/lossless" "$work/lossless-rst" \
         "$work/unstamped" "$work/web" "$work/vips"
cp "$work"/in/photo0[0-4].jpg "$work/in5/"
for f in "$work"/in/*.jpg; do
  jpegtran -copy all -restart 1 -outfile "$work/rst/$(basename "$f")" "$f"
done
"$tools" stamp "$work/stamp.png" 400 200

stamp_args=(--defaults -s "$work/stamp.png" -o "$work/out" -f jpg -q 90 --preserve-headers
            --overwrite --align right,bottom --offset -10,-10 --opacity 128)
inputs=("$work"/in/*.jpg)
half=$(( ${#inputs[@]} / 2 ))
# The baseline's files split over two processes at once: what a tool that uses both cores
# of this machine gets out of libjpeg.
base2() {
  "$tools" measure bash -c 'tools=$1 out=$2 half=$3; shift 3
    "$tools" baseline library "$out" "${@:1:$half}" &
    "$tools" baseline library "$out" "${@:$((half + 1))}" &
    wait' _ "$tools" "$work/base" "$half" "${inputs[@]}"
}

web_args=(--defaults -s "$work/stamp.png" -o "$work/web" -f jpg -q 85 --overwrite
          --resize long:2048 --size 10%width --align right,bottom --offset -10,-10 --opacity 128)
sides=(base base2 qm1 qm qm5 base-default lossless lossless2 lossless-rst lossless-rst2)
vips=$(command -v vipsthumbnail || true)
[ -n "$vips" ] && sides+=(vips web1 web web2)
for side in "${sides[@]}"; do : > "$work/$side.txt"; done
run_side() {
  case $1 in
    base) "$tools" measure "$tools" baseline library "$work/base" "${inputs[@]}" ;;
    base2) base2 ;;
    qm1) "$tools" measure "$batch" "${stamp_args[@]}" -j 1 "$work/in" ;;
    qm) "$tools" measure "$batch" "${stamp_args[@]}" "$work/in" ;;
    qm5) "$tools" measure "$batch" "${stamp_args[@]}" -j 2 "$work/in5" ;;
    base-default) "$tools" measure "$tools" baseline default "$work/base" "${inputs[@]}" ;;
    # Only the MCUs under the stamp re-encoded, the rest of each photo kept; one worker.
    lossless) "$tools" measure "$batch" "${stamp_args[@]}" -o "$work/lossless" --lossless -j 1 \
                "$work/in" ;;
    vips) VIPS_CONCURRENCY=1 "$tools" measure "$vips" --size 2048 -o "$work/vips/%s.jpg[Q=85]" \
            "${inputs[@]}" ;;
    web1) "$tools" measure "$batch" "${web_args[@]}" -j 1 "$work/in" ;;
    web) "$tools" measure "$batch" "${web_args[@]}" "$work/in" ;;
    web2) "$tools" measure "$batch" "${web_args[@]}" -j 2 "$work/in" ;;
    lossless2) "$tools" measure "$batch" "${stamp_args[@]}" -o "$work/lossless" --lossless \
                 "$work/in" ;;
    lossless-rst) "$tools" measure "$batch" "${stamp_args[@]}" -o "$work/lossless-rst" \
                    --lossless -j 1 "$work/rst" ;;
    lossless-rst2) "$tools" measure "$batch" "${stamp_args[@]}" -o "$work/lossless-rst" \
                     --lossless "$work/rst" ;;
  esac >> "$work/$1.txt"
}
for ((r = 1; r <= runs; ++r)); do
  # Each run measures every side once, in an order that turns from run to run, so that a
  # busy neighbour on the machine hurts all sides alike; the ratios are taken run by run.
  for ((k = 0; k < ${#sides[@]}; ++k)); do
    run_side "${sides[$(( (k + r - 1) % ${#sides[@]} ))]}"
  done
  echo "run $r: baseline $(tail -n 1 "$work/base.txt" | cut -d' ' -f1) s," \
       "two processes $(tail -n 1 "$work/base2.txt" | cut -d' ' -f1) s," \
       "-j 1 $(tail -n 1 "$work/qm1.txt" | cut -d' ' -f1) s," \
       "default $(tail -n 1 "$work/qm.txt" | cut -d' ' -f1) s," \
       "lossless -j 1 $(tail -n 1 "$work/lossless.txt" | cut -d' ' -f1) s," \
       "default $(tail -n 1 "$work/lossless2.txt" | cut -d' ' -f1) s," \
       "restart markers -j 1 $(tail -n 1 "$work/lossless-rst.txt" | cut -d' ' -f1) s," \
       "default $(tail -n 1 "$work/lossless-rst2.txt" | cut -d' ' -f1) s"
done

col() { cut -d' ' -f"$2" "$work/$1.txt"; }
ratio() { paste -d' ' <(col "$1" 1) <(col "$2" 1) | awk '{ print $1 / $2 }' | median; }
cpu_ratio() { paste -d' ' <(col "$1" 3) <(col "$2" 3) | awk '{ print $1 / $2 }' | median; }
base_s=$(col base 1 | median)
base_kb=$(col base 2 | median)
base2_s=$(col base2 1 | median)
islow_s=$(col base-default 1 | median)
qm1_s=$(col qm1 1 | median)
qm1_kb=$(col qm1 2 | median)
qm_s=$(col qm 1 | median)
qm_kb=$(col qm 2 | median)
qm5_kb=$(col qm5 2 | median)
ll_s=$(col lossless 1 | median)
ll2_s=$(col lossless2 1 | median)
llr_s=$(col lossless-rst 1 | median)
llr2_s=$(col lossless-rst2 1 | median)
# Each lossless output's size against its input's, in percent: the lowest and the highest.
# The outputs keep the input's Huffman tables and every untouched MCU's bits, so an output
# grows by what the stamped blocks add.
size_range() {
  for f in "${inputs[@]}"; do
    echo "$(stat -c %s "$1/$(basename "$f")") $(stat -c %s "${2:-$work/lossless}/$(basename "$f")")"
  done | awk '{ d = ($2 - $1) * 100 / $1; if (NR == 1 || d < lo) lo = d; if (NR == 1 || d > hi) hi = d }
              END { printf "%+.2f %% to %+.2f %%", lo, hi }'
}
walk_ms=$("$tools" walk "${inputs[@]}")
ll_size=$(size_range "$work/in")
llr_size=$(size_range "$work/rst" "$work/lossless-rst")
awk -v b="$base_s" -v bk="$base_kb" -v b2="$base2_s" -v i="$islow_s" -v q1="$qm1_s" \
    -v q1k="$qm1_kb" -v q="$qm_s" -v qk="$qm_kb" -v q5="$qm5_kb" -v n="$runs" \
    -v cores="$(nproc)" -v r1="$(ratio qm1 base)" -v rd="$(ratio qm base)" \
    -v rd2="$(ratio qm base2)" -v ll="$ll_s" -v rl="$(ratio lossless base)" -v lls="$ll_size" \
    -v ll2="$ll2_s" -v rl2="$(ratio lossless2 base)" -v llr="$llr_s" -v rlr="$(ratio lossless-rst base)" \
    -v llr2="$llr2_s" -v rlr2="$(ratio lossless-rst2 base)" -v llrs="$llr_size" \
    -v cl="$(cpu_ratio lossless base)" -v cl2="$(cpu_ratio lossless2 base)" \
    -v clr="$(cpu_ratio lossless-rst base)" -v clr2="$(cpu_ratio lossless-rst2 base)" \
    -v walk="$walk_ms" 'BEGIN {
  printf "medians of %d paired runs, 20 files of 4000 x 3000, %d cores:\n", n, cores
  printf "  libjpeg baseline, one process:               %.2f s, %.1f pictures/s, peak %.1f MB\n", b, 20 / b, bk / 1024
  printf "  libjpeg baseline, two processes:             %.2f s\n", b2
  printf "  libjpeg baseline, libjpeg defaults:          %.2f s\n", i
  printf "  quillmark-batch -j 1:                        %.2f s, %.1f pictures/s, peak %.1f MB\n", q1, 20 / q1, q1k / 1024
  printf "  quillmark-batch (one worker per core):       %.2f s, %.1f pictures/s, peak %.1f MB\n", q, 20 / q, qk / 1024
  printf "  -j 1 / one-process baseline:                 %.3f (target 1.05)\n", r1
  printf "  default / one-process baseline:              %.3f (target 0.55)\n", rd
  printf "  default / two-process baseline:              %.3f (target 1.08)\n", rd2
  printf "  quillmark-batch --lossless -j 1:             %.2f s, ratio to one-process baseline %.3f (target 0.30)\n", ll, rl
  printf "  quillmark-batch --lossless (default workers): %.2f s, ratio %.3f (target 0.18)\n", ll2, rl2
  printf "  the same with restart markers, -j 1:         %.2f s, ratio %.3f\n", llr, rlr
  printf "  with restart markers, default workers:       %.2f s, ratio %.3f\n", llr2, rlr2
  printf "  lossless processor time / the baseline:     -j 1 %.3f, default %.3f; restart markers %.3f, %.3f\n", cl, cl2, clr, clr2
  printf "  lossless look at a photo, one thread:       %.1f ms (header and walk of the scan)\n", walk
  printf "  lossless output size against the input:     %s; with restart markers %s\n", lls, llrs
  printf "  peak with 2 workers, 5 files: %.1f MB; default, 20 files: %.1f MB (target under 130 MB, not growing)\n", q5 / 1024, qk / 1024
}'
if [ -n "$vips" ]; then
  awk -v v="$(col vips 1 | median)" -v w1="$(col web1 1 | median)" -v w="$(col web 1 | median)" \
      -v r1="$(ratio web1 vips)" -v rd="$(ratio web vips)" -v m2="$(col web2 2 | median)" \
      -v n="$runs" 'BEGIN {
    printf "web run (long edge 2048, stamp 10 %% of width, quality 85), medians of %d paired runs:\n", n
    printf "  vipsthumbnail --size 2048, VIPS_CONCURRENCY=1: %.2f s\n", v
    printf "  quillmark-batch -j 1:                        %.2f s, ratio %.3f (target 0.6)\n", w1, r1
    printf "  quillmark-batch (one worker per core):       %.2f s, ratio %.3f (target 0.35)\n", w, rd
    printf "  peak with 2 workers: %.1f MB (target under 120 MB)\n", m2 / 1024
  }'
fi
