/* The memory and 8-bit string calls of Windows CE's C runtime, as coredll.dll
 * exports them (see stdio.h in this folder). strnlen is not among them. */
#ifndef KVZ_WINCE_CRT_STRING_H
#define KVZ_WINCE_CRT_STRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

void *memcpy(void *dest, const void *src, size_t count);
void *memmove(void *dest, const void *src, size_t count);
void *memset(void *dest, int value, size_t count);
int memcmp(const void *a, const void *b, size_t count);
void *memchr(const void *block, int value, size_t count);
size_t strlen(const char *text);
int strcmp(const char *a, const char *b);
int strncmp(const char *a, const char *b, size_t count);
char *strcpy(char *dest, const char *src);
char *strcat(char *dest, const char *src);
char *strchr(const char *text, int c);
char *strrchr(const char *text, int c);
size_t strcspn(const char *text, const char *reject);
size_t strspn(const char *text, const char *accept);
char *strstr(const char *text, const char *part);

#ifdef __cplusplus
}
#endif

#endif
