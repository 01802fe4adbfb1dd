#!/usr/bin/env bash
# Builds every release artefact into dist/ from a clean release build:
#   dist/tq8flash_<version>_<arch>.deb      the Debian package
#   dist/TQ8Flash-<version>-win64.zip       the portable Windows folder
#   dist/TQ8Flash-<version>-setup.exe       the Windows installer
# Usage: bash scripts/release.sh [deb|windows]   (no argument: everything)
#
# Building twice from the same commit gives the same bytes: times come from the commit
# (SOURCE_DATE_EPOCH), paths of the checkout are kept out of the binaries, and the
# release builds start from empty folders.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"

what="${1:-all}"
case "$what" in
  all | deb | windows) ;;
  *) echo "usage: bash scripts/release.sh [deb|windows]" >&2; exit 2 ;;
esac

SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || true)"
if [ -z "$SOURCE_DATE_EPOCH" ]; then
  echo "release: not a git checkout; the commit time dates the release" >&2
  exit 1
fi
export SOURCE_DATE_EPOCH
echo "release: dated $(date -u -d "@$SOURCE_DATE_EPOCH" "+%F %T") UTC, the time of commit $(git rev-parse --short HEAD)"
export TZ=UTC LC_ALL=C.UTF-8
umask 022
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release: warning: the work tree differs from commit $(git rev-parse --short HEAD)" >&2
fi

jobs="$(nproc)"
[ "$jobs" -le 2 ] || jobs=2
launcher=()
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$TQ8_ROOT"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi

# Hardened as Debian builds its own packages; the checkout's path maps to ".".
release_flags="-O2 -fstack-protector-strong -D_FORTIFY_SOURCE=2 -ffile-prefix-map=$TQ8_ROOT=."
common=(-DCMAKE_BUILD_TYPE=Release -DTQ8_TESTS=OFF -DTQ8_BENCH=OFF -DTQ8_WERROR=ON
        -DTQ8_SOURCE_TREE_EXAMPLES=OFF "${launcher[@]}")

mkdir -p dist

build_deb() {
  local dir=build/release-native
  rm -rf "$dir"
  cmake -S . -B "$dir" -G "Unix Makefiles" "${common[@]}" -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_CXX_FLAGS_RELEASE="$release_flags -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELEASE="$release_flags -DNDEBUG" \
    -DCMAKE_EXE_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" \
    -DCMAKE_SHARED_LINKER_FLAGS="-Wl,-z,relro -Wl,-z,now" >/dev/null
  cmake --build "$dir" -j "$jobs" --target tq8flash tq8sim vldebug tq8_package_docs
  (cd "$dir" && cpack -G DEB -B "$TQ8_ROOT/$dir/cpack" >/dev/null)
  rm -f dist/tq8flash_*.deb
  cp "$dir"/cpack/tq8flash_*.deb dist/
}

# The zip and the installer ship the same folder. Executables are linked statically
# (no MinGW runtime DLL beside them) and without a link time stamp. The windows-release
# preset compiles with the same flags, locale (ccache counts LC_ALL in) and unity sources:
# the tests run what ships, and in a test run ccache serves this build from that one.
build_windows() {
  local dir=build/release-windows
  rm -rf "$dir"
  cmake -S . -B "$dir" -G "Unix Makefiles" "${common[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$TQ8_ROOT/cmake/mingw-w64.cmake" -DCMAKE_UNITY_BUILD=ON \
    -DCMAKE_CXX_FLAGS_RELEASE="-O2 -ffile-prefix-map=$TQ8_ROOT=. -DNDEBUG" \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -ffile-prefix-map=$TQ8_ROOT=. -DNDEBUG" \
    -DCMAKE_EXE_LINKER_FLAGS="-s -Wl,--no-insert-timestamp" \
    -DCMAKE_SHARED_LINKER_FLAGS="-s -Wl,--no-insert-timestamp" >/dev/null
  cmake --build "$dir" -j "$jobs"
  local version
  version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
  local stage="$TQ8_ROOT/$dir/stage"
  local folder="$stage/TQ8Flash"
  cmake --install "$dir" --prefix "$folder" >/dev/null

  local binary runtime=0
  for binary in "$folder"/*.exe "$folder"/*.dll "$folder"/*.Dll; do
    [ -f "$binary" ] || continue
    echo "release: $(basename "$binary") imports" \
      "$(x86_64-w64-mingw32-objdump -p "$binary" | sed -n 's/^\s*DLL Name: //p' | sort | tr '\n' ' ')"
    if x86_64-w64-mingw32-objdump -p "$binary" |
        grep -qiE 'DLL Name: (libstdc\+\+|libgcc|libwinpthread|libssp)'; then
      echo "release: $(basename "$binary") needs a MinGW runtime DLL" >&2
      runtime=1
    fi
  done
  [ "$runtime" -eq 0 ] || exit 1

  find "$folder" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  local zip="$TQ8_ROOT/dist/TQ8Flash-$version-win64.zip"
  rm -f "$TQ8_ROOT"/dist/TQ8Flash-*-win64.zip "$TQ8_ROOT"/dist/TQ8Flash-*-setup.exe
  # Files, and an entry of its own for each empty folder (trusted-keys): the zip holds the
  # folders that nothing fills yet, and no others.
  (cd "$stage" && find TQ8Flash \( -type f -o -type d -empty \) | LC_ALL=C sort |
    zip -X -q -9 "$zip" -@)

  # The uninstaller deletes what the installer wrote, one line per file and folder.
  local list="$stage/uninstall-files.nsh" path
  : >"$list"
  while read -r path; do
    printf 'Delete "$INSTDIR\\%s"\n' "${path//\//\\}" >>"$list"
  done < <(cd "$folder" && find . -type f -printf '%P\n' | LC_ALL=C sort)
  while read -r path; do
    printf 'RMDir "$INSTDIR\\%s"\n' "${path//\//\\}" >>"$list"
  done < <(cd "$folder" && find . -mindepth 1 -type d -printf '%P\n' | LC_ALL=C sort -r)

  local main=tq8flash-cli.exe
  [ ! -f "$folder/TQ8Flash.exe" ] || main=TQ8Flash.exe
  makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DSTAGE="$folder" -DMAIN_PROGRAM="$main" \
    -DOUTFILE="$TQ8_ROOT/dist/TQ8Flash-$version-setup.exe" packaging/windows/tq8flash.nsi
}

case "$what" in
  all) build_deb && build_windows ;;
  deb) build_deb ;;
  windows) build_windows ;;
esac

echo "release: artefacts of $(git rev-parse --short HEAD) in dist/"
(cd dist && sha256sum -- *)
