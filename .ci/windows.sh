#!/usr/bin/env bash
# Windows build in continuous integration: cross-compiles everything with
# MinGW-w64, runs every test under wine, packs the zip and runs sheetpak.exe
# --version from it, then runs sheetpak.exe itself with standard input from
# /dev/null, from a pipe and from a console on a pseudo-terminal, where the
# exit prompt must appear and end at a key press.
# zlib comes from Debian's MinGW-w64 package; libpng is built static from the
# source of Debian's libpng1.6 package, fetched with apt-get source.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo_cmd=""
[ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
. .ci/install_missing.sh
install_missing cmake ninja-build googletest g++-mingw-w64-x86-64-posix libz-mingw-w64-dev dpkg-dev wine64 wine unzip

# Source entries (deb-src) for the archive that the machine's own Debian
# entries name: the deb822 stanzas and one-line entries of this release's suite.
add_debian_source_entries() {
  local codename stanzas lines
  codename="$(. /etc/os-release && echo "$VERSION_CODENAME")"
  stanzas="$({ cat /etc/apt/sources.list.d/*.sources 2>/dev/null || true; } | awk -v codename="$codename" '
    BEGIN { RS = ""; FS = "\n" }
    {
      deb = 0; suite = 0
      for (i = 1; i <= NF; i++) {
        if ($i ~ /^Types:/ && $i ~ /[[:space:]]deb([[:space:]]|$)/) deb = 1
        if ($i ~ /^Suites:/ && (" " substr($i, 8) " ") ~ ("[[:space:]]" codename "[[:space:]]")) suite = 1
        if ($i ~ /^Enabled:[[:space:]]*no/) deb = 0
      }
      if (deb && suite) {
        for (i = 1; i <= NF; i++) print ($i ~ /^Types:/ ? "Types: deb-src" : $i)
        print ""
      }
    }')"
  lines="$({ cat /etc/apt/sources.list 2>/dev/null || true; } | awk -v codename="$codename" '
    $1 == "deb" { for (i = 2; i <= NF; i++) if ($i == codename) { $1 = "deb-src"; print; next } }')"
  if [ -z "$stanzas$lines" ]; then
    echo "No Debian archive entry for $codename found in the apt sources."
    return 1
  fi
  if [ -n "$stanzas" ]; then
    printf '%s\n' "$stanzas" | $sudo_cmd tee /etc/apt/sources.list.d/sheetpak-source.sources >/dev/null
  fi
  if [ -n "$lines" ]; then
    printf '%s\n' "$lines" | $sudo_cmd tee /etc/apt/sources.list.d/sheetpak-source.list >/dev/null
  fi
  $sudo_cmd apt-get update -q
}

# A static libpng for the cross compiler, built once into build/mingw-libpng
# from the sources of Debian's libpng1.6 (the library the Linux build links).
mingw=x86_64-w64-mingw32
libpng_root="$PWD/build/mingw-libpng"
build_libpng() {
  [ -f "$libpng_root/lib/libpng.a" ] && return 0
  if ! apt-cache showsrc libpng1.6 2>/dev/null | grep -q '^Package: libpng1.6$'; then
    add_debian_source_entries
  fi
  local work="$libpng_root/source"
  rm -rf "$libpng_root"
  mkdir -p "$work" "$libpng_root/lib" "$libpng_root/include"
  (cd "$work" && apt-get source -q libpng1.6)
  local tree
  tree="$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)"
  [ -n "$tree" ] || { echo "apt-get source libpng1.6 left no source tree"; return 1; }
  cp "$tree/scripts/pnglibconf.h.prebuilt" "$tree/pnglibconf.h"
  local objects=()
  for unit in png pngerror pngget pngmem pngpread pngread pngrio pngrtran pngrutil pngset pngtrans \
              pngwio pngwrite pngwtran pngwutil; do
    "$mingw-gcc-posix" -O2 -I"$tree" -c "$tree/$unit.c" -o "$work/$unit.o"
    objects+=("$work/$unit.o")
  done
  "$mingw-ar" rcs "$libpng_root/lib/libpng.a" "${objects[@]}"
  cp "$tree/png.h" "$tree/pngconf.h" "$tree/pnglibconf.h" "$libpng_root/include/"
}

echo "== libpng for the cross build =="
build_libpng

# A throwaway wine prefix, never the one in the home folder.
scratch="$(mktemp -d "${TMPDIR:-/tmp}/sheetpak-windows.XXXXXX")"
export WINEPREFIX="$scratch/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="
cleanup() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir "$WINEPREFIX"

echo "== Wine prefix =="
# A persistent server, and one program run before the tests: otherwise every
# test waits seconds for wine's background processes to start and stop.
timeout 30 wineserver -p
timeout 120 wine wineboot --init
timeout 60 wine cmd /c exit

echo "== Cross build =="
cmake --preset mingw \
  -DPNG_PNG_INCLUDE_DIR="$libpng_root/include" -DPNG_LIBRARY="$libpng_root/lib/libpng.a" \
  -DZLIB_INCLUDE_DIR="/usr/$mingw/include" -DZLIB_LIBRARY="/usr/$mingw/lib/libz.a"
cmake --build --preset mingw -j2

echo "== Every test under wine =="
ctest --preset mingw

exe=build/mingw/sheetpak.exe
prompt="Hit any key or click on the screen to exit."
usage_end="         sheetpak 1 87200 zelda.smc AllGFX.bin"
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Runs sheetpak.exe without arguments with the given standard input: the usage
# text, no prompt, no wait. The checks here accept exit status 0 or 1 from the
# failed run; a status from timeout (124 and up) means that the run hung.
check_without_console() {
  local what="$1" output status=0
  output="$(timeout 60 wine "$exe" 2>&1 | tr -d '\r')" || status=$?
  if [ "$status" -ne 0 ] && [ "$status" -ne 1 ]; then
    fail "standard input from $what: exit status $status"
  elif ! grep -qxF -- "$usage_end" <<<"$output"; then
    fail "standard input from $what: no usage text in: $output"
  elif grep -qF -- "$prompt" <<<"$output"; then
    fail "standard input from $what: the exit prompt appeared"
  else
    echo "ok: standard input from $what, no prompt"
  fi
}

echo "== The zip =="
rm -f build/mingw/sheetpak-*-win64.zip
cpack --preset mingw
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/mingw/CMakeCache.txt)"
zip="build/mingw/sheetpak-$version-win64.zip"
if [ ! -f "$zip" ]; then
  fail "cpack made no $zip"
