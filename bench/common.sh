# Sourced by the batch benchmarks after `set -euo pipefail`, with their own arguments
# ([BUILD_DIR [RUNS]], defaults: build, 5 runs): the build's tools, a scratch folder removed
# on exit with the 20 photos of 4000 x 3000 every benchmark stamps in $work/in, and the
# median of numbers on standard input.
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
runs=${2:-5}
tools=$build/bench/qm_batch_tools
batch=$build/cli/quillmark-batch
for exe in "$tools" "$batch"; do
  [ -x "$exe" ] || { echo "$(basename "$0"): $exe is missing; build first" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/out"
echo "making 20 inputs of 4000 x 3000 ..."
"$tools" inputs "$work/in" 20 4000 3000
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
