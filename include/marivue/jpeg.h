/* Marivue JPEG decoder: the C interface, for C programs and for other
 * languages' foreign-function interfaces. One call decodes a picture:
 *
 *   marivue_jpeg_image image;
 *   int status = marivue_jpeg_decode(data, size, MARIVUE_JPEG_RGB, &image);
 *   if (status == 0) { use image.pixels; }
 *   else fprintf(stderr, "%s\n", marivue_jpeg_status_message(status));
 *   marivue_jpeg_free(&image);
 *
 * and a streaming decoder delivers it row by row (below).
 *
 * Functions return 0 or a negative status, the codes of the C++ interface
 * (marivue/jpeg/status.h; marivue_jpeg_status_name gives the name), with
 * the meanings marivue/jpeg.hpp lists: NotJpeg (-217) for null data or
 * size 0, StreamError (-232) for a file that cannot be read or arguments
 * the call cannot use, OutOfMemory (-233) also when the decoder's working
 * memory would pass 256 MiB. Pixels follow the rules of marivue/jpeg.hpp:
 * rows packed top to bottom, grey from YCbCr by the luma samples and from
 * RGB, CMYK and YCCK by the luma of the decoded red, green and blue, colour
 * from grey by replication, alpha 255, CMYK and YCCK converted to red,
 * green and blue by the naive product, and a picture whose data ends early
 * decoded with its missing rows mid-grey and `complete` 0. Options
 * (marivue_jpeg_options, below) raise the side limit above 8192 and ask
 * for rows at 1/2, 1/4 or 1/8 of the size. No exception or other C++
 * failure crosses this interface. */
#ifndef MARIVUE_JPEG_H
#define MARIVUE_JPEG_H

#include "marivue/jpeg/export.h"

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Pixel formats: bytes per pixel 3, 4, 4 and 1. */
enum { MARIVUE_JPEG_RGB = 0, MARIVUE_JPEG_RGBA = 1, MARIVUE_JPEG_BGRA = 2, MARIVUE_JPEG_GREY = 3 };

/* A decoded picture, at the size delivered (the picture's divided by the
 * options' scale, rounded up). pixels holds size = width x height x
 * channels bytes, allocated by the library: release it with
 * marivue_jpeg_free. */
typedef struct marivue_jpeg_image {
    int width, height, channels, complete;
    unsigned char* pixels;
    size_t size;
} marivue_jpeg_image;

/* What the frame header says. width, height: the frame's, whatever the
 * scale (marivue_jpeg_decoder_output_size gives the rows' size);
 * components: 1 grey, 3 or 4 colour; rgb: 1 for colour coded as RGB rather
 * than YCbCr; the sampling factors of each component, 0 for unused entries.
 * The caller allocates it, so it never grows: later facts come from
 * functions of the streaming decoder. */
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

/* Streaming: a picture row by row, from memory or through a read function,
 * holding one row of pixels at a time.
 *
 *   marivue_jpeg_options options;
 *   marivue_jpeg_options_init(&options, sizeof options);
 *   int status;
 *   marivue_jpeg_decoder* d = marivue_jpeg_decoder_open_callback(read, file, &options, &status);
 *   int width, height;
 *   if (status == 0 && marivue_jpeg_decoder_output_size(d, &width, &height) == 0) {
 *       row = malloc(width * 3);
 *       while ((status = marivue_jpeg_decoder_next_row(d, row, width * 3, MARIVUE_JPEG_RGB)) == 0)
 *           use row;
 *   }
 *   if (status < 0)
 *       fprintf(stderr, "%s\n", d ? marivue_jpeg_decoder_message(d) : marivue_jpeg_status_message(status));
 *   marivue_jpeg_decoder_free(d);
 *
 * The decoder is opaque: what it keeps can change without changing this
 * interface. One decoder is used by one thread at a time, except that any
 * thread may stop it (marivue_jpeg_decoder_stop). */
typedef struct marivue_jpeg_decoder marivue_jpeg_decoder;

/* A streaming decoder's options. marivue_jpeg_options_init sets every field
 * to its default and `size` to the size the caller passes, which must be
 * sizeof the caller's struct; the library reads only the fields that `size`
 * covers. So a program built with this header keeps working with a later
 * library whose options have more fields (those keep their defaults). */
typedef struct marivue_jpeg_options {
    size_t size;
    /* The most working memory the decoder may hold, in bytes (0: no limit);
     * 256 MiB by default, so that a hostile header cannot take gigabytes. A
     * progressive picture keeps 130 bytes per 8x8 block of each component. */
    size_t memory_limit;
    /* Pictures with more pixels are refused with OutOfMemory when they are
     * opened (0, the default: no limit beyond max_side x max_side). The
     * picture's own pixels count, whatever the scale. */
    uint64_t max_pixels;
    /* The largest width and height accepted, 1 to 65535; 8192 by default.
     * Larger pictures fail with WidthOutOfRange or HeightOutOfRange, values
     * out of range with StreamError. What a larger picture needs stays
     * bounded by memory_limit. */
    int max_side;
    /* Rows at 1/scale of the size: 1 (the default), 2, 4 or 8; any other
     * value fails with StreamError. Costs and results as for
     * marivue/jpeg.hpp's Options::scale. */
    int scale;
} marivue_jpeg_options;

MARIVUE_JPEG_API void marivue_jpeg_options_init(marivue_jpeg_options* options, size_t size);

/* marivue_jpeg_decode with options (NULL for the defaults), which must have
 * been set up by marivue_jpeg_options_init (StreamError otherwise). */
MARIVUE_JPEG_API int marivue_jpeg_decode_with_options(const unsigned char* data, size_t size, int format,
                                                      const marivue_jpeg_options* options, marivue_jpeg_image* out);

