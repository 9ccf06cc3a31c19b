#!/usr/bin/env bash
# Fails when a C or C++ file outside the folders that may talk to the
# operating system includes anything but a C++ standard header or one of the
# project's own headers: POSIX, Linux, libcurl, GIO/GLib, libplist, OpenSSL,
# libuuid, compression and other third-party headers belong to platform/ (or
# to the archiver, the stand-ins, the tests, the benchmarks and the fuzz
# targets). A C standard header is also refused in its C form (<stdio.h>):
# its C++ name (<cstdio>) says the same, and the C form is where the
# operating system's extensions come in unnoticed.
set -euo pipefail
cd "$(dirname "$0")/.."

allowed_folders=(platform archiver stand-ins tests bench fuzz)

cxx_headers=" algorithm any array atomic barrier bit bitset charconv chrono compare complex
  concepts condition_variable coroutine deque exception execution expected filesystem format
  forward_list fstream functional future generator initializer_list iomanip ios iosfwd iostream
  istream iterator latch limits list locale map mdspan memory memory_resource mutex new numbers
  numeric optional ostream print queue random ranges ratio regex scoped_allocator semaphore set
  shared_mutex source_location span spanstream sstream stack stacktrace stdexcept stdfloat
  stop_token streambuf string string_view syncstream system_error thread tuple type_traits
  typeindex typeinfo unordered_map unordered_set utility valarray variant vector version
  cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp csignal cstdarg
  cstddef cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype "
cxx_headers=$(echo $cxx_headers)

c_headers=" assert.h complex.h ctype.h errno.h fenv.h float.h inttypes.h iso646.h limits.h
  locale.h math.h setjmp.h stdalign.h stdarg.h stdatomic.h stdbool.h stddef.h stdint.h stdio.h
  stdlib.h stdnoreturn.h string.h tgmath.h threads.h time.h uchar.h wchar.h wctype.h "
c_headers=$(echo $c_headers)

# Prints what kind of header NAME is when the layers above platform/ may not
# include it; prints nothing for a C++ standard header.
refused_kind() {
  local name=$1
  case " $cxx_headers " in *" $name "*) return 0 ;; esac
  case $name in
    linux/* | asm/* | asm-generic/*) echo "a Linux header" ;;
    curl/*) echo "a libcurl header" ;;
    gio/* | glib* | gobject/* | gmodule*) echo "a GIO/GLib header" ;;
    plist/*) echo "a libplist header" ;;
    openssl/*) echo "an OpenSSL header" ;;
    uuid/*) echo "a libuuid header" ;;
    zlib.h | zconf.h | libdeflate.h | zip* | archive* | bzlib.h | lzma.h | lzma/* | zstd.h)
      echo "a compression library header" ;;
    unistd.h | fcntl.h | sys/* | pthread.h | signal.h | dirent.h | poll.h | spawn.h | netinet/* | \
      arpa/* | net/* | netdb.h | sched.h | semaphore.h | termios.h | pwd.h | grp.h | dlfcn.h | \
      glob.h | fnmatch.h | regex.h | libgen.h | strings.h | syslog.h | utime.h | aio.h | mqueue.h | \
      wordexp.h | iconv.h | langinfo.h | ftw.h | fts.h | ifaddrs.h | err.h | alloca.h | malloc.h | \
      endian.h | byteswap.h | execinfo.h | paths.h | ucontext.h | elf.h | link.h)
      echo "an operating-system (POSIX) header" ;;
    gnu/* | bits/* | features.h) echo "a C library header" ;;
    *)
      if [[ " $c_headers " == *" $name "* ]]; then
        local cxx_name="c${name%.h}"
        if [[ " $cxx_headers " == *" $cxx_name "* ]]; then
          echo "a C header in its C form (use <$cxx_name>)"
        else
          echo "a C header"
        fi
      else
        echo "not a C++ standard header (third-party or operating-system)"
      fi
      ;;
  esac
}

# True when NAME, included from FILE, is one of the project's own headers
# (beside FILE, from the root, or generated from NAME.in).
is_project_header() {
  local file=$1 name=$2
  [ -f "$(dirname "$file")/$name" ] || [ -f "$name" ] || [ -f "$name.in" ]
}

is_allowed_folder() {
  local folder
  for folder in "${allowed_folders[@]}"; do
    case $1 in "$folder"/*) return 0 ;; esac
  done
  return 1
}

directive='^[[:space:]]*#[[:space:]]*(include|include_next|import)([[:space:]]*)(.*)$'
probe='__has_include(_next)?[[:space:]]*\([[:space:]]*(<[^>]*>|"[^"]*")'
checked=0
refused=0
refuse() {  # FILE LINE WHAT
  echo "$1:$2: $3" >&2
  refused=$((refused + 1))
}

# Checks the header written as <NAME> or "NAME" at FILE:LINE.
check_header() {
  local file=$1 line=$2 written=$3 name kind
  name=${written:1:${#written}-2}
  is_project_header "$file" "$name" && return 0
  kind=$(refused_kind "$name")
  [ -z "$kind" ] || refuse "$file" "$line" "$written is $kind; only ${allowed_folders[*]/%//} may include it"
}

while IFS= read -r -d '' file; do
  [ -f "$file" ] || continue
  is_allowed_folder "$file" && continue
  checked=$((checked + 1))
  while IFS= read -r hit; do
    line=${hit%%:*}
    text=${hit#*:}
    if [[ $text =~ $directive ]]; then
      rest=${BASH_REMATCH[3]}
      if [[ $rest =~ ^(\<[^\>]*\>|\"[^\"]*\") ]]; then
        check_header "$file" "$line" "${BASH_REMATCH[1]}"
      else
        refuse "$file" "$line" "an include through a macro cannot be checked; name the header"
      fi
    elif [[ $text =~ $probe ]]; then
      check_header "$file" "$line" "${BASH_REMATCH[2]}"
    fi
  done < <(grep -nE '^[[:space:]]*#[[:space:]]*(include|include_next|import)|__has_include' "$file" || true)
done < <(git ls-files -z --cached --others --exclude-standard -- \
  '*.c' '*.cc' '*.cpp' '*.cxx' '*.h' '*.hh' '*.hpp' '*.hxx' '*.inc' '*.ipp' '*.tpp' '*.h.in' '*.mm' '*.m')

if [ "$refused" -ne 0 ]; then
  echo "check-headers: $refused include(s) of operating-system or third-party headers outside ${allowed_folders[*]/%//}" >&2
  exit 1
fi
echo "check-headers: the $checked files outside ${allowed_folders[*]/%//} include only C++ standard and project headers"
