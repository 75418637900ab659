#include "wire/CodePages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using wire::CodePageTable;
using wire::Convert;

// A few characteristic bytes of every table, from the code pages' published
// charts: letters that distinguish neighbouring code pages, undefined bytes,
// and the ASCII letters of the EBCDIC pages.
TEST(CodePages, SampleBytesOfEveryTable) {
  struct Case {
    int id;
    int byte;
    uint16_t expected;
  };
  const Case cases[] = {
      {1, 0xE7, 0x00E7},  {1, 0xA4, 0x00A4},  {2, 0xA1, 0x0104},  {2, 0xBD, 0x2015},
      {3, 0xA1, 0x201D},  {3, 0xFF, 0x2019},  {4, 0xA1, 0x1E02},  {4, 0xD0, 0x0174},
      {5, 0xA4, 0x20AC},  {5, 0xBC, 0x0152},  {6, 0xA1, 0x0104},  {6, 0xB1, 0x0105},
      {7, 0xA1, 0x0126},  {7, 0xA5, 0xFFFD},  {8, 0xA2, 0x0138},  {8, 0xBD, 0x014A},
      {9, 0xB0, 0x0410},  {9, 0xF0, 0x2116},  {10, 0xC7, 0x0627}, {10, 0xA1, 0xFFFD},
      {11, 0xA1, 0x2018}, {11, 0xC1, 0x0391}, {11, 0xA4, 0xFFFD}, {11, 0xA5, 0xFFFD},
      {11, 0xAA, 0xFFFD}, {11, 0xAE, 0xFFFD}, {12, 0xE0, 0x05D0}, {12, 0xAA, 0x00D7},
      {13, 0xD0, 0x011E}, {13, 0xFD, 0x0131}, {14, 0x8A, 0x0160}, {14, 0x81, 0xFFFD},
      {15, 0xC0, 0x0410}, {15, 0x88, 0x20AC}, {15, 0x98, 0xFFFD}, {16, 0x80, 0x20AC},
      {16, 0x81, 0xFFFD}, {16, 0x9F, 0x0178}, {17, 0xC1, 0x0391}, {17, 0xAA, 0xFFFD},
      {18, 0xD0, 0x011E}, {18, 0xFD, 0x0131}, {19, 0xE0, 0x05D0}, {19, 0xA4, 0x20AA},
      {20, 0xC7, 0x0627}, {20, 0x81, 0x067E}, {21, 0xC0, 0x0104}, {21, 0xA8, 0x00D8},
      {22, 0xC3, 0x0102}, {22, 0xD0, 0x0110}, {23, 0x41, 0x05D0}, {23, 0xC1, 0x0041},
      {23, 0x40, 0x0020}, {24, 0x80, 0x00C7}, {24, 0xB0, 0x2591}, {24, 0xE1, 0x00DF},
      {25, 0xC1, 0x0041}, {25, 0x4A, 0x005B}, {25, 0x40, 0x0020}, {26, 0x80, 0x0391},
      {27, 0x80, 0x0106}, {28, 0x80, 0x00C7}, {28, 0xD5, 0x0131}, {29, 0xA5, 0x0105},
      {30, 0x80, 0x0452}, {31, 0x80, 0x05D0}, {31, 0x9B, 0xFFFD}, {32, 0x8D, 0x0131},
      {32, 0xD5, 0xFFFD}, {33, 0x84, 0x00E3}, {34, 0x8B, 0x00D0}, {35, 0x80, 0x05D0},
      {36, 0x84, 0x00C2}, {37, 0x25, 0x066A}, {37, 0xFF, 0xFFFD}, {38, 0x9B, 0x00F8},
      {39, 0x80, 0x0410}, {40, 0x86, 0x0386}, {41, 0xA1, 0x0E01}, {41, 0x80, 0x20AC},
      {42, 0x41, 0x0391}, {42, 0xC1, 0x0041}, {43, 0xE1, 0x0410}, {43, 0xC1, 0x0430},
  };
  for (const Case& c : cases) {
    const uint16_t* table = CodePageTable(c.id);
    ASSERT_NE(table, nullptr) << c.id;
    EXPECT_EQ(table[c.byte], c.expected)
        << "table " << c.id << " (" << wire::CodePageName(c.id) << ") byte " << std::hex << c.byte;
  }
}

TEST(CodePages, LowHalfIsAsciiOutsideEbcdic) {
  for (int id = 1; id <= wire::kCodePageCount; ++id) {
    if (id == wire::CP_EBCDIC_424 || id == wire::CP_EBCDIC_500 || id == wire::CP_EBCDIC_875)
      continue;
    const uint16_t* table = CodePageTable(id);
    for (int b = 0; b < 128; ++b) {
      uint16_t expected = (id == wire::CP_IBM_864 && b == 0x25) ? 0x066A : b;
      ASSERT_EQ(table[b], expected) << "table " << id << " byte " << b;
    }
  }
  // The EBCDIC pages put the blank at 40 and the digits at F0.
  for (int id : {23, 25, 42}) {
    EXPECT_EQ(CodePageTable(id)[0x40], 0x20) << id;
    EXPECT_EQ(CodePageTable(id)[0xF0], '0') << id;
  }
}

