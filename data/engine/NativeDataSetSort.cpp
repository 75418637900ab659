// The client-side sort of a held result (SortFieldNames).
#include <algorithm>
#include <charconv>
#include <cstring>

#include "engine/EngineErrors.h"
#include "engine/NativeDataSet.h"
#include "engine/SortRows.h"
#include "engine/SqlText.h"
#include "rtl/SysUtils.h"
#include "wire/MysqlResult.h"

namespace engine {

void TNativeDataSet::SetSortFieldNames(const std::string& field_list) {
  std::vector<int> columns;
  std::vector<bool> descending;
  std::string text = rtl::StringReplace(field_list, "\t", " ", rtl::rfReplaceAll);
  if (!rtl::IsBlank(text)) {
    for (const std::string& item : SplitAtCommas(text)) {
      std::string part = rtl::Trim(item);
      bool desc = false;
      if (part.size() >= 5 && rtl::SameText(part.substr(part.size() - 5), " DESC")) {
        desc = true;
        part = rtl::Trim(part.substr(0, part.size() - 5));
      } else if (part.size() >= 4 && rtl::SameText(part.substr(part.size() - 4), " ASC")) {
        part = rtl::Trim(part.substr(0, part.size() - 4));
      }
      int column = -1;
      const int n = result_ ? static_cast<int>(result_->ColumnCount()) : 0;
      for (int i = 0; i < n && column < 0; ++i)
        if (result_->Column(i)->name == part) column = i;
      if (column < 0) {
        // name_n: the (n+1)-th column called name.
        size_t underscore = part.rfind('_');
        int nth = 0;
        if (underscore != std::string::npos && rtl::TryStrToInt(part.substr(underscore + 1), nth) &&
            nth >= 1) {
          std::string base = part.substr(0, underscore);
          int seen = 0;
          for (int i = 0; i < n && column < 0; ++i)
            if (result_->Column(i)->name == base && seen++ == nth) column = i;
        }
      }
      if (column < 0)
        throw rtl::Exception(
            rtl::Format("Field \"%s\" is not found in current dataset", part.c_str()));
      columns.push_back(column);
      descending.push_back(desc);
    }
  }
  sort_columns_ = columns;
  sort_descending_ = descending;
  if (sort_columns_.empty()) {
    nav_.SetOrder({});
    return;
  }
  ApplySort();
}

namespace {

using wire::SortKind;

// One value of a sort column, prepared once per row.
struct SortKey {
  bool null = true;
  bool valid = true;  // floating: the text read as a number
  std::int64_t i = 0;
  double d = 0;
  std::string s;
};

SortKey MakeKey(SortKind kind, const char* value) {
  SortKey k;
  if (!value) return k;
  k.null = false;
  const char* end = value + std::strlen(value);
  switch (kind) {
    case SortKind::kInteger: {
      const char* p = value;
      while (p < end && *p == ' ') ++p;
      if (p < end && *p == '+') ++p;
      if (std::from_chars(p, end, k.i).ptr != end) k.i = 0;
      break;
    }
    case SortKind::kText:
      k.s = value;
      break;
    case SortKind::kTime: {
      // h:mm:ss, possibly negative: hours * 10000 + sign * (mm * 100 + ss).
      std::string t = value;
      int sign = t.find('-') != std::string::npos ? -1 : 1;
      int h = 0, m = 0, s = 0;
      size_t c1 = t.find(':');
      size_t c2 = c1 == std::string::npos ? std::string::npos : t.find(':', c1 + 1);
      rtl::TryStrToInt(t.substr(0, c1), h);
      if (c1 != std::string::npos) rtl::TryStrToInt(t.substr(c1 + 1, c2 - c1 - 1), m);
      if (c2 != std::string::npos) rtl::TryStrToInt(t.substr(c2 + 1), s);
      k.i = static_cast<std::int64_t>(h) * 10000 + sign * (m * 100 + s);
      break;
    }
    case SortKind::kFloat: {
      const char* p = value;
      while (p < end && *p == ' ') ++p;
      if (p < end && *p == '+') ++p;
      auto r = std::from_chars(p, end, k.d);
      k.valid = r.ec == std::errc() && r.ptr == end;
      break;
    }
    case SortKind::kUnordered:
      break;
  }
  return k;
}

int CompareKeys(SortKind kind, const SortKey& a, const SortKey& b) {
  if (a.null || b.null) return a.null == b.null ? 0 : (a.null ? -1 : 1);
  switch (kind) {
    case SortKind::kInteger:
    case SortKind::kTime:
      return a.i < b.i ? -1 : (a.i > b.i ? 1 : 0);
    case SortKind::kText: {
      int c = a.s.compare(b.s);
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    case SortKind::kFloat:
      if (!a.valid || !b.valid) return 0;
      return a.d < b.d ? -1 : (a.d > b.d ? 1 : 0);
    case SortKind::kUnordered:
      return 0;
  }
  return 0;
}

}  // namespace

void TNativeDataSet::ApplySort() {
  if (sort_columns_.empty() || !result_ || RowCount() < 2) return;
  const std::int64_t count = RowCount();
  const size_t ncols = sort_columns_.size();
  std::vector<SortKind> kinds(ncols);
  for (size_t c = 0; c < ncols; ++c)
    kinds[c] = wire::SortKindOf(static_cast<std::uint8_t>(ColumnType(sort_columns_[c])));
  std::vector<SortKey> keys(static_cast<size_t>(count) * ncols);
  for (std::int64_t r = 0; r < count; ++r) {
    result_->GoToRow(r);
    for (size_t c = 0; c < ncols; ++c)
      keys[static_cast<size_t>(r) * ncols + c] =
          MakeKey(kinds[c], result_->Value(sort_columns_[c]));
  }
  auto compare = [&](std::int64_t a, std::int64_t b) {
    for (size_t c = 0; c < ncols; ++c) {
      int r = CompareKeys(kinds[c], keys[static_cast<size_t>(a) * ncols + c],
                          keys[static_cast<size_t>(b) * ncols + c]);
      if (r != 0) return sort_descending_[c] ? -r : r;
    }
    return 0;
  };
  std::uint64_t comparisons = 0;
  nav_.SetOrder(SortRowOrder(count, compare, comparisons));
  result_->GoToRow(0);
}

}  // namespace engine
