// Text helpers of the engine that need no server: the numeric server
// version, SQL literal forms of dates, times and floats, the parameter
// substitution of statement texts and the search for the table a SELECT
// reads from.
//
// All functions are pure and reentrant; they keep no state.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace engine {

// Numeric server version from the server's version text: the digits from the
// start, a 0 inserted before every single digit that a non-digit follows,
// stopping at the first "-". "5.0.51" -> 50051, "5.0.5-beta" -> 50005,
// "5.5.5-10.11.6-MariaDB" -> 50505, "5.0.5" -> 5005.
std::int32_t ServerVersionNumber(std::string_view version_text);

// Version from which names are enclosed in backquotes.
constexpr std::int32_t kBackquoteVersion = 32307;

// SQL literal bodies (without quotes). Dates whose whole part is 0 give the
// zero forms "0000-00-00", "00:00:00" and "0000-00-00 00:00:00".
std::string SqlDateText(double day_count);
std::string SqlTimeText(double day_count);
std::string SqlDateTimeText(double day_count);
// General decimal form with "." whatever the process-wide settings say.
std::string SqlFloatText(double value);

// Values of server date and time texts as day counts. DATE, TIME and
// DATETIME texts: "yyyy-mm-dd[ hh:nn:ss]" or "hh:nn:ss"; a zero date gives 0;
// an impossible date or time raises rtl::EConvertError. TIMESTAMP texts:
// "yyyymmddhhnnss" or "yyyy-mm-dd hh:nn:ss"; missing date parts count as 1
// (a zero timestamp is 1 January of year 1), an invalid one gives 0.
double DateTimeTextToValue(std::string_view text);
double TimestampTextToValue(std::string_view text);

// A statement parameter as the engine substitutes it into a text.
struct TEngineParam {
  enum Kind { Null, Integer, Float, Date, Boolean, Text };
  // How a Date value is written.
  enum DateKind { AsDate, AsTime, AsDateTime };

  std::string name;
  Kind kind = Null;
  std::int64_t int_value = 0;
  double float_value = 0;  // also the day count of a Date
  bool bool_value = false;
  std::string text;
  DateKind date_kind = AsDateTime;
};

// Rebuilds `sql` token by token and replaces every ":name" by the value of
// the parameter called name (":[name]", ":\"name\"" and ":'name'" too). A
// marker whose parameter does not exist disappears with its name. Runs of
// blanks and tabs shrink to one blank; the result is trimmed. Texts are
// escaped for the session's backslash mode.
std::string SubstituteParameters(std::string_view sql, const std::vector<TEngineParam>& params,
                                 bool no_backslash_escapes);

// The literal of one parameter value: NULL, a bare number, or escaped text
// in single quotes.
std::string ParamLiteral(const TEngineParam& param, bool no_backslash_escapes);

// The first table named after FROM in a statement (a name written as
// db.table keeps both parts), or empty when there is none or the statement
// is a SHOW. From `backquote_version` on, each part without a backquote is
// enclosed in backquotes.
std::string FindFromTable(std::string_view sql, std::int32_t server_version);

// Encloses `name` in backquotes when the server knows them and the name has
// none yet.
std::string QuoteTableName(const std::string& name, std::int32_t server_version);

// The items of a comma-separated list, such as the members of an ENUM or SET
// column or a SET value: every comma separates ("a,,b" gives "a", "" and
// "b"; an empty list gives one empty item).
std::vector<std::string> SplitAtCommas(std::string_view list);

}  // namespace engine
