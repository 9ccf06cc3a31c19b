#!/bin/sh
# Lays out a build products folder as Xcode leaves it after building an iOS
# app, with real Mach-O files made by the machine's LLVM:
#   OUTDIR/App.app/App         fat executable: arm64 iOS 9.0 and x86_64 simulator 9.0
#   OUTDIR/App.app/Info.plist  XML: com.example.App, App, version 1.0 (42)
#   OUTDIR/App.app.dSYM        dsymutil bundle of the executable
# Matching build settings: BUILT_PRODUCTS_DIR=OUTDIR EXECUTABLE_PATH=App.app/App
# INFOPLIST_PATH=App.app/Info.plist DWARF_DSYM_FOLDER_PATH=OUTDIR
# DWARF_DSYM_FILE_NAME=App.app.dSYM.
# Prints nothing but errors; exits non-zero on failure.
set -eu

if [ $# -ne 1 ]; then
  echo "usage: $0 OUTDIR" >&2
  exit 2
fi
out=$1
mkdir -p "$out/App.app"
out=$(cd "$out" && pwd)

# Object files stay until dsymutil has read their debug information.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cat >"$work/main.c" <<'SOURCE'
int sampleAppLaunchCount = 0;
int main(void) { return sampleAppLaunchCount; }
SOURCE

clang-14 -target arm64-apple-ios9.0 -g -c "$work/main.c" -o "$work/arm64.o"
clang-14 -target x86_64-apple-ios9.0-simulator -g -c "$work/main.c" -o "$work/x86_64.o"
ld64.lld-14 -arch arm64 -platform_version ios 9.0 14.0 -e _main "$work/arm64.o" -o "$work/App-arm64"
ld64.lld-14 -arch x86_64 -platform_version ios-simulator 9.0 14.0 -e _main "$work/x86_64.o" \
  -o "$work/App-x86_64"
mkdir -p "$work/fat"
llvm-lipo-14 -create "$work/App-arm64" "$work/App-x86_64" -output "$work/fat/App"

# dsymutil splits a fat file with `lipo`.
mkdir -p "$work/bin"
ln -s "$(command -v llvm-lipo-14)" "$work/bin/lipo"
rm -rf "$out/App.app.dSYM"
PATH="$work/bin:$PATH" dsymutil-14 "$work/fat/App" -o "$out/App.app.dSYM" >/dev/null
cp "$work/fat/App" "$out/App.app/App"

cat >"$out/App.app/Info.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>CFBundleIdentifier</key>
	<string>com.example.App</string>
	<key>CFBundleName</key>
	<string>App</string>
	<key>CFBundleDisplayName</key>
	<string>App</string>
	<key>CFBundleShortVersionString</key>
	<string>1.0</string>
	<key>CFBundleVersion</key>
	<string>42</string>
</dict>
</plist>
PLIST
