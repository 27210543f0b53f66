#!/usr/bin/env bash
# Installs a Marivue build into a scratch prefix and uses the installed tree
# as its users would: the files that must (and must not) be there, the
# programs of examples/ built with find_package(MarivueJpeg) and with
# pkg-config and run against the installed jpeg-decode, the package's
# version answers, and the manual pages against the programs' --help. Then
# the same examples against a second, shared build of the library: its
# SONAME, the names it exports, programs that load it, and an ABI that a
# change inside the decoder's record leaves as it is.
set -euo pipefail

while [ $# -gt 0 ]; do
    case "$1" in
        --build-dir|--source-dir|--cmake|--cc|--cxx|--nm|--readelf|--abidiff|--pkg-config|--bindir|--libdir|--includedir|--mandir|--datadir|--version|--sanitize|--desktop|--shared-lib)
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

headers=("$includedir/marivue/"{jpeg.hpp,jpeg.h} "$includedir/marivue/jpeg/"{byte_source.h,status.h,export.h,version.h})
package=("$libdir/cmake/MarivueJpeg/MarivueJpeg"{Config,ConfigVersion,Targets}.cmake "$libdir/pkgconfig/marivue-jpeg.pc")
# The build installs its archive, or with BUILD_SHARED_LIBS its shared library.
library=libmarivue-jpeg.a
[ "$shared_lib" = 1 ] && library=libmarivue-jpeg.so
for file in "$bindir/marivue" "$bindir/jpeg-decode" "$libdir/$library" "${headers[@]}" "${package[@]}" \
            "$mandir/man1/"{marivue,jpeg-decode}.1; do
    [ -f "$prefix/$file" ] || fail "$file is not installed"
done
for program in marivue jpeg-decode; do [ -x "$prefix/$bindir/$program" ] || fail "$program is not executable"; done
# The decoder's internals, the portable test variant and the viewer stay out.
for unwanted in internal.h decoder.h libmarivue_jpeg_portable.a libmarivue_viewer.a viewer.h frame_loader.h; do
    [ -z "$(find "$prefix" -name "$unwanted")" ] || fail "$unwanted is installed"
done
# With the window: the launcher, the icon at each size, the metainfo.
if [ "$desktop" = 1 ]; then
    for size in 16 24 32 48 64 128 256; do
        [ "$(od -An -tx1 -j12 -N12 "$prefix/$datadir/icons/hicolor/${size}x$size/apps/marivue.png" | tr -d ' \n')" = \
          "$(printf '49484452%08x%08x' "$size" "$size")" ] || fail "no ${size}x$size marivue.png in the hicolor theme"
    done
    entry=$prefix/$datadir/applications/marivue.desktop
    desktop-file-validate "$entry" && grep -qx 'Exec=marivue' "$entry" && grep -qx 'Icon=marivue' "$entry" ||
        fail "marivue.desktop is invalid or does not start marivue with its icon"
    appstreamcli validate --no-net "$prefix/$datadir/metainfo/org.example.marivue.Marivue.metainfo.xml" > /dev/null ||
        fail "the AppStream metainfo is invalid"
fi
IFS=. read -r major minor patch <<< "$version"
for part in MAJOR:$major MINOR:$minor PATCH:$patch; do
    grep -q "^#define MARIVUE_JPEG_VERSION_${part%%:*} ${part#*:}\$" "$prefix/$includedir/marivue/jpeg/version.h" ||
        fail "version.h lacks MARIVUE_JPEG_VERSION_${part%%:*} ${part#*:}"
done

# The installed jpeg-decode's pictures, which every example must match, and
# at a quarter of the size, which decode_stream asks for through the
# options' scale field.
rows=(base_2x2_241x161.jpg:241:161:3:P6 prog_241x161.jpg:241:161:3:P6 grey_17x9.jpg:17:9:1:P5)
for row in "${rows[@]}"; do
    input=$source_dir/tests/fixtures/rows/${row%%:*}
    "$prefix/$bindir/jpeg-decode" "$input" "$scratch/reference-${row%%:*}.pnm" || fail "jpeg-decode $input"
    "$prefix/$bindir/jpeg-decode" --scale 1/4 "$input" "$scratch/quarter-${row%%:*}.pnm" ||
        fail "jpeg-decode --scale 1/4 $input"
done
bytes() { od -An -v -tx1 -w1; }

# Runs decode_stream ($1, labelled $2) at 1/4 of the size: the files
# jpeg-decode writes at that size; a scale of 3 is refused with StreamError.
check_scaled_stream() {
    local example=$1 label=$2 row input status=0
    for row in "${rows[@]}"; do
        input=${row%%:*}
        "$example" "$source_dir/tests/fixtures/rows/$input" "$scratch/$label-$input.pnm" 4 > /dev/null ||
            { fail "$label: $input at 1/4 exited with $?"; continue; }
        cmp -s "$scratch/$label-$input.pnm" "$scratch/quarter-$input.pnm" || fail "$label: $input at 1/4 differs"
    done
    "$example" "$source_dir/tests/fixtures/rows/grey_17x9.jpg" "$scratch/$label-bad.pgm" 3 2> "$scratch/bad.err" || status=$?
    [ "$status" = 1 ] && grep -q "StreamError (-232)" "$scratch/bad.err" ||
        fail "$label: a scale of 3 gave exit status $status and $(cat "$scratch/bad.err")"
}

