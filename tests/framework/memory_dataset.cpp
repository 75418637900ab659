#include "memory_dataset.h"

#include <algorithm>
#include <cstring>

#include "db/Consts.h"
#include "rtl/SysUtils.h"

namespace fwtest {

using namespace db;

MemoryDataSet::MemoryDataSet(TComponent* owner) : TDataSet(owner), master_link_(this) {
  master_link_.OnMasterChange = [this] { MasterChanged(); };
  master_link_.OnMasterDisable = [this] {
    master_range_ = false;
    if (Active()) First();
  };
}

MemoryDataSet::~MemoryDataSet() {
  Destroying_();
  Close();
}

namespace {
int NativeSize(TFieldType type, int size) {
  switch (type) {
    case ftString:
    case ftFixedChar:
      return size + 1;
    case ftSmallint:
    case ftWord:
    case ftBoolean:
      return 2;
    case ftInteger:
    case ftAutoInc:
    case ftDate:
    case ftTime:
      return 4;
    case ftBytes:
      return size;
    case ftMemo:
    case ftBlob:
      return 4;  // index into the blob values
    case ftVarBytes:
      return size + 2;
    default:
      return 8;
  }
}

// A value stored at `data` / read from it, as the record buffer holds it.
template <typename T>
void Put(char* data, T v) {
  std::memcpy(data, &v, sizeof v);
}
template <typename T>
T Get(const char* data) {
  T v;
  std::memcpy(&v, data, sizeof v);
  return v;
}
}  // namespace

void MemoryDataSet::AddColumn(const std::string& name, TFieldType type, int size, bool required,
                              bool read_only) {
  CheckInactive();
  columns_.push_back(Column{name, type, size, required, read_only});
  Layout();
  for (Row& row : rows_) row.data.resize(static_cast<std::size_t>(record_size_), '\0');
}

void MemoryDataSet::Layout() {
  int offset = 0;
  for (Column& c : columns_) {
    c.offset = offset;
    c.data_size = NativeSize(c.type, c.size);
    offset += 1 + c.data_size;
  }
  record_size_ = offset;
}

void MemoryDataSet::WriteValue(char* at, const Column& c, const rtl::Variant& value) {
  std::memset(at, 0, static_cast<std::size_t>(c.data_size) + 1);
  if (value.IsClear()) return;
  at[0] = 1;
  char* data = at + 1;
  switch (c.type) {
    case ftString:
    case ftFixedChar: {
      std::string s = value.AsString();
      std::memcpy(data, s.data(),
                  std::min<std::size_t>(s.size(), static_cast<std::size_t>(c.size)));
      break;
    }
    case ftSmallint:
      Put(data, static_cast<int16_t>(value.AsInteger()));
      break;
    case ftWord:
      Put(data, static_cast<uint16_t>(value.AsInteger()));
      break;
    case ftBoolean:
      Put<int16_t>(data, value.AsBoolean() ? 1 : 0);
      break;
    case ftInteger:
    case ftAutoInc:
      Put<int32_t>(data, value.AsInteger());
      break;
    case ftLargeint:
      Put<int64_t>(data, value.AsInt64());
      break;
    case ftDate:
      Put<int32_t>(data, DateTimeToNativeDate(value.AsDateTime()));
      break;
    case ftTime:
      Put<int32_t>(data, DateTimeToNativeTime(value.AsDateTime()));
      break;
    case ftDateTime:
      Put<double>(data, DateTimeToNativeDateTime(value.AsDateTime()));
      break;
    case ftMemo:
    case ftBlob:
      Put(data, static_cast<int32_t>(blobs_.size()));
      blobs_.push_back(value.AsString());
      break;
    default:
      Put<double>(data, value.AsDouble());
      break;
  }
}

rtl::Variant MemoryDataSet::ReadValue(const char* at, const Column& c) const {
  if (at[0] == 0) return rtl::Variant::Null();
  const char* data = at + 1;
  switch (c.type) {
    case ftString:
    case ftFixedChar:
      return rtl::Variant(std::string(data, strnlen(data, static_cast<std::size_t>(c.size))));
    case ftSmallint:
    case ftBoolean: {
      const int16_t v = Get<int16_t>(data);
      return c.type == ftBoolean ? rtl::Variant(v != 0) : rtl::Variant(static_cast<int>(v));
    }
    case ftWord:
      return rtl::Variant(static_cast<int>(Get<uint16_t>(data)));
    case ftInteger:
    case ftAutoInc:
      return rtl::Variant(Get<int32_t>(data));
    case ftLargeint:
      return rtl::Variant::FromInt(Get<int64_t>(data), rtl::varInt64);
    case ftDate:
      return rtl::Variant::FromDateTime(NativeDateToDateTime(Get<int32_t>(data)));
    case ftTime:
      return rtl::Variant::FromDateTime(NativeTimeToDateTime(Get<int32_t>(data)));
    case ftDateTime:
      return rtl::Variant::FromDateTime(NativeDateTimeToDateTime(Get<double>(data)));
    case ftMemo:
    case ftBlob:
      return rtl::Variant(blobs_.at(static_cast<std::size_t>(Get<int32_t>(data))));
    default:
      return rtl::Variant(Get<double>(data));
  }
}

void MemoryDataSet::AddRow(const std::vector<rtl::Variant>& values) {
  Row row{next_id_++, std::string(static_cast<std::size_t>(record_size_), '\0')};
  for (std::size_t i = 0; i < columns_.size(); ++i)
    WriteValue(row.data.data() + columns_[i].offset, columns_[i],
               i < values.size() ? values[i] : rtl::Variant::Null());
  rows_.push_back(std::move(row));
}

rtl::Variant MemoryDataSet::Stored(int row, const std::string& column) const {
  for (const Column& c : columns_)
    if (rtl::SameText(c.name, column)) return ReadValue(rows_.at(row).data.data() + c.offset, c);
  return rtl::Variant();
}

void MemoryDataSet::LogEvents(std::vector<std::string>* log) {
  auto note = [log](const char* name) { return [log, name](TDataSet&) { log->push_back(name); }; };
  BeforeOpen = note("BeforeOpen");
  AfterOpen = note("AfterOpen");
  BeforeClose = note("BeforeClose");
  AfterClose = note("AfterClose");
  BeforeInsert = note("BeforeInsert");
  AfterInsert = note("AfterInsert");
  BeforeEdit = note("BeforeEdit");
  AfterEdit = note("AfterEdit");
  BeforePost = note("BeforePost");
  AfterPost = note("AfterPost");
  BeforeCancel = note("BeforeCancel");
  AfterCancel = note("AfterCancel");
  BeforeDelete = note("BeforeDelete");
  AfterDelete = note("AfterDelete");
  BeforeScroll = note("BeforeScroll");
  AfterScroll = note("AfterScroll");
  BeforeRefresh = note("BeforeRefresh");
  AfterRefresh = note("AfterRefresh");
  OnNewRecord = note("OnNewRecord");
}

// --- record buffers -------------------------------------------------------------------

std::unique_ptr<char[]> MemoryDataSet::AllocRecordBuffer() {
  return std::make_unique<char[]>(static_cast<std::size_t>(BufferSize()));
}

MemoryDataSet::RecInfo& MemoryDataSet::Info(TRecordBuffer buffer) const {
  return *reinterpret_cast<RecInfo*>(buffer + InfoOffset());
}

void MemoryDataSet::GetBookmarkData(TRecordBuffer buffer, TBookmark& data) {
  int32_t id = Info(buffer).id;
  data.assign(reinterpret_cast<const char*>(&id), sizeof id);
}

TBookmarkFlag MemoryDataSet::GetBookmarkFlag(TRecordBuffer buffer) {
  return static_cast<TBookmarkFlag>(Info(buffer).flag);
}

void MemoryDataSet::SetBookmarkFlag(TRecordBuffer buffer, TBookmarkFlag flag) {
  Info(buffer).flag = static_cast<uint8_t>(flag);
}

void MemoryDataSet::SetBookmarkData(TRecordBuffer buffer, const TBookmark& data) {
  if (data.size() == sizeof(int32_t)) std::memcpy(&Info(buffer).id, data.data(), sizeof(int32_t));
}

void MemoryDataSet::InternalInitRecord(TRecordBuffer buffer) {
  std::memset(buffer, 0, static_cast<std::size_t>(record_size_));
  Info(buffer).id = 0;
  Info(buffer).recno = -1;
  Info(buffer).status = usInserted;
}

void MemoryDataSet::ClearCalcFields(TRecordBuffer buffer) {
  std::memset(buffer + record_size_, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

// --- the cursor -------------------------------------------------------------------------

int MemoryDataSet::IndexOfId(int32_t id) const {
  for (std::size_t i = 0; i < rows_.size(); ++i)
    if (rows_[i].id == id) return static_cast<int>(i);
  return -1;
}

bool MemoryDataSet::Accept(int index) {
  const Row& row = rows_[index];
  if (master_range_) {
    std::vector<std::string> names = SplitFieldNames(detail_fields_);
    for (std::size_t i = 0; i < names.size() && i < master_values_.size(); ++i) {
      for (const Column& c : columns_) {
        if (!rtl::SameText(c.name, names[i])) continue;
        rtl::Variant v = ReadValue(row.data.data() + c.offset, c);
        if (v.IsNull() != master_values_[i].IsClear()) return false;
        if (!v.IsNull() && !(v == master_values_[i])) return false;
      }
    }
  }
  if (!Filtered()) return true;
  filter_row_.assign(static_cast<std::size_t>(BufferSize()), '\0');
  std::memcpy(filter_row_.data(), row.data.data(), row.data.size());
  return RecordMatchesFilter(filter_row_.data(), &expr_, true);
}

TGetResult MemoryDataSet::GetRecord(TRecordBuffer buffer, TGetMode mode, bool) {
  int n = static_cast<int>(rows_.size());
  int p = pos_;
  switch (mode) {
    case gmCurrent:
      if (p < 0 || p >= n || !Accept(p)) return grError;
      break;
    case gmNext:
      p = std::max(p, -1) + 1;
      while (p < n && !Accept(p)) ++p;
      if (p >= n) {
        pos_ = n;
        return grEOF;
      }
      break;
    case gmPrior:
      p = std::min(p, n) - 1;
      while (p >= 0 && !Accept(p)) --p;
      if (p < 0) {
        pos_ = -1;
        return grBOF;
      }
      break;
  }
  pos_ = p;
  std::memcpy(buffer, rows_[p].data.data(), static_cast<std::size_t>(record_size_));
  int recno = 1;
  for (int i = 0; i < p; ++i)
    if (Accept(i)) ++recno;
  RecInfo& info = Info(buffer);
  info.id = rows_[p].id;
  info.recno = recno;
  info.flag = bfCurrent;
  info.status = static_cast<uint8_t>(rows_[p].status);
  GetCalcFields(buffer);
  return grOK;
}

void MemoryDataSet::InternalGotoBookmark(const TBookmark& bookmark) {
  int32_t id = 0;
  if (bookmark.size() == sizeof id) std::memcpy(&id, bookmark.data(), sizeof id);
  int index = IndexOfId(id);
  if (index < 0) DatabaseError(msg::kRecordNotFound, this);
  pos_ = index;
}

void MemoryDataSet::InternalSetToRecord(TRecordBuffer buffer) {
  TBookmark bookmark;
  GetBookmarkData(buffer, bookmark);
  InternalGotoBookmark(bookmark);
}

bool MemoryDataSet::BookmarkValid(const TBookmark& bookmark) {
  int32_t id = 0;
  if (bookmark.size() != sizeof id) return false;
  std::memcpy(&id, bookmark.data(), sizeof id);
  return IndexOfId(id) >= 0;
}

int MemoryDataSet::CompareBookmarks(const TBookmark& a, const TBookmark& b) {
  if (a.empty() && b.empty()) return 0;
  if (b.empty()) return -1;
  if (a.empty()) return 1;
  int32_t ia = 0, ib = 0;
  std::memcpy(&ia, a.data(), sizeof ia);
  std::memcpy(&ib, b.data(), sizeof ib);
  int pa = IndexOfId(ia), pb = IndexOfId(ib);
  return pa < pb ? -1 : (pa > pb ? 1 : 0);
}

void MemoryDataSet::InternalInitFieldDefs() {
  FieldDefs().Clear();
  for (const Column& c : columns_) {
    TFieldDef& def = FieldDefs().Add(c.name, c.type, c.size, c.required);
    if (c.read_only) {
      TFieldAttributes attributes = def.Attributes();
      attributes.Include(faReadonly);
      def.SetAttributes(attributes);
    }
  }
}

void MemoryDataSet::InternalOpen() {
  cursor_open_ = true;
  FieldDefs().SetUpdated(false);
  FieldDefs().Update();
  if (DefaultFields()) CreateFields();
  BindFields(true);
  expr_ = rtl::IsBlank(Filter()) ? TFilterExpr() : TFilterExpr::Parse(Filter(), FilterOptions());
  pos_ = -1;
  master_range_ = false;
  if (master_link_.Active() && !master_link_.Fields().empty()) {
    master_values_.clear();
    for (TField* f : master_link_.Fields()) master_values_.push_back(f->AsVariant());
    master_range_ = true;
  }
}

void MemoryDataSet::InternalClose() {
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  cursor_open_ = false;
  expr_ = TFilterExpr();
}

void MemoryDataSet::CheckFailure() {
  if (fail_message_.empty()) return;
  std::string message = std::move(fail_message_);
  fail_message_.clear();
  throw EDatabaseError(message);
}

void MemoryDataSet::Store(TRecordBuffer buffer, Row& row) const {
  row.data.assign(buffer, static_cast<std::size_t>(record_size_));
}

void MemoryDataSet::InternalAddRecord(TRecordBuffer buffer, bool append) {
  CheckFailure();
  int n = static_cast<int>(rows_.size());
  int at = append ? n : std::clamp(pos_, 0, n);
  Row row{next_id_++, {}, usInserted};
  Store(buffer, row);
  rows_.insert(rows_.begin() + at, std::move(row));
  pos_ = at;
  ++post_count_;
}

void MemoryDataSet::InternalPost() {
  TDataSet::InternalPost();
  if (State() == dsInsert) {
    InternalAddRecord(ActiveBuffer(), GetBookmarkFlag(ActiveBuffer()) == bfEOF);
    return;
  }
  CheckFailure();
  int index = IndexOfId(Info(ActiveBuffer()).id);
  if (index < 0) DatabaseError(msg::kRecordNotFound, this);
  Store(ActiveBuffer(), rows_[index]);
  if (rows_[index].status == usUnmodified) rows_[index].status = usModified;
  pos_ = index;
  ++post_count_;
}

void MemoryDataSet::InternalEdit() {
  // Start from the row as stored, like a cursor re-reading its record.
  CheckFailure();
  int index = IndexOfId(Info(ActiveBuffer()).id);
  if (index < 0) DatabaseError(msg::kRecordNotFound, this);
  std::memcpy(ActiveBuffer(), rows_[index].data.data(), static_cast<std::size_t>(record_size_));
}

void MemoryDataSet::InternalCancel() {}

void MemoryDataSet::InternalDelete() {
  CheckFailure();
  int index = IndexOfId(Info(ActiveBuffer()).id);
  if (index < 0) DatabaseError(msg::kRecordNotFound, this);
  rows_.erase(rows_.begin() + index);
  pos_ = index;
}

int MemoryDataSet::GetRecordCount() {
  int count = 0;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i)
    if (Accept(i)) ++count;
  return count;
}

int MemoryDataSet::GetRecNo() {
  TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (buffer == nullptr || (State() == dsBrowse && IsEmpty())) return -1;
  return Info(buffer).recno;
}

void MemoryDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (value == RecNo()) return;
  int seen = 0;
  for (int i = 0; i < static_cast<int>(rows_.size()); ++i) {
    if (!Accept(i) || ++seen != value) continue;
    DoBeforeScroll();
    pos_ = i;
    Resync({rmCenter});
    DoAfterScroll();
    return;
  }
}

TUpdateStatus MemoryDataSet::UpdateStatus() {
  if (IsEmpty()) return usUnmodified;
  return static_cast<TUpdateStatus>(Info(ActiveBuffer()).status);
}

// --- field values -------------------------------------------------------------------------

TRecordBuffer MemoryDataSet::StateBuffer() {
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsCalcFields:
    case dsInternalCalc:
      return CalcBuffer();
    case dsFilter:
      return FilterBuffer();
    case dsOldValue:
    case dsCurValue: {
      int index = IsEmpty() ? -1 : IndexOfId(Info(ActiveBuffer()).id);
      if (index < 0) return nullptr;
      scratch_.assign(static_cast<std::size_t>(BufferSize()), '\0');
      std::memcpy(scratch_.data(), rows_[index].data.data(), rows_[index].data.size());
      return scratch_.data();
    }
    default:
      return nullptr;
  }
}

