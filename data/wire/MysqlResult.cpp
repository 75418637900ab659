// TMysqlResult: navigation of stored and streamed results, column lookup,
// row search and sort.

#include "wire/MysqlResult.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "rtl/SysUtils.h"
#include "wire/MysqlClient.h"
#include "wire/MysqlProtocol.h"

namespace wire {

bool IsNotNull(const TMysqlColumn* c) {
  return c && (c->flags & NOT_NULL_FLAG);
}
bool IsPrimaryKey(const TMysqlColumn* c) {
  return c && (c->flags & PRI_KEY_FLAG);
}
bool IsUniqueKey(const TMysqlColumn* c) {
  return c && (c->flags & UNIQUE_KEY_FLAG);
}
bool IsBlob(const TMysqlColumn* c) {
  return c && (c->flags & BLOB_FLAG);
}
bool IsUnsigned(const TMysqlColumn* c) {
  return c && (c->flags & UNSIGNED_FLAG);
}
bool IsZeroFill(const TMysqlColumn* c) {
  return c && (c->flags & ZEROFILL_FLAG);
}
bool IsBinary(const TMysqlColumn* c) {
  return c && (c->flags & BINARY_FLAG);
}
bool IsEnum(const TMysqlColumn* c) {
  return c && (c->flags & ENUM_FLAG);
}
bool IsAutoIncrement(const TMysqlColumn* c) {
  return c && (c->flags & AUTO_INCREMENT_FLAG);
}
bool IsSet(const TMysqlColumn* c) {
  return c && (c->flags & SET_FLAG);
}

TMysqlResult::TMysqlResult(bool stored, std::uint32_t columnCount,
                           std::vector<TMysqlColumn> columns)
    : columnCount_(columnCount), columns_(std::move(columns)), stored_(stored) {}

TMysqlResult::~TMysqlResult() {
  if (!stored_ && client_ && client_->status_ == TClientStatus::kStreaming) {
    // Read and discard the rest of the stream so the connection can go on.
    TMysqlNet& net = *client_->net_;
    for (;;) {
      long n = net.SafeRead(client_->clientFlags_);
      if (n < 0) break;
      if (IsEndOfData(net.ReadPos(), n)) {
        client_->EndOfData(net.ReadPos(), n);
        break;
      }
    }
    client_->StreamEnded(rowCount_);
  }
}

void TMysqlResult::SetCurrentFromRowSet() {
  if (rows_ && rows_->Size() > 0) {
    current_ = rows_->Row(0);
    atEnd_ = false;
    currentRow_ = 0;
  } else {
    current_ = nullptr;
    atEnd_ = true;
  }
}

const TMysqlColumn* TMysqlResult::Column(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= columns_.size()) return nullptr;
  return &columns_[static_cast<std::size_t>(index)];
}

const TMysqlColumn* TMysqlResult::ColumnByName(const std::string& name, bool caseSensitive) const {
  // Only the ASCII letters fold: column names are identifiers.
  const std::string wanted = caseSensitive ? name : rtl::UpperCase(name);
  for (const TMysqlColumn& c : columns_) {
    if (c.name.size() != wanted.size()) continue;
    if ((caseSensitive ? c.name : rtl::UpperCase(c.name)) == wanted) return &c;
  }
  return nullptr;
}

const char* TMysqlResult::Value(int index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= columnCount_ || !current_) return nullptr;
  return TMysqlRowSet::Value(current_, columnCount_, static_cast<std::uint32_t>(index));
}

std::size_t TMysqlResult::ValueLength(int index) const {
  if (index < 0 || static_cast<std::uint32_t>(index) >= columnCount_ || !current_) return 0;
  return TMysqlRowSet::Length(current_, columnCount_, static_cast<std::uint32_t>(index));
}

// --------------------------------------------------------------- navigation

