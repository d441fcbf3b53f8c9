#!/usr/bin/env bash
# check-options.sh QUILLMARK_BATCH: every option that quillmark-batch --help lists is
# described in its manual page and offered by its bash completion, and the completion
# offers no option the program does not know. Adding an option means adding it to
# dist/quillmark-batch.1.scd and dist/quillmark-batch.bash too.
set -uo pipefail
batch=${1:?usage: check-options.sh QUILLMARK_BATCH}
here=$(cd "$(dirname "$0")" && pwd)
help=$("$batch" --help) || { echo "FAIL: $batch --help"; exit 1; }
options=$(grep -oE -- '--[a-z0-9][a-z0-9-]*' <<<"$help" | sort -u)
# The words the completion offers for "-": its one compgen list that starts with --config.
offered=$(sed -n "/compgen -W '--config/,/'/p" "$here/quillmark-batch.bash" |
  grep -oE -- '--[a-z0-9][a-z0-9-]*' | sort -u)
failed=0
for option in $options; do
  grep -qE -- "\*$option[*=]|\*[^*]*, $option\*" "$here/quillmark-batch.1.scd" ||
    { echo "FAIL: $option is not described in dist/quillmark-batch.1.scd"; failed=1; }
  grep -qx -- "$option" <<<"$offered" ||
    { echo "FAIL: $option is not completed by dist/quillmark-batch.bash"; failed=1; }
done
for option in $offered; do
  grep -qx -- "$option" <<<"$options" ||
    { echo "FAIL: dist/quillmark-batch.bash completes $option, which --help does not list"; failed=1; }
done
[ $failed -eq 0 ] && echo "$(wc -w <<<"$options") options described and completed"
exit $failed
