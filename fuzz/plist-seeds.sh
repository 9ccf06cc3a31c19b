#!/bin/sh
# Fills OUTDIR with seed inputs for fuzz_plist: an XML Info.plist with a
# value of every kind, one that hides closing tags in an internal DTD subset
# (which the parser skips whole), one of numbers, dates and data in the
# forms Apple's reader takes, one in UTF-16, and four binary lists: a nested
# one, one whose array is shared by two references, a long array and one
# with a NUL in its keys.
set -eu
if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out"
cat >"$out/info.xml" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- a comment -->
<dict>
	<key>CFBundleIdentifier</key>
	<string>com.example.App</string>
	<key>CFBundleVersion</key>
	<string>42</string>
	<key>Flags</key>
	<array><true/><false/><integer>-3</integer><real>1.5</real><data>AAEC</data>
	<date>2020-01-01T00:00:00Z</date><dict/><array/></array>
</dict>
</plist>
PLIST
cat >"$out/subset.xml" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict><key>a</key>
<array><array><!DOCTYPE x [ </array></array> ]><array><string>x</string></array></array></array>
</dict></plist>
PLIST
cat >"$out/numbers.xml" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array><integer>010</integer><integer> -0x1F</integer>
<integer>18446744073709551615</integer><integer>-9223372036854775808</integer>
<real>-1.5e3</real><real>nan</real><date>1900-01-01T00:00:00Z</date><data>AAE=</data></array></plist>
PLIST
# UTF-16 with its byte-order mark, little-endian.
perl -e 'use Encode; print encode("UTF-16LE", "\x{FEFF}<plist version=\"1.0\"><dict>" .
  "<key>\x{E9}</key><string>\x{20AC}\x{1F600}</string></dict></plist>")' >"$out/utf16.xml"
# Binary lists, with 1-byte (or for the long array 2-byte) offsets and
# references: {"a": ["x"]}; {"a": [A, A]} with A = ["x"] shared; an array of
# 1,000 integers, whose count follows its marker; and {"a\0x": 1, "a\0y": 2},
# whose keys differ only after a NUL.
perl -e '
  sub bplist { my ($width, @objects) = @_; my $b = "bplist00"; my @offsets;
    for my $o (@objects) { push @offsets, length $b; $b .= $o; }
    my $table = length $b; my $number = $width == 1 ? "C" : "n";
    $b .= pack($number, $_) for @offsets;
    $b .= "\0" x 6 . pack("CC", $width, $width) . pack("Q>Q>Q>", scalar @objects, 0, $table); $b; }
  sub seed { open my $f, ">:raw", "$ARGV[0]/$_[0]" or die; print $f $_[1]; }
  seed("nested.bplist", bplist(1, pack("CCC", 0xD1, 1, 2), "\x51a", pack("CC", 0xA1, 3), "\x51x"));
  seed("shared.bplist", bplist(1, pack("CCC", 0xD1, 1, 2), "\x51a", pack("CCC", 0xA2, 3, 3),
                               pack("CC", 0xA1, 4), "\x51x"));
  seed("long-array.bplist", bplist(2, pack("CCn", 0xAF, 0x11, 1000) . pack("n*", 1 .. 1000),
                                   map { pack("Cn", 0x11, $_) } 0 .. 999));
  seed("nul-key.bplist", bplist(1, pack("C5", 0xD2, 1, 2, 3, 4), "\x53a\0x", "\x53a\0y",
                                "\x10\x01", "\x10\x02"));' "$out"
