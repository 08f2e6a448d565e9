// 16-bit text for the fakes and the host application: conversion between
// UTF-8 and UTF-16 and a bounded length, without the C library's wide calls.
#ifndef KVZ_FAKE_TEXT_H
#define KVZ_FAKE_TEXT_H

#include "platform/win32.h"

// Converts NUL-terminated UTF-8 into UTF-16 in out[room], always terminated.
// Malformed bytes become U+FFFD. Returns the number of 16-bit units written
// (without the terminator), or -1 when the text does not fit (out then holds
// the empty string) or room is 0.
int FakeUtf8ToWide(const char *in, WCHAR *out, size_t room);

// Converts NUL-terminated UTF-16 into UTF-8 in out[room], always terminated.
// An unpaired surrogate becomes U+FFFD. Returns the bytes written (without the
// terminator), or -1 when the text does not fit (out then holds the empty
// string) or room is 0.
int FakeWideToUtf8(const WCHAR *in, char *out, size_t room);

// Number of units before the terminator, looking at no more than max units.
size_t FakeWideLength(const WCHAR *text, size_t max);

// Copies at most room - 1 units of text and terminates; a null text gives the
// empty string. Returns 1 when all of it fit, 0 when it was cut short.
int FakeWideCopy(WCHAR *out, size_t room, const WCHAR *text);

// 1 when both strings hold the same units, 0 otherwise.
int FakeWideEqual(const WCHAR *a, const WCHAR *b);

#endif
