#!/usr/bin/env bash
# Installs a Marivue build into a scratch prefix and uses the installed tree
# as its users would: the files that must (and must not) be there, the
# stand-alone example built with find_package(MarivueJpeg) and with
# pkg-config and run against the installed jpeg-decode, the package's
# version answers, and the manual pages against the programs' --help.
set -euo pipefail

while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir|--source-dir|--cmake|--cxx|--pkg-config|--bindir|--libdir|--includedir|--mandir|--version|--sanitize|--desktop)
            name=${1#--}; printf -v "${name//-/_}" '%s' "$2" ;;
        *) echo "install_test.sh: unknown argument '$1'" >&2; exit 2 ;;
    esac
    shift 2
done

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

scratch=$(mktemp -d "${TMPDIR:-/tmp}/marivue-install.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
"$cmake" --install "$build_dir" --prefix "$prefix" > "$scratch/install.log"

for file in "$bindir/marivue" "$bindir/jpeg-decode" "$libdir/libmarivue_jpeg.a" \
            "$includedir/marivue/jpeg/"{decoder.h,byte_sources.h,status_names.h} \
            "$libdir/cmake/MarivueJpeg/MarivueJpeg"{Config,ConfigVersion,Targets}.cmake \
            "$libdir/pkgconfig/marivue-jpeg.pc" "$mandir/man1/"{marivue,jpeg-decode}.1; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for program in marivue jpeg-decode; do [ -x "$prefix/$bindir/$program" ] || fail "$program is not executable"; done
# The decoder's internals, the portable test variant and the viewer stay out.
for unwanted in internal.h libmarivue_jpeg_portable.a libmarivue_viewer.a viewer.h frame_loader.h; do
    [ -z "$(find "$prefix" -name "$unwanted")" ] || fail "$unwanted is installed"
done

# Runs example $1 (labelled $2) on pictures of known size against the
# installed jpeg-decode, and on a file that is not a JPEG stream.
check_example() {
    local example=$1 label=$2 row input width height channels magic out status=0
    for row in base_2x2_241x161.jpg:241:161:3:P6 prog_241x161.jpg:241:161:3:P6 grey_17x9.jpg:17:9:1:P5; do
        IFS=: read -r input width height channels magic <<< "$row"
        out=$scratch/$label-$input.pnm
        "$example" "$source_dir/tests/fixtures/rows/$input" "$out" || { fail "$label: $input exited with $?"; continue; }
        [ "$(head -c 32 "$out" | head -n 3 | tr '\n' ' ')" = "$magic $width $height 255 " ] || fail "$label: $input header"
        local pixels=$((width * height * channels))
        [ "$(stat -c %s "$out")" = $(( ${#magic} + ${#width} + ${#height} + 7 + pixels )) ] || fail "$label: $input size"
        "$prefix/$bindir/jpeg-decode" "$source_dir/tests/fixtures/rows/$input" "$scratch/reference" || fail "jpeg-decode $input"
        cmp -s <(tail -c "$pixels" "$out") <(tail -c "$pixels" "$scratch/reference") || fail "$label: $input pixels differ"
    done
    "$example" "$source_dir/README.md" "$scratch/$label-bad.ppm" 2> "$scratch/bad.err" || status=$?
    [ "$status" = 1 ] || fail "$label: exit status $status for a file that is not a JPEG stream"
    grep -q "NotJpeg (-217)" "$scratch/bad.err" || fail "$label: no 'NotJpeg (-217)' on standard error"
    [ ! -e "$scratch/$label-bad.ppm" ] || fail "$label: wrote an output file for a failed decode"
}

"$cmake" -S "$source_dir/examples" -B "$scratch/example" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_BUILD_TYPE=Release > "$scratch/example.log" 2>&1 && "$cmake" --build "$scratch/example" >> "$scratch/example.log" 2>&1 ||
    { cat "$scratch/example.log"; fail "examples/ does not build against the installed package"; }
check_example "$scratch/example/decode_to_ppm" cmake
# find_package's version requests: its own version and older ones of the
# same major version, not the next major version.
version_answer() {
    echo "include(\"$prefix/$libdir/cmake/MarivueJpeg/MarivueJpegConfigVersion.cmake\")
          message(STATUS \"compatible \${PACKAGE_VERSION_COMPATIBLE}\")" > "$scratch/answer.cmake"
    "$cmake" -DPACKAGE_FIND_VERSION="$1" -DPACKAGE_FIND_VERSION_MAJOR="${1%%.*}" -P "$scratch/answer.cmake" 2>&1 || true
}
[[ "$(version_answer "$version")" == *"compatible TRUE"* ]] || fail "the package refuses its own version"
[[ "$(version_answer "$(( ${version%%.*} + 1 )).0")" == *"compatible FALSE"* ]] || fail "the package accepts the next major version"

export PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig
flags=$("$pkg_config" --cflags --libs marivue-jpeg) || fail "pkg-config knows no marivue-jpeg"
[ "$("$pkg_config" --modversion marivue-jpeg)" = "$version" ] || fail "pkg-config version is not $version"
[[ " $flags " == *" -lmarivue_jpeg "* ]] || fail "pkg-config --libs lacks -lmarivue_jpeg: $flags"
if [ "$sanitize" = 1 ] && [[ " $flags " != *" -fsanitize=address,undefined "* ]]; then
    fail "a sanitized library's pkg-config flags lack -fsanitize: $flags"
fi
# shellcheck disable=SC2086 # the flags are separate words
"$cxx" -std=c++17 -Wall -Wextra -Werror -o "$scratch/decode_to_ppm-pc" "$source_dir/examples/decode_to_ppm.cpp" $flags ||
    fail "the example does not build with pkg-config's flags"
check_example "$scratch/decode_to_ppm-pc" pkg-config

# Every option and exit status a program's --help names is on its page, and the reverse.
options() { grep -oE -- '(^|[ ,[])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*' | sort -u | tr '\n' ' '; }
compare_page() {
    local program=$1 help=$2 page=$prefix/$mandir/man1/$1.1
    local help_options page_options help_codes page_codes
    help_options=$(options <<< "$help")
    page_options=$(sed 's/\\-/-/g' "$page" | grep -E '^\.(TP|B|BR|RB|BI|IP)( |$)' | options)
    [ -n "$help_options" ] && [ "$help_options" = "$page_options" ] ||
        fail "$program: --help names [$help_options], its page [$page_options]"
    help_codes=$(sed -n '/Exit status:/,$p' <<< "$help" | tr '\n' ' ' | grep -oE '(: |; )[0-9]+ ' | grep -oE '[0-9]+' | sort -u | tr '\n' ' ')
    page_codes=$(sed -n '/^\.SH "*EXIT STATUS/,/^\.SH [^E]/p' "$page" | grep -oE '^\.IP [0-9]+' | grep -oE '[0-9]+' | sort -u | tr '\n' ' ')
    [ -n "$help_codes" ] && [ "$help_codes" = "$page_codes" ] ||
        fail "$program: --help gives exit statuses [$help_codes], its page [$page_codes]"
    if command -v man > /dev/null; then
        MANWIDTH=80 man -l "$page" > /dev/null 2> "$scratch/man.err" || fail "man cannot format $program.1"
        ! grep -q warning "$scratch/man.err" || fail "$program.1 formats with warnings: $(cat "$scratch/man.err")"
    fi
}
compare_page jpeg-decode "$("$prefix/$bindir/jpeg-decode" --help)"
if [ "$desktop" = 1 ]; then  # marivue's --help belongs to its desktop front end
    compare_page marivue "$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/$bindir/marivue" --help)"
fi

[ "$failures" -eq 0 ] || { echo "$failures install check(s) failed" >&2; exit 1; }
echo "all install checks passed"
