#!/usr/bin/env bash
# The main job, shown on a sample app: a build made with the machine's LLVM
# is uploaded by `run` in build-server mode to the stand-in web service, then
# handed to the desktop-app stand-in in interactive mode; last, two broken
# builds are refused. Everything is written under a temporary folder, which
# is removed at the end, and nothing is left running.
# usage: run-demo.sh BUILD_DIR     (exit status 0 when every step went as expected)
set -euo pipefail

build=$(cd "${1:?usage: run-demo.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
run="$build/Brantle.framework/run"
service="$build/stand-ins/service/quorvex-service"
handler="$build/stand-ins/desktop-app/desktop-app"
named_parent="$build/tests/programs/named_parent"
for program in "$run" "$service" "$handler" "$named_parent"; do
  [ -x "$program" ] || { echo "missing $program: build the project first" >&2; exit 2; }
done

demo=$(mktemp -d "${TMPDIR:-/tmp}/run-demo-XXXXXX")
service_pid=""
cleanup() {
  if [ -n "$service_pid" ]; then kill "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$demo"
}
trap cleanup EXIT

failures=0
expect() {  # expect WHAT CONDITION-RESULT
  if [ "$2" = 0 ]; then echo "   ok: $1"; else echo "   FAILED: $1"; failures=$((failures + 1)); fi
}
section() { printf '\n== %s\n' "$1"; }

key=0123456789abcdef0123456789abcdef01234567
secret=$(printf 'b%.0s' $(seq 64))
products="$demo/products"
mkdir -p "$demo/project" "$demo/home" "$demo/xdg-data" "$demo/xdg-config" "$demo/xdg-dirs"

section "A sample app built with LLVM: fat executable, dSYM bundle and Info.plist"
"$root/scripts/build-sample-app.sh" "$products"
(cd "$products" && find . -maxdepth 2 | sort | sed 's/^/   /')
echo "   slices (llvm-dwarfdump --uuid):"
llvm-dwarfdump-14 --uuid "$products/App.app/App" | sed 's/^/     /'

settings=(
  HOME="$demo/home" XDG_CACHE_HOME="$demo/home/.cache" XDG_DATA_HOME="$demo/xdg-data"
  XDG_CONFIG_HOME="$demo/xdg-config" XDG_DATA_DIRS="$demo/xdg-dirs" PATH=/usr/bin:/bin
  BUILT_PRODUCTS_DIR="$products" INFOPLIST_PATH=App.app/Info.plist EXECUTABLE_PATH=App.app/App
  WRAPPER_NAME=App.app PRODUCT_NAME=App DWARF_DSYM_FOLDER_PATH="$products"
  DWARF_DSYM_FILE_NAME=App.app.dSYM SRCROOT="$demo/project" PLATFORM_NAME=iphoneos
  SDKROOT=/sdk/iPhoneOS.sdk PROJECT_FILE_PATH="$demo/project/App.xcodeproj" CONFIGURATION=Release
  TARGETED_DEVICE_FAMILY=1 IPHONEOS_DEPLOYMENT_TARGET=9.0 XCODE_VERSION_ACTUAL=1500
)

section "The stand-in web service on 127.0.0.1"
"$service" --port 0 --data "$demo/service-data" >"$demo/service.out" 2>"$demo/service.err" &
service_pid=$!
for _ in $(seq 100); do grep -q '^port ' "$demo/service.out" 2>/dev/null && break; sleep 0.05; done
port=$(sed -n 's/^port //p' "$demo/service.out")
[ -n "$port" ] || { echo "the service did not start" >&2; cat "$demo/service.err" >&2; exit 1; }
base="http://127.0.0.1:$port"
echo "   listening at $base"

section "Build-server mode: run under a parent named xcsbuildd"
set +e
(cd "$demo/project" && env -i "${settings[@]}" QUORVEX_API_BASE_URL="$base" \
  QUORVEX_CODE_MAPPING_BASE_URL="$base" "$named_parent" xcsbuildd "$run" "$key" "$secret") \
  2>"$demo/build-server.log"
status=$?
set -e
sed 's/^/   | /' "$demo/build-server.log"
echo "   exit status $status"
expect "the upload succeeded (status 0)" $([ $status = 0 ]; echo $?)
expect "one \"uploaded\" line" $([ "$(grep -c 'App.app.dSYM uploaded statusCode 201' "$demo/build-server.log")" = 1 ]; echo $?)
expect "no zip left beside the dSYM" $(! ls "$products"/*.zip >/dev/null 2>&1; echo $?)
echo "   what the service stored:"
for record in "$demo/service-data"/*.json; do
  echo "     $(basename "$record")"
  # Each form field is stored as "name": ..., then "value": ... on the next line.
  awk -F'"' '/"path":/ { print "       path " $4 }
             /"name":/ { name = $4 }
             /"value":/ && name != "" { print "       " name " = " $4; name = "" }' "$record"
done
zip=$(ls "$demo/service-data"/*-upload.zip | head -n 1)
echo "   the uploaded zip ($(basename "$zip")):"
unzip -l "$zip" | sed 's/^/     /' 
expect "the zip's top entry is App.app.dSYM/" $([ "$(unzip -Z1 "$zip" | sed -n 1p)" = App.app.dSYM/ ]; echo $?)
for uuid in $(llvm-dwarfdump-14 --uuid "$products/App.app/App" | awk '{print tolower($2)}' | tr -d -); do
  expect "uuid $uuid uploaded" $(grep -rq "$uuid" "$demo/service-data"; echo $?)
done

section "Interactive mode: the desktop-app stand-in registered in a private XDG folder"
mkdir -p "$demo/xdg-data/applications"
sed -e "s|@DESKTOP_APP@|$handler|" -e "s|@RECORD_FILE@|$demo/received-urls.txt|" \
  -e "s|@BUNDLE_VERSION@|203|" "$root/stand-ins/desktop-app/quorvex-desktop-app.desktop.in" \
  >"$demo/xdg-data/applications/quorvex-desktop-app.desktop"
printf '[Default Applications]\nx-scheme-handler/quorvex=quorvex-desktop-app.desktop\n' \
  >"$demo/xdg-config/mimeapps.list"
set +e
(cd "$demo/project" && env -i "${settings[@]}" "$run" "$key" "$secret") 2>"$demo/interactive.log"
status=$?
set -e
sed 's/^/   | /' "$demo/interactive.log"
echo "   exit status $status"
expect "the hand-off succeeded (status 0)" $([ $status = 0 ]; echo $?)
for _ in $(seq 100); do [ -s "$demo/received-urls.txt" ] && break; sleep 0.05; done
echo "   the desktop app received:"
sed 's/^/     /' "$demo/received-urls.txt" 2>/dev/null || true
expect "a quorvex://xcode? URL naming Build.plist" \
  $(grep -q '^quorvex://xcode?QUORVEX_BUILD_PLIST_PATH=' "$demo/received-urls.txt" 2>/dev/null; echo $?)
echo "   the build cache:"
(cd "$demo/home/.cache" && find . -maxdepth 6 -not -path '*/Contents/*' | sort | sed 's/^/     /')

section "A broken build: the dSYM is missing"
mv "$products/App.app.dSYM" "$demo/moved.dSYM"
set +e
(cd "$demo/project" && env -i "${settings[@]}" "$run" "$key") 2>"$demo/broken-dsym.log"
status=$?
set -e
sed 's/^/   | /' "$demo/broken-dsym.log"
expect "refused with \"dSYM Error\" and status 1" \
  $([ $status = 1 ] && grep -q 'Brantle: dSYM Error' "$demo/broken-dsym.log"; echo $?)
mv "$demo/moved.dSYM" "$products/App.app.dSYM"

section "A broken build: deployment target iOS 4.3"
printf 'int main(void) { return 0; }\n' >"$demo/old.c"
clang-14 -target arm64-apple-ios4.3 -c "$demo/old.c" -o "$demo/old.o" 2>/dev/null
ld64.lld-14 -arch arm64 -platform_version ios 4.3 14.0 -e _main "$demo/old.o" \
  -o "$products/App.app/App" 2>/dev/null
set +e
(cd "$demo/project" && env -i "${settings[@]}" "$run" "$key") 2>"$demo/broken-target.log"
status=$?
set -e
sed 's/^/   | /' "$demo/broken-target.log"
expect "refused with \"Unsupported iOS Version\" and status 1" \
  $([ $status = 1 ] && grep -q 'Brantle: Unsupported iOS Version' "$demo/broken-target.log"; echo $?)

section "Summary"
if [ $failures = 0 ]; then echo "   every step went as expected"; else echo "   $failures step(s) failed"; fi
[ $failures = 0 ]
