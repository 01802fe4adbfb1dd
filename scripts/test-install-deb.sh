#!/usr/bin/env bash
# Installs the Debian package as a production line does, runs the installed programs
# from a folder outside the source tree, removes the package again and checks that
# nothing of it is left. Needs root (dpkg); skipped otherwise, and when a tq8flash
# package is installed already (it would be removed).
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"

if [ "$(id -u)" -ne 0 ]; then
  echo "test-install-deb: skipped, dpkg needs root"
  exit 0
fi
if dpkg-query -W -f='${Status}' tq8flash 2>/dev/null | grep -q 'installed'; then
  echo "test-install-deb: skipped, a tq8flash package is installed already and is left alone"
  exit 0
fi

# scripts/test.sh makes the release once for both install tests.
[ -n "${TQ8_RELEASE_BUILT:-}" ] || bash scripts/release.sh deb >/dev/null
deb="$(ls dist/tq8flash_*.deb)"
version="$(sed -n 's/^project(TQ8Flash VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"

work="$(mktemp -d /tmp/tq8-install-test.XXXXXX)"
cleanup() {
  if dpkg-query -W -f='${Status}' tq8flash 2>/dev/null | grep -q 'installed'; then
    dpkg --purge tq8flash >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

. scripts/checks.sh

# Docker images of Debian leave manual pages out; a production station keeps them.
dpkg --path-include='/usr/share/man/man1/tq8*' -i "$deb" >/dev/null
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/contents"

# Everything below runs with the installed files only: a bare environment, a folder of
# its own and no way back into the source tree.
run() { (cd "$work/run" && env -i PATH=/usr/bin:/bin HOME="$work/home" TMPDIR="$work/tmp" "$@"); }
mkdir -p "$work/run" "$work/home" "$work/tmp"

check "lintian: no errors, no warnings that are not overridden" \
  lintian --fail-on error,warning "$deb"
check "package version is the project version" \
  test "$(dpkg-query -W -f='${Version}' tq8flash)" = "$version"
check "tq8flash --version from /usr/bin" \
  test "$(run tq8flash --version)" = "tq8flash $version"
check "tq8sim --help from /usr/bin" run tq8sim --help
check "the package depends on libgcrypt20" \
  bash -c "dpkg-query -W -f='\${Depends}' tq8flash | grep -qE '(^|, )libgcrypt20( |,|\$)'"
check "/etc/tq8flash/trusted-keys: the package's folder, empty, root's" \
  test "$(stat -c '%U %a' /etc/tq8flash/trusted-keys) $(ls -A /etc/tq8flash/trusted-keys)" = \
    "root 755 "
check "man -w tq8flash" test "$(man -w tq8flash)" = /usr/share/man/man1/tq8flash.1.gz
check "man -w tq8sim" test "$(man -w tq8sim)" = /usr/share/man/man1/tq8sim.1.gz
check "the installed program holds no path of the build" \
  bash -c "! grep -qaF '$TQ8_ROOT' /usr/lib/tq8flash/tq8flash /usr/lib/tq8flash/tq8sim"

check "the manual page of tq8flash describes every command of its --help" \
  bash -c "page=\$(zcat /usr/share/man/man1/tq8flash.1.gz) &&
    for command in \$(tq8flash --help | sed -n '/^Subcommands:/,/^\$/s/^  \([a-z]*\) .*/\1/p'); do
      grep -q \"^\\.SS \\\"tq8flash \$command \" <<<\"\$page\" || { echo \"no \$command\"; exit 1; }
    done"
check "the manual pages name no folder of the build or of its user" \
  bash -c "! zcat /usr/share/man/man1/tq8flash.1.gz /usr/share/man/man1/tq8sim.1.gz |
    grep -qF -e '$TQ8_ROOT' -e '${HOME:-/root}/'"

demo_ok() {
  run env VLDEBUG_LOG="$work/trace.log" VLDEBUG_STDERR=0 tq8flash --trace 3 demo \
    </dev/null >"$work/demo.log" 2>&1 || { cat "$work/demo.log"; return 1; }
  grep -q 'firmware from /usr/share/tq8flash/examples/firmware' "$work/demo.log" ||
    { cat "$work/demo.log"; return 1; }
}
check "tq8flash demo: a complete update of the installed sample firmware" demo_ok
# The trace lines reach the log only through the library in /usr/lib/tq8flash.
check "the debug-output library is found in the private folder" \
  grep -q '^TQ8FLASH: ' "$work/trace.log"

dpkg --purge tq8flash >/dev/null
check "dpkg knows the package no more" \
  bash -c "! dpkg-query -W -f='\${Status}' tq8flash 2>/dev/null | grep -q installed"
leftovers() {
  local path left=0
  while read -r path; do
    case "$path" in
      /etc | /usr | /usr/bin | /usr/lib | /usr/share | /usr/share/doc | /usr/share/man | \
        /usr/share/man/man1 | /usr/share/lintian | /usr/share/lintian/overrides) continue ;;
    esac
    if [ -e "$path" ] || [ -L "$path" ]; then
      echo "left behind: $path"
      left=1
    fi
  done <"$work/contents"
  return "$left"
}
check "nothing of the package is left" leftovers

echo "test-install-deb: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
