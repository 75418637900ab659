#include "wire/ClientErrors.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace wire {

namespace {

// Indexed by number - CR_MIN_ERROR. The texts are fixed: the double blank in
// 2014 and the blanks before "pipe:" belong to them.
constexpr const char* kFormats[CR_MAX_ERROR - CR_MIN_ERROR + 1] = {
    "Unknown MySQL error",                                                // 2000
    "Can't create UNIX socket (%d)",                                      // 2001
    "Can't connect to local MySQL server through socket '%-.64s' (%d)",   // 2002
    "Can't connect to MySQL server on '%-.64s' (%d)",                     // 2003
    "Can't create TCP/IP socket (%d)",                                    // 2004
    "Unknown MySQL Server Host '%-.64s' (%d)",                            // 2005
    "MySQL server has gone away",                                         // 2006
    "Protocol mismatch. Server Version = %d Client Version = %d",         // 2007
    "MySQL client run out of memory",                                     // 2008
    "Wrong host info",                                                    // 2009
    "Localhost via UNIX socket",                                          // 2010
    "%-.64s via TCP/IP",                                                  // 2011
    "Error in server handshake",                                          // 2012
    "Lost connection to MySQL server during query",                       // 2013
    "Commands out of sync;  You can't run this command now",              // 2014
    "%-.64s via named pipe",                                              // 2015
    "Can't wait for named pipe to host: %-.64s  pipe: %-.32s (%lu)",      // 2016
    "Can't open named pipe to host: %-.64s  pipe: %-.32s (%u)",           // 2017
    "Can't set state of named pipe to host: %-.64s  pipe: %-.32s (%lu)",  // 2018
    "Can't initialize character set %-.64s (path: %-.64s)",               // 2019
    "Got packet bigger than 'max_allowed_packet'",                        // 2020
};

struct LaterFormat {
  int number;
  const char* format;
};
constexpr LaterFormat kLaterFormats[] = {
    {CR_SSL_CONNECTION_ERROR, "SSL connection error: %-.100s"},
    {CR_SECURE_AUTH,
     "Connection using old (pre-4.1.1) authentication protocol refused (client option "
     "'secure_auth' enabled)"},
};

void Pad(std::string& out, std::string_view piece, size_t width, bool left) {
  size_t fill = piece.size() < width ? width - piece.size() : 0;
  if (!left) out.append(fill, ' ');
  out.append(piece);
  if (left) out.append(fill, ' ');
}

}  // namespace

const char* ClientErrorFormat(int number) {
  for (const LaterFormat& f : kLaterFormats)
    if (f.number == number) return f.format;
  if (number < CR_MIN_ERROR || number > CR_MAX_ERROR) return kFormats[0];
  return kFormats[number - CR_MIN_ERROR];
}

std::string FormatClientError(int number, std::initializer_list<FormatArg> args) {
  return FormatPrintf(ClientErrorFormat(number), args);
}

std::string FormatPrintf(std::string_view format, std::initializer_list<FormatArg> args) {
  std::string out;
  out.reserve(format.size() + 32);
  const FormatArg* next = args.begin();
  const FormatArg* end = args.end();
  size_t i = 0;
  while (i < format.size()) {
    char c = format[i++];
    if (c != '%' || i >= format.size()) {
      out.push_back(c);
      continue;
    }
    if (format[i] == '%') {
      out.push_back('%');
      ++i;
      continue;
    }
    // %[-][width][.precision][l]conversion
    size_t start = i - 1;
    bool left = false;
    while (i < format.size() && format[i] == '-') {
      left = true;
      ++i;
    }
    size_t width = 0;
    while (i < format.size() && format[i] >= '0' && format[i] <= '9')
      width = width * 10 + static_cast<size_t>(format[i++] - '0');
    bool hasPrecision = false;
    size_t precision = 0;
    if (i < format.size() && format[i] == '.') {
      hasPrecision = true;
      ++i;
      while (i < format.size() && format[i] >= '0' && format[i] <= '9')
        precision = precision * 10 + static_cast<size_t>(format[i++] - '0');
    }
    while (i < format.size() && format[i] == 'l') ++i;
    if (i >= format.size()) {
      out.append(format.substr(start));
      break;
    }
    char conv = format[i++];
    const FormatArg* arg = next != end ? next++ : nullptr;
    switch (conv) {
      case 's': {
        std::string number;
        std::string_view text;
        if (arg && arg->IsText()) {
          text = arg->Text();
        } else if (arg) {
          number = std::to_string(arg->Number());
          text = number;
        }
        if (hasPrecision && text.size() > precision) text = text.substr(0, precision);
        Pad(out, text, width, left);
        break;
      }
      case 'd':
      case 'i':
        Pad(out, std::to_string(arg && !arg->IsText() ? arg->Number() : 0), width, left);
        break;
      case 'u': {
        uint32_t value = arg && !arg->IsText() ? static_cast<uint32_t>(arg->Number()) : 0;
        Pad(out, std::to_string(value), width, left);
        break;
      }
      default:
        // Not a conversion this catalogue uses: keep the text as written and
        // give the argument back to the next conversion.
        if (arg) --next;
        out.append(format.substr(start, i - start));
        break;
    }
  }
  return out;
}

}  // namespace wire
