#!/usr/bin/env bash
# parallel_fanout.sh QUILLMARK_BATCH: stamps a generated batch once in a single run and
# once spread by GNU parallel over two local job slots, as the README shows it; the
# outputs and the union of the jsonl logs must be the same. Exit 77 when parallel or
# ImageMagick's convert is missing.
set -uo pipefail
batch=${1:?usage: parallel_fanout.sh QUILLMARK_BATCH}
for tool in parallel convert; do
  command -v "$tool" >/dev/null 2>&1 ||
    { echo "SKIP: $tool is not installed (Debian packages parallel, imagemagick)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config
cd "$work" || exit 1
mkdir in one fan

# 29 pictures of different sizes and greys, names with spaces and non-ASCII letters among
# them, one that is no picture and one whose output is there already.
for i in $(seq 1 29); do
  name=$(printf 'p%02d' "$i")
  case $((i % 3)) in 1) name="$name with space" ;; 2) name="${name}_größe" ;; esac
  convert -size "$((20 + i))x$((10 + i % 7))" "xc:rgb($((i * 8)),$((i * 8)),$((i * 8)))" "BMP3:in/$name.bmp"
done
echo "not a picture" >in/broken.bmp
convert -size 4x3 xc:red BMP3:stamp.bmp
echo old >one/p03.png
echo old >fan/p03.png
find "$PWD/in" -name '*.bmp' | sort >list

"$batch" --defaults -s stamp.bmp -f png --align right,bottom --save-config job.qmc || exit 1
"$batch" -c job.qmc -o one --files-from list --log-format jsonl >one.jsonl
parallel --pipe -N 7 -j 2 "$batch" -j 1 -c job.qmc -o fan --files-from - --log-format jsonl <list >fan.jsonl

failed=0
diff -r one fan || { echo "FAIL: the outputs differ"; failed=1; }
[ "$(find one -name '*.png' | wc -l)" -eq 29 ] || { echo "FAIL: not 29 outputs"; failed=1; }

# Per-file objects: the same set once the output folder and the times are set aside.
files() {
  grep -v '"run":' "$1" | sed -e 's/"milliseconds":[0-9]*//' -e "s#\"output\":\"$2/#\"output\":\"OUT/#" | sort
}
diff <(files one.jsonl one) <(files fan.jsonl fan) || { echo "FAIL: the file objects differ"; failed=1; }
[ "$(files one.jsonl one | wc -l)" -eq 30 ] || { echo "FAIL: not 30 file objects"; failed=1; }
grep -q '"status":"skipped"' one.jsonl && grep -q '"status":"error"' one.jsonl ||
  { echo "FAIL: the skipped and the broken file are not in the log"; failed=1; }

# Run objects: one per run, their counts adding up to the single run's.
counts() {
  grep '"run":' "$1" | sed -E 's/.*"files":([0-9]+),"ok":([0-9]+),"skipped":([0-9]+),"error":([0-9]+),"canceled":false.*/\1 \2 \3 \4/' |
    awk '{ f += $1; o += $2; s += $3; e += $4; n++ } END { print n, f, o, s, e }'
}
[ "$(counts one.jsonl)" = "1 30 28 1 1" ] || { echo "FAIL: single run counts $(counts one.jsonl)"; failed=1; }
[ "$(counts fan.jsonl | cut -d' ' -f2-)" = "30 28 1 1" ] && [ "$(counts fan.jsonl | cut -d' ' -f1)" -eq 5 ] ||
  { echo "FAIL: fan-out counts $(counts fan.jsonl)"; failed=1; }

[ $failed -eq 0 ] && echo "parallel fan-out: outputs and logs equal a single run's"
exit $failed
