#!/usr/bin/env bash
# check-package.sh BUILD_DIR: makes the Debian packages (quillmark-batch, and quillmark for
# the window) from a built tree and checks them: each holds its own files and no other's,
# quillmark-batch depends on none of the window's libraries and quillmark on
# quillmark-batch of its version; lintian without errors and without a hardening tag;
# the licence in each copyright file; the desktop entry, the metainfo and the manual pages
# valid; and, as root on a machine where neither is installed yet, an install with
# apt-get, both programs' --version, the bash completion, and a removal that leaves none
# of the packages' files behind. A missing tool skips its check with a message; exit 77
# when the packages cannot be made at all.
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
  echo "FAIL: cpack could not make the packages"
  exit 1
fi
window=$(ls "$work"/pack/quillmark_"$version"_*.deb 2>/dev/null | head -n 1)
batch=$(ls "$work"/pack/quillmark-batch_"$version"_*.deb 2>/dev/null | head -n 1)
if [ -z "$window" ] || [ -z "$batch" ]; then
  ls "$work/pack"
  echo "FAIL: quillmark_${version}_<arch>.deb and quillmark-batch_${version}_<arch>.deb were not both made"
  exit 1
fi
echo "made $(basename "$window") and $(basename "$batch")"

# The command line runs where no window library is installed; the window brings it. Text
# layout (Pango, cairo, GLib) draws into memory and needs no display.
batch_depends=$(dpkg-deb -f "$batch" Depends)
window_depends=$(dpkg-deb -f "$window" Depends)
grep -q 'libjpeg' <<<"$batch_depends" && grep -q 'libqt6core6' <<<"$batch_depends" ||
  fail "quillmark-batch's Depends lacks its libraries: $batch_depends"
grep -qE 'libqt6(gui|widgets)|libx(11|cb)|libgl(1|x)|libopengl|libegl' <<<"$batch_depends" &&
  fail "quillmark-batch depends on the window's libraries: $batch_depends"
grep -q "quillmark-batch (= $version)" <<<"$window_depends" ||
  fail "quillmark does not depend on quillmark-batch (= $version): $window_depends"
grep -q 'libqt6widgets6' <<<"$window_depends" ||
  fail "quillmark's Depends lacks Qt Widgets: $window_depends"

if have lintian; then
  # Info tags too: a hardening tag at any level means a flag did not reach a program.
  lintian --fail-on error -I "$window" "$batch" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian reports errors"; }
  grep -E '^[EW]:' "$work/lintian.log"
  if grep -q '^QM_HARDEN:BOOL=ON$' "$build/CMakeCache.txt"; then
    grep -E '^[EWIP]: .*hardening' "$work/lintian.log" && fail "lintian reports a hardening tag"
  else
    skip "no hardening check: $build was configured without QM_HARDEN (./run and ./test set it)"
  fi
else
  skip "lintian is not installed"
fi

# The files that would be installed are checked in an unpacked copy, or where they were
# installed when this run may install.
owned() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\./, "", $6); print $6 }' | sort; }
owned "$window" >"$work/window.files"
owned "$batch" >"$work/batch.files"
dpkg-deb -x "$window" "$work/root"
dpkg-deb -x "$batch" "$work/root"
for f in /usr/bin/quillmark /usr/share/applications/quillmark.desktop \
  /usr/share/icons/hicolor/48x48/apps/quillmark.png /usr/share/man/man1/quillmark.1.gz \
  /usr/share/metainfo/org.quillmark.quillmark.metainfo.xml /usr/share/doc/quillmark/copyright \
  /usr/share/doc/quillmark/changelog.gz /usr/share/doc/quillmark/guide.html \
  /usr/share/doc/quillmark/images/input.png; do
  grep -qx "$f" "$work/window.files" || fail "quillmark lacks $f"
done
for f in /usr/bin/quillmark-batch /usr/share/man/man1/quillmark-batch.1.gz \
  /usr/share/bash-completion/completions/quillmark-batch /usr/share/doc/quillmark-batch/copyright \
  /usr/share/doc/quillmark-batch/changelog.gz; do
  grep -qx "$f" "$work/batch.files" || fail "quillmark-batch lacks $f"
done
shared=$(comm -12 "$work/window.files" "$work/batch.files")
[ -z "$shared" ] || fail "both packages hold $shared"
for doc in quillmark quillmark-batch; do
  grep -qx 'License: GPL-3.0-or-later' "$work/root/usr/share/doc/$doc/copyright" &&
    grep -q '/usr/share/common-licenses/GPL-3' "$work/root/usr/share/doc/$doc/copyright" ||
    fail "the copyright file of $doc does not give the licence GPL-3.0-or-later"
done
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
  "$work/root/usr/share/metainfo/org.quillmark.quillmark.metainfo.xml" ||
  fail "the metainfo's project_license is not GPL-3.0-or-later"

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
  if dpkg-query -W -f='${Status}' quillmark quillmark-batch 2>/dev/null | grep -q 'install ok installed'; then
    check_files "$work/root"
    skip "quillmark is installed on this machine already; it is left as it is"
  else
    cp "$window" "$work/install.deb"
    cp "$batch" "$work/install-batch.deb"
    if ! (cd "$work" && DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
      -o DPkg::Lock::Timeout=120 ./install.deb ./install-batch.deb) >"$work/apt.log" 2>&1; then
      cat "$work/apt.log"
      fail "apt-get install ./$(basename "$window") ./$(basename "$batch")"
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
        [[ "$completed" == "jpg bmp png"* ]] || fail "the installed completion completes -f with '$completed'"
      else
        skip "bash-completion is not installed"
      fi
      dpkg -L quillmark quillmark-batch >"$work/owned" 2>/dev/null
      DEBIAN_FRONTEND=noninteractive apt-get remove -y -q -o DPkg::Lock::Timeout=120 quillmark \
        quillmark-batch >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove quillmark quillmark-batch"; }
      while read -r path; do
        # Folders are shared with other packages; whatever the packages put in them must go.
        [ -d "$path" ] && [ ! -L "$path" ] && continue
        [ -e "$path" ] || [ -L "$path" ] && fail "$path is left after the removal"
      done <"$work/owned"
      for doc in quillmark quillmark-batch; do
        [ -e /usr/share/doc/$doc ] && fail "/usr/share/doc/$doc is left after the removal"
      done
    fi
  fi
fi

if [ $failures -ne 0 ]; then
  echo "check-package: $failures check(s) failed"
  exit 1
fi
echo "check-package: $(basename "$window") and $(basename "$batch") passed"