bool MemoryDataSet::GetFieldData(TField& field, void* buffer) {
  TRecordBuffer record = StateBuffer();
  if (record == nullptr) return false;
  const char* at;
  int size;
  if (field.FieldNo() > 0) {
    const Column& c = columns_.at(static_cast<std::size_t>(field.FieldNo() - 1));
    at = record + c.offset;
    size = c.data_size;
  } else if (field.FieldKind() == fkCalculated || field.FieldKind() == fkLookup) {
    at = record + record_size_ + field.Offset();
    size = field.DataSize();
  } else {
    return false;
  }
  if (at[0] == 0) return false;
  if (buffer != nullptr) std::memcpy(buffer, at + 1, static_cast<std::size_t>(size));
  return true;
}

void MemoryDataSet::SetFieldData(TField& field, const void* buffer) {
  TDataSetState state = State();
  if (!IsWriteState(state)) DatabaseError(msg::kNotEditing, this);
  TRecordBuffer record = StateBuffer();
  if (field.FieldKind() == fkCalculated || field.FieldKind() == fkLookup) {
    char* at = record + record_size_ + field.Offset();
    at[0] = buffer != nullptr ? 1 : 0;
    if (buffer != nullptr)
      std::memcpy(at + 1, buffer, static_cast<std::size_t>(field.DataSize()));
    else
      std::memset(at + 1, 0, static_cast<std::size_t>(field.DataSize()));
  } else {
    if (state == dsCalcFields) DatabaseError(msg::kNotEditing);
    if (field.ReadOnly() && state != dsSetKey && state != dsFilter)
      DatabaseError(rtl::Format(msg::kFieldReadOnly, field.DisplayName().c_str()));
    field.Validate(buffer);
    const Column& c = columns_.at(static_cast<std::size_t>(field.FieldNo() - 1));
    char* at = record + c.offset;
    at[0] = buffer != nullptr ? 1 : 0;
    if (buffer != nullptr)
      std::memcpy(at + 1, buffer, static_cast<std::size_t>(c.data_size));
    else
      std::memset(at + 1, 0, static_cast<std::size_t>(c.data_size));
  }
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue) FieldChanged(field);
}