/* How a picture's components carry colour (marivue_jpeg_decoder_colour_space). */
enum {
    MARIVUE_JPEG_SPACE_GREY = 0,
    MARIVUE_JPEG_SPACE_YCBCR = 1,
    MARIVUE_JPEG_SPACE_RGB = 2,
    MARIVUE_JPEG_SPACE_CMYK = 3,
    MARIVUE_JPEG_SPACE_YCCK = 4
};

/* Reads up to `max` bytes into `buffer` and returns how many, 0 at the end
 * of the data, or -1 on an error (the decoder then fails with StreamError).
 * It may return fewer bytes than asked for without being at the end. */
typedef long (*marivue_jpeg_read_fn)(void* user_data, unsigned char* buffer, size_t max);

/* Open a decoder and read the stream up to its frame header. *status (when
 * status is not NULL) receives 0 or the failure, which the decoder keeps:
 * a decoder is returned either way, so that marivue_jpeg_decoder_message
 * can say why, and must be freed. NULL only when no decoder could be made:
 * OutOfMemory, or StreamError for a null read function or options whose
 * size was not set by marivue_jpeg_options_init. Options may be NULL for
 * the defaults. The data of open_memory must stay unchanged until the
 * decoder is freed; open_callback calls `read` until the decoder has
 * reached the end of the picture or failed, never after it is freed. */
MARIVUE_JPEG_API marivue_jpeg_decoder* marivue_jpeg_decoder_open_memory(const unsigned char* data, size_t size,
                                                                        const marivue_jpeg_options* options,
                                                                        int* status);
MARIVUE_JPEG_API marivue_jpeg_decoder* marivue_jpeg_decoder_open_callback(marivue_jpeg_read_fn read, void* user_data,
                                                                          const marivue_jpeg_options* options,
                                                                          int* status);
/* What the frame header says; returns the decoder's status. */
MARIVUE_JPEG_API int marivue_jpeg_decoder_info(const marivue_jpeg_decoder* decoder, marivue_jpeg_info* info);
/* The size of the rows delivered: the frame's divided by the options'
 * scale, rounded up (0 x 0 when no frame header was read); either pointer
 * may be NULL. Returns the decoder's status. */
MARIVUE_JPEG_API int marivue_jpeg_decoder_output_size(const marivue_jpeg_decoder* decoder, int* width, int* height);
/* MARIVUE_JPEG_SPACE_GREY, _YCBCR, _RGB, _CMYK or _YCCK; -1 for a NULL
 * decoder or one that read no frame header. */
MARIVUE_JPEG_API int marivue_jpeg_decoder_colour_space(const marivue_jpeg_decoder* decoder);
/* The embedded ICC colour profile (its chunks joined; none when they are
 * inconsistent or missing), the first Exif segment's TIFF data (after
 * "Exif\0\0") and the Exif orientation (1..8, 1 when absent or invalid),
 * as marivue/jpeg.hpp's Info describes them. The bytes live as long as the
 * decoder; NULL with *size 0 when there are none (size may be NULL). */
MARIVUE_JPEG_API const unsigned char* marivue_jpeg_decoder_icc_profile(const marivue_jpeg_decoder* decoder,
                                                                       size_t* size);
MARIVUE_JPEG_API const unsigned char* marivue_jpeg_decoder_exif(const marivue_jpeg_decoder* decoder, size_t* size);
MARIVUE_JPEG_API int marivue_jpeg_decoder_orientation(const marivue_jpeg_decoder* decoder);
/* Writes the next row, top to bottom, in `format` into the first
 * output width x channels bytes of `row` (the frame's width at scale 1). Returns 0 when a row was written, 1 once
 * every row has been, or the negative status. StreamError for a row_size
 * too small or an unknown format leaves the decoder as it was: no row is
 * consumed. The first call prepares decoding, which for a progressive
 * picture decodes every scan. Data that ends early gives mid-grey rows where
 * it did not reach, and marivue_jpeg_decoder_complete then returns 0. */
MARIVUE_JPEG_API int marivue_jpeg_decoder_next_row(marivue_jpeg_decoder* decoder, unsigned char* row, size_t row_size,
                                                   int format);
/* 0, or the first failure (StreamError for a NULL decoder). */
MARIVUE_JPEG_API int marivue_jpeg_decoder_status(const marivue_jpeg_decoder* decoder);
/* 1, or 0 once the data has been found to end early (final after the last row). */
MARIVUE_JPEG_API int marivue_jpeg_decoder_complete(const marivue_jpeg_decoder* decoder);
/* The words for the decoder's status a person reads, naming the actual
 * reason where the decoder knows more than the status (the kind of picture
 * it refused, for one). Lives as long as the decoder. */
MARIVUE_JPEG_API const char* marivue_jpeg_decoder_message(const marivue_jpeg_decoder* decoder);
/* Ends the decoding in progress: callable from any thread, also while
 * another is inside marivue_jpeg_decoder_next_row (which then returns
 * Stopped, -234, within an MCU row, a progressive scan or 4096 blocks of
 * one), and every later next_row returns Stopped too; the decoder's working
 * memory is released at once, and the handle must still be freed. NULL is
 * fine. */
MARIVUE_JPEG_API void marivue_jpeg_decoder_stop(marivue_jpeg_decoder* decoder);
/* Releases the decoder and all its memory, also in the middle of a picture;
 * NULL is fine. */
MARIVUE_JPEG_API void marivue_jpeg_decoder_free(marivue_jpeg_decoder* decoder);

#ifdef __cplusplus
}
#endif

#endif
