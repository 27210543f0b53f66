#!/bin/sh
# Fails when a decoder archive defines an external symbol that is neither a
# name of the interface (include/marivue/jpeg/*.h)
# nor inside marivue::jpeg::detail, where every internal belongs; and when
# an interface function is missing, which would make the listing suspect.
#   exported_symbols.sh NM ARCHIVE...
set -eu
nm=$1
shift
failed=0
for archive in "$@"; do
    # "ADDRESS TYPE NAME" lines; NAME demangled, possibly with spaces.
    names=$("$nm" -C --defined-only --extern-only "$archive" | sed -n 's/^[0-9a-fA-F]\{1,\} [A-Za-z] //p' | sort -u)
    # Names beginning with two underscores are the implementation's own
    # (personality routine, sanitizer and profiling glue), and so is the
    # typeinfo of function types that clang's -fsanitize=function emits;
    # DW.ref.X only points the exception tables at X, which is listed by
    # itself.
    stray=$(printf '%s\n' "$names" |
        grep -v -E '^typeinfo (name )?for [^(]* \(' |
        sed -e 's/^typeinfo name for //' -e 's/^typeinfo for //' -e 's/^vtable for //' -e 's/^guard variable for //' |
        grep -v -E -e '^marivue::jpeg::detail::' -e '^__' -e '^DW\.ref\.' \
            -e '^marivue::jpeg::(open_decoder|begin|decode_row|free_pool|status_name|status_description)\(' \
            -e '^marivue::jpeg::(ByteSource|MemoryByteSource|FileByteSource)(::|$)' || true)
    if [ -n "$stray" ]; then
        echo "$archive defines names outside its interface and marivue::jpeg::detail:"
        printf '%s\n' "$stray" | sed 's/^/  /'
        failed=1
    fi
    for function in open_decoder begin decode_row free_pool status_name status_description; do
        if ! printf '%s\n' "$names" | grep -q "^marivue::jpeg::$function("; then
            echo "$archive: interface function $function not found"
            failed=1
        fi
    done
done
exit $failed
