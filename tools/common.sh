# Shared by ./run and ./test: install what is missing, then configure and build one
# build folder. Sourced, not run.
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=$(nproc 2>/dev/null || echo 2)

# qm_setup [--tests]: what building and running need; with --tests what the tests need too.
qm_setup() {
  "$top/tools/install-deps" "$@"
}

# qm_build DIR [cmake options...]
qm_build() {
  local dir=$1
  shift
  cmake -S "$top" -B "$top/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$top/$dir" -j "$jobs"
}
