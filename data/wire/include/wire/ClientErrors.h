// The client error catalogue of the wire client.
//
// Every failure the client detects itself (as opposed to an error packet from
// the server) is reported with a number from 2000 to 2020 and a text made from
// that number's message format. This header holds the numbers, the formats and
// a small printf-style formatter that fills a format's arguments. Everything
// here is constant data or a pure function: safe to call from any thread.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace wire {

// Client error numbers. The catalogue covers CR_MIN_ERROR..CR_MAX_ERROR.
enum : int {
  CR_MIN_ERROR = 2000,
  CR_UNKNOWN_ERROR = 2000,
  CR_SOCKET_CREATE_ERROR = 2001,
  CR_CONNECTION_ERROR = 2002,
  CR_CONN_HOST_ERROR = 2003,
  CR_IPSOCK_ERROR = 2004,
  CR_UNKNOWN_HOST = 2005,
  CR_SERVER_GONE_ERROR = 2006,
  CR_VERSION_ERROR = 2007,
  CR_OUT_OF_MEMORY = 2008,
  CR_WRONG_HOST_INFO = 2009,
  CR_LOCALHOST_CONNECTION = 2010,
  CR_TCP_CONNECTION = 2011,
  CR_SERVER_HANDSHAKE_ERR = 2012,
  CR_SERVER_LOST = 2013,
  CR_COMMANDS_OUT_OF_SYNC = 2014,
  CR_NAMEDPIPE_CONNECTION = 2015,
  CR_NAMEDPIPEWAIT_ERROR = 2016,
  CR_NAMEDPIPEOPEN_ERROR = 2017,
  CR_NAMEDPIPESETSTATE_ERROR = 2018,
  CR_CANT_READ_CHARSET = 2019,
  CR_NET_PACKET_TOO_LARGE = 2020,
  CR_MAX_ERROR = 2020,
  // Later numbers, outside the range above, each with its own format.
  CR_SSL_CONNECTION_ERROR = 2026,
  CR_SECURE_AUTH = 2049,
};

// The protocol's own number for an over-long packet. The packet layer holds it
// between a failed buffer growth or write and its report as
// CR_NET_PACKET_TOO_LARGE.
constexpr int ER_NET_PACKET_TOO_LARGE = 1153;

// One argument of a message format: a text (for %s) or a number (for %d, %u,
// %lu). Built implicitly, so callers write
//   FormatClientError(CR_CONN_HOST_ERROR, {host, socketError}).
// A text argument only refers to its characters: it must outlive the call.
class FormatArg {
 public:
  FormatArg(std::string_view text) : isText_(true), text_(text) {}
  FormatArg(const std::string& text) : isText_(true), text_(text) {}
  FormatArg(const char* text) : isText_(true), text_(text ? text : "") {}
  FormatArg(int value) : number_(value) {}
  FormatArg(long value) : number_(value) {}
  FormatArg(long long value) : number_(value) {}
  FormatArg(unsigned value) : number_(static_cast<long long>(value)) {}
  FormatArg(unsigned long value) : number_(static_cast<long long>(value)) {}

  bool IsText() const { return isText_; }
  std::string_view Text() const { return text_; }
  long long Number() const { return number_; }

 private:
  bool isText_ = false;
  std::string_view text_;
  long long number_ = 0;
};

// The message format of a client error number, exactly as the catalogue holds
// it. A number outside 2000..2020 yields the format of CR_UNKNOWN_ERROR.
const char* ClientErrorFormat(int number);

// The message of a client error number with its arguments filled in, in the
// order the format names them. A number outside 2000..2020 yields
// "Unknown MySQL error".
std::string FormatClientError(int number, std::initializer_list<FormatArg> args = {});

// Fills a printf-style format. Understood: "%s", "%-.Ns" (text cut to N
// characters; a "-" and a width are accepted, the width pads on the left or
// right like printf), "%d", "%i", "%u", "%lu", "%ld" and "%%". %u and %lu
// print the argument as a 32-bit unsigned number. A conversion without a
// matching argument prints nothing for a text and 0 for a number; a number
// given for %s prints in decimal and a text given for %d prints 0. Extra
// arguments are ignored.
//
// This is not rtl::Format on purpose: that one hands a format fixed in the
// source to vsnprintf, checked by the compiler against its arguments. Here
// the format comes from the catalogue at run time and the arguments are
// typed values, so a format and arguments that disagree (or a format with
// more conversions than arguments) must still give a defined text; with
// vsnprintf they would read whatever the format names.
std::string FormatPrintf(std::string_view format, std::initializer_list<FormatArg> args = {});

}  // namespace wire
