#!/usr/bin/env bash
# Gathers the DWARF sections of object files compiled with -g into one file,
# the real debug information the benchmarks fill their dSYMs with. Each
# section's contents from every object follow one another, as a linker lays
# them out; the file is written under a temporary name and renamed when whole.
#   bench/collect-debug-info.sh OUTPUT OBJECT...
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 OUTPUT OBJECT..." >&2
  exit 2
fi
output=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sections=(debug_info debug_str debug_line debug_abbrev debug_rnglists debug_loclists
  debug_line_str)
index=0
for object in "$@"; do
  index=$((index + 1))
  dumps=()
  for section in "${sections[@]}"; do
    dumps+=(--dump-section ".$section=$work/$section.$index")
  done
  # An object without one of the sections (no location lists, say) only
  # gets a warning for it; its other sections are dumped all the same.
  objcopy "${dumps[@]}" "$object" "$work/copy.o" 2>/dev/null
  rm -f "$work/copy.o"
done
for section in "${sections[@]}"; do
  for ((i = 1; i <= index; i++)); do
    [ ! -f "$work/$section.$i" ] || cat "$work/$section.$i"
  done
done >"$output.partial"
if [ ! -s "$output.partial" ]; then
  rm -f "$output.partial"
  echo "$0: the objects hold no debug information" >&2
  exit 1
fi
mv "$output.partial" "$output"
