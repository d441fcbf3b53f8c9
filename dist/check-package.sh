#!/usr/bin/env bash
# check-package.sh BUILD_DIR: makes the Debian package from a built tree and checks it:
# lintian without errors; the desktop entry, the metainfo and the manual pages valid;
# and, as root on a machine where quillmark is not installed yet, an install with
# apt-get, both programs' --version, the bash completion, and a removal that leaves none
# of the package's files behind. A missing tool skips its check with a message; exit 77
# when the package cannot be made at all.
set -uo pipefail
build=$(cd "${1:?usage: check-package.sh BUILD_DIR}" && pwd)
version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' "$build/CPackConfig.cmake")
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
skip() { echo "SKIP: $*"; }
have() { command -v "$1" >/dev/null 2>&1; }

for tool in cpack dpkg-deb dpkg-shlibdeps fakeroot; do
  if ! have "$tool"; then
    echo "SKIP: $tool is not installed (Debian package dpkg-dev, fakeroot or cmake); no package made"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cpack -G DEB -B "$work/pack" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not make the package"
  exit 1
fi
deb=$(ls "$work"/pack/quillmark_"$version"_*.deb 2>/dev/null | head -n 1)
if [ -z "$deb" ]; then
  ls "$work/pack"
  echo "FAIL: no quillmark_${version}_<arch>.deb was made"
  exit 1
fi
echo "made $(basename "$deb")"
dpkg-deb -f "$deb" Depends | grep -q 'libjpeg' || fail "Depends lacks the libraries: $(dpkg-deb -f "$deb" Depends)"

if have lintian; then
  lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian reports errors"; }
  grep -E '^[EW]:' "$work/lintian.log"
else
  skip "lintian is not installed"
fi

# The files that would be installed are checked in an unpacked copy, or where they were
# installed when this run may install.
dpkg-deb -x "$deb" "$work/root"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }')
for f in /usr/bin/quillmark /usr/bin/quillmark-batch /usr/share/applications/quillmark.desktop \
  /usr/share/icons/hicolor/48x48/apps/quillmark.png /usr/share/man/man1/quillmark.1.gz \
  /usr/share/man/man1/quillmark-batch.1.gz /usr/share/bash-completion/completions/quillmark-batch \
  /usr/share/metainfo/org.quillmark.quillmark.metainfo.xml /usr/share/doc/quillmark/copyright; do
  grep -qx "$f" <<<"$files" || fail "the package lacks $f"
done

check_files() {
  local root=$1
  if have desktop-file-validate; then
    desktop-file-validate "$root/usr/share/applications/quillmark.desktop" || fail "desktop-file-validate"
  else
    skip "desktop-file-validate is not installed (desktop-file-utils)"
  fi
  if have appstreamcli; then
    appstreamcli validate --no-net "$root/usr/share/metainfo/org.quillmark.quillmark.metainfo.xml" ||
      fail "appstreamcli validate"
    grep -q "<release version=\"$version\"" "$root/usr/share/metainfo/org.quillmark.quillmark.metainfo.xml" ||
      fail "the metainfo's release is not $version"
  else
    skip "appstreamcli is not installed (appstream)"
  fi
  if have man; then
    local page warnings
    for page in quillmark quillmark-batch; do
      warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
        man --warnings -E UTF-8 -l -Tutf8 -Z "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
      [ -z "$warnings" ] || fail "man warns on $page(1): $warnings"
    done
  else
    skip "man is not installed (man-db)"
  fi
}

if [ "$(id -u)" -ne 0 ]; then
  check_files "$work/root"
  skip "installing and removing the package needs root"
elif ! have apt-get || ! have flock; then
  check_files "$work/root"
  skip "apt-get or flock is missing: no install and removal"
else
  # Other build folders on this machine may run this check at the same time.
  exec 9>/tmp/quillmark-package-check.lock
  flock -w 150 9 || { fail "another package check holds the lock"; exit 1; }
  if dpkg-query -W -f='${Status}' quillmark 2>/dev/null | grep -q 'install ok installed'; then
    check_files "$work/root"
    skip "quillmark is installed on this machine already; it is left as it is"
  else
    cp "$deb" "$work/install.deb"
    if ! (cd "$work" && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      -o DPkg::Lock::Timeout=120 "./install.deb") >"$work/apt.log" 2>&1; then
      cat "$work/apt.log"
      fail "apt-get install ./$(basename "$deb")"
    else
      check_files ""
      [ "$(quillmark-batch --version)" = "quillmark-batch $version" ] ||
        fail "quillmark-batch --version says '$(quillmark-batch --version)'"
      [ "$(quillmark --version 2>/dev/null)" = "quillmark $version" ] ||
        fail "quillmark --version says '$(quillmark --version 2>&1)'"
      if [ -r /usr/share/bash-completion/bash_completion ]; then
        completed=$(bash -c 'source /usr/share/bash-completion/bash_completion
          _completion_loader quillmark-batch
          COMP_WORDS=(quillmark-batch -f ""); COMP_CWORD=2; COMP_LINE="quillmark-batch -f "
          COMP_POINT=${#COMP_LINE}; complete -p quillmark-batch >/dev/null && _quillmark_batch
          echo "${COMPREPLY[*]}"' 2>&1)
        [ "$completed" = "jpg bmp png" ] || fail "the installed completion completes -f with '$completed'"
      else
        skip "bash-completion is not installed"
      fi
      dpkg -L quillmark >"$work/owned" 2>/dev/null
      DEBIAN_FRONTEND=noninteractive apt-get remove -y -q -o DPkg::Lock::Timeout=120 quillmark \
        >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove quillmark"; }
      while read -r path; do
        # Folders are shared with other packages; whatever the package put in them must go.
        [ -d "$path" ] && [ ! -L "$path" ] && continue
        [ -e "$path" ] || [ -L "$path" ] && fail "$path is left after the removal"
      done <"$work/owned"
      [ -e /usr/share/doc/quillmark ] && fail "/usr/share/doc/quillmark is left after the removal"
    fi
  fi
fi

if [ $failures -ne 0 ]; then
  echo "check-package: $failures check(s) failed"
  exit 1
fi
echo "check-package: $(basename "$deb") passed"
