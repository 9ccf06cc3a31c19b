#!/bin/sh
# Fills OUTDIR with seed inputs for fuzz_plist: an XML Info.plist with a
# value of every kind, one that hides closing tags in an internal DTD subset
# (which the parser skips whole), and two small binary lists, one nested and
# one whose array is shared by two references.
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
# Binary lists: {"a": ["x"]} and {"a": [A, A]} with A = ["x"] shared.
perl -e '
  sub bplist { my @objects = @_; my $b = "bplist00"; my @offsets;
    for my $o (@objects) { push @offsets, length $b; $b .= $o; }
    my $table = length $b; $b .= pack("C", $_) for @offsets;
    $b .= "\0" x 6 . pack("CC", 1, 1) . pack("Q>Q>Q>", scalar @objects, 0, $table); $b; }
  open my $f, ">:raw", "$ARGV[0]/nested.bplist" or die;
  print $f bplist(pack("CCC", 0xD1, 1, 2), "\x51a", pack("CC", 0xA1, 3), "\x51x");
  open $f, ">:raw", "$ARGV[0]/shared.bplist" or die;
  print $f bplist(pack("CCC", 0xD1, 1, 2), "\x51a", pack("CCC", 0xA2, 3, 3), pack("CC", 0xA1, 4),
                  "\x51x");' "$out"
