#!/bin/sh
# Fills OUTDIR with seed inputs for fuzz_macho: real Mach-O files made by
# the machine's LLVM (thin arm64 iOS, x86_64 macOS 10.6 and 10.15, x86_64
# simulator, arm64_32 watchOS, a fat file of several, the same fat file with
# its table out of offset order and as a 64-bit fat file, the DWARF file of
# a dsymutil bundle) and the Apple-built files of the shared corpus.
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf 'int seed = 1;\nint main(void) { return seed; }\n' >"$work/main.c"
build() { # NAME CLANG-TARGET ARCH PLATFORM MIN SDK
  clang-14 -target "$2" -g -c "$work/main.c" -o "$work/$1.o"
  ld64.lld-14 -arch "$3" -platform_version "$4" "$5" "$6" -e _main "$work/$1.o" -o "$work/$1"
  cp "$work/$1" "$out/$1"
}
build ios arm64-apple-ios9.0 arm64 ios 9.0 14.0
build mac106 x86_64-apple-macos10.6 x86_64 macos 10.6.8 11.0
build mac1015 x86_64-apple-macos10.15 x86_64 macos 10.15 11.0
build simulator x86_64-apple-ios9.0-simulator x86_64 ios-simulator 9.0 14.0
build watch arm64_32-apple-watchos5.0 arm64_32 watchos 5.0 7.0
llvm-lipo-14 -create "$work/ios" "$work/simulator" "$work/watch" -output "$work/fat"
cp "$work/fat" "$out/fat"
# The table's first and last entries swapped: slices out of offset order.
perl -e '
  local $/; open my $in, "<:raw", $ARGV[0] or die; my $b = <$in>;
  my $n = unpack("N", substr($b, 4, 4));
  my ($first, $last) = (substr($b, 8, 20), substr($b, 8 + 20 * ($n - 1), 20));
  substr($b, 8, 20) = $last; substr($b, 8 + 20 * ($n - 1), 20) = $first;
  open my $out, ">:raw", $ARGV[1] or die; print $out $b;' "$work/fat" "$out/fat-reordered"
# A 64-bit fat table (magic 0xcafebabf, fat_arch_64 entries) over the same
# slices; the wider table fits in the room before the first slice.
perl -e '
  local $/; open my $in, "<:raw", $ARGV[0] or die; my $b = <$in>;
  my $n = unpack("N", substr($b, 4, 4)); my $t = "";
  for my $i (0 .. $n - 1) {
    my ($c, $s, $o, $z, $a) = unpack("N5", substr($b, 8 + 20 * $i, 20));
    $t .= pack("NNQ>Q>NN", $c, $s, $o, $z, $a, 0);
  }
  substr($b, 0, 8 + length $t) = pack("NN", 0xcafebabf, $n) . $t;
  open my $out, ">:raw", $ARGV[1] or die; print $out $b;' "$work/fat" "$out/fat64"
mkdir -p "$work/bin"
ln -s "$(command -v llvm-lipo-14)" "$work/bin/lipo"
PATH="$work/bin:$PATH" dsymutil-14 "$work/fat" -o "$work/fat.dSYM" >/dev/null
cp "$work/fat.dSYM/Contents/Resources/DWARF/fat" "$out/fat-dwarf"

# The Apple-built files lie in the shared folder beside the repository.
corpus=$(cd "$(dirname "$0")/.." && pwd)/../shared/corpus/macho
if [ -d "$corpus" ]; then
  for file in "$corpus"/*; do
    case $file in *.md) ;; *) cp "$file" "$out/corpus-$(basename "$file")" ;; esac
  done
fi
