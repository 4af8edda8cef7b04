#include "text.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// Bit b of leadBytes[b >> 5]: byte b is a lead byte.
unsigned leadBytes[8];
int leadBytesKnown = 0;

void MarkLeadBytes(unsigned first, unsigned last)
{
    for (unsigned b = first; b <= last; b++)
        leadBytes[b >> 5] |= 1u << (b & 31);
}

void LoadLeadBytes()
{
    leadBytesKnown = 1;
#ifdef _WIN32
    for (unsigned b = 0x80; b < 0x100; b++)
        if (IsDBCSLeadByte(static_cast<BYTE>(b)))
            MarkLeadBytes(b, b);
#endif
}

}  // namespace

int IsLeadByte(unsigned char byte)
{
    if (!leadBytesKnown)
        LoadLeadBytes();
    return (leadBytes[byte >> 5] >> (byte & 31)) & 1;
}

void UseCodePageLeadBytes(unsigned codePage)
{
    for (unsigned& word : leadBytes)
        word = 0;
    leadBytesKnown = 1;
    if (codePage == 932) {           // Japanese
        MarkLeadBytes(0x81, 0x9F);
        MarkLeadBytes(0xE0, 0xFC);
    } else if (codePage == 936 || codePage == 949 || codePage == 950) {  // Chinese, Korean
        MarkLeadBytes(0x81, 0xFE);
    }
}

const char* NextChar(const char* text)
{
    if (IsLeadByte(static_cast<unsigned char>(*text)) && text[1])
        return text + 2;
    return text + 1;
}

size_t TextLength(const char* text)
{
    const char* end = text;
    while (*end)
        end++;
    return static_cast<size_t>(end - text);
}

int CopyBounded(char* out, size_t size, const char* from, size_t length)
{
    if (length >= size)
        return 0;
    for (size_t i = 0; i < length; i++)
        out[i] = from[i];
    out[length] = '\0';
    return 1;
}

bool JoinText(char* out, size_t size, const char* a, const char* b, const char* c)
{
    size_t la = TextLength(a), lb = TextLength(b), lc = TextLength(c);
    if (la + lb + lc + 1 > size) {
        out[0] = '\0';
        return false;
    }
    // Front to back: a is either out itself or apart from it.
    if (a != out)
        CopyBounded(out, size, a, la);
    CopyBounded(out + la, size - la, b, lb);
    CopyBounded(out + la + lb, size - la - lb, c, lc);
    return true;
}

int SameText(const char* a, const char* b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

void LowerAscii(char* text)
{
    for (; *text; text = const_cast<char*>(NextChar(text)))
        if (*text >= 'A' && *text <= 'Z')
            *text = static_cast<char>(*text - 'A' + 'a');
}

const char* FindText(const char* text, const char* part)
{
    for (; *text; text = NextChar(text)) {
        size_t i = 0;
        while (part[i] && text[i] == part[i])
            i++;
        if (!part[i])
            return text;
    }
    return *part ? nullptr : text;
}

const char* FindChar(const char* text, char c)
{
    for (; *text; text = NextChar(text))
        if (*text == c)
            return text;
    return nullptr;
}

int EndsWithBackslash(const char* text)
{
    const char* last = nullptr;
    for (; *text; text = NextChar(text))
        last = text;
    return last && *last == '\\';
}

const char* PathFileName(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p = NextChar(p))
        if (*p == '\\' || *p == '/' || *p == ':')
            name = p + 1;
    return name;
}

int SplitPathParts(const char* path, PathParts* parts)
{
    size_t driveLength = path[0] && !IsLeadByte(static_cast<unsigned char>(path[0])) && path[1] == ':' ? 2 : 0;
    const char* rest = path + driveLength;
    const char* afterDir = rest;
    for (const char* p = rest; *p; p = NextChar(p))
        if (*p == '\\' || *p == '/')
            afterDir = p + 1;
    const char* dot = nullptr;
    const char* end = afterDir;
    for (; *end; end = NextChar(end))
        if (*end == '.')
            dot = end;
    if (!dot)
        dot = end;
    if (CopyBounded(parts->drive, sizeof parts->drive, path, driveLength) &&
        CopyBounded(parts->dir, sizeof parts->dir, rest, static_cast<size_t>(afterDir - rest)) &&
        CopyBounded(parts->name, sizeof parts->name, afterDir, static_cast<size_t>(dot - afterDir)) &&
        CopyBounded(parts->ext, sizeof parts->ext, dot, static_cast<size_t>(end - dot)))
        return 1;
    parts->drive[0] = parts->dir[0] = parts->name[0] = parts->ext[0] = '\0';
    return 0;
}
