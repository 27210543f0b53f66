#!/usr/bin/env bash
# Installs a Marivue build into a scratch prefix, then checks the installed
# tree the way a user of it would: the files that must (and must not) be
# there, the stand-alone example built with find_package(MarivueJpeg) and
# with pkg-config, its pictures against the installed jpeg-decode, and the
# manual pages against the programs' --help.
set -euo pipefail

while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir) build_dir=$2 ;;
        --source-dir) source_dir=$2 ;;
        --cmake) cmake=$2 ;;
        --cxx) cxx=$2 ;;
        --pkg-config) pkg_config=$2 ;;
        --bindir) bindir=$2 ;;
        --libdir) libdir=$2 ;;
        --includedir) includedir=$2 ;;
        --mandir) mandir=$2 ;;
        --version) version=$2 ;;
        --sanitize) sanitize=$2 ;;
        --desktop) desktop=$2 ;;
        *) echo "install_test.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
    shift 2
done

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/marivue-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fixtures=$source_dir/tests/fixtures/rows

echo "== installing into $prefix"
"$cmake" --install "$build_dir" --prefix "$prefix" > "$scratch/install.log"

for file in "$bindir/marivue" "$bindir/jpeg-decode" "$libdir/libmarivue_jpeg.a" \
            "$includedir/marivue/jpeg/decoder.h" "$includedir/marivue/jpeg/byte_sources.h" \
            "$includedir/marivue/jpeg/status_names.h" \
            "$libdir/cmake/MarivueJpeg/MarivueJpegConfig.cmake" \
            "$libdir/cmake/MarivueJpeg/MarivueJpegConfigVersion.cmake" \
            "$libdir/cmake/MarivueJpeg/MarivueJpegTargets.cmake" \
            "$libdir/pkgconfig/marivue-jpeg.pc" \
            "$mandir/man1/marivue.1" "$mandir/man1/jpeg-decode.1"; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for program in marivue jpeg-decode; do
    [ -x "$prefix/$bindir/$program" ] || fail "$bindir/$program is not executable"
done
# The decoder's internals, the portable test variant and the viewer stay out.
for unwanted in internal.h libmarivue_jpeg_portable.a libmarivue_viewer.a viewer.h frame_loader.h; do
    found=$(find "$prefix" -name "$unwanted")
    [ -z "$found" ] || fail "$unwanted is installed: $found"
done

# Decodes $1 with the example binary $2 into $3 and checks the header and the
# size of the file for a picture of $4 x $5 with $6 bytes per pixel.
check_picture() {
    local input=$1 example=$2 output=$3 width=$4 height=$5 channels=$6
    local magic=P6
    [ "$channels" = 1 ] && magic=P5
    if ! "$example" "$input" "$output"; then
        fail "$example $input exited with $?"
        return
    fi
    local header
    header=$(head -c 32 "$output" | head -n 3 | tr '\n' ' ')
    [ "$header" = "$magic $width $height 255 " ] || fail "$output: header '$header'"
    local expected=$(( ${#magic} + 1 + ${#width} + 1 + ${#height} + 1 + 4 + width * height * channels ))
    local size
    size=$(stat -c %s "$output")
    [ "$size" = "$expected" ] || fail "$output: $size bytes, expected $expected"
    # The same pixels as the installed jpeg-decode writes.
    "$prefix/$bindir/jpeg-decode" "$input" "$scratch/reference" ||
        fail "jpeg-decode $input exited with $?"
    cmp -s <(tail -c $((width * height * channels)) "$output") \
           <(tail -c $((width * height * channels)) "$scratch/reference") ||
        fail "$output: pixels differ from jpeg-decode's"
}

check_example() {
    local example=$1 label=$2
    check_picture "$fixtures/base_2x2_241x161.jpg" "$example" "$scratch/$label-colour.ppm" 241 161 3
    check_picture "$fixtures/prog_241x161.jpg" "$example" "$scratch/$label-prog.ppm" 241 161 3
    check_picture "$fixtures/grey_17x9.jpg" "$example" "$scratch/$label-grey.pgm" 17 9 1
    # Not a JPEG stream: exit status 1 and the status name, no output file.
    local status=0
    "$example" "$source_dir/README.md" "$scratch/$label-bad.ppm" 2> "$scratch/$label-bad.err" || status=$?
    [ "$status" = 1 ] || fail "$label: exit status $status for a file that is not a JPEG stream"
    grep -q "NotJpeg (-217)" "$scratch/$label-bad.err" || fail "$label: no 'NotJpeg (-217)' on standard error"
    [ ! -e "$scratch/$label-bad.ppm" ] || fail "$label: wrote an output file for a failed decode"
}

echo "== building examples/ against the installed package"
"$cmake" -S "$source_dir/examples" -B "$scratch/example-build" \
    -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release \
    > "$scratch/example-config.log" || { cat "$scratch/example-config.log"; fail "examples/ does not configure"; }
if "$cmake" --build "$scratch/example-build" > "$scratch/example-build.log" 2>&1; then
    check_example "$scratch/example-build/decode_to_ppm" cmake
else
    cat "$scratch/example-build.log"
    fail "examples/ does not build against the installed package"
fi
# The package answers find_package's version requests: its own version and
# older ones of the same major version, not the next major version.
cat > "$scratch/version_answer.cmake" <<CMAKE
include("$prefix/$libdir/cmake/MarivueJpeg/MarivueJpegConfigVersion.cmake")
message(STATUS "version \${PACKAGE_VERSION} compatible \${PACKAGE_VERSION_COMPATIBLE}")
CMAKE
version_answer() {
    "$cmake" -DPACKAGE_FIND_VERSION="$1" -DPACKAGE_FIND_VERSION_MAJOR="${1%%.*}" \
        -P "$scratch/version_answer.cmake" || true
}
major=${version%%.*}
answer=$(version_answer "$version" 2>&1)
[[ "$answer" == *"version $version compatible TRUE"* ]] || fail "the package refuses its own version: $answer"
answer=$(version_answer "$((major + 1)).0" 2>&1)
[[ "$answer" == *"compatible FALSE"* ]] || fail "the package accepts version $((major + 1)).0: $answer"

echo "== pkg-config"
export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
flags=$("$pkg_config" --cflags --libs marivue-jpeg) || fail "pkg-config --cflags --libs marivue-jpeg failed"
echo "pkg-config: $flags"
[ "$("$pkg_config" --modversion marivue-jpeg)" = "$version" ] || fail "pkg-config version is not $version"
case " $flags " in
    *" -lmarivue_jpeg "*) ;;
    *) fail "pkg-config --libs lacks -lmarivue_jpeg" ;;
esac
if [ "$sanitize" = 1 ]; then
    case " $flags " in
        *" -fsanitize=address,undefined "*) ;;
        *) fail "a sanitized library's pkg-config --libs lacks -fsanitize" ;;
    esac
