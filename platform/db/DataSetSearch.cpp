// Dataset bookmarks, filters, record search (find, Locate, Lookup), cached
// update values, block reading and the default cursor-independent
// operations.
#include <cstring>

#include "db/Consts.h"
#include "db/DataSet.h"
#include "db/FilterExpr.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace db {

namespace {

// Hands the evaluator the values of the dataset's fields, read in whatever
// state the dataset is in (filter state during a scan).
class FieldValueReader final : public TFilterRecord {
 public:
  explicit FieldValueReader(const TDataSet& dataset) : dataset_(dataset) {}
  bool GetFieldValue(int, std::string_view name, rtl::Variant& value) const override {
    TField* field = dataset_.FindField(std::string(name));
    if (field == nullptr) return false;
    value = field->AsVariant();
    return true;
  }

 private:
  const TDataSet& dataset_;
};

bool IsTextField(const TField& field) {
  switch (field.DataType()) {
    case ftString:
    case ftFixedChar:
    case ftWideString:
    case ftMemo:
    case ftFmtMemo:
      return true;
    default:
      return false;
  }
}

bool KeyMatches(const TField& field, const rtl::Variant& key, TLocateOptions options) {
  if (key.IsClear()) return field.IsNull();
  if (field.IsNull()) return false;
  bool ignore_case = options.Contains(loCaseInsensitive);
  if (IsTextField(field)) {
    std::string text = field.AsString();
    std::string wanted = key.AsString();
    if (ignore_case) {
      text = rtl::AnsiUpperCase(text);
      wanted = rtl::AnsiUpperCase(wanted);
    }
    if (options.Contains(loPartialKey)) return text.compare(0, wanted.size(), wanted) == 0;
    return text == wanted;
  }
  return rtl::VarCompare(field.AsVariant(), key, ignore_case) == 0;
}

}  // namespace

// --- bookmarks ----------------------------------------------------------------------

TBookmark TDataSet::Bookmark() {
  TBookmark result;
  if ((state_ == dsBrowse || state_ == dsEdit || state_ == dsInsert) && !IsEmpty() &&
      GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
    GetBookmarkData(ActiveBuffer(), result);
  return result;
}

void TDataSet::GotoBookmark(const TBookmark& bookmark) {
  if (bookmark.empty()) return;
  CheckBrowseMode();
  DoBeforeScroll();
  InternalGotoBookmark(bookmark);
  Resync({rmExact, rmCenter});
  DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark&) {
  return false;
}

int TDataSet::CompareBookmarks(const TBookmark&, const TBookmark&) {
  return 0;
}

// --- filters and search -------------------------------------------------------------

void TDataSet::SetFilterText(const std::string& text) {
  filter_text_ = text;
}
void TDataSet::SetFiltered(bool value) {
  filtered_ = value;
}
void TDataSet::SetFilterOptions(TFilterOptions options) {
  filter_options_ = options;
}
void TDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  on_filter_record_ = std::move(handler);
}

bool TDataSet::RecordMatchesFilter(TRecordBuffer buffer, const TFilterExpr* expr,
                                   bool use_handler) {
  TFilterScope filter(*this, buffer);
  bool accept = true;
  if (expr != nullptr && !expr->IsEmpty()) accept = expr->Evaluate(FieldValueReader(*this));
  if (accept && use_handler && on_filter_record_) {
    try {
      on_filter_record_(*this, accept);
    } catch (const std::exception& error) {
      // A failing handler must not stop the scan.
      ShowException(error);
    }
  }
  return accept;
}

bool TDataSet::ScanFor(const std::function<bool(TRecordBuffer)>& match, bool restart, bool forward,
                       bool from_current) {
  if (restart || !from_current || record_count_ == 0) {
    CursorPosChanged();
    if (forward)
      InternalFirst();
    else
      InternalLast();
  } else {
    UpdateCursorPos();
  }
  // From here on the cursor no longer stands on the buffer it last filled.
  CursorPosChanged();
  TRecordBuffer buffer = TempBuffer();
  while (GetRecord(buffer, forward ? gmNext : gmPrior, true) == grOK)
    if (match(buffer)) return true;
  return false;
}

bool TDataSet::FindRecord(bool restart, bool go_forward) {
  CheckBrowseMode();
  DoBeforeScroll();
  found_ = false;
  TFilterExpr expr;
  if (!rtl::IsBlank(filter_text_)) expr = TFilterExpr::Parse(filter_text_, filter_options_);
  bool use_handler = static_cast<bool>(on_filter_record_);
  bool ok =
      ScanFor([&](TRecordBuffer buffer) { return RecordMatchesFilter(buffer, &expr, use_handler); },
              restart, go_forward, true);
  if (ok) {
    Resync({rmExact, rmCenter});
    found_ = true;
    DoAfterScroll();
  }
  return found_;
}

bool TDataSet::FindFirst() {
  return FindRecord(true, true);
}
bool TDataSet::FindLast() {
  return FindRecord(true, false);
}
bool TDataSet::FindNext() {
  return FindRecord(false, true);
}
bool TDataSet::FindPrior() {
  return FindRecord(false, false);
}

bool TDataSet::ScanLocate(const std::vector<TField*>& fields, const rtl::Variant& values,
                          TLocateOptions options, bool) {
  auto key = [&](std::size_t i) -> rtl::Variant {
    if (!values.IsArray()) return i == 0 ? values : rtl::Variant::Null();
    return static_cast<int>(i) < values.ArrayCount() ? values.Item(static_cast<int>(i))
                                                     : rtl::Variant::Null();
  };
  auto match = [&](TRecordBuffer buffer) {
    TFilterScope filter(*this, buffer);
    bool ok = true;
    for (std::size_t i = 0; ok && i < fields.size(); ++i)
      ok = KeyMatches(*fields[i], key(i), options);
    return ok;
  };
  return ScanFor(match, true, true, false);
}

