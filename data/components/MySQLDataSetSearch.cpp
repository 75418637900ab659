// Dataset filters through engine filters, record search (find, Locate,
// Lookup), blob access, block reading and provider support.
#include <algorithm>
#include <climits>
#include <cstring>

#include "components/MySQLDataSet.h"
#include "components/MySQLQuery.h"
#include "db/Consts.h"
#include "db/FilterExpr.h"
#include "engine/EngineErrors.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace components {

using engine::DBIERR_NONE;

// --- filters -------------------------------------------------------------------------

engine::TmySQLFilter* TmySQLDataSet::CreateExprFilter(const std::string& text,
                                                      db::TFilterOptions options) {
  if (rtl::IsBlank(text)) return nullptr;
  db::TFilterExpr expr = db::TFilterExpr::Parse(text, options);
  engine::TmySQLFilter* filter = nullptr;
  Check(Engine().AddFilter(handle_, this, &expr, nullptr, filter));
  return filter;
}

engine::TmySQLFilter* TmySQLDataSet::CreateFuncFilter() {
  engine::TFilterCallback callback = [this](const std::uint8_t* record) {
    const bool saved = engine_filtering_;
    engine_filtering_ = true;
    bool accept = true;
    rtl::ScopeExit restore([&] { engine_filtering_ = saved; });
    accept = RecordMatchesFilter(
        reinterpret_cast<db::TRecordBuffer>(const_cast<std::uint8_t*>(record)), nullptr, true);
    return accept;
  };
  engine::TmySQLFilter* filter = nullptr;
  Check(Engine().AddFilter(handle_, this, nullptr, callback, filter));
  return filter;
}

void TmySQLDataSet::ActivateFilters() {
  engine::TmySQLEngine& eng = Engine();
  if (expr_filter_ && eng.ActivateFilter(handle_, expr_filter_) != DBIERR_NONE) {
    eng.DropFilter(handle_, expr_filter_);
    expr_filter_ = CreateExprFilter(Filter(), FilterOptions());
    if (expr_filter_) Check(eng.ActivateFilter(handle_, expr_filter_));
  }
  if (func_filter_ && eng.ActivateFilter(handle_, func_filter_) != DBIERR_NONE) {
    eng.DropFilter(handle_, func_filter_);
    func_filter_ = CreateFuncFilter();
    Check(eng.ActivateFilter(handle_, func_filter_));
  }
}

void TmySQLDataSet::DeactivateFilters() {
  engine::TmySQLEngine& eng = Engine();
  if (expr_filter_) Check(eng.DeactivateFilter(handle_, expr_filter_));
  if (func_filter_) Check(eng.DeactivateFilter(handle_, func_filter_));
}

void TmySQLDataSet::DropFilters() {
  if (handle_) {
    if (expr_filter_) Engine().DropFilter(handle_, expr_filter_);
    if (func_filter_) Engine().DropFilter(handle_, func_filter_);
  }
  expr_filter_ = nullptr;
  func_filter_ = nullptr;
}

// Puts `filter` (may be null) in place of the expression filter; while the
// dataset is filtered the new one takes effect from the first record.
void TmySQLDataSet::ReplaceExprFilter(engine::TmySQLFilter* filter) {
  if (Filtered()) {
    CursorPosChanged();
    DropLookupCursor();
    Check(Engine().SetToBegin(handle_));
  }
  if (expr_filter_) Engine().DropFilter(handle_, expr_filter_);
  expr_filter_ = filter;
  if (Filtered() && filter) Check(Engine().ActivateFilter(handle_, filter));
}

void TmySQLDataSet::SetFilterText(const std::string& text) {
  if (Active()) {
    CheckBrowseMode();
    if (text != Filter()) {
      engine::TmySQLFilter* filter = CreateExprFilter(text, FilterOptions());
      ReplaceExprFilter(filter);
    }
  }
  db::TDataSet::SetFilterText(text);
  if (Active() && Filtered()) First();
}