TEST(CodePages, IdentifiersNamesAndLookups) {
  EXPECT_EQ(CodePageTable(0), nullptr);
  EXPECT_EQ(CodePageTable(44), nullptr);
  EXPECT_EQ(CodePageTable(127), nullptr);
  EXPECT_EQ(CodePageTable(128), nullptr);
  // Only the low 7 bits count.
  EXPECT_EQ(CodePageTable(0x80 | 16), CodePageTable(16));
  EXPECT_NE(CodePageTable(1), CodePageTable(2));

  EXPECT_EQ(wire::CodePageName(1), "ISO 8859-1");
  EXPECT_EQ(wire::CodePageName(16), "Windows-1252");
  EXPECT_EQ(wire::CodePageName(23), "IBM EBCDIC 424");
  EXPECT_EQ(wire::CodePageName(41), "Windows-874");
  EXPECT_EQ(wire::CodePageName(43), "KOI8-R");
  EXPECT_EQ(wire::CodePageName(0), "");
  for (int id = 1; id <= wire::kCodePageCount; ++id)
    EXPECT_EQ(wire::CodePageByName(wire::CodePageName(id)), id);
  EXPECT_EQ(wire::CodePageByName("windows-1251"), 15);
  EXPECT_EQ(wire::CodePageByName("UTF-8"), 0);

  const struct {
    int ansi;
    int id;
  } ansi[] = {{1250, 14}, {1251, 15}, {1252, 16}, {1253, 17}, {1254, 18},
              {1255, 19}, {1256, 20}, {1257, 21}, {1258, 22}, {1249, 0},
              {1259, 0},  {850, 0},   {874, 0},   {65001, 0}, {0, 0}};
  for (const auto& a : ansi) EXPECT_EQ(wire::CodePageFromAnsi(a.ansi), a.id) << a.ansi;
  EXPECT_EQ(wire::WorkstationCodePage(), 16);
}

TEST(CodePages, ServerCharacterSetNames) {
  const struct {
    const char* name;
    int id;
  } cases[] = {
      {"latin1", 1},      {"latin1_swedish_ci", 1},
      {"LATIN1", 1},      {"czech", 1},
      {"german1", 1},     {"latin2", 6},
      {"LATIN2", 6},      {"hungarian", 6},
      {"croat", 6},       {"estonia", 8},
      {"latin5", 9},      {"greek", 11},
      {"hebrew", 12},     {"danish", 2},
      {"swe7", 2},        {"win1250", 14},
      {"cp1251", 15},     {"win1251", 15},
      {"win1251ukr", 15}, {"cp1257", 21},
      {"koi8-ru", 43},    {"koi8-ukr", 43},
      {"koi8_ru", 43},    {"utf8", 0},
      {"utf8mb4", 0},     {"cp1250", 0},
      {"cp1256", 0},      {"", 0},
      {"latin", 0},       {"koi8r", 0},
      {" latin1", 0},     {"cp125", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(wire::ServerCodePage(c.name), c.id) << c.name;
}

TEST(CodePages, ConvertMovesCharactersBetweenPages) {
  const struct {
    std::string in;
    int from;
    int to;
    std::string out;
  } cases[] = {
      {"\x80", 16, 5, "\xA4"},                   // euro sign into ISO 8859-15
      {"\xE7", 16, 1, "\xE7"},                   // same position in ISO 8859-1
      {"\xE7", 16, 43, "\xE7"},                  // KOI8-R has no c cedilla: unchanged
      {"\xC0", 15, 43, "\xE1"},                  // Cyrillic capital A
      {"\xE1", 43, 15, "\xC0"},                  // and back
      {"\xE7\xE3o", 16, 28, "\x87\xC6o"},        // "ção" into IBM 850
      {"\x87\xC6o", 28, 16, "\xE7\xE3o"},        // and back
      {"\x80", 16, 1, "\x80"},                   // no euro in ISO 8859-1: unchanged
      {"\xA4", 5, 16, "\x80"},                   // euro back to Windows-1252
      {"\xC1", 25, 16, "A"},                     // EBCDIC letter below 128 in the target
      {"\x41", 25, 16, "\x41"},                  // bytes below 128 always stay
      {"\x81", 16, 17, "\x81"},                  // undefined goes to the first undefined
      {"abc \x80\x9F", 16, 16, "abc \x80\x9F"},  // same page
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Convert(c.in, c.from, c.to), c.out) << c.from << " -> " << c.to;
  }
}

TEST(CodePages, ConvertCopiesWithoutATableAndStopsAtZero) {
  const std::string all = [] {
    std::string s;
    for (int b = 1; b < 256; ++b) s.push_back(static_cast<char>(b));
    return s;
  }();
  for (auto [from, to] : {std::pair{0, 16}, {16, 0}, {0, 0}, {44, 16}, {16, 100}, {128, 1}})
    EXPECT_EQ(Convert(all, from, to), all) << from << " -> " << to;

  // A zero byte ends the conversion; what follows is copied as it was.
  const std::string withZero("\xC0\x00\xC0", 3);
  EXPECT_EQ(Convert(withZero, 15, 43), std::string("\xE1\x00\xC0", 3));

  // The byte count bounds the copy; the destination past it is untouched.
  char dest[4] = {'x', 'x', 'x', 'x'};
  Convert("\xC0\xC1\xC2", dest, 2, 15, 43);
  EXPECT_EQ(std::string(dest, 4), "\xE1\xE2xx");

  // In place.
  char buf[] = "\xE0\xFF";
  Convert(buf, buf, 2, 15, 43);
  EXPECT_EQ(std::string(buf), "\xC1\xD1");
}

TEST(CodePages, CyrillicRoundTripBetweenWindows1251AndKoi8) {
  for (int b = 0xC0; b <= 0xFF; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string koi = Convert(one, 15, 43);
    EXPECT_NE(koi, one) << std::hex << b;
    EXPECT_EQ(CodePageTable(43)[static_cast<unsigned char>(koi[0])], CodePageTable(15)[b]);
    EXPECT_EQ(Convert(koi, 43, 15), one) << std::hex << b;
  }
}

}  // namespace