int TMysqlResult::FetchRow() {
  TMysqlNet& net = *client_->net_;
  long n = net.SafeRead(client_->clientFlags_);
  if (n < 0) return -1;
  if (IsEndOfData(net.ReadPos(), n)) {
    client_->EndOfData(net.ReadPos(), n);
    return 1;
  }
  if (!TMysqlRowSet::Decode(net.ReadPos(), static_cast<std::size_t>(n), columnCount_, record_)) {
    current_ = nullptr;  // the record may have moved while it was being decoded
    client_->FailMalformed();
    return -1;
  }
  current_ = record_.data();
  return 0;
}

void TMysqlResult::EndStream() {
  if (client_) client_->StreamEnded(rowCount_);
  client_ = nullptr;
}

bool TMysqlResult::First() {
  atStart_ = true;
  if (!stored_) {
    atEnd_ = rowCount_ == 0;
    return atEnd_;
  }
  const std::size_t size = rows_ ? rows_->Size() : 0;
  if (size > 0) {
    current_ = rows_->Row(0);
    currentRow_ = 0;
    atEnd_ = false;
  } else {
    atEnd_ = true;
    currentRow_ = -1;
  }
  return atEnd_;
}

void TMysqlResult::Next() {
  if (!stored_) {
    atStart_ = rowCount_ == 0;
    atEnd_ = false;
    streamedRowPresent_ = true;
    if (!client_) {
      if (readState_ == 0) readState_ = -1;
      atEnd_ = true;
      return;
    }
    int r = FetchRow();
    if (r == 0) {
      currentRow_ = static_cast<std::int64_t>(rowCount_);
      ++rowCount_;
      return;
    }
    atEnd_ = true;
    readState_ = r == 1 ? 1 : -1;
    EndStream();
    return;
  }
  const std::size_t size = rows_ ? rows_->Size() : 0;
  if (currentRow_ >= 0 && static_cast<std::size_t>(currentRow_) + 1 < size) {
    ++currentRow_;
    current_ = rows_->Row(static_cast<std::size_t>(currentRow_));
    atEnd_ = false;
  } else {
    atEnd_ = true;
  }
  atStart_ = size == 0;
}

void TMysqlResult::Prior() {
  if (!stored_) {
    atStart_ = true;
    atEnd_ = rowCount_ == 0;
    return;
  }
  const std::size_t size = rows_ ? rows_->Size() : 0;
  if (currentRow_ > 0 && static_cast<std::size_t>(currentRow_) <= size) {
    --currentRow_;
    current_ = rows_->Row(static_cast<std::size_t>(currentRow_));
    atStart_ = false;
  } else {
    atStart_ = true;
  }
  atEnd_ = size == 0;
}

void TMysqlResult::Last() {
  atEnd_ = true;
  if (!stored_) {
    atStart_ = rowCount_ == 0;
    if (client_) {
      int r;
      while ((r = FetchRow()) == 0) ++rowCount_;
      readState_ = r == 1 ? 1 : -1;
      currentRow_ = static_cast<std::int64_t>(rowCount_) - 1;
      EndStream();
    }
    return;
  }
  const std::size_t size = rows_ ? rows_->Size() : 0;
  if (size > 0) current_ = rows_->Row(size - 1);
  atStart_ = size == 0;
  currentRow_ = static_cast<std::int64_t>(size) - 1;
}

void TMysqlResult::GoToRow(std::int64_t n) {
  if (!stored_ || !rows_ || n < 0 || static_cast<std::uint64_t>(n) >= rows_->Size()) return;
  atStart_ = false;
  atEnd_ = false;
  currentRow_ = n;
  current_ = rows_->Row(static_cast<std::size_t>(n));
}

// ------------------------------------------------------------------- search

