// String and path routines over ANSI text with a zero terminator. Text may
// be double-byte (the ANSI code pages of Japanese, Chinese and Korean
// Windows): a lead byte and the trail byte after it are one character, and a
// trail byte may look like an ASCII letter or a backslash. Every routine
// here walks text character by character, so no trail byte is ever taken
// for a letter, a separator or the start of a match.
#pragma once

#include <cstddef>

// Lead bytes of the system's ANSI code page. In the Windows build they are
// the system's own (IsDBCSLeadByte), read once on first use; elsewhere none
// until a code page is chosen.
int IsLeadByte(unsigned char byte);
// Uses the lead-byte ranges of a code page instead: 932, 936, 949 and 950
// have lead bytes, every other code page is single-byte. For tests.
void UseCodePageLeadBytes(unsigned codePage);

// The character after the one at text (which must not be the terminator).
// A lead byte followed by the terminator is a character of its own.
const char* NextChar(const char* text);

size_t TextLength(const char* text);

// Concatenates a, b and c into out. False, and out empty, when the result
// would not fit into size characters with its terminator. a may be out
// itself; b and c may not overlap out.
bool JoinText(char* out, size_t size, const char* a, const char* b = "", const char* c = "");

// Copies length bytes into a buffer of the given size; 0 when they do not
// fit with the terminator.
int CopyBounded(char* out, size_t size, const char* from, size_t length);

// 1 when the texts are the same bytes.
int SameText(const char* a, const char* b);

// Lower-cases the ASCII letters A to Z only; trail bytes stay as they are.
void LowerAscii(char* text);

// The first place where part starts at a character of text; null if none.
const char* FindText(const char* text, const char* part);

// The first character of text equal to the ASCII character c; null if none.
const char* FindChar(const char* text, char c);

// 1 when the last character of text is a backslash (a trail byte 0x5C is
// not one).
int EndsWithBackslash(const char* text);

// The last component of a path: what follows its last backslash, slash or
// colon.
const char* PathFileName(const char* path);

// Result of splitting a path: drive, directory with its trailing
// backslash, file name, extension with its dot.
struct PathParts {
    char drive[3];
    char dir[256];
    char name[256];
    char ext[256];
};

// Splits a path into its parts. 0, with all four empty, when a part does
// not fit.
int SplitPathParts(const char* path, PathParts* parts);
