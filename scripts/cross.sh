#!/usr/bin/env bash
# Builds the plug-ins for the other targets and proves what each can:
#   linux-i386     the whole unit and ABI suite under qemu-i386 (exact 32-bit records by running code)
#   windows-x86_64 the DLLs and the suite under wine
#   windows-i686   the host's own platform: compile-time layout checks, plain C entry types,
#                  and each DLL's export table and imports read with objdump
# Usage: scripts/cross.sh test | dist [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS="${JOBS:-$(nproc)}"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$PWD/build-cross/wine-prefix}"

configure() { # name toolchain tests(ON/OFF)
  cmake -S . -B "build-cross/$1" --toolchain "cmake/toolchains/$2.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DQZ_BUILD_TOOLS=OFF -DQZ_BUILD_BENCH=OFF -DQZ_BUILD_TESTS="$3" -DQZ_ONLY="${QZ_ONLY:-}" >/dev/null
  cmake --build "build-cross/$1" -j "$JOBS"
}

# Each DLL exports exactly the two entry points, undecorated, and imports
# nothing but the system's own DLLs.
check_dlls() { # folder objdump
  local dir="$1" objdump="$2" failed=0
  for dll in "$dir"/*.dll; do
    local exports imports
    exports=$("$objdump" -p "$dll" | awk '/\[Ordinal\/Name Pointer\] Table/{on=1;next} on&&/^[ \t]*\[/{print $NF} on&&!/^[ \t]*\[/{on=0}' | sort | tr '\n' ' ')
    if [ "$exports" != "getModuleProperties makeModule " ]; then
      echo "FAIL $dll exports: $exports"; failed=1
    fi
    imports=$("$objdump" -p "$dll" | awk '/DLL Name:/{print tolower($3)}' | sort -u)
    for imp in $imports; do
      case "$imp" in
        kernel32.dll|msvcrt.dll|gdi32.dll|user32.dll|api-ms-win-*) ;;
        *) echo "FAIL $dll imports $imp, which is not a system DLL"; failed=1 ;;
      esac
    done
  done
  [ "$failed" -eq 0 ] && echo "ok: $(ls "$dir"/*.dll | wc -l) DLLs in $dir export exactly the two entry points and import only system DLLs"
  return "$failed"
}

run_tests() {
  configure linux-i386 linux-i386 ON
  ctest --test-dir build-cross/linux-i386 -j "$JOBS" --output-on-failure
  configure windows-x86_64 windows-x86_64 ON
  check_dlls build-cross/windows-x86_64/plugins x86_64-w64-mingw32-objdump
  ctest --test-dir build-cross/windows-x86_64 -j "$JOBS" --output-on-failure
  configure windows-i686 windows-i686 OFF
  check_dlls build-cross/windows-i686/plugins i686-w64-mingw32-objdump
}

dist() {
  local out="${1:-dist}"
  for target in linux-i386 windows-x86_64 windows-i686; do
    configure "$target" "$target" OFF
    mkdir -p "$out/$target"
    cp build-cross/$target/plugins/QZ_* "$out/$target/"
    rm -f "$out/$target"/*.a
  done
  if [ -d build/plugins ]; then mkdir -p "$out/linux-x86_64"; cp build/plugins/QZ_*.so "$out/linux-x86_64/"; fi
  cp scripts/INSTALL.txt "$out/INSTALL.txt"
  echo "plug-ins for each platform in $out/"
}

case "${1:-test}" in
  test) run_tests ;;
  dist) dist "${2:-dist}" ;;
  *) echo "usage: $0 test | dist [OUTDIR]" >&2; exit 2 ;;
esac