else
  listed="$(unzip -Z1 "$zip" | LC_ALL=C sort)"
  if [ "$listed" != $'LICENSE\nREADME.md\nsheetpak.exe' ]; then
    fail "the zip holds: $listed"
  fi
  unzip -q "$zip" -d "$scratch/unzipped"
  status=0
  output="$(timeout 60 wine "$scratch/unzipped/sheetpak.exe" --version </dev/null 2>&1 | tr -d '\r')" || status=$?
  if [ "$status" -ne 0 ] || [ "$(tail -n 1 <<<"$output")" != "sheetpak $version" ]; then
    fail "sheetpak.exe --version from the zip (status $status): $output"
  else
    echo "ok: $zip holds sheetpak.exe, README.md and LICENSE; its --version says sheetpak $version"
  fi
fi

echo "== The program without a console =="
check_without_console /dev/null </dev/null
check_without_console "a pipe" < <(echo x)

# The text a terminal shows for the captured output: the console of wine moves
# the cursor over blanks and redraws with escape sequences.
strip_terminal() {
  perl -pe 's/\e\[(\d*)C/" " x ($1 || 1)/ge; s/\e\[[0-9;?]*[A-Za-z]//g; s/\e\][^\a]*\a//g; s/\r//g' "$1"
}

# Runs sheetpak.exe without arguments on a console: script gives wine a
# pseudo-terminal, so the program gets a real console. Its keyboard is a named
# pipe that stays open until a key is sent. The usage text and the prompt must
# appear, the run must wait, and one key must end it.
check_prompt_on_console() {
  local keys="$scratch/keys" screen="$scratch/screen" command pid keyboard status=0 seen expected
  mkfifo "$keys"
  command="timeout --foreground 90 wine $(printf '%q' "$exe")"
  timeout 120 script -qfec "$command" /dev/null <"$keys" >"$screen" 2>&1 &
  pid=$!
  exec {keyboard}>"$keys"

  local shown=no
  for _ in $(seq 1 120); do
    if strip_terminal "$screen" | grep -qxF -- "$prompt"; then
      shown=yes
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  local waited=no
  if [ "$shown" = yes ]; then
    sleep 2
    kill -0 "$pid" 2>/dev/null && waited=yes
  fi
  # A run that already ended has closed the pipe: do not die of SIGPIPE then.
  trap '' PIPE
  printf 'x' >&"$keyboard" 2>/dev/null || true
  trap - PIPE
  for _ in $(seq 1 40); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.5
  done
  exec {keyboard}>&-
  wait "$pid" || status=$?

  expected="$(printf '%s\n' \
    "Usage: sheetpak 0 ROMFileName [FileToSaveAs]" \
    "       sheetpak 1 PCHexAddressToInsert ROMFileName [FileToInsert]" \
    "" \
    "Example: sheetpak 0 zelda.smc AllGFX.bin" \
    "$usage_end" \
    "" \
    "$prompt")"
  seen="$(strip_terminal "$screen" | sed -e 's/[[:space:]]*$//')"
  if [ "$shown" = no ]; then
    fail "the prompt did not appear on the console: $seen"
  elif [ "$waited" = no ]; then
    fail "the run on the console ended without waiting for a key"
  elif [ "$status" -ne 0 ] && [ "$status" -ne 1 ]; then
    fail "the run on the console did not end after a key (status $status)"
  elif [ "${seen%"$expected"*}" = "$seen" ] || [ -n "${seen#*"$expected"}" ]; then
    fail "the console did not show the usage text and then the prompt: $seen"
  else
    echo "ok: the prompt appeared on the console, waited, and a key ended the run"
  fi
}

echo "== The exit prompt on a console =="
check_prompt_on_console

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) of sheetpak.exe failed."
  exit 1
fi
echo "Windows CI passed."
