#!/usr/bin/env bash
# Builds every release artefact into dist/ from a clean release build:
#   dist/tq8flash_<version>_<arch>.deb      the Debian package
# Usage: bash scripts/release.sh [deb]   (no argument: everything)
#
# Building twice from the same commit gives the same bytes: times come from the commit
# (SOURCE_DATE_EPOCH), paths of the checkout are kept out of the binaries, and the
# release builds start from empty folders.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"

what="${1:-all}"
case "$what" in
  all | deb) ;;
  *) echo "usage: bash scripts/release.sh [deb]" >&2; exit 2 ;;
esac

SOURCE_DATE_EPOCH="$(git log -1 --format=%ct 2>/dev/null || true)"
if [ -z "$SOURCE_DATE_EPOCH" ]; then
  echo "release: not a git checkout; the commit time dates the release" >&2
  exit 1
fi
export SOURCE_DATE_EPOCH
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

case "$what" in
  all | deb) build_deb ;;
esac

echo "release: artefacts of $(git rev-parse --short HEAD) in dist/"
(cd dist && sha256sum -- *)