# Runs example $1 (labelled $2) on pictures of known size and on a file that
# is not a JPEG stream. With $3 = rgb the example writes grey pictures as
# PPM, each grey byte three times.
check_example() {
    local example=$1 label=$2 row input width height channels magic out pixels repeat status=0
    for row in "${rows[@]}"; do
        IFS=: read -r input width height channels magic <<< "$row"
        repeat=1
        [ "${3:-}" = rgb ] && [ "$channels" = 1 ] && channels=3 magic=P6 repeat=3
        out=$scratch/$label-$input.pnm
        "$example" "$source_dir/tests/fixtures/rows/$input" "$out" > /dev/null || { fail "$label: $input exited with $?"; continue; }
        [ "$(head -c 32 "$out" | head -n 3 | tr '\n' ' ')" = "$magic $width $height 255 " ] || fail "$label: $input header"
        pixels=$((width * height * channels))
        [ "$(stat -c %s "$out")" = $(( ${#magic} + ${#width} + ${#height} + 7 + pixels )) ] || fail "$label: $input size"
        cmp -s <(tail -c "$pixels" "$out" | bytes) \
            <(tail -c $((pixels / repeat)) "$scratch/reference-$input.pnm" | bytes | awk -v n="$repeat" '{for (i = 0; i < n; ++i) print}') ||
            fail "$label: $input pixels differ"
    done
    "$example" "$source_dir/README.md" "$scratch/$label-bad.ppm" 2> "$scratch/bad.err" || status=$?
    [ "$status" = 1 ] || fail "$label: exit status $status for a file that is not a JPEG stream"
    grep -q "NotJpeg (-217)" "$scratch/bad.err" || fail "$label: no 'NotJpeg (-217)' on standard error"
    [ ! -e "$scratch/$label-bad.ppm" ] || fail "$label: wrote an output file for a failed decode"
}

# Builds and runs the examples against the tree installed at $1 (labelled
# $2), through CMake and through pkg-config.
use_package() {
    local root=$1 label=$2 flags build path
    "$cmake" -S "$source_dir/examples" -B "$scratch/$label" -DCMAKE_PREFIX_PATH="$root" -DCMAKE_C_COMPILER="$cc" \
        -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release > "$scratch/example.log" 2>&1 &&
        "$cmake" --build "$scratch/$label" >> "$scratch/example.log" 2>&1 ||
        { cat "$scratch/example.log"; fail "$label: examples/ does not build against the installed package"; }
    mkdir "$scratch/$label-pc"
    flags=$(PKG_CONFIG_PATH=$root/$libdir/pkgconfig "$pkg_config" --cflags --libs marivue-jpeg) ||
        fail "$label: pkg-config knows no marivue-jpeg"
    [[ " $flags " == *" -lmarivue-jpeg "* ]] || fail "$label: pkg-config --libs lacks -lmarivue-jpeg: $flags"
    [ "$(PKG_CONFIG_PATH=$root/$libdir/pkgconfig "$pkg_config" --modversion marivue-jpeg)" = "$version" ] ||
        fail "$label: pkg-config version is not $version"
    # shellcheck disable=SC2086 # the flags are separate words
    { "$cxx" -std=c++20 -Wall -Wextra -Werror -o "$scratch/$label-pc/decode_to_ppm" "$source_dir/examples/decode_to_ppm.cpp" $flags &&
        "$cxx" -std=c++20 -Wall -Wextra -Werror -o "$scratch/$label-pc/decode_file" "$source_dir/examples/decode_file.cpp" $flags &&
        "$cc" -std=c99 -Wall -Wextra -Werror -o "$scratch/$label-pc/decode_c" "$source_dir/examples/decode_c.c" $flags &&
        "$cc" -std=c99 -Wall -Wextra -Werror -o "$scratch/$label-pc/decode_stream" "$source_dir/examples/decode_stream.c" $flags; } ||
        fail "$label: the examples do not build with pkg-config's flags"
    # CMake gives its programs a run path to a shared library; the others
    # find it through LD_LIBRARY_PATH.
    for build in "$label" "$label-pc"; do
        [ "$build" = "$label" ] && path= || path=$root/$libdir
        LD_LIBRARY_PATH=$path check_example "$scratch/$build/decode_to_ppm" "$build-decode_to_ppm"
        LD_LIBRARY_PATH=$path check_example "$scratch/$build/decode_file" "$build-decode_file" rgb
        LD_LIBRARY_PATH=$path check_example "$scratch/$build/decode_c" "$build-decode_c"
        LD_LIBRARY_PATH=$path check_example "$scratch/$build/decode_stream" "$build-decode_stream"
        LD_LIBRARY_PATH=$path check_scaled_stream "$scratch/$build/decode_stream" "$build-decode_stream-quarter"
    done
}

use_package "$prefix" build
flags=$(PKG_CONFIG_PATH=$prefix/$libdir/pkgconfig "$pkg_config" --libs marivue-jpeg)
if [ "$sanitize" = 1 ] && [[ " $flags " != *" -fsanitize=address,undefined "* ]]; then
    fail "a sanitized library's pkg-config flags lack -fsanitize: $flags"
fi
# find_package's version requests: its own version and older ones of the
# same major version, not the next major version.
version_answer() {
    echo "include(\"$prefix/$libdir/cmake/MarivueJpeg/MarivueJpegConfigVersion.cmake\")
          message(STATUS \"compatible \${PACKAGE_VERSION_COMPATIBLE}\")" > "$scratch/answer.cmake"
    "$cmake" -DPACKAGE_FIND_VERSION="$1" -DPACKAGE_FIND_VERSION_MAJOR="${1%%.*}" -P "$scratch/answer.cmake" 2>&1 || true
}
[[ "$(version_answer "$version")" == *"compatible TRUE"* ]] || fail "the package refuses its own version"
[[ "$(version_answer "$(( major + 1 )).0")" == *"compatible FALSE"* ]] || fail "the package accepts the next major version"

# build_shared SOURCE PREFIX LABEL: a shared build of the library alone
# (without sanitizers, which would ask every program that loads it for
# their runtime, and with debugging information, which abidiff reads),
# installed on its own.
build_shared() {
    "$cmake" -S "$1" -B "$scratch/$3-build" -DBUILD_SHARED_LIBS=ON -DMARIVUE_TESTS=OFF -DMARIVUE_WERROR=ON \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" \
        -DCMAKE_INSTALL_LIBDIR="$libdir" -DCMAKE_INSTALL_INCLUDEDIR="$includedir" > "$scratch/$3.log" 2>&1 &&
        "$cmake" --build "$scratch/$3-build" --target marivue_jpeg_shared -j 2 >> "$scratch/$3.log" 2>&1 &&
        "$cmake" --install "$scratch/$3-build" --component library --prefix "$2" >> "$scratch/$3.log" 2>&1 ||
        { cat "$scratch/$3.log"; fail "$3: the shared library does not build and install"; }
}
# The shared builds are made without sanitizers whatever this build is, so
# a sanitized build's run would repeat the release run's checks: it leaves
# them to that run.
if [ "$sanitize" != 1 ]; then
    shared=$scratch/shared
    build_shared "$source_dir" "$shared" shared
    so=$shared/$libdir/libmarivue-jpeg.so
    for file in "${headers[@]}" "${package[@]}" "$libdir/libmarivue-jpeg.so.$major" "$libdir/libmarivue-jpeg.so.$version"; do
        [ -f "$shared/$file" ] || fail "shared: $file is not installed"
    done
    [ -L "$so" ] && [ -z "$(find "$shared" -name '*.a' -o -name 'jpeg-decode')" ] ||
        fail "shared: no link libmarivue-jpeg.so, or an archive or a program installed"
    "$readelf" -d "$so" | grep -qF "Library soname: [libmarivue-jpeg.so.$major]" || fail "shared: SONAME is not libmarivue-jpeg.so.$major"
    sh "$source_dir/tests/jpeg/exported_symbols.sh" "$nm" --dynamic "$so" || fail "shared: exports names outside its interface"
    use_package "$shared" shared
    # The examples that ran above loaded the installed shared library.
    for example in shared/decode_c shared/decode_file shared/decode_stream shared-pc/decode_stream; do
        [ "${example%%/*}" = shared ] && path= || path=$shared/$libdir
        loaded=$(LD_LIBRARY_PATH=$path ldd "$scratch/$example" | awk '$1 ~ /^libmarivue-jpeg\.so/ {print $3}')
        [ -n "$loaded" ] && [ "$(readlink -f "$loaded")" = "$(readlink -f "$so.$major")" ] ||
            fail "$example does not load $so.$major (${loaded:-none})"
    done

    # The shared library's ABI does not depend on the decoder record's layout:
    # built again from a copy of the sources whose JpegDecoder has one more
    # field, it has the same exported functions and the same types in its
    # public headers, which limit abidiff to what the interface shows.
    changed=$scratch/changed-source
    mkdir "$changed"
    tar -C "$source_dir" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$changed" -xf -
    record=$(grep -rl '^struct JpegDecoder {$' "$changed/jpeg" "$changed/include" || true)
    if [ -n "$record" ] && sed -i 's/^struct JpegDecoder {$/&\n    int32_t field_added_by_the_install_test;/' "$record"; then
        build_shared "$changed" "$scratch/changed" changed
        "$abidiff" --headers-dir1 "$shared/$includedir" --headers-dir2 "$scratch/changed/$includedir" \
            "$so.$version" "$scratch/changed/$libdir/libmarivue-jpeg.so.$version" > "$scratch/abidiff.log" 2>&1 ||
            { cat "$scratch/abidiff.log"; fail "a field added to the decoder record changes the shared library's ABI"; }
    else
        fail "no definition of JpegDecoder to add a field to"
    fi
fi

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
