#include "rtl/Classes.h"
#include "rtl/ScopeExit.h"

#include <algorithm>

namespace rtl {

namespace {

// Position of the Name=Value separator in a line, or npos.
size_t SeparatorAt(std::string_view line) {
  return line.find('=');
}

// The items of a comma text (see SetCommaText).
std::vector<std::string> CommaItems(std::string_view text) {
  std::vector<std::string> items;
  size_t i = 0;
  auto skip_blanks = [&] {
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ') ++i;
  };
  skip_blanks();
  while (i < text.size()) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < text.size()) {
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < text.size() && text[i] != ',' && static_cast<unsigned char>(text[i]) > ' ')
        item += text[i++];
    }
    items.push_back(std::move(item));
    skip_blanks();
    if (i < text.size() && text[i] == ',') {
      ++i;
      skip_blanks();
      if (i == text.size()) items.emplace_back();  // a trailing comma ends with an empty item
    }
  }
  return items;
}

}  // namespace

// --- TStrings -----------------------------------------------------------------

void TStrings::CheckIndex(int index, int limit) const {
  if (index < 0 || index > limit)
    throw EStringListError("List index out of bounds (" + std::to_string(index) + ")");
}

int TStrings::Add(std::string_view text) {
  const int index = Count();
  Insert(index, text);
  return index;
}

int TStrings::AddObject(std::string_view text, TObject* object) {
  const int index = Add(text);
  SetObjects(index, object);
  return index;
}

void TStrings::AddStrings(const TStrings& other) {
  BeginUpdate();
  rtl::ScopeExit restore([&] { EndUpdate(); });
  for (int i = 0; i < other.Count(); ++i) AddObject(other.Strings(i), other.Objects(i));
}

template <typename Fill>
void TStrings::ReplaceLines(Fill&& fill) {
  BeginUpdate();
  rtl::ScopeExit restore([&] { EndUpdate(); });
  Clear();
  fill();
}

void TStrings::Assign(const TStrings& other) {
  if (&other == this) return;
  ReplaceLines([&] {
    for (int i = 0; i < other.Count(); ++i) AddObject(other.Strings(i), other.Objects(i));
  });
}

int TStrings::IndexOf(std::string_view text) const {
  for (int i = 0; i < Count(); ++i)
    if (SameText(Strings(i), text)) return i;
  return -1;
}

int TStrings::IndexOfName(std::string_view name) const {
  for (int i = 0; i < Count(); ++i) {
    const std::string& line = Strings(i);
    const size_t p = SeparatorAt(line);
    if (p != std::string::npos && SameText(std::string_view(line).substr(0, p), name)) return i;
  }
  return -1;
}

int TStrings::IndexOfObject(const TObject* object) const {
  for (int i = 0; i < Count(); ++i)
    if (Objects(i) == object) return i;
  return -1;
}

std::string TStrings::Names(int index) const {
  const std::string& line = Strings(index);
  const size_t p = SeparatorAt(line);
  return p == std::string::npos ? std::string() : line.substr(0, p);
}

std::string TStrings::ValueFromIndex(int index) const {
  const std::string& line = Strings(index);
  const size_t p = SeparatorAt(line);
  return p == std::string::npos ? std::string() : line.substr(p + 1);
}

std::string TStrings::Values(std::string_view name) const {
  const int i = IndexOfName(name);
  return i < 0 ? std::string() : ValueFromIndex(i);
}

void TStrings::SetValues(std::string_view name, std::string_view value) {
  const int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
    return;
  }
  std::string line(name);
  line += '=';
  line += value;
  if (i < 0)
    Add(line);
  else
    SetStrings(i, line);
}