fi
# shellcheck disable=SC2086 # the flags are separate words
if "$cxx" -std=c++17 -Wall -Wextra -Werror -o "$scratch/decode_to_ppm-pc" \
       "$source_dir/examples/decode_to_ppm.cpp" $flags 2> "$scratch/pc-build.log"; then
    check_example "$scratch/decode_to_ppm-pc" pkg-config
else
    cat "$scratch/pc-build.log"
    fail "the example does not build with pkg-config's flags"
fi

echo "== manual pages against --help"
# Every option a program's --help names must be on its page, and the reverse.
options_of_help() { grep -oE '(^|[ ,[])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u; }
options_of_page() { sed 's/\\-/-/g' | grep -E "^\.(TP|B|BR|RB|BI|IP)( |$)" | options_of_help; }
compare_options() {
    local program=$1 help_text=$2 page=$3
    local help_options page_options
    help_options=$(options_of_help <<< "$help_text")
    page_options=$(options_of_page < "$page")
    [ -n "$help_options" ] || fail "$program --help names no options"
    [ "$help_options" = "$page_options" ] ||
        fail "$program: --help names [$(echo $help_options)], its page [$(echo $page_options)]"
    # The same exit statuses: "Exit status: 0 ...; 1 ...; 2 ..." in the help
    # text, one ".IP CODE" each under EXIT STATUS on the page.
    local help_codes page_codes
    help_codes=$(sed -n '/Exit status:/,$p' <<< "$help_text" | tr '\n' ' ' |
                 grep -oE '(: |; )[0-9]+ ' | grep -oE '[0-9]+' | sort -u)
    page_codes=$(sed -n '/^\.SH "*EXIT STATUS/,/^\.SH [^E]/p' "$page" |
                 grep -oE '^\.IP [0-9]+' | grep -oE '[0-9]+' | sort -u)
    [ -n "$help_codes" ] || fail "$program --help gives no exit statuses"
    [ "$help_codes" = "$page_codes" ] ||
        fail "$program: --help gives exit statuses [$(echo $help_codes)], its page [$(echo $page_codes)]"
}
help=$("$prefix/$bindir/jpeg-decode" --help) || fail "jpeg-decode --help exited with $?"
compare_options jpeg-decode "$help" "$prefix/$mandir/man1/jpeg-decode.1"
if [ "$desktop" = 1 ]; then
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/$bindir/marivue" --help) || fail "marivue --help exited with $?"
    compare_options marivue "$help" "$prefix/$mandir/man1/marivue.1"
else
    echo "marivue has no desktop front end in this build, which is where its --help lives: page not compared"
fi
if command -v man > /dev/null; then
    for page in marivue jpeg-decode; do
        MANWIDTH=80 man -l "$prefix/$mandir/man1/$page.1" > /dev/null 2> "$scratch/man.err" ||
            fail "man cannot format $page.1"
        ! grep -q "warning" "$scratch/man.err" || { cat "$scratch/man.err"; fail "$page.1 formats with warnings"; }
    done
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "all install checks passed"