void TmySQLDataSet::SetFilterOptions(db::TFilterOptions options) {
  if (Active()) {
    CheckBrowseMode();
    if (!(options == FilterOptions())) {
      engine::TmySQLFilter* filter = CreateExprFilter(Filter(), options);
      ReplaceExprFilter(filter);
    }
  }
  db::TDataSet::SetFilterOptions(options);
  if (Active() && Filtered()) First();
}

void TmySQLDataSet::DoSetFiltered(bool value) {
  if (value)
    ActivateFilters();
  else
    DeactivateFilters();
}

void TmySQLDataSet::SetFiltered(bool value) {
  if (!Active()) {
    db::TDataSet::SetFiltered(value);
    return;
  }
  CheckBrowseMode();
  if (value != Filtered()) {
    DropLookupCursor();
    Check(Engine().SetToBegin(handle_));
    DoSetFiltered(value);
    db::TDataSet::SetFiltered(value);
  }
  First();
}

void TmySQLDataSet::SetOnFilterRecord(db::TFilterRecordEvent handler) {
  const bool had = static_cast<bool>(OnFilterRecord());
  const bool has = static_cast<bool>(handler);
  db::TDataSet::SetOnFilterRecord(std::move(handler));
  if (!Active() || had == has) return;
  CheckBrowseMode();
  if (has) {
    func_filter_ = CreateFuncFilter();
    if (Filtered()) Check(Engine().ActivateFilter(handle_, func_filter_));
  } else if (func_filter_) {
    Engine().DropFilter(handle_, func_filter_);
    func_filter_ = nullptr;
  }
  if (Filtered()) First();
}

bool TmySQLDataSet::FindRecord(bool restart, bool go_forward) {
  CheckBrowseMode();
  DoBeforeScroll();
  SetFound(false);
  UpdateCursorPos();
  CursorPosChanged();
  const bool temporary = !Filtered();
  if (temporary) ActivateFilters();
  engine::DBIResult rc;
  engine::TmySQLEngine& eng = Engine();
  {
    rtl::ScopeExit restore([&] {
      if (temporary) DeactivateFilters();
    });
    if (go_forward) {
      if (restart) Check(eng.SetToBegin(handle_));
      rc = eng.GetNextRecord(handle_, 0, nullptr, U8(scratch_buffer_.get()));
    } else {
      if (restart) Check(eng.SetToEnd(handle_));
      rc = eng.GetPriorRecord(handle_, 0, nullptr, U8(scratch_buffer_.get()));
    }
  }
  if (rc == DBIERR_NONE) {
    Resync({db::rmExact, db::rmCenter});
    SetFound(true);
    DoAfterScroll();
  }
  return Found();
}

// --- Locate and Lookup -----------------------------------------------------------------

void TmySQLDataSet::ReleaseLookupCursor(engine::TNativeDataSet* cursor) {
  if (cursor) Engine().CloseCursor(cursor);
}

namespace {

rtl::Variant KeyValue(const rtl::Variant& values, std::size_t i, std::size_t count) {
  if (count == 1 && !values.IsArray()) return values;
  if (values.IsArray() && static_cast<int>(i) < values.ArrayCount())
    return values.Item(static_cast<int>(i));
  return rtl::Variant::Null();
}

bool IsTextType(db::TFieldType type) {
  return type == db::ftString || type == db::ftFixedChar || type == db::ftWideString;
}

}  // namespace