// --- filters and master ---------------------------------------------------------------------

void MemoryDataSet::Reposition() {
  if (Active()) First();
}

void MemoryDataSet::SetFilterText(const std::string& text) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFilterText(text);
  if (!Active()) return;
  expr_ = rtl::IsBlank(text) ? TFilterExpr() : TFilterExpr::Parse(text, FilterOptions());
  if (Filtered()) Reposition();
}

void MemoryDataSet::SetFilterOptions(TFilterOptions options) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFilterOptions(options);
  if (!Active()) return;
  expr_ = rtl::IsBlank(Filter()) ? TFilterExpr() : TFilterExpr::Parse(Filter(), options);
  if (Filtered()) Reposition();
}

void MemoryDataSet::SetFiltered(bool value) {
  if (Active()) CheckBrowseMode();
  TDataSet::SetFiltered(value);
  Reposition();
}

void MemoryDataSet::SetOnFilterRecord(TFilterRecordEvent handler) {
  TDataSet::SetOnFilterRecord(std::move(handler));
  if (Filtered()) Reposition();
}

void MemoryDataSet::SetMasterSource(TDataSource* source) {
  CheckCircularLink(source);
  master_link_.SetDataSource(source);
}

void MemoryDataSet::MasterChanged() {
  ++master_changes_;
  master_values_.clear();
  for (TField* f : master_link_.Fields()) master_values_.push_back(f->AsVariant());
  master_range_ = true;
  if (Active()) First();
}

