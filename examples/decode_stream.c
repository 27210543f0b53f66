/* decode_stream: decodes a JPEG file row by row with the decoder's C
 * streaming interface, reading the file through a read function, and
 * writes it as a binary PPM (colour) or PGM (grey), each row as it comes,
 * at the picture's size or at 1/2, 1/4 or 1/8 of it (SCALE 2, 4 or 8).
 * Pictures up to 16384 pixels wide and high are accepted.
 *
 *   decode_stream INPUT OUTPUT [SCALE]
 *
 * Exit status: 0 success, 1 the picture could not be decoded, 2 bad usage or
 * a file that could not be read or written. */
#include <marivue/jpeg.h>

#include <stdio.h>
#include <stdlib.h>

/* The decoder's read function over a C stream: 0 at its end, -1 on an error. */
static long read_file(void* user_data, unsigned char* buffer, size_t max) {
    FILE* file = user_data;
    size_t got = fread(buffer, 1, max, file);
    if (got == 0 && ferror(file)) return -1;
    return (long)got;
}

/* Prints the decoder's words for its failure; returns the exit status 1. */
static int report(const char* input, const marivue_jpeg_decoder* decoder) {
    int status = marivue_jpeg_decoder_status(decoder);
    fprintf(stderr, "decode_stream: %s: %s (%d): %s\n", input, marivue_jpeg_status_name(status), status,
            marivue_jpeg_decoder_message(decoder));
    return 1;
}

/* Writes every row of an opened decoder to `output`; returns the exit status. */
static int write_rows(marivue_jpeg_decoder* decoder, const char* input, const char* output) {
    int width, height, format, result, written = 1, exit_status = 0;
    size_t row_size;
    unsigned char* row;
    FILE* out;

    /* The rows' size: the picture's, divided by the scale. */
    marivue_jpeg_decoder_output_size(decoder, &width, &height);
    /* Grey pictures stay grey; everything else (YCbCr, RGB, CMYK, YCCK)
     * becomes red, green, blue. */
    format =
        marivue_jpeg_decoder_colour_space(decoder) == MARIVUE_JPEG_SPACE_GREY ? MARIVUE_JPEG_GREY : MARIVUE_JPEG_RGB;
    row_size = (size_t)width * (format == MARIVUE_JPEG_GREY ? 1 : 3);
    row = malloc(row_size);
    if (row == NULL) {
        fprintf(stderr, "decode_stream: %s: not enough memory\n", input);
        return 1;
    }
    out = fopen(output, "wb");
    if (out == NULL) {
        perror(output);
        free(row);
        return 2;
    }
    fprintf(out, "P%c\n%d %d\n255\n", format == MARIVUE_JPEG_GREY ? '5' : '6', width, height);
    while ((result = marivue_jpeg_decoder_next_row(decoder, row, row_size, format)) == 0)
        written = fwrite(row, 1, row_size, out) == row_size && written;
    free(row);
    written = fclose(out) == 0 && written;
    if (result < 0) {
        exit_status = report(input, decoder);
    } else if (!written) {
        fprintf(stderr, "decode_stream: %s: write failed\n", output);
        exit_status = 2;
    } else {
        printf("%s: %d x %d%s\n", input, width, height,
               marivue_jpeg_decoder_complete(decoder) ? "" : ", data ended early");
    }
    /* No partial picture is left behind. */
    if (exit_status != 0) remove(output);
    return exit_status;
}

int main(int argc, char** argv) {
    marivue_jpeg_options options;
    marivue_jpeg_decoder* decoder;
    FILE* input;
    int status, exit_status;

    if (argc != 3 && argc != 4) {
        fprintf(stderr, "usage: decode_stream INPUT OUTPUT [SCALE]\n");
        return 2;
    }
    input = fopen(argv[1], "rb");
    if (input == NULL) {
        perror(argv[1]);
        return 2;
    }
    marivue_jpeg_options_init(&options, sizeof options);
    /* At most 64 MiB of working memory: enough for a progressive 4:2:0
     * picture of about 20 megapixels, whatever a hostile header asks for. */
    options.memory_limit = (size_t)64 << 20;
    options.max_side = 16384;
    /* 1, 2, 4 or 8; the decoder refuses any other with StreamError. */
    options.scale = argc == 4 ? atoi(argv[3]) : 1;
    decoder = marivue_jpeg_decoder_open_callback(read_file, input, &options, &status);
    if (decoder == NULL) {
        fprintf(stderr, "decode_stream: %s: %s\n", argv[1], marivue_jpeg_status_message(status));
        exit_status = 1;
    } else if (status != 0) {
        exit_status = report(argv[1], decoder);
    } else {
        exit_status = write_rows(decoder, argv[1], argv[2]);
    }
    marivue_jpeg_decoder_free(decoder);
    fclose(input);
    return exit_status;
}