bool TmySQLDataSet::LocateCore(const std::string& key_fields, const rtl::Variant& key_values,
                               db::TLocateOptions options, bool move) {
  CheckBrowseMode();
  CursorPosChanged();
  std::vector<db::TField*> fields;
  GetFieldList(fields, key_fields);
  const bool case_ins = options.Contains(db::loCaseInsensitive);
  const bool partial = options.Contains(db::loPartialKey);
  engine::TmySQLEngine& eng = Engine();
  char* temp = scratch_buffer_.get();

  bool own = !fields.empty() && key_field_nos_.size() >= fields.size();
  bool has_text = false;
  for (std::size_t i = 0; own && i < fields.size(); ++i) {
    if (fields[i]->FieldNo() != key_field_nos_[i]) own = false;
    if (IsTextType(fields[i]->DataType())) has_text = true;
  }
  if (own && has_text && case_ins_index_ != case_ins) own = false;
  engine::TNativeDataSet* cursor = own ? handle_ : LookupCursor(key_fields, case_ins);

  engine::DBIResult rc;
  if (cursor) {
    int key_length = 0;
    rtl::ScopeExit release([&] {
      if (cursor != handle_) ReleaseLookupCursor(cursor);
    });
    {
      TFilterScope filter(*this, temp);
      Check(eng.InitRecord(cursor, U8(temp)));
      for (std::size_t i = 0; i < fields.size(); ++i) {
        rtl::Variant v = KeyValue(key_values, i, fields.size());
        if (fields[i]->DataType() == db::ftLargeint && !v.IsClear())
          fields[i]->SetAsLargeInt(v.AsInt64());
        else
          fields[i]->SetAsVariant(v);
      }
      if (partial && IsTextType(fields.back()->DataType()))
        key_length = static_cast<int>(fields.back()->AsString().size());
    }
    rc = eng.GetRecordForKey(cursor, false, static_cast<int>(fields.size()), key_length, U8(temp),
                             U8(temp));
    if (rc == DBIERR_NONE && move && cursor != handle_) rc = eng.SetToCursor(handle_, cursor);
  } else {
    Check(eng.SetToBegin(handle_));
    std::vector<std::string> names;
    std::vector<rtl::Variant> values;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      names.push_back(fields[i]->FieldName());
      values.push_back(KeyValue(key_values, i, fields.size()));
    }
    db::TFilterExpr expr = db::TFilterExpr::KeyFilter(names, values, case_ins, partial);
    engine::TmySQLFilter* filter = nullptr;
    Check(eng.AddFilter(handle_, this, &expr, nullptr, filter));
    rc = eng.ActivateFilter(handle_, filter);
    if (rc == DBIERR_NONE) rc = eng.GetNextRecord(handle_, 0, nullptr, U8(temp));
    eng.DropFilter(handle_, filter);
  }
  return rc == DBIERR_NONE;
}

bool TmySQLDataSet::Locate(const std::string& key_fields, const rtl::Variant& key_values,
                           db::TLocateOptions options) {
  DoBeforeScroll();
  const bool found = LocateCore(key_fields, key_values, options, true);
  if (found) {
    Resync({db::rmExact, db::rmCenter});
    DoAfterScroll();
  }
  return found;
}

bool TmySQLDataSet::LocateForLookup(const std::string& key_fields, const rtl::Variant& key_values) {
  return LocateCore(key_fields, key_values, {}, false);
}

// --- blobs -------------------------------------------------------------------------------------

std::unique_ptr<rtl::TStream> TmySQLDataSet::CreateBlobStream(db::TField& field,
                                                              db::TBlobStreamMode mode) {
  // A field of this dataset spares the stream finding out the dataset's type.
  if (field.DataSet() == this) return std::make_unique<TmySQLBlobStream>(*this, field, mode);
  return std::make_unique<TmySQLBlobStream>(field, mode);
}

int TmySQLDataSet::GetBlobFieldData(int field_no, std::string& buffer) {
  buffer.clear();
  const bool block = State() == db::dsBlockRead;
  db::TRecordBuffer rb = StateBuffer();
  if (!rb || !handle_) return 0;
  engine::TmySQLEngine& eng = Engine();
  if (eng.OpenBlob(handle_, U8(rb), field_no, 0) != DBIERR_NONE) return 0;
  std::uint32_t size = 0;
  std::uint32_t read = 0;
  engine::DBIResult rc = eng.GetBlobSize(handle_, U8(rb), field_no, size);
  if (rc == DBIERR_NONE && size != 0) {
    if (buffer.size() < size) buffer.resize(size + size / 4);
    rc = eng.GetBlob(handle_, U8(rb), field_no, 0, static_cast<std::int32_t>(size), buffer.data(),
                     read);
    if (rc == engine::DBIERR_ENDOFBLOB) rc = DBIERR_NONE;
  }
  eng.FreeBlob(handle_, U8(rb), field_no);
  if (rc != DBIERR_NONE && !block) Check(rc);
  buffer.resize(read);
  return static_cast<int>(read);
}

