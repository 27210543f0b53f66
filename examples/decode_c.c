/* decode_c: decodes a JPEG file with the decoder's C interface and writes it
 * as a binary PPM (colour) or PGM (grey).
 *
 *   decode_c INPUT OUTPUT
 *
 * Exit status: 0 success, 1 the picture could not be decoded, 2 bad usage or
 * a file that could not be read or written. */
#include <marivue/jpeg.h>

#include <stdio.h>
#include <stdlib.h>

/* Reads the whole file into a buffer the caller frees; NULL on failure. */
static unsigned char* read_file(const char* path, size_t* size) {
    FILE* file = fopen(path, "rb");
    unsigned char* data = NULL;
    size_t capacity = 0;
    int failed = 0;
    *size = 0;
    if (file == NULL) return NULL;
    for (;;) {
        if (*size == capacity) {
            unsigned char* grown = realloc(data, capacity * 2 + 65536);
            if (grown == NULL) {
                failed = 1;
                break;
            }
            data = grown;
            capacity = capacity * 2 + 65536;
        }
        *size += fread(data + *size, 1, capacity - *size, file);
        if (*size < capacity) break; /* the end of the file, or an error */
    }
    failed |= ferror(file);
    fclose(file);
    if (failed) {
        free(data);
        return NULL;
    }
    return data;
}

int main(int argc, char** argv) {
    marivue_jpeg_image image = {0};
    marivue_jpeg_info info;
    unsigned char* data;
    size_t size;
    int status;
    FILE* out;
    int written;

    if (argc != 3) {
        fprintf(stderr, "usage: decode_c INPUT OUTPUT\n");
        return 2;
    }
    data = read_file(argv[1], &size);
    if (data == NULL) {
        perror(argv[1]);
        return 2;
    }
    /* Grey pictures stay grey; everything else becomes red, green, blue. */
    status = marivue_jpeg_read_info(data, size, &info);
    if (status == 0) {
        status = marivue_jpeg_decode(data, size, info.components == 1 ? MARIVUE_JPEG_GREY : MARIVUE_JPEG_RGB, &image);
    }
    free(data);
    if (status != 0) {
        fprintf(stderr, "decode_c: %s: %s (%d)\n", argv[1], marivue_jpeg_status_name(status), status);
        marivue_jpeg_free(&image);
        return 1;
    }
    printf("%s: %d x %d%s\n", argv[1], image.width, image.height, image.complete ? "" : ", data ended early");

    out = fopen(argv[2], "wb");
    if (out == NULL) {
        perror(argv[2]);
        marivue_jpeg_free(&image);
        return 2;
    }
    fprintf(out, "P%c\n%d %d\n255\n", image.channels == 1 ? '5' : '6', image.width, image.height);
    written = fwrite(image.pixels, 1, image.size, out) == image.size;
    marivue_jpeg_free(&image);
    if (fclose(out) != 0 || !written) {
        fprintf(stderr, "decode_c: %s: write failed\n", argv[2]);
        remove(argv[2]);
        return 2;
    }
    return 0;
}