namespace {

int ExactCompare(const std::string& k, const std::string& v) {
  if (k == v) return 0;
  if (k.size() != v.size()) return k.size() < v.size() ? -1 : 1;
  for (std::size_t i = 0; i < k.size(); ++i) {
    auto a = static_cast<unsigned char>(k[i]);
    auto b = static_cast<unsigned char>(v[i]);
    if (a != b) return a < b ? -1 : 1;
  }
  return 0;
}

int PrefixCompare(const std::string& k, const std::string& v) {
  int result = k.size() < v.size() ? -1 : (k.size() > v.size() ? 1 : 0);
  const std::size_t shorter = std::min(k.size(), v.size());
  bool tried = false;
  for (std::size_t i = 0; i < shorter; ++i) {
    auto kb = static_cast<unsigned char>(k[i]);
    auto vb = static_cast<unsigned char>(v[i]);
    if (vb < kb) return 1;
    if (vb > kb) return -1;
    // The pattern test does not depend on the position: once is enough.
    if (!tried) {
      tried = true;
      if (rtl::MatchesLike(v, k + "%", false)) return 0;
    }
  }
  return result;
}

bool IsPrefixType(std::uint8_t t) {
  switch (t) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
      return true;
    default:
      return false;
  }
}

bool IsIntegerType(std::uint8_t t) {
  return t == MYSQL_TYPE_TINY || t == MYSQL_TYPE_SHORT || t == MYSQL_TYPE_LONG ||
         t == MYSQL_TYPE_LONGLONG || t == MYSQL_TYPE_INT24 || t == MYSQL_TYPE_BIT;
}

}  // namespace

std::int64_t TMysqlResult::Locate(const std::vector<int>& columns,
                                  const std::vector<std::string>& keys, bool caseSensitive,
                                  std::uint16_t unused, bool exact) {
  (void)unused;
  if (!stored_ || !rows_ || rows_->Size() == 0) return -1;
  const std::size_t count = std::min(columns.size(), keys.size());
  std::vector<std::string> upperKeys(keys.begin(), keys.begin() + static_cast<long>(count));
  if (!caseSensitive) {
    for (auto& k : upperKeys) {
      for (char& c : k) c = rtl::AnsiUpperChar(c);
    }
  }
  std::string value;
  for (std::size_t r = 0; r < rows_->Size(); ++r) {
    TMysqlRowSet::Record row = rows_->Row(r);
    bool match = true;
    for (std::size_t i = 0; i < count && match; ++i) {
      const TMysqlColumn* column = Column(columns[i]);
      if (!column) {
        match = false;
        break;
      }
      auto index = static_cast<std::uint32_t>(columns[i]);
      const char* v = TMysqlRowSet::Value(row, columnCount_, index);
      value.assign(v ? v : "", v ? TMysqlRowSet::Length(row, columnCount_, index) : 0);
      if (!caseSensitive) {
        for (char& c : value) c = rtl::AnsiUpperChar(c);
      }
      int cmp;
      if (exact) {
        cmp = ExactCompare(upperKeys[i], value);
      } else if (IsPrefixType(column->type) ||
                 (IsIntegerType(column->type) && (column->flags & ZEROFILL_FLAG))) {
        cmp = PrefixCompare(upperKeys[i], value);
      } else if (IsIntegerType(column->type)) {
        cmp = ExactCompare(upperKeys[i], value);
      } else {
        cmp = -1;
      }
      match = cmp == 0;
    }
    if (match) return static_cast<std::int64_t>(r);
  }
  return -1;
}

// --------------------------------------------------------------------- sort

SortKind SortKindOf(std::uint8_t type) {
  switch (type) {
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
    case MYSQL_TYPE_BIT:
      return SortKind::kInteger;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_ENUM:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
      return SortKind::kText;
    case MYSQL_TYPE_TIME:
      return SortKind::kTime;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_NEWDECIMAL:
      return SortKind::kFloat;
    default:
      return SortKind::kUnordered;
  }
}

