// Helpers that prepare command lines and take their arguments apart.
#pragma once

#include <cstdint>
#include <cstring>

// Whether a command line begins with keyword, and whether it is exactly keyword.
inline bool prefix(const char* line, const char* keyword) {
    return std::strncmp(line, keyword, std::strlen(keyword)) == 0;
}
inline bool exact(const char* line, const char* keyword) {
    return std::strcmp(line, keyword) == 0;
}

// First character of s that is not white space (the NUL if none); null gives null.
char* skipLeadingWhitespace(char* s);

// First character of s that is not a space or tab; whether s holds nothing else.
const char* skipBlanks(const char* s);
bool onlyBlanks(const char* s);

// Cuts a comment that starts with two slashes outside double quotes, together with the white
// space and slashes directly before it. Returns 0 when nothing remains (or s is null), else 1.
int killTrailingComment(char* s);

// Decodes the double-quoted text of s in place: the text after the first quote (s itself when
// it starts with one) up to the next quote or the end of the line, with the escapes \n \r \xHH
// \0 and backslash-any, is written over the start of s and NUL-terminated. *rest (if given)
// points after the closing quote, or at the end of the line. Returns s, or null when s is null,
// empty or has no quote. escstrl also stores the decoded length (NULs from escapes included).
char* escstr(char* s, char delim, char** rest);
char* escstrl(char* s, char delim, char** rest, int* length);

// Splits s at the first delim (replaced by NUL); *rest points past the run of delimiters that
// follows, or at the terminating NUL. Leading delimiters are not skipped. Returns s, or null
// (with *rest null) for a null or empty s.
char* strtokr(char* s, char delim, char** rest);

// Hexadecimal digit value of c: '0'-'9', 'a'-'f', 'A'-'F'; any other character gives 0.
int atoh(char c);
// The same, converting the character in place; returns the value.
int toHex(char* c);
// Two characters as a byte, as the \x escape reads them (no validation).
uint8_t shtoU8(const char* p);

// The character of the escape whose letter p points at (just past the backslash; the letter is
// not the text's end), and p moved past it: \n \r \0 \xHH, any other letter stands for itself.
// ends_text(c) tells whether c ends the text, so that \x never reads past it: with fewer than
// two characters left the 'x' stays as it is.
template <typename Ptr, typename EndsText>
char decodeEscape(Ptr& p, EndsText ends_text) {
    const char e = *p++;
    switch (e) {
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case '0':
            return '\0';
        case 'x':
        case 'X':
            if (!ends_text(p[0]) && !ends_text(p[1])) {
                const char c = char(shtoU8(p));
                p += 2;
                return c;
            }
            return e;
        default:
            return e;
    }
}
