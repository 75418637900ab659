#include "wire/CodePages.h"

#include <cstring>

namespace wire {

namespace codepages_detail {
// Generated tables: identifiers 1-22 and 23-43.
extern const uint16_t kTablesIsoWindows[22][256];
extern const uint16_t kTablesIbm[21][256];
}  // namespace codepages_detail

namespace {

constexpr std::string_view kNames[kCodePageCount] = {
    "ISO 8859-1",   "ISO 8859-10",    "ISO 8859-13",    "ISO 8859-14",  "ISO 8859-15",
    "ISO 8859-2",   "ISO 8859-3",     "ISO 8859-4",     "ISO 8859-5",   "ISO 8859-6",
    "ISO 8859-7",   "ISO 8859-8",     "ISO 8859-9",     "Windows-1250", "Windows-1251",
    "Windows-1252", "Windows-1253",   "Windows-1254",   "Windows-1255", "Windows-1256",
    "Windows-1257", "Windows-1258",   "IBM EBCDIC 424", "IBM 437",      "IBM EBCDIC 500",
    "IBM 737",      "IBM 775",        "IBM 850",        "IBM 852",      "IBM 855",
    "IBM 856",      "IBM 857",        "IBM 860",        "IBM 861",      "IBM 862",
    "IBM 863",      "IBM 864",        "IBM 865",        "IBM 866",      "IBM 869",
    "Windows-874",  "IBM EBCDIC 875", "KOI8-R",
};

// Server character-set names, matched in this order by prefix against the
// upper-cased name; the first match decides.
struct ServerRule {
  std::string_view prefix;
  int id;
};
constexpr ServerRule kServerRules[] = {
    {"LATIN1", CP_ISO8859_1},        {"CZECH", CP_ISO8859_1},     {"GERMAN1", CP_ISO8859_1},
    {"LATIN2", CP_ISO8859_2},        {"HUNGARIAN", CP_ISO8859_2}, {"CROAT", CP_ISO8859_2},
    {"ESTONIA", CP_ISO8859_4},       {"LATIN5", CP_ISO8859_5},    {"GREEK", CP_ISO8859_7},
    {"HEBREW", CP_ISO8859_8},        {"DANISH", CP_ISO8859_10},   {"SWE7", CP_ISO8859_10},
    {"WIN1250", CP_WINDOWS_1250},    {"CP1251", CP_WINDOWS_1251}, {"WIN1251", CP_WINDOWS_1251},
    {"WIN1251UKR", CP_WINDOWS_1251}, {"CP1257", CP_WINDOWS_1257}, {"KOI8-RU", CP_KOI8_R},
    {"KOI8-UKR", CP_KOI8_R},         {"KOI8_RU", CP_KOI8_R},
};

char AsciiUpper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  return true;
}

// The byte of character u in table, searched from 128 on; -1 when absent.
int FindHigh(const uint16_t* table, uint16_t u) {
  for (int b = 128; b < 256; ++b)
    if (table[b] == u) return b;
  return -1;
}

}  // namespace

const uint16_t* CodePageTable(int id) {
  int index = id & 0x7F;
  if (index < 1 || index > kCodePageCount) return nullptr;
  if (index <= 22) return codepages_detail::kTablesIsoWindows[index - 1];
  return codepages_detail::kTablesIbm[index - 23];
}

std::string_view CodePageName(int id) {
  int index = id & 0x7F;
  if (index < 1 || index > kCodePageCount) return {};
  return kNames[index - 1];
}

int CodePageByName(std::string_view name) {
  for (int i = 0; i < kCodePageCount; ++i)
    if (EqualIgnoringCase(kNames[i], name)) return i + 1;
  return CP_NONE;
}

int CodePageFromAnsi(int ansiCodePage) {
  if (ansiCodePage >= 1250 && ansiCodePage <= 1258) return CP_WINDOWS_1250 + (ansiCodePage - 1250);
  return CP_NONE;
}

int WorkstationCodePage() {
  return CodePageFromAnsi(1252);
}

int ServerCodePage(std::string_view charsetName) {
  std::string upper(charsetName);
  for (char& c : upper) c = AsciiUpper(c);
  for (const ServerRule& rule : kServerRules)
    if (upper.compare(0, rule.prefix.size(), rule.prefix) == 0) return rule.id;
  return CP_NONE;
}

void Convert(const char* source, char* dest, size_t count, int sourceId, int destId) {
  if (count == 0) return;
  if (source != dest) std::memcpy(dest, source, count);
  const uint16_t* from = CodePageTable(sourceId);
  const uint16_t* to = CodePageTable(destId);
  if (!from || !to) return;
  for (size_t i = 0; i < count && dest[i] != '\0'; ++i) {
    auto b = static_cast<unsigned char>(dest[i]);
    if (b < 128) continue;
    uint16_t u = from[b];
    if (u < 128) {
      dest[i] = static_cast<char>(u);
      continue;
    }
    int target = FindHigh(to, u);
    if (target >= 0) dest[i] = static_cast<char>(target);
  }
}

std::string Convert(std::string_view text, int sourceId, int destId) {
  std::string out(text.size(), '\0');
  Convert(text.data(), out.data(), text.size(), sourceId, destId);
  return out;
}

void AppendUtf8(std::string& out, uint16_t character) {
  if (character < 0x80) {
    out += static_cast<char>(character);
  } else if (character < 0x800) {
    out += static_cast<char>(0xC0 | (character >> 6));
    out += static_cast<char>(0x80 | (character & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (character >> 12));
    out += static_cast<char>(0x80 | ((character >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (character & 0x3F));
  }
}

}  // namespace wire