bool TDataSet::Locate(const std::string& key_fields, const rtl::Variant& key_values,
                      TLocateOptions options) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, key_fields);
  DoBeforeScroll();
  bool found = ScanLocate(fields, key_values, options, true);
  if (found) {
    Resync({rmExact, rmCenter});
    DoAfterScroll();
  }
  return found;
}

bool TDataSet::LocateForLookup(const std::string& key_fields, const rtl::Variant& key_values) {
  CheckBrowseMode();
  std::vector<TField*> fields;
  GetFieldList(fields, key_fields);
  return ScanLocate(fields, key_values, {}, false);
}

rtl::Variant TDataSet::Lookup(const std::string& key_fields, const rtl::Variant& key_values,
                              const std::string& result_fields) {
  rtl::Variant result = rtl::Variant::Null();
  if (!LocateForLookup(key_fields, key_values)) return result;
  TRecordBuffer buffer = LookupBuffer();
  TDataSetState saved = SetTempState(dsCalcFields);
  rtl::ScopeExit restore([&] { RestoreState(saved); });
  CalculateFields(buffer);
  result = FieldValues(result_fields);
  return result;
}

// --- cached updates, blobs, block reading --------------------------------------------

void TDataSet::SetCachedUpdates(bool value) {
  if (cached_updates_ == value) return;
  if (!Active()) {
    cached_updates_ = value;
    return;
  }
  CheckBrowseMode();
  TBookmark bookmark = Bookmark();
  cached_updates_ = value;
  // The record layout may depend on the mode: rebuild the ring and find the
  // same record again.
  RebuildBuffers();
  if (!bookmark.empty()) {
    InternalGotoBookmark(bookmark);
    Resync({rmExact, rmCenter});
  } else {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
    bof_ = true;
    DataEvent(deDataSetChange, 0);
  }
}

TUpdateStatus TDataSet::UpdateStatus() {
  return usUnmodified;
}

std::unique_ptr<rtl::TStream> TDataSet::CreateBlobStream(TField&, TBlobStreamMode) {
  return nullptr;
}

int TDataSet::GetBlobFieldData(int field_no, std::string& buffer) {
  buffer.clear();
  TField* field = FieldByNumber(field_no);
  if (field == nullptr) return 0;
  auto stream = CreateBlobStream(*field, bmRead);
  if (!stream) return 0;
  char chunk[4096];
  for (;;) {
    int64_t n = stream->Read(chunk, sizeof chunk);
    if (n <= 0) break;
    buffer.append(chunk, static_cast<std::size_t>(n));
  }
  return static_cast<int>(buffer.size());
}

void TDataSet::CloseBlob(TField&) {}

void TDataSet::SetBlockReadSize(int size) {
  if (size == block_read_size_) return;
  if (size > 0) {
    CheckActive();
    if (state_ != dsBlockRead) CheckBrowseMode();
    block_read_size_ = size;
    SetState(dsBlockRead);
    return;
  }
  block_read_size_ = 0;
  if (state_ == dsBlockRead) {
    SetState(dsBrowse);
    CursorPosChanged();
    Resync({});
  }
}

bool TDataSet::GetCurrentRecord(TRecordBuffer) {
  return false;
}

int TDataSet::Translate(const char* src, char* dest, bool) {
  std::size_t n = std::strlen(src);
  if (dest != src) std::memmove(dest, src, n + 1);
  return static_cast<int>(n);
}

// --- field values -------------------------------------------------------------------

bool TDataSet::GetFieldData(TField&, void*) {
  return false;
}

bool TDataSet::GetFieldData(int field_no, void* buffer) {
  TField* field = FieldByNumber(field_no);
  return field != nullptr && GetFieldData(*field, buffer);
}

void TDataSet::SetFieldData(TField&, const void*) {}

rtl::Variant TDataSet::GetStateFieldValue(TDataSetState state, TField& field) {
  if (!cached_updates_) DatabaseError(msg::kNotCachedUpdate, this);
  if (field.FieldKind() != fkData && field.FieldKind() != fkInternalCalc)
    return rtl::Variant::Null();
  TDataSetState saved = SetTempState(state);
  rtl::Variant value;
  rtl::ScopeExit restore([&] { RestoreState(saved); });
  value = field.AsVariant();
  return value;
}

void TDataSet::SetStateFieldValue(TDataSetState state, TField& field, const rtl::Variant& value) {
  if (!cached_updates_) DatabaseError(msg::kNotCachedUpdate, this);
  TDataSetState saved = SetTempState(state);
  rtl::ScopeExit restore([&] { RestoreState(saved); });
  field.SetAsVariant(value);
}

std::string TDataSet::GetFieldFullName(const TField& field) const {
  return field.FieldName();
}

bool TDataSet::GetIsIndexField(const TField&) {
  return false;
}

// --- provider support ---------------------------------------------------------------

int TDataSet::PSExecuteStatement(const std::string&, TParams*, std::unique_ptr<TDataSet>*) {
  return 0;
}

std::unique_ptr<EUpdateError> TDataSet::PSGetUpdateException(const std::exception& error,
                                                             const EUpdateError* prior) {
  const auto* db_error = dynamic_cast<const EDatabaseError*>(&error);
  if (db_error == nullptr) return nullptr;
  int previous = prior != nullptr ? prior->ErrorCode() : 0;
  return std::make_unique<EUpdateError>(db_error->Message(), std::string(), 0, previous);
}

std::string TDataSet::PSGetKeyFields() {
  return {};
}

}  // namespace db