namespace {

// Whole text as a 64-bit integer (leading blanks and a sign allowed), 0 when
// it does not convert.
std::int64_t ToInt64(const char* s, std::size_t n) {
  std::size_t i = 0;
  while (i < n && s[i] == ' ') ++i;
  if (i < n && s[i] == '+') ++i;
  std::int64_t v = 0;
  auto [end, ec] = std::from_chars(s + i, s + n, v);
  if (ec != std::errc() || end != s + n || end == s + i) return 0;
  return v;
}

// Whole text as a floating value with "." as the decimal separator.
bool ToDouble(const char* s, std::size_t n, double& v) {
  std::size_t i = 0;
  while (i < n && s[i] == ' ') ++i;
  if (i < n && s[i] == '+') ++i;
  auto [end, ec] = std::from_chars(s + i, s + n, v);
  return ec == std::errc() && end == s + n && end != s + i;
}

// h:mm:ss (hours may be negative or long) as hours * 10000 + sign * (mm * 100 + ss).
std::int64_t TimeValue(const char* s, std::size_t n) {
  std::int64_t parts[3] = {0, 0, 0};
  std::size_t at = 0;
  for (int p = 0; p < 3 && at <= n; ++p) {
    std::size_t stop = at;
    while (stop < n && s[stop] != ':') ++stop;
    std::from_chars(s + at, s + stop, parts[p]);
    at = stop + 1;
  }
  // Server times stay within +-838 hours; anything far beyond is clamped so
  // the arithmetic below cannot overflow.
  constexpr std::int64_t kLimit = 100000000000LL;
  for (auto& p : parts) p = std::clamp(p, -kLimit, kLimit);
  const std::int64_t sign = std::memchr(s, '-', n) ? -1 : 1;
  return parts[0] * 10000 + sign * (parts[1] * 100 + parts[2]);
}

int Sign(double d) {
  return d > 0 ? 1 : (d < 0 ? -1 : 0);
}

}  // namespace

void TMysqlResult::Sort(const std::vector<int>& columns, const std::vector<bool>& descending) {
  if (!stored_ || !rows_ || columns.empty() || rows_->Size() < 2) return;
  struct Key {
    std::uint32_t index;
    SortKind kind;
    bool descending;
  };
  std::vector<Key> keys;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const TMysqlColumn* c = Column(columns[i]);
    SortKind kind = c ? SortKindOf(c->type) : SortKind::kUnordered;
    bool desc = i < descending.size() && descending[i];
    keys.push_back({c ? static_cast<std::uint32_t>(columns[i]) : 0, kind, desc});
  }
  const std::uint32_t k = columnCount_;
  auto compare = [k](const Key& key, TMysqlRowSet::Record a, TMysqlRowSet::Record b) -> int {
    if (key.kind == SortKind::kUnordered) return 0;
    const char* va = TMysqlRowSet::Value(a, k, key.index);
    const char* vb = TMysqlRowSet::Value(b, k, key.index);
    if (!va || !vb) return (!va && !vb) ? 0 : (!va ? -1 : 1);
    const std::size_t la = TMysqlRowSet::Length(a, k, key.index);
    const std::size_t lb = TMysqlRowSet::Length(b, k, key.index);
    switch (key.kind) {
      case SortKind::kInteger: {
        std::int64_t x = ToInt64(va, la), y = ToInt64(vb, lb);
        return x > y ? 1 : (x < y ? -1 : 0);
      }
      case SortKind::kText: {
        int c = std::memcmp(va, vb, std::min(la, lb));
        if (c != 0) return c < 0 ? -1 : 1;
        return la < lb ? -1 : (la > lb ? 1 : 0);
      }
      case SortKind::kTime: {
        std::int64_t x = TimeValue(va, la), y = TimeValue(vb, lb);
        return x > y ? 1 : (x < y ? -1 : 0);
      }
      case SortKind::kFloat: {
        double x, y;
        if (!ToDouble(va, la, x) || !ToDouble(vb, lb, y)) return 0;
        return Sign(x - y);
      }
      default:
        return 0;
    }
  };
  // Rows keep their order when no sort column tells them apart.
  std::stable_sort(rows_->Rows().begin(), rows_->Rows().end(),
                   [&](TMysqlRowSet::Record a, TMysqlRowSet::Record b) {
                     for (const Key& key : keys) {
                       int r = compare(key, a, b);
                       if (r != 0) return key.descending ? r > 0 : r < 0;
                     }
                     return false;
                   });
}

}  // namespace wire
