// The single-byte code pages of the wire client.
//
// Text inside the stack is 8-bit; the engine converts it between the
// workstation's code page and the server's character set with these tables.
// There are 43 code pages, identified 1..43; identifier 0 means "no code
// page", and a conversion with it on either side is a plain copy. Each table
// gives, for every byte value, its Unicode character (U+FFFD where the code
// page leaves the byte undefined).
//
// Everything here is constant data or a pure function: safe to call from any
// thread. Convert writes only to the destination it is given.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace wire {

constexpr int kCodePageCount = 43;
constexpr uint16_t kUndefinedCharacter = 0xFFFD;

// Code-page identifiers.
enum : int {
  CP_NONE = 0,
  CP_ISO8859_1 = 1,
  CP_ISO8859_10 = 2,
  CP_ISO8859_13 = 3,
  CP_ISO8859_14 = 4,
  CP_ISO8859_15 = 5,
  CP_ISO8859_2 = 6,
  CP_ISO8859_3 = 7,
  CP_ISO8859_4 = 8,
  CP_ISO8859_5 = 9,
  CP_ISO8859_6 = 10,
  CP_ISO8859_7 = 11,
  CP_ISO8859_8 = 12,
  CP_ISO8859_9 = 13,
  CP_WINDOWS_1250 = 14,
  CP_WINDOWS_1251 = 15,
  CP_WINDOWS_1252 = 16,
  CP_WINDOWS_1253 = 17,
  CP_WINDOWS_1254 = 18,
  CP_WINDOWS_1255 = 19,
  CP_WINDOWS_1256 = 20,
  CP_WINDOWS_1257 = 21,
  CP_WINDOWS_1258 = 22,
  CP_EBCDIC_424 = 23,
  CP_IBM_437 = 24,
  CP_EBCDIC_500 = 25,
  CP_IBM_737 = 26,
  CP_IBM_775 = 27,
  CP_IBM_850 = 28,
  CP_IBM_852 = 29,
  CP_IBM_855 = 30,
  CP_IBM_856 = 31,
  CP_IBM_857 = 32,
  CP_IBM_860 = 33,
  CP_IBM_861 = 34,
  CP_IBM_862 = 35,
  CP_IBM_863 = 36,
  CP_IBM_864 = 37,
  CP_IBM_865 = 38,
  CP_IBM_866 = 39,
  CP_IBM_869 = 40,
  CP_WINDOWS_874 = 41,
  CP_EBCDIC_875 = 42,
  CP_KOI8_R = 43,
};

// The 256-entry table of an identifier, looked up by its low 7 bits: 1..43
// give a table, anything else nullptr.
const uint16_t* CodePageTable(int id);

// The code page's published name ("ISO 8859-1", "Windows-1252",
// "IBM EBCDIC 500", "KOI8-R"...); empty for identifiers without a table.
std::string_view CodePageName(int id);

// The identifier of a published name as CodePageName gives it, compared
// without regard to ASCII case; 0 when no code page has that name.
int CodePageByName(std::string_view name);

// The identifier of a Windows ANSI code page number: 1250..1258 give 14..22,
// anything else 0.
int CodePageFromAnsi(int ansiCodePage);

// The workstation's identifier. The workstation's code page is Windows-1252
// here, so this is always CP_WINDOWS_1252.
int WorkstationCodePage();

// The identifier for a server character-set name (the server's character-set
// variable, e.g. "latin1" or "latin1_swedish_ci"): the name in upper case is
// matched by prefix against a fixed list; unknown names, "utf8" and the empty
// name give 0.
int ServerCodePage(std::string_view charsetName);

// Copies count bytes from source to dest, then converts dest in place from
// code page sourceId to destId, up to its first zero byte: bytes below 128
// stay; a byte of 128 or more becomes its character's byte in the destination
// code page (first position from 128 on), or the character itself when that
// is below 128, and stays as it was when the destination lacks the character.
// With either identifier lacking a table the copy is the result. source and
// dest may be the same block; otherwise they must not overlap.
void Convert(const char* source, char* dest, size_t count, int sourceId, int destId);

// Convert over a whole string.
std::string Convert(std::string_view text, int sourceId, int destId);

// Appends a character to out in UTF-8, for the edges that write text out of
// the stack. Every character of the tables lies below U+10000, so it takes
// one to three bytes.
void AppendUtf8(std::string& out, uint16_t character);

}  // namespace wire
