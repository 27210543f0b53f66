/* Marivue JPEG decoder: the C interface, for C programs and for other
 * languages' foreign-function interfaces.
 *
 *   marivue_jpeg_image image;
 *   int status = marivue_jpeg_decode(data, size, MARIVUE_JPEG_RGB, &image);
 *   if (status == 0) { use image.pixels; }
 *   else fprintf(stderr, "%s\n", marivue_jpeg_status_message(status));
 *   marivue_jpeg_free(&image);
 *
 * Functions return 0 or a negative status, the codes of the C++ interface
 * (marivue/jpeg/decoder.h; marivue_jpeg_status_name gives the name), with
 * the meanings marivue/jpeg.hpp lists: NotJpeg (-217) for null data or
 * size 0, StreamError (-232) for a file that cannot be read or arguments
 * the call cannot use, OutOfMemory (-233) also when the decoder's working
 * memory would pass 256 MiB. Pixels follow the rules of marivue/jpeg.hpp:
 * rows packed top to bottom, grey from colour by the luma samples, colour
 * from grey by replication, alpha 255, and a picture whose data ends early
 * decoded with its missing rows mid-grey and `complete` 0. No exception
 * or other C++ failure crosses this interface. */
#ifndef MARIVUE_JPEG_H
#define MARIVUE_JPEG_H

#include "marivue/jpeg/export.h"

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Pixel formats: bytes per pixel 3, 4, 4 and 1. */
enum { MARIVUE_JPEG_RGB = 0, MARIVUE_JPEG_RGBA = 1, MARIVUE_JPEG_BGRA = 2, MARIVUE_JPEG_GREY = 3 };

/* A decoded picture. pixels holds size = width x height x channels bytes,
 * allocated by the library: release it with marivue_jpeg_free. */
typedef struct marivue_jpeg_image {
    int width, height, channels, complete;
    unsigned char* pixels;
    size_t size;
} marivue_jpeg_image;

/* What the frame header says. components: 1 grey, 3 colour; rgb: 1 for
 * colour coded as RGB rather than YCbCr; the sampling factors of each
 * component, 0 for unused entries. */
typedef struct marivue_jpeg_info {
    int width, height, components, progressive, rgb;
    int h_factor[4], v_factor[4];
} marivue_jpeg_info;

/* Decodes a whole picture into *out. On failure *out is left empty (null
 * pixels, all else 0), so marivue_jpeg_free may be called either way. */
MARIVUE_JPEG_API int marivue_jpeg_decode(const unsigned char* data, size_t size, int format, marivue_jpeg_image* out);
/* The same from a file. */
MARIVUE_JPEG_API int marivue_jpeg_decode_file(const char* path, int format, marivue_jpeg_image* out);
/* Releases the pixels and empties *image; a null or empty image is fine. */
MARIVUE_JPEG_API void marivue_jpeg_free(marivue_jpeg_image* image);
/* Reads the stream up to its frame header. */
MARIVUE_JPEG_API int marivue_jpeg_read_info(const unsigned char* data, size_t size, marivue_jpeg_info* info);
/* The status's name ("NotJpeg") and words a person reads ("not a JPEG file"). */
MARIVUE_JPEG_API const char* marivue_jpeg_status_name(int status);
MARIVUE_JPEG_API const char* marivue_jpeg_status_message(int status);
/* "MAJOR.MINOR.PATCH". */
MARIVUE_JPEG_API const char* marivue_jpeg_version(void);

#ifdef __cplusplus
}
#endif

#endif