std::string TStrings::Text() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    out += Strings(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(std::string_view text) {
  ReplaceLines([&] {
    size_t i = 0;
    while (i < text.size()) {
      size_t end = i;
      while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
      Add(text.substr(i, end - i));
      i = end;
      if (i < text.size() && text[i] == '\r') ++i;
      if (i < text.size() && text[i] == '\n') ++i;
    }
  });
}

std::string TStrings::CommaText() const {
  std::string out;
  for (int i = 0; i < Count(); ++i) {
    if (i > 0) out += ',';
    const std::string& s = Strings(i);
    bool quote = s.empty();
    for (char c : s)
      if (static_cast<unsigned char>(c) <= ' ' || c == ',' || c == '"') quote = true;
    if (!quote) {
      out += s;
      continue;
    }
    out += '"';
    for (char c : s) {
      out += c;
      if (c == '"') out += '"';
    }
    out += '"';
  }
  return out;
}

void TStrings::SetCommaText(std::string_view text) {
  ReplaceLines([&] {
    for (const std::string& item : CommaItems(text)) Add(item);
  });
}

bool TStrings::Equals(const TStrings& other) const {
  if (Count() != other.Count()) return false;
  for (int i = 0; i < Count(); ++i)
    if (Strings(i) != other.Strings(i)) return false;
  return true;
}

void TStrings::BeginUpdate() {
  // The state change runs first: if the before-change notice refuses, the
  // list is not left counting an update that never began.
  if (update_count_ == 0) SetUpdateState(true);
  ++update_count_;
}

void TStrings::EndUpdate() {
  if (update_count_ == 0) return;
  if (--update_count_ == 0) SetUpdateState(false);
}

// --- TStringList --------------------------------------------------------------

TStringList::TStringList(const TStringList& other)
    : TStrings(),
      items_(other.items_),
      sorted_(other.sorted_),
      case_sensitive_(other.case_sensitive_),
      duplicates_(other.duplicates_) {}

TStringList& TStringList::operator=(const TStringList& other) {
  if (this != &other) {
    sorted_ = other.sorted_;
    case_sensitive_ = other.case_sensitive_;
    duplicates_ = other.duplicates_;
    Assign(other);
  }
  return *this;
}

const std::string& TStringList::Strings(int index) const {
  CheckIndex(index, Count() - 1);
  return items_[index].text;
}

void TStringList::SetStrings(int index, std::string_view text) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index, Count() - 1);
  Changing();
  items_[index].text = std::string(text);
  Changed();
}

TObject* TStringList::Objects(int index) const {
  CheckIndex(index, Count() - 1);
  return items_[index].object;
}

void TStringList::SetObjects(int index, TObject* object) {
  CheckIndex(index, Count() - 1);
  Changing();
  items_[index].object = object;
  Changed();
}

void TStringList::Insert(int index, std::string_view text) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index, Count());
  InsertItem(index, text, nullptr);
}

void TStringList::InsertItem(int index, std::string_view text, TObject* object) {
  Changing();
  items_.insert(items_.begin() + index, Item{std::string(text), object});
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count() - 1);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

int TStringList::Add(std::string_view text) {
  if (!sorted_) {
    const int index = Count();
    InsertItem(index, text, nullptr);
    return index;
  }
  int index;
  if (Find(text, index)) {
    if (duplicates_ == TDuplicates::dupIgnore) return index;
    if (duplicates_ == TDuplicates::dupError)
      throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, text, nullptr);
  return index;
}

int TStringList::IndexOf(std::string_view text) const {
  if (sorted_) {
    int index;
    return Find(text, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (CompareStrings(items_[i].text, text) == 0) return i;
  return -1;
}

int TStringList::CompareStrings(std::string_view a, std::string_view b) const {
  return case_sensitive_ ? CompareStr(a, b) : CompareText(a, b);
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool case_sensitive) {
  if (case_sensitive == case_sensitive_) return;
  case_sensitive_ = case_sensitive;
  if (sorted_) Sort();
}

void TStringList::Sort() {
  Changing();
  std::stable_sort(items_.begin(), items_.end(), [this](const Item& a, const Item& b) {
    return CompareStrings(a.text, b.text) < 0;
  });
  Changed();
}

bool TStringList::Find(std::string_view text, int& index) const {
  // Lower bound, so that with duplicates the first equal line is found.
  int lo = 0, hi = Count();
  while (lo < hi) {
    const int mid = (lo + hi) / 2;
    if (CompareStrings(items_[mid].text, text) < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  index = lo;
  return lo < Count() && CompareStrings(items_[lo].text, text) == 0;
}

void TStringList::SetUpdateState(bool updating) {
  if (updating)
    Changing();
  else
    Changed();
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && on_changing_) on_changing_(this);
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && on_change_) on_change_(this);
}

}  // namespace rtl
