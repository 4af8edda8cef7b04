// The runtime's text routines on path text in double-byte code pages, where
// a trail byte may look like an ASCII letter or a backslash, and in a
// single-byte page with accented letters. Byte strings are written out so
// that each double-byte character is visible.
#include <gtest/gtest.h>

#include <string>

#include "text.h"

namespace {

struct CodePageCase {
    unsigned codePage;
    const char* what;
    const char* path;          // as the user or the system gave it
    const char* lowered;       // ASCII letters lower-cased, trail bytes kept
    const char* fileName;      // after the last separator
    int endsWithBackslash;
    int namesVexa;             // "\vexa" found at a character
};

// Japanese 932: "ア" 83 41, "ソ" 83 5C, "表" 95 5C. Simplified Chinese 936:
// 81 5C and D5 41. Korean 949: 81 41 and 88 5A (its trail bytes are never
// 5C). Traditional Chinese 950: "許" B3 5C, "乙" A4 41. Western 1252:
// "É" C9 and "Ä" C4 are letters of their own, left as they are.
const CodePageCase kCases[] = {
    {932, "katakana a (trail 'A')", "C:\\\x83\x41\x83\x76\x83\x8A\x95\x5C\\Chat", "c:\\\x83\x41\x83\x76\x83\x8A\x95\x5C\\chat",
     "Chat", 0, 0},
    {932, "hyou ends the path (trail '\\')", "C:\\\x95\x5C", "c:\\\x95\x5C", "\x95\x5C", 0, 0},
    {932, "so before vexa (trail '\\' then 'vexa')", "C:\\\x83\x5Cvexa", "c:\\\x83\x5Cvexa", "\x83\x5Cvexa", 0, 0},
    {932, "a real separator after a double-byte name", "C:\\\x95\x5C\\", "c:\\\x95\x5C\\", "", 1, 0},
    {936, "trail '\\' and trail 'A'", "D:\\\x81\x5C\\\xD5\x41X", "d:\\\x81\x5C\\\xD5\x41x", "\xD5\x41X", 0, 0},
    {936, "trail '\\' at the end", "D:\\\x81\x5C", "d:\\\x81\x5C", "\x81\x5C", 0, 0},
    {949, "trail 'A' and 'Z'", "C:\\\x81\x41\x88\x5A\\VEXA", "c:\\\x81\x41\x88\x5A\\vexa", "VEXA", 0, 1},
    {950, "hsu (trail '\\') before vexa", "C:\\\xB3\x5Cvexa", "c:\\\xB3\x5Cvexa", "\xB3\x5Cvexa", 0, 0},
    {950, "yi (trail 'A') then a separator", "C:\\\xA4\x41\\Vexa", "c:\\\xA4\x41\\vexa", "Vexa", 0, 1},
    {1252, "accented capitals stay", "C:\\\xC9T\xC4\\Vexa", "c:\\\xC9t\xC4\\vexa", "Vexa", 0, 1},
    {1252, "0x5C after a high byte is a separator", "C:\\\x95\\", "c:\\\x95\\", "", 1, 0},
};

class TextRoutines : public ::testing::Test {
protected:
    void TearDown() override { UseCodePageLeadBytes(1252); }
};

TEST_F(TextRoutines, WalkDoubleByteCharactersWhole)
{
    for (const CodePageCase& c : kCases) {
        SCOPED_TRACE(std::to_string(c.codePage) + ": " + c.what);
        UseCodePageLeadBytes(c.codePage);
        char text[64];
        ASSERT_TRUE(JoinText(text, sizeof text, c.path));
        LowerAscii(text);
        EXPECT_EQ(std::string(c.lowered), text);
        EXPECT_EQ(std::string(c.fileName), PathFileName(c.path));
        EXPECT_EQ(c.endsWithBackslash, EndsWithBackslash(c.path));
        EXPECT_EQ(c.namesVexa, FindText(text, "\\vexa") != nullptr);
    }
}

TEST_F(TextRoutines, SplitPathKeepsTrailBytesInTheirParts)
{
    struct Split {
        unsigned codePage;
        const char* path;
        const char* drive;
        const char* dir;
        const char* name;
        const char* ext;
    };
    const Split splits[] = {
        // 表 (95 5C) in a directory and in a name; ア (83 41) before the dot.
        {932, "C:\\\x95\x5C\\\x83\x41.exe", "C:", "\\\x95\x5C\\", "\x83\x41", ".exe"},
        {932, "C:\\dir\\\x95\x5C", "C:", "\\dir\\", "\x95\x5C", ""},
        {950, "C:\\\xB3\x5C.txt", "C:", "\\", "\xB3\x5C", ".txt"},
        // A trail byte 2E would be a dot in a single-byte page: none of the
        // four has it, so the plain rules hold in 1252.
        {1252, "C:\\\x95\\setup32.exe", "C:", "\\\x95\\", "setup32", ".exe"},
        {1252, "vexa.ini", "", "", "vexa", ".ini"},
    };
    for (const Split& s : splits) {
        SCOPED_TRACE(std::to_string(s.codePage) + ": " + s.path);
        UseCodePageLeadBytes(s.codePage);
        PathParts parts;
        ASSERT_EQ(1, SplitPathParts(s.path, &parts));
        EXPECT_EQ(std::string(s.drive), parts.drive);
        EXPECT_EQ(std::string(s.dir), parts.dir);
        EXPECT_EQ(std::string(s.name), parts.name);
        EXPECT_EQ(std::string(s.ext), parts.ext);
    }
}

TEST_F(TextRoutines, ALeadByteAtTheEndIsACharacterOfItsOwn)
{
    // Cut-off text (a buffer filled to its end) must not be read past its
    // terminator.
    UseCodePageLeadBytes(932);
    const char cut[] = "C:\\\x95";
    EXPECT_EQ(cut + 4, NextChar(cut + 3));
    EXPECT_EQ(0, EndsWithBackslash(cut));
    EXPECT_EQ(std::string("\x95"), PathFileName(cut));
}

TEST_F(TextRoutines, JoinTextRefusesWhatDoesNotFit)
{
    char out[8] = "old";
    EXPECT_FALSE(JoinText(out, sizeof out, "abcd", "efg", "h"));
    EXPECT_EQ(std::string(), out);
    EXPECT_TRUE(JoinText(out, sizeof out, "abcd", "efg"));
    EXPECT_EQ(std::string("abcdefg"), out);
    EXPECT_TRUE(JoinText(out, sizeof out, "ab"));
    EXPECT_TRUE(JoinText(out, sizeof out, out, "\\", "c"));   // onto itself
    EXPECT_EQ(std::string("ab\\c"), out);
}

}  // namespace
