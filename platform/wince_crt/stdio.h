/* The file streams of Windows CE's C runtime, as coredll.dll exports them.
 * Only the handheld build compiled by a bare ARM compiler reads this folder:
 * that compiler brings no C library, and the kit links nothing but coredll. */
#ifndef KVZ_WINCE_CRT_STDIO_H
#define KVZ_WINCE_CRT_STDIO_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque: only coredll looks inside. */
typedef struct _iobuf FILE;

#define EOF (-1)
#define SEEK_SET 0
#define SEEK_CUR 1
#define SEEK_END 2

FILE *fopen(const char *name, const char *mode);
/* The name as it is: fopen widens its name with the device's code page. */
FILE *_wfopen(const wchar_t *name, const wchar_t *mode);
int fclose(FILE *stream);
size_t fread(void *buffer, size_t size, size_t count, FILE *stream);
size_t fwrite(const void *buffer, size_t size, size_t count, FILE *stream);
int fseek(FILE *stream, long offset, int origin);
long ftell(FILE *stream);
int fflush(FILE *stream);
int feof(FILE *stream);
int ferror(FILE *stream);

#ifdef __cplusplus
}
#endif

#endif
