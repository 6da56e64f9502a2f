// Text functions over CP932 strings and byte arrays: bounded copying, line splitting, hexadecimal numbers,
// cutting, trimming of control bytes, file-name wildcards and full-width numbers. None changes its arguments
// except a named output.
#pragma once

#include "core/vxstring.h"

// Copies src to dst until a NUL, a carriage return, a ',' (when stopAtComma) or max bytes; the stopping byte is
// not copied. A byte in 0x80-0x9F or 0xE0-0xEF starts a two-byte character, copied whole or not at all. Line
// feeds are copied. Always NUL-terminates: dst needs max + 1 bytes. Returns dst.
char* VXhstrncpy(char* dst, const char* src, unsigned int max, bool stopAtComma);

// Splits text at line feeds into parts[0 .. count - 1]; later lines are dropped, missing ones left empty.
void VXSeparateString(const VXString& text, VXString* parts, int count);

// Reads the first eight characters as hexadecimal digits; any other character counts as a zero digit.
int VXHexToInt(const VXString& s);

// Bytes 1 .. n of s (n cut to the length; empty below 1).
VXString VXDivideFront(const VXString& s, int n);
// Bytes n .. end of s (n below 1 counts as 1; empty past the end). Both halves contain byte n.
VXString VXDivideRear(const VXString& s, int n);

// Remove single bytes 0x00-0x20 at both ends, the front or the end; a double-byte character stops the scan.
VXString VXTrim(const VXString& s);
VXString VXTrimLeft(const VXString& s);
VXString VXTrimRight(const VXString& s);

// File-name match: '*' any run; '?' one byte other than '.', or nothing at a '.' or the end of the name;
// ASCII letters without regard to case; double-byte characters exactly. A pattern's end also accepts a name
// that has only a final '.' left.
bool VXWildCardCmp(const char* pattern, const char* name);

// The value in full-width CP932 digits, zero-filled to digits places (1 .. 10), led by a full-width minus when
// negative.
VXString VXIntToWideStr(int value, int digits);