void TmySQLDataSet::CloseBlob(db::TField& field) {
  if (handle_ && ActiveBuffer()) Engine().FreeBlob(handle_, U8(ActiveBuffer()), field.FieldNo());
}

TmySQLBlobStream::TmySQLBlobStream(db::TField& field, db::TBlobStreamMode mode)
    : TmySQLBlobStream(dynamic_cast<TmySQLDataSet*>(field.DataSet()), field, mode) {}

TmySQLBlobStream::TmySQLBlobStream(TmySQLDataSet& dataset, db::TField& field,
                                   db::TBlobStreamMode mode)
    : TmySQLBlobStream(&dataset, field, mode) {}

TmySQLBlobStream::TmySQLBlobStream(TmySQLDataSet* dataset, db::TField& field,
                                   db::TBlobStreamMode mode)
    : field_(field), dataset_(dataset), field_no_(field.FieldNo()), mode_(mode) {
  if (!dataset_) return;
  buffer_ = dataset_->StateBuffer();
  if (!buffer_) return;
  const db::TDataSetState state = dataset_->State();
  if (state == db::dsFilter)
    db::DatabaseError(rtl::Format(db::msg::kNoFieldAccess, field.DisplayName().c_str()), dataset_);
  db::TBlobField* blob = AsBlob(field);
  if (blob && blob->Modified()) return;
  if (mode != db::bmRead) {
    if (field.ReadOnly())
      db::DatabaseError(rtl::Format(db::msg::kFieldReadOnly, field.DisplayName().c_str()),
                        dataset_);
    if (state != db::dsEdit && state != db::dsInsert)
      db::DatabaseError(db::msg::kNotEditing, dataset_);
  } else if (state == db::dsBrowse && dataset_->GetBookmarkFlag(buffer_) != db::bfCurrent) {
    // The engine reads a blob from the row named by the buffer's own
    // bookmark, so a fetched record needs no fresh copy of the cursor's
    // current row; anything else is refreshed first.
    dataset_->GetCurrentRecord(buffer_);
  }
  engine::TmySQLEngine& eng = dataset_->Engine();
  eng.Check(eng.OpenBlob(dataset_->handle_, TmySQLDataSet::U8(buffer_), field_no_,
                         mode == db::bmRead ? 0 : 1));
  opened_ = true;
  if (mode == db::bmWrite) Truncate(0);
}

TmySQLBlobStream::~TmySQLBlobStream() {
  if (!dataset_ || !buffer_) return;
  db::TBlobField* blob = AsBlob(field_);
  if (modified_ && blob) blob->SetModified(true);
  if (!(blob && blob->Modified()) && dataset_->handle_)
    dataset_->Engine().FreeBlob(dataset_->handle_, TmySQLDataSet::U8(buffer_), field_no_);
  if (modified_) {
    try {
      dataset_->FieldChanged(field_);
    } catch (const std::exception& e) {
      db::ShowException(e);
    }
  }
}

db::TBlobField* TmySQLBlobStream::AsBlob(db::TField& field) {
  // Only blob fields say they are blobs.
  return field.IsBlob() ? static_cast<db::TBlobField*>(&field) : nullptr;
}

bool TmySQLBlobStream::Transliterated() const {
  return field_.DataType() == db::ftMemo && field_.Transliterate();
}

std::uint32_t TmySQLBlobStream::BlobSize() {
  if (!dataset_ || !buffer_) return 0;
  std::uint32_t size = 0;
  engine::TmySQLEngine& eng = dataset_->Engine();
  eng.Check(eng.GetBlobSize(dataset_->handle_, TmySQLDataSet::U8(buffer_), field_no_, size));
  return size;
}

