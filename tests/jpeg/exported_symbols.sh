#!/bin/sh
# Fails when a decoder archive defines an external symbol that is neither a
# name of the public interface (include/marivue/jpeg.h, jpeg.hpp and
# jpeg/*.h), nor one of the record's operations (jpeg/decoder.h), nor inside
# marivue::jpeg::detail, where every internal belongs; and when an interface
# function is missing, which would make the listing suspect.
#   exported_symbols.sh NM [--dynamic] ARCHIVE...
# With --dynamic the files are shared libraries: their dynamic symbol table
# is read, and there only the public interface may appear, not the record's
# operations nor marivue::jpeg::detail.
set -eu
nm=$1
shift
listing=--extern-only
internal='^marivue::jpeg::detail::'
record='^marivue::jpeg::(open_decoder|begin|decode_row|decode_row_into|free_pool|JpegDecoder::JpegDecoder)\('
record_functions='open_decoder begin decode_row decode_row_into free_pool'
if [ "${1:-}" = --dynamic ]; then
    listing=--dynamic
    internal='^$'
    record='^$'
    record_functions=
    shift
fi
# The C interface, every function of which each archive must define.
c_functions='decode decode_with_options decode_file free read_info status_name status_message version options_init
    decoder_open_memory decoder_open_callback decoder_info decoder_output_size decoder_colour_space decoder_next_row
    decoder_status decoder_complete decoder_message decoder_stop decoder_free decoder_icc_profile decoder_exif
    decoder_orientation'
failed=0
for archive in "$@"; do
    # "ADDRESS TYPE NAME" lines; NAME demangled, possibly with spaces.
    # Weak copies of standard-library templates (std::vector<uint8_t>::...)
    # are the compiler's, emitted where a build does not inline them.
    names=$("$nm" -C --defined-only "$listing" "$archive" | grep -v -E '^[0-9a-fA-F]+ [VW] std::' |
        sed -n 's/^[0-9a-fA-F]\{1,\} [A-Za-z] //p' | sort -u)
    # Names beginning with two underscores are the implementation's own
    # (personality routine, sanitizer and profiling glue), and so is the
    # typeinfo of function types that clang's -fsanitize=function emits;
    # DW.ref.X only points the exception tables at X, which is listed by
    # itself.
    stray=$(printf '%s\n' "$names" |
        grep -v -E '^typeinfo (name )?for [^(]* \(' |
        sed -e 's/^typeinfo name for //' -e 's/^typeinfo for //' -e 's/^vtable for //' -e 's/^guard variable for //' |
        grep -v -E -e "$internal" -e "$record" -e '^__' -e '^DW\.ref\.' \
            -e '^marivue::jpeg::(read_info|decode|decode_file|status_name|status_message|version)\(' \
            -e '^marivue::jpeg::(ByteSource|MemoryByteSource|FileByteSource|Decoder|Info|Image)(::|$)' \
            -e "^marivue_jpeg_($(echo $c_functions | tr ' ' '|'))\$" || true)
    if [ -n "$stray" ]; then
        echo "$archive defines names outside its interface and marivue::jpeg::detail:"
        printf '%s\n' "$stray" | sed 's/^/  /'
        failed=1
    fi
    for function in $record_functions status_name read_info decode decode_file status_message version \
        Decoder::next_row Decoder::message Decoder::stop Decoder::decode_image; do
        if ! printf '%s\n' "$names" | grep -q "^marivue::jpeg::$function("; then
            echo "$archive: interface function $function not found"
            failed=1
        fi
    done
    for function in $c_functions; do
        if ! printf '%s\n' "$names" | grep -q -x "marivue_jpeg_$function"; then
            echo "$archive: C interface function marivue_jpeg_$function not found"
            failed=1
        fi
    done
done
exit $failed
