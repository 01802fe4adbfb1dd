#!/usr/bin/env bash
# Compares the images that `tq8flash inspect --output` writes for generated S-record files
# with the 0xFF-filled binaries srec_cat makes of the same files over the same span, and
# the printed CRC-32 with zlib's.
# Usage: compare_srec_cat.sh TQ8FLASH SRECGEN
set -euo pipefail
tq8flash="$1"
srecgen="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0

check() {
  local name="$1"
  shift
  local dir="$work/$name"
  mkdir -p "$dir"
  "$srecgen" -o "$dir/$name.MOT" --crc-ini "$dir" --target 0x708 --version 0=1.3.7 "$@" >/dev/null
  local report
  if ! report="$("$tq8flash" inspect --lang en "$dir/$name.MOT" --output "$dir/image.bin")"; then
    echo "FAIL $name: inspect did not verify"
    echo "$report"
    failures=$((failures + 1))
    return
  fi
  local start size crc
  start="$(sed -n 's/^  image *start \(0x[0-9A-F]*\), size \(0x[0-9A-F]*\).*CRC-32 \(0x[0-9A-F]*\)$/\1/p' <<<"$report")"
  size="$(sed -n 's/^  image *start \(0x[0-9A-F]*\), size \(0x[0-9A-F]*\).*CRC-32 \(0x[0-9A-F]*\)$/\2/p' <<<"$report")"
  crc="$(sed -n 's/^  image *start \(0x[0-9A-F]*\), size \(0x[0-9A-F]*\).*CRC-32 \(0x[0-9A-F]*\)$/\3/p' <<<"$report")"
  # srec_cat knows neither SI nor SV records, nor lines ended by CR alone.
  tr '\r' '\n' <"$dir/$name.MOT" | grep -v '^S[IV]' | grep -v '^$' >"$dir/plain.mot"
  local end
  end="$(printf '0x%X' $((start + size)))"
  srec_cat "$dir/plain.mot" -motorola -fill 0xFF "$start" "$end" -offset "-$start" \
    -o "$dir/reference.bin" -binary
  local zcrc
  zcrc="$(python3 -c 'import sys, zlib; print("0x%08X" % zlib.crc32(open(sys.argv[1], "rb").read()))' \
    "$dir/reference.bin")"
  if ! cmp -s "$dir/image.bin" "$dir/reference.bin"; then
    echo "FAIL $name: image differs from srec_cat's ($start, $size)"
    failures=$((failures + 1))
  elif [ "$crc" != "$zcrc" ]; then
    echo "FAIL $name: CRC $crc, zlib $zcrc"
    failures=$((failures + 1))
  else
    echo "ok   $name: start $start, size $size, CRC $crc"
  fi
}

check s1-crlf-16 --type 1 --segment 0x4000:0x3000 --record-length 16 --eol crlf
check s1-lf-32-gaps --type 1 --segment 0x4000:0x2000 --segment 0x9000:0x123 --gaps 17 --eol lf
check s2-cr-32 --type 2 --segment 0x80000:0xC000 --record-length 32 --eol cr
check s2-crlf-unordered --type 2 --segment 0x4000:0x8000 --gaps 9 --shuffle --seed 7
check s3-lf-250 --type 3 --segment 0x4000:0x10000 --record-length 250 --eol lf
check s3-cr-250-unordered --type 3 --segment 0x12345:0x4567 --record-length 250 --eol cr --shuffle
check s3-crlf-16-gaps --type 3 --segment 0x00FFFF00:0x400 --record-length 16 --gaps 5
check single-at-4010 --type 1 --segment 0x4010:16 --record-length 16
check end-at-8000 --type 2 --segment 0x4000:0x4000 --record-length 32
check s1-252 --type 1 --segment 0x4000:0x1000 --record-length 252 --eol crlf

# A checksum that does not verify: non-zero exit, and the image is written all the same.
dir="$work/mismatch"
mkdir -p "$dir"
"$srecgen" -o "$dir/TQ8-PROG.MOT" --type 2 --segment 0x4000:0x800 >/dev/null
printf '[CRC]\r\nTQ8-PROG.MOT=-5\r\n' >"$dir/TQ8-CRC.INI"
if "$tq8flash" inspect --lang en "$dir/TQ8-PROG.MOT" --output "$dir/image.bin" >"$dir/report.txt"; then
  echo "FAIL mismatch: inspect exited 0"
  failures=$((failures + 1))
elif [ "$(stat -c %s "$dir/image.bin" 2>/dev/null)" != 2048 ] || ! grep -q MISMATCH "$dir/report.txt"; then
  echo "FAIL mismatch: image not written or verdict missing"
  failures=$((failures + 1))
else
  echo "ok   mismatch: exit non-zero, image written"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures comparison(s) failed"
  exit 1
fi