int64_t TmySQLBlobStream::Read(void* buffer, int64_t count) {
  if (!dataset_ || !buffer_ || count <= 0) return 0;
  if (known_end_ >= 0 && position_ >= known_end_) return 0;
  engine::TmySQLEngine& eng = dataset_->Engine();
  std::uint32_t read = 0;
  engine::DBIResult rc =
      eng.GetBlob(dataset_->handle_, TmySQLDataSet::U8(buffer_), field_no_, position_,
                  static_cast<std::int32_t>(std::min<int64_t>(count, INT32_MAX)), buffer, read);
  if (rc == engine::DBIERR_INVALIDBLOBOFFSET) return 0;
  if (rc != DBIERR_NONE && rc != engine::DBIERR_ENDOFBLOB) eng.Check(rc);
  if (Transliterated() && read > 0)
    eng.NativeToAnsiBuf(static_cast<char*>(buffer), static_cast<char*>(buffer),
                        static_cast<int>(read));
  position_ += read;
  if (read < count) known_end_ = position_;
  return read;
}

int64_t TmySQLBlobStream::Write(const void* buffer, int64_t count) {
  if (!dataset_ || !buffer_ || count <= 0) return 0;
  engine::TmySQLEngine& eng = dataset_->Engine();
  std::string data(static_cast<const char*>(buffer), static_cast<std::size_t>(count));
  if (Transliterated()) eng.AnsiToNativeBuf(data.data(), data.data(), static_cast<int>(count));
  eng.Check(eng.PutBlob(dataset_->handle_, TmySQLDataSet::U8(buffer_), field_no_, position_,
                        static_cast<std::int32_t>(count), data.data()));
  position_ += static_cast<std::uint32_t>(count);
  modified_ = true;
  known_end_ = -1;
  return count;
}

int64_t TmySQLBlobStream::Seek(int64_t offset, rtl::TSeekOrigin origin) {
  switch (origin) {
    case rtl::TSeekOrigin::soBeginning:
      position_ = static_cast<std::uint32_t>(offset);
      break;
    case rtl::TSeekOrigin::soCurrent:
      position_ = static_cast<std::uint32_t>(position_ + offset);
      break;
    case rtl::TSeekOrigin::soEnd:
      position_ = static_cast<std::uint32_t>(BlobSize() + offset);
      break;
  }
  return position_;
}

void TmySQLBlobStream::SetSize(int64_t size) {
  Truncate(static_cast<std::uint32_t>(size));
}

void TmySQLBlobStream::Truncate(std::uint32_t length) {
  if (!dataset_ || !buffer_) return;
  engine::TmySQLEngine& eng = dataset_->Engine();
  eng.Check(eng.TruncateBlob(dataset_->handle_, TmySQLDataSet::U8(buffer_), field_no_, length));
  modified_ = true;
  known_end_ = -1;
}

// --- block reading ---------------------------------------------------------------------------

void TmySQLDataSet::SetBlockReadSize(int size) {
  if (size == BlockReadSize()) return;
  if (size > 0) {
    if (Eof() || BufferCount() > 1 || !handle_) return;
    UpdateCursorPos();
    Engine().SetBoolProperty(handle_, engine::curpropMarkModified, 0);
    ReleaseBlockBuffer();
    const int stride = std::max(rec_size_, 1);
    block_capacity_ = size == INT_MAX ? std::max(1, 65536 / stride) : size;
    block_buffer_.reset(new char[static_cast<std::size_t>(block_capacity_) * stride]());
    block_index_ = block_count_ = 0;
    block_total_ = 0;
    db::TDataSet::SetBlockReadSize(size);
    // The block holds the records after the current one, which stays in
    // view until the first Next.
    ReadNextBlock();
    block_index_ = -1;
  } else {
    db::TDataSet::SetBlockReadSize(0);
    ReleaseBlockBuffer();
  }
}

