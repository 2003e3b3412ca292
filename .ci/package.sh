#!/usr/bin/env bash
# Packages in continuous integration: checks the manual page with groff, builds
# the release program with its Debian package and tarball (the package
# workflow), checks what cmake --install and the tarball hold, checks the
# package with lintian, installs it with dpkg, runs the installed program from
# the PATH on a generated sample ROM, finds its manual page, and removes the
# package again. Safe to run again: a sheetpak package left installed by an
# interrupted run is replaced and removed.
set -euo pipefail
cd "$(dirname "$0")/.."

. .ci/install_missing.sh
install_missing cmake ninja-build g++ libpng-dev dpkg-dev file lintian man-db groff-base
sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# The files an installation holds under its prefix, in C sort order.
installed_files=$'bin/sheetpak
share/bash-completion/completions/sheetpak
share/doc/sheetpak/LICENSE
share/doc/sheetpak/README.md
share/doc/sheetpak/sample-sheets-top.png
share/man/man1/sheetpak.1'

scratch="$(mktemp -d "${TMPDIR:-/tmp}/sheetpak-package.XXXXXX")"
package_installed=no
cleanup() {
  if [ "$package_installed" = yes ]; then
    $sudo_cmd dpkg -r sheetpak >/dev/null || true
  fi
  rm -rf "$scratch"
}
trap cleanup EXIT

echo "== The manual page under groff =="
warnings="$(groff -man -ww -z docs/sheetpak.1 2>&1)"
if [ -n "$warnings" ]; then
  fail "groff warns about docs/sheetpak.1: $warnings"
else
  echo "ok: no warning"
fi

echo "== Release build, Debian package and tarball =="
rm -f build/release/sheetpak_*.deb build/release/sheetpak-*.tar.gz
cmake --workflow --preset package
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/release/CMakeCache.txt)"
deb="build/release/sheetpak_${version}_$(dpkg --print-architecture).deb"
tarball="build/release/sheetpak-${version}-Linux.tar.gz"
for file in "$deb" "$tarball"; do
  [ -f "$file" ] || { echo "FAILED: cpack made no $file"; exit 1; }
done

echo "== What cmake --install and the tarball hold =="
cmake --install build/release --prefix "$scratch/prefix" >/dev/null
listed="$(cd "$scratch/prefix" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)"
if [ "$listed" = "$installed_files" ]; then
  echo "ok: cmake --install wrote exactly the program, its manual page and its documents"
else
  fail "cmake --install wrote:"$'\n'"$listed"
fi
listed="$(tar -tzf "$tarball" | grep -v '/$' | sed "s|^sheetpak-${version}-Linux/||" | LC_ALL=C sort)"
if [ "$listed" = "$installed_files" ]; then
  echo "ok: the tarball holds the same files"
else
  fail "the tarball holds:"$'\n'"$listed"
fi

echo "== lintian =="
# Errors fail the run, and so does any note on hardening; the rest is shown.
if lintian_output="$(lintian --fail-on error --display-info "$deb" 2>&1)"; then
  echo "ok: lintian reports no error"
else
  fail "lintian reports an error on $deb"
fi
printf '%s\n' "$lintian_output"
if printf '%s\n' "$lintian_output" | grep -q 'hardening-'; then
  fail "lintian has a hardening note on $deb"
else
  echo "ok: no hardening note"
fi

echo "== Installed with dpkg =="
package_installed=yes
$sudo_cmd dpkg -i "$deb"
hash -r
found="$(command -v sheetpak || true)"
if [ "$found" != /usr/bin/sheetpak ]; then
  fail "sheetpak on the PATH is '$found', not /usr/bin/sheetpak"
fi
if [ "$(sheetpak --version)" = "$(build/release/sheetpak --version)" ] &&
   sheetpak --version | grep -qxF "sheetpak $version"; then
  echo "ok: sheetpak --version from the PATH says sheetpak $version"
else
  fail "sheetpak --version from the PATH printed: $(sheetpak --version 2>&1 || true)"
fi
manual="$(man -w sheetpak 2>&1 || true)"
if [ "$manual" = /usr/share/man/man1/sheetpak.1.gz ]; then
  echo "ok: man -w sheetpak finds $manual"
else
  fail "man -w sheetpak says: $manual"
fi
if ! dpkg -L sheetpak | grep -qxF /usr/share/doc/sheetpak/copyright; then
  fail "the package has no copyright file"
fi
completion=/usr/share/bash-completion/completions/sheetpak
completed="$(bash -c ". '$completion'; COMP_WORDS=(sheetpak ins); COMP_CWORD=1; _sheetpak; echo \"\${COMPREPLY[*]}\"" 2>&1)"
if [ "$completed" = insert ]; then
  echo "ok: the installed bash completion completes ins to insert"
else
  fail "the installed bash completion of 'sheetpak ins' gives: $completed"
fi

echo "== The installed program extracts the sample ROM =="
repo="$PWD"
mkdir "$scratch/installed" "$scratch/built"
build/release/tools/make_sample_rom "$scratch/installed/sample.smc" >/dev/null
cp "$scratch/installed/sample.smc" "$scratch/built/sample.smc"
status=0
output="$(cd "$scratch/installed" && sheetpak 0 sample.smc)" || status=$?
(cd "$scratch/built" && "$repo/build/release/sheetpak" 0 sample.smc >/dev/null)
count="$(find "$scratch/installed" -name 'GFX*.bin' | wc -l)"
if [ "$status" -ne 0 ] || [[ "$output" != *"Done!" ]]; then
  fail "the installed sheetpak failed (status $status): $output"
elif [ "$count" -ne 223 ]; then
  fail "the installed sheetpak wrote $count sheet files, not 223"
elif ! diff -r "$scratch/installed" "$scratch/built" >/dev/null; then
  fail "the installed sheetpak's sheet files differ from the build's"
else
  echo "ok: 223 sheet files, the same as the build's own program writes"
fi

echo "== Removed with dpkg =="
$sudo_cmd dpkg -r sheetpak
package_installed=no
hash -r
if command -v sheetpak >/dev/null || [ -e /usr/share/man/man1/sheetpak.1.gz ] || [ -e /usr/share/doc/sheetpak ]; then
  fail "files of sheetpak remain after dpkg -r"
else
  echo "ok: nothing of sheetpak remains"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed."
  exit 1
fi
echo "Package checks passed."