// --- blobs -----------------------------------------------------------------------------

// Reads the blob value of one record, or collects a new one and hands it to
// the record when destroyed.
class MemoryBlobStream : public rtl::TMemoryStream {
 public:
  MemoryBlobStream(MemoryDataSet* dataset, TField* field, char* record, TBlobStreamMode mode)
      : dataset_(dataset), field_(field), record_(record) {
    const std::string* value = record != nullptr ? dataset->BlobOf(record, *field) : nullptr;
    if (mode == bmWrite) {
      modified_ = true;  // writing replaces the value at once
    } else if (value != nullptr && !value->empty()) {
      WriteBuffer(value->data(), static_cast<int64_t>(value->size()));
      SetPosition(0);
    }
  }
  ~MemoryBlobStream() override {
    if (!modified_ || record_ == nullptr) return;
    try {
      dataset_->BlobWritten(*field_, record_, DataString());
    } catch (const std::exception& e) {
      ShowException(e);
    }
  }
  int64_t Write(const void* buffer, int64_t count) override {
    modified_ = true;
    return rtl::TMemoryStream::Write(buffer, count);
  }

 private:
  MemoryDataSet* dataset_;
  TField* field_;
  char* record_;
  bool modified_ = false;
};

const std::string* MemoryDataSet::BlobOf(const char* record, TField& field) const {
  const Column& c = columns_.at(static_cast<std::size_t>(field.FieldNo() - 1));
  const char* at = record + c.offset;
  if (at[0] == 0) return nullptr;
  return &blobs_.at(static_cast<std::size_t>(Get<int32_t>(at + 1)));
}

void MemoryDataSet::BlobWritten(TField& field, char* record, const std::string& data) {
  const Column& c = columns_.at(static_cast<std::size_t>(field.FieldNo() - 1));
  char* at = record + c.offset;
  at[0] = data.empty() ? 0 : 1;
  Put(at + 1, static_cast<int32_t>(blobs_.size()));
  blobs_.push_back(data);
  static_cast<TBlobField&>(field).SetModified(true);
  FieldChanged(field);
}

std::unique_ptr<rtl::TStream> MemoryDataSet::CreateBlobStream(TField& field, TBlobStreamMode mode) {
  if (mode != bmRead) {
    if (field.ReadOnly())
      DatabaseError(rtl::Format(msg::kFieldReadOnly, field.DisplayName().c_str()), this);
    if (State() != dsEdit && State() != dsInsert) DatabaseError(msg::kNotEditing, this);
  }
  return std::make_unique<MemoryBlobStream>(this, &field, StateBuffer(), mode);
}

}  // namespace fwtest