void TmySQLDataSet::ReleaseBlockBuffer() {
  // ReadBlock hands the engine every place of the block in turn.
  const int stride = std::max(rec_size_, 1);
  for (int i = 0; block_buffer_ && i < block_capacity_; ++i)
    ReleaseEngineBuffer(block_buffer_.get() + static_cast<std::ptrdiff_t>(i) * stride);
  block_buffer_.reset();
  block_capacity_ = block_index_ = block_count_ = 0;
}

bool TmySQLDataSet::ReadNextBlock() {
  int count = block_capacity_;
  engine::DBIResult rc = Engine().ReadBlock(handle_, count, U8(block_buffer_.get()));
  if (rc != DBIERR_NONE && rc != engine::DBIERR_EOF) Check(rc);
  block_count_ = rc == DBIERR_NONE || count > 0 ? count : 0;
  block_index_ = 0;
  block_total_ += block_count_;
  return block_count_ > 0;
}

void TmySQLDataSet::BlockReadNext() {
  if (block_index_ + 1 < block_count_) {
    ++block_index_;
  } else if (!ReadNextBlock()) {
    SetEof(true);
    return;
  }
  DataEvent(db::deDataSetScroll, 0);
}

db::TRecordBuffer TmySQLDataSet::BlockRecord() const {
  if (block_index_ < 0) return ActiveBuffer();
  if (!block_buffer_ || block_index_ >= block_count_) return nullptr;
  return block_buffer_.get() + static_cast<std::ptrdiff_t>(block_index_) * std::max(rec_size_, 1);
}

// --- provider support --------------------------------------------------------------------------

int TmySQLDataSet::PSExecuteStatement(const std::string& sql, db::TParams* params,
                                      std::unique_ptr<db::TDataSet>* result_set) {
  if (!database_)
    db::DatabaseError(rtl::Format("(%s) property Database is not set!", Name().c_str()));
  const bool was = SetHoldReason(hrProvider, true);
  struct Release {
    TmySQLDataSet& ds;
    bool was;
    ~Release() {
      if (!was) ds.SetHoldReason(hrProvider, false);
    }
  } release{*this, was};
  if (result_set || (params && params->Count() > 0)) {
    auto query = std::make_unique<TmySQLQuery>();
    query->SetDatabase(database_);
    query->SQL().SetText(sql);
    if (params) query->Params().AssignValues(*params);
    int rows;
    if (result_set) {
      query->Open();
      rows = query->RecordCount();
      *result_set = std::move(query);
    } else {
      query->Execute();
      rows = query->AffectedRowCount();
    }
    return rows;
  }
  return database_->Execute(sql);
}

std::unique_ptr<db::EUpdateError> TmySQLDataSet::PSGetUpdateException(
    const std::exception& error, const db::EUpdateError* prior) {
  const int previous = prior ? prior->ErrorCode() : 0;
  if (auto* e = dynamic_cast<const engine::EmySQLDatabaseError*>(&error))
    return std::make_unique<db::EUpdateError>(e->Message(), std::string(), e->ErrorCode(),
                                              previous);
  return db::TDataSet::PSGetUpdateException(error, prior);
}

bool TmySQLDataSet::PSInTransaction() {
  return database_ && database_->Connected() && database_->InTransaction();
}

void TmySQLDataSet::PSReset() {
  if (handle_) Check(Engine().ForceReread(handle_));
}

void TmySQLDataSet::PSStartTransaction() {
  if (!database_)
    db::DatabaseError(rtl::Format("(%s) property Database is not set!", Name().c_str()));
  SetHoldReason(hrProvider, true);
  database_->StartTransaction();
}

void TmySQLDataSet::PSEndTransaction(bool commit) {
  if (!database_) return;
  struct Release {
    TmySQLDataSet& ds;
    ~Release() { ds.SetHoldReason(hrProvider, false); }
  } release{*this};
  database_->ClearStatements();
  database_->FinishTransaction(commit ? 0 : 2);
}

}  // namespace components
