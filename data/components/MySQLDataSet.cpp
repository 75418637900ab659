// The dataset core: holding the connection, opening, field definitions,
// record buffers and fetching, field values, editing and positioning.
#include "components/MySQLDataSet.h"

#include <algorithm>
#include <cstring>

#include "components/FieldMapping.h"
#include "db/Consts.h"
#include "engine/EngineErrors.h"
#include "rtl/SysUtils.h"

namespace components {

using engine::DBIERR_BOF;
using engine::DBIERR_EOF;
using engine::DBIERR_NONE;

// --- update object ---------------------------------------------------------------

namespace {

// One end of the link between a dataset and its update object: `end`, the
// pointer `self` holds, becomes `value`; the old partner lets go of `self`
// and the new one points back at it. Both ends set themselves through here.
template <typename Self, typename Other>
void Relink(Self* self, Other*& end, Other* value, Self* (Other::*partner)() const,
            void (Other::*set_partner)(Self*)) {
  if (value == end) return;
  Other* old = end;
  end = value;
  if (old && (old->*partner)() == self) (old->*set_partner)(nullptr);
  if (value && (value->*partner)() != self) (value->*set_partner)(self);
}

}  // namespace

TmySQLSQLUpdateObject::~TmySQLSQLUpdateObject() {
  Destroying_();
  SetDataSet(nullptr);
}

void TmySQLSQLUpdateObject::SetDataSet(TmySQLDataSet* dataset) {
  Relink(this, dataset_, dataset, &TmySQLDataSet::UpdateObject, &TmySQLDataSet::SetUpdateObject);
}

// --- lifetime and properties --------------------------------------------------------

TmySQLDataSet::TmySQLDataSet(db::TComponent* owner) : db::TDataSet(owner) {}

TmySQLDataSet::~TmySQLDataSet() {
  Destroying_();
  try {
    Close();
  } catch (...) {
    // Nothing may leave a destructor; closing ignores engine failures.
  }
  if (update_object_) SetUpdateObject(nullptr);
  if (database_) {
    if (holds_ != 0) {
      holds_ = 0;
      try {
        database_->ReleaseHold(this);
      } catch (...) {
        // A destructor must not throw; the connection goes its own way.
      }
    }
    database_->DetachDataSet(this);
    database_ = nullptr;
  }
}

void TmySQLDataSet::SetDatabase(TmySQLDatabase* database) {
  if (database == database_) return;
  if (database_) {
    Disconnect();
    for (int reason = 0; reason <= 15; ++reason) SetHoldReason(reason, false);
    database_->DetachDataSet(this);
  }
  database_ = database;
  if (database_) database_->AttachDataSet(this);
}

void TmySQLDataSet::DatabaseGone(TmySQLDatabase* database) {
  if (database != database_) return;
  try {
    Close();
  } catch (...) {
    // The connection is gone already; the dataset forgets it either way.
  }
  holds_ = 0;
  database_ = nullptr;
}

void TmySQLDataSet::ConnectChanged(bool connecting) {
  DataEvent(db::deConnectChange, connecting ? 1 : 0);
}

void TmySQLDataSet::SetAutoRefresh(bool value) {
  CheckInactive();
  auto_refresh_ = value;
}

void TmySQLDataSet::SetUpdateObject(TmySQLSQLUpdateObject* value) {
  Relink(this, update_object_, value, &TmySQLSQLUpdateObject::DataSet,
         &TmySQLSQLUpdateObject::SetDataSet);
}

void TmySQLDataSet::SetSortFieldNames(const std::string& value) {
  sort_field_names_ = value;
  if (!Active()) return;
  CheckBrowseMode();
  ApplySortOrder();
  First();
}

void TmySQLDataSet::ApplySortOrder() {
  try {
    handle_->SetSortFieldNames(rtl::Trim(sort_field_names_));
  } catch (const engine::EmySQLException& e) {
    const engine::DBIResult code = e.EngineCodeGiven()
                                       ? e.EngineCode()
                                       : static_cast<engine::DBIResult>(engine::DBIERR_NATIVE);
    Check(code);
  }
}

void TmySQLDataSet::Notification(db::TComponent* component, db::TOperation operation) {
  db::TDataSet::Notification(component, operation);
  if (operation == db::opRemove && component == update_object_) update_object_ = nullptr;
}

engine::TmySQLEngine& TmySQLDataSet::Engine() {
  if (!database_)
    db::DatabaseError(rtl::Format("(%s) property Database is not set!", Name().c_str()));
  return database_->Engine();
}

void TmySQLDataSet::Disconnect() {
  Close();
}

bool TmySQLDataSet::SetHoldReason(int reason, bool on) {
  if (reason < 0 || reason > 15) return false;
  const std::uint16_t bit = static_cast<std::uint16_t>(1u << reason);
  const bool was = (holds_ & bit) != 0;
  if (on == was) return was;
  if (on) {
    if (holds_ == 0 && database_) database_->AcquireHold(this);
    holds_ |= bit;
  } else {
    holds_ &= static_cast<std::uint16_t>(~bit);
    if (holds_ == 0 && database_) database_->ReleaseHold(this);
  }
  return was;
}

// --- opening and closing ---------------------------------------------------------------

engine::TNativeDataSet* TmySQLDataSet::CreateCursorHandle(bool) {
  return nullptr;
}

void TmySQLDataSet::DestroyCursorHandle() {
  if (handle_ && database_) Engine().CloseCursor(handle_);
  handle_ = nullptr;
}

engine::TNativeDataSet* TmySQLDataSet::LookupCursor(const std::string&, bool) {
  return nullptr;
}

void TmySQLDataSet::OpenCursor(bool info_query) {
  if (!database_)
    db::DatabaseError(rtl::Format("(%s) property Database is not set!", Name().c_str()));
  if (!handle_) handle_ = CreateCursorHandle(true);
  if (!handle_) throw engine::ENoResultSet(multi_resultset_no_);
  SetHoldReason(hrCursorOpen, true);
  db::TDataSet::OpenCursor(info_query);
}

void TmySQLDataSet::CloseCursor() {
  db::TDataSet::CloseCursor();
  if (handle_) DestroyCursorHandle();
  handle_ = nullptr;
  SetHoldReason(hrCursorOpen, false);
}

void TmySQLDataSet::GetCursorProps() {
  engine::CursorProperties props{};
  Check(Engine().GetCursorProperties(handle_, props));
  // The engine record carries its null indicators and bookmark after the
  // values, so a buffer needs the record buffer size, not just the data.
  // The record is packed: copy the fields before comparing them.
  const std::uint32_t data_size = props.iRecSize;
  const std::uint32_t buffer_size = props.iRecBufSize;
  rec_size_ = static_cast<int>(std::max(data_size, buffer_size));
  bookmark_size_ = props.iBookMarkSize;
  recno_mode_ = props.iSeqNums;
  can_modify_ = props.eOpenMode != 1;
}

void TmySQLDataSet::ComputeLayout() {
  calc_ofs_ = rec_size_;
  rec_info_ofs_ = calc_ofs_ + CalcFieldsSize();
  bookmark_ofs_ = rec_info_ofs_ + static_cast<int>(sizeof(TRecInfo));
  rec_buf_size_ = bookmark_ofs_ + bookmark_size_;
  ReleaseEngineBuffer(scratch_buffer_);
  scratch_buffer_.reset(new char[rec_buf_size_]());
}

void TmySQLDataSet::InternalOpen() {
  GetCursorProps();
  SetFieldDefsUpdated(false);
  FieldDefs().Update();
  try {
    GetIndexInfo();
  } catch (const std::exception&) {
    // A cursor without an index simply has no key fields.
  }
  if (DefaultFields()) CreateFields();
  BindFields(true);
  for (db::TField* field : Fields().List()) {
    if (field->FieldNo() <= 0) continue;
    try {
      field->SetOrigin(handle_->ColumnOrigin(field->FieldName()));
    } catch (const std::exception&) {
      // A column whose origin is unknown keeps an empty one.
    }
  }
  ComputeLayout();
  AllocKeyBuffers();
  Check(Engine().SetToBegin(handle_));
  after_open_pending_ = true;
  if (!Filter().empty()) expr_filter_ = CreateExprFilter(Filter(), FilterOptions());
  if (OnFilterRecord()) func_filter_ = CreateFuncFilter();
  if (Filtered()) ActivateFilters();
  if (!rtl::IsBlank(sort_field_names_)) ApplySortOrder();
}

void TmySQLDataSet::InternalClose() {
  expr_filter_ = nullptr;
  func_filter_ = nullptr;
  FreeKeyBuffers();
  BindFields(false);
  if (DefaultFields()) DestroyFields();
  ResetKeyState();
  FreeOldBuffer();
  ReleaseEngineBuffer(scratch_buffer_);
  ReleaseBlockBuffer();
  after_open_pending_ = false;
}

void TmySQLDataSet::DataEvent(db::TDataEvent event, std::intptr_t info) {
  if (event == db::deCheckBrowseMode && State() == db::dsSetKey) PostKeyBuffer(true);
  db::TDataSet::DataEvent(event, info);
  if (event == db::deUpdateState && State() == db::dsBrowse && after_open_pending_) {
    after_open_pending_ = false;
    AfterOpenHook();
  }
}

// --- field definitions --------------------------------------------------------------------

void TmySQLDataSet::InternalInitFieldDefs() {
  engine::TmySQLEngine& eng = Engine();
  engine::CursorProperties props{};
  Check(eng.GetCursorProperties(handle_, props));
  const int field_count = props.iFields;
  int engine_count = eng.GetIntProperty(handle_, engine::curpropFieldCount);
  std::vector<bool> required(
      static_cast<std::size_t>(engine_count < 1 ? field_count + 1 : engine_count + 1));
  for (int i = 1; i <= props.iValChecks; ++i) {
    auto vd = std::make_unique<engine::ValidityDescriptor>();
    Check(eng.GetValidityDescriptor(handle_, i, *vd));
    if (vd->bRequired && !vd->bHasDefVal && vd->iFldNum < required.size())
      required[vd->iFldNum] = true;
  }
  std::vector<engine::FieldDescriptor> descriptors(static_cast<std::size_t>(field_count));
  if (field_count > 0) Check(eng.GetFieldDescriptors(handle_, descriptors.data()));
  AddFieldDefs(descriptors.data(), field_count, &required);
}

void TmySQLDataSet::AddFieldDefs(const engine::FieldDescriptor* descriptors, int count,
                                 const std::vector<bool>* required) {
  engine::TmySQLEngine& eng = Engine();
  db::TFieldDefs& defs = FieldDefs();
  defs.Clear();
  for (int i = 0; i < count; ++i) {
    const engine::FieldDescriptor& d = descriptors[i];
    char raw[sizeof d.szName + 1] = {};
    std::memcpy(raw, d.szName, sizeof d.szName);
    const std::string base = eng.NativeToAnsiText(raw);
    std::string name = base;
    for (int n = 1; defs.IndexOf(name) >= 0; ++n) name = rtl::Format("%s_%d", base.c_str(), n);
    TMappedField m = MapFieldDescriptor(d);
    const int field_no = i + 1;
    bool req = required && static_cast<std::size_t>(field_no) < required->size() &&
               (*required)[field_no] && !m.never_required;
    db::TFieldDef& def = defs.Add(name, m.type, m.size, req);
    def.SetFieldNo(field_no);
    def.SetPrecision(m.precision);
    db::TFieldAttributes attrs = def.Attributes();
    if (req) attrs.Include(db::faRequired);
    if (d.efldrRights == 1) attrs.Include(db::faReadonly);
    if (d.iSubType == engine::fldstFIXED) attrs.Include(db::faFixed);
    def.SetAttributes(attrs);
    if (d.bCalcField) def.SetInternalCalcField(true);
  }
}

// --- key state ---------------------------------------------------------------------------------

void TmySQLDataSet::GetIndexInfo() {
  engine::IndexDescriptor desc{};
  if (Engine().GetIndexDescriptor(handle_, 0, desc) != DBIERR_NONE) return;
  key_field_nos_.clear();
  for (int i = 0; i < desc.iFldsInKey && i < 16; ++i) key_field_nos_.push_back(desc.aiKeyFld[i]);
  expression_index_ = desc.bExpIdx != 0;
  case_ins_index_ = desc.bCaseInsensitive != 0;
  key_size_ = desc.iKeyLen;
}

void TmySQLDataSet::ResetKeyState() {
  key_field_nos_.clear();
  expression_index_ = false;
  case_ins_index_ = false;
  key_size_ = 0;
  key_buffer_ = nullptr;
}

void TmySQLDataSet::InitKeyBuffer(TKeyBuffer& buffer) {
  buffer.Modified = false;
  buffer.Exclusive = false;
  buffer.FieldCount = 0;
  std::memset(buffer.Record.get(), 0, static_cast<std::size_t>(rec_buf_size_));
  Engine().InitRecord(handle_, U8(buffer.Record.get()));
}

void TmySQLDataSet::AllocKeyBuffers() {
  FreeKeyBuffers();
  key_buffers_.resize(6);
  for (TKeyBuffer& kb : key_buffers_) {
    kb.Record.reset(new char[rec_buf_size_]());
    InitKeyBuffer(kb);
  }
}

void TmySQLDataSet::FreeKeyBuffers() {
  for (TKeyBuffer& kb : key_buffers_) ReleaseEngineBuffer(kb.Record);
  key_buffers_.clear();
  key_buffer_ = nullptr;
}

// --- record buffers and fetching -----------------------------------------------------------

std::unique_ptr<char[]> TmySQLDataSet::AllocRecordBuffer() {
  return std::unique_ptr<char[]>(new char[std::max(rec_buf_size_, 1)]());
}

void TmySQLDataSet::FreeRecordBuffer(std::unique_ptr<char[]>& buffer) {
  ReleaseEngineBuffer(buffer);
}

void TmySQLDataSet::ReleaseEngineBuffer(char* buffer) {
  if (buffer && handle_ && database_) Engine().ReleaseRecordBuffer(handle_, U8(buffer));
}

void TmySQLDataSet::ReleaseEngineBuffer(std::unique_ptr<char[]>& buffer) {
  ReleaseEngineBuffer(buffer.get());
  buffer.reset();
}

void TmySQLDataSet::GetBookmarkData(db::TRecordBuffer buffer, db::TBookmark& data) {
  data.assign(buffer + bookmark_ofs_, static_cast<std::size_t>(bookmark_size_));
}

db::TBookmarkFlag TmySQLDataSet::GetBookmarkFlag(db::TRecordBuffer buffer) {
  return static_cast<db::TBookmarkFlag>(RecInfo(buffer)->BookmarkFlag);
}

void TmySQLDataSet::SetBookmarkFlag(db::TRecordBuffer buffer, db::TBookmarkFlag flag) {
  RecInfo(buffer)->BookmarkFlag = static_cast<std::uint8_t>(flag);
}

void TmySQLDataSet::SetBookmarkData(db::TRecordBuffer buffer, const db::TBookmark& data) {
  std::memset(buffer + bookmark_ofs_, 0, static_cast<std::size_t>(bookmark_size_));
  std::memcpy(buffer + bookmark_ofs_, data.data(),
              std::min(data.size(), static_cast<std::size_t>(bookmark_size_)));
}

db::TGetResult TmySQLDataSet::GetRecord(db::TRecordBuffer buffer, db::TGetMode mode,
                                        bool do_check) {
  engine::TmySQLEngine& eng = Engine();
  engine::DBIResult rc;
  switch (mode) {
    case db::gmNext:
      rc = eng.GetNextRecord(handle_, 0, &rec_props_, U8(buffer));
      break;
    case db::gmPrior:
      rc = eng.GetPriorRecord(handle_, 0, &rec_props_, U8(buffer));
      break;
    default:
      rc = eng.GetRecord(handle_, 0, &rec_props_, U8(buffer));
      break;
  }
  if (rc == DBIERR_BOF) return db::grBOF;
  if (rc == DBIERR_EOF) return db::grEOF;
  if (rc != DBIERR_NONE) {
    if (do_check) eng.Check(rc);
    return db::grError;
  }
  TRecInfo* info = RecInfo(buffer);
  info->UpdateStatus = 0;
  info->BookmarkFlag = db::bfCurrent;
  info->RecordNumber = recno_mode_ == 0   ? rec_props_.iPhyRecNum
                       : recno_mode_ == 1 ? rec_props_.iSeqNum
                                          : -1;
  GetCalcFields(buffer);
  eng.Check(eng.GetBookmark(handle_, U8(buffer + bookmark_ofs_)));
  return db::grOK;
}

void TmySQLDataSet::ClearCalcFields(db::TRecordBuffer buffer) {
  if (CalcFieldsSize() > 0)
    std::memset(buffer + calc_ofs_, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TmySQLDataSet::InternalInitRecord(db::TRecordBuffer buffer) {
  Check(Engine().InitRecord(handle_, U8(buffer)));
}

void TmySQLDataSet::InitRecord(db::TRecordBuffer buffer) {
  db::TDataSet::InitRecord(buffer);
  TRecInfo* info = RecInfo(buffer);
  info->RecordNumber = -1;
  info->UpdateStatus = db::usInserted;
  info->BookmarkFlag = db::bfInserted;
}

bool TmySQLDataSet::GetCurrentRecord(db::TRecordBuffer buffer) {
  if (IsEmpty() || State() != db::dsBrowse) return false;
  UpdateCursorPos();
  return Engine().GetRecord(handle_, 0, nullptr, U8(buffer)) == DBIERR_NONE;
}

// --- field values ---------------------------------------------------------------------------

db::TRecordBuffer TmySQLDataSet::OldValueBuffer() {
  // During an edit the cursor holds a record lock and will not refill a
  // buffer; the copy taken when the edit began is the record as fetched.
  if (old_buffer_) return old_buffer_.get();
  if (!scratch_buffer_ || !handle_) return nullptr;
  UpdateCursorPos();
  if (Engine().GetRecord(handle_, 0, nullptr, U8(scratch_buffer_.get())) != DBIERR_NONE)
    return nullptr;
  return scratch_buffer_.get();
}

db::TRecordBuffer TmySQLDataSet::StateBuffer() {
  switch (State()) {
    case db::dsBrowse:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case db::dsEdit:
    case db::dsInsert:
    case db::dsNewValue:
      return ActiveBuffer();
    case db::dsSetKey:
      return key_buffer_ ? key_buffer_->Record.get() : nullptr;
    case db::dsCalcFields:
      return CalcBuffer();
    case db::dsFilter:
      return FilterBuffer();
    case db::dsOldValue:
      return OldValueBuffer();
    case db::dsBlockRead:
      return BlockRecord();
    default:
      return nullptr;
  }
}

bool TmySQLDataSet::GetFieldData(db::TField& field, void* buffer) {
  if (field.FieldNo() > 0) return GetFieldData(field.FieldNo(), buffer);
  if (field.FieldKind() != db::fkCalculated && field.FieldKind() != db::fkLookup) return false;
  // Records handed in by the engine's filter callback, and the records of a
  // block, have no calculated part.
  if (State() == db::dsFilter && engine_filtering_) return false;
  if (State() == db::dsBlockRead) return false;
  db::TRecordBuffer rb = StateBuffer();
  if (!rb) return false;
  const char* p = rb + calc_ofs_ + field.Offset();
  const bool has_value = p[0] != 0;
  if (has_value && buffer) std::memcpy(buffer, p + 1, static_cast<std::size_t>(field.DataSize()));
  return has_value;
}

bool TmySQLDataSet::GetFieldData(int field_no, void* buffer) {
  db::TRecordBuffer rb = StateBuffer();
  if (!rb || !handle_) return false;
  bool is_null = true;
  engine::DBIResult rc = Engine().GetField(handle_, field_no, U8(rb), buffer, is_null);
  if (rc != DBIERR_NONE) {
    if (State() == db::dsBlockRead) return false;
    Check(rc);
  }
  return !is_null;
}

void TmySQLDataSet::SetFieldData(db::TField& field, const void* buffer) {
  const db::TDataSetState state = State();
  if (!(state == db::dsEdit || state == db::dsInsert || state == db::dsSetKey ||
        state == db::dsCalcFields || state == db::dsFilter || state == db::dsNewValue ||
        state == db::dsInternalCalc))
    db::DatabaseError(db::msg::kNotEditing, this);
  if (state == db::dsSetKey) {
    const bool in_key = std::find(key_field_nos_.begin(), key_field_nos_.end(), field.FieldNo()) !=
                        key_field_nos_.end();
    if (field.FieldNo() <= 0 || (!key_field_nos_.empty() && !in_key))
      db::DatabaseError(rtl::Format(db::msg::kNotIndexField, field.DisplayName().c_str()), this);
  }
  db::TRecordBuffer rb = StateBuffer();
  if (!rb) return;
  if (field.FieldKind() == db::fkCalculated || field.FieldKind() == db::fkLookup) {
    char* p = rb + calc_ofs_ + field.Offset();
    p[0] = buffer ? 1 : 0;
    if (buffer) std::memcpy(p + 1, buffer, static_cast<std::size_t>(field.DataSize()));
  } else {
    if (state == db::dsCalcFields) db::DatabaseError(db::msg::kNotEditing);
    if (field.ReadOnly() && state != db::dsSetKey && state != db::dsFilter)
      db::DatabaseError(rtl::Format(db::msg::kFieldReadOnly, field.DisplayName().c_str()));
    field.Validate(buffer);
    if (field.FieldKind() != db::fkInternalCalc)
      Check(Engine().PutField(handle_, field.FieldNo(), U8(rb), buffer));
  }
  if (state != db::dsCalcFields && state != db::dsFilter && state != db::dsNewValue)
    FieldChanged(field);
}

rtl::Variant TmySQLDataSet::GetStateFieldValue(db::TDataSetState state, db::TField& field) {
  if (!CachedUpdates()) db::DatabaseError(db::msg::kNotCachedUpdate, this);
  return db::TDataSet::GetStateFieldValue(state, field);
}

void TmySQLDataSet::SetStateFieldValue(db::TDataSetState state, db::TField& field,
                                       const rtl::Variant& value) {
  if (!CachedUpdates()) db::DatabaseError(db::msg::kNotCachedUpdate, this);
  db::TDataSet::SetStateFieldValue(state, field, value);
}

void TmySQLDataSet::SetCachedUpdates(bool value) {
  db::TDataSet::SetCachedUpdates(value);
}

db::TUpdateStatus TmySQLDataSet::UpdateStatus() {
  if (!CachedUpdates() || !Active()) return db::usUnmodified;
  db::TRecordBuffer rb = State() == db::dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (!rb) return db::usUnmodified;
  return static_cast<db::TUpdateStatus>(RecInfo(rb)->UpdateStatus);
}

bool TmySQLDataSet::GetIsIndexField(const db::TField& field) {
  return field.FieldNo() > 0 && std::find(key_field_nos_.begin(), key_field_nos_.end(),
                                          field.FieldNo()) != key_field_nos_.end();
}

int TmySQLDataSet::Translate(const char* src, char* dest, bool to_oem) {
  const std::size_t length = std::strlen(src);
  engine::TmySQLEngine& eng = Engine();
  const bool same = engine::ClientCodePage() == eng.ConnectionCodePage();
  if (to_oem) {
    if (same) {
      if (dest != src) std::memmove(dest, src, length);
    } else {
      eng.AnsiToNativeBuf(src, dest, static_cast<int>(length));
    }
  } else {
    if (dest != src) std::memmove(dest, src, length);
    if (!same) eng.NativeToAnsiBuf(dest, dest, static_cast<int>(length));
  }
  dest[length] = '\0';
  return static_cast<int>(length);
}

// --- editing ------------------------------------------------------------------------------------

void TmySQLDataSet::InternalEdit() {
  FreeOldBuffer();
  old_buffer_.reset(new char[rec_buf_size_]);
  std::memcpy(old_buffer_.get(), ActiveBuffer(), static_cast<std::size_t>(rec_buf_size_));
  Check(Engine().GetRecord(handle_, 1, nullptr, U8(ActiveBuffer())));
}

void TmySQLDataSet::InternalInsert() {
  Engine().SetBoolProperty(handle_, engine::curpropMarkModified, 1);
  CursorPosChanged();
}

void TmySQLDataSet::InternalPost() {
  db::TDataSet::InternalPost();
  const bool editing = State() == db::dsEdit;
  if (update_object_) {
    update_object_->Apply(editing ? db::ukModify : db::ukInsert);
  } else {
    engine::TmySQLEngine& eng = Engine();
    handle_->SetFieldNameEvent(OnGetSQLFldName);
    handle_->SetFieldCheckEvent(OnCheckSQLField);
    bool allow = true;
    if (editing) {
      if (OnPosting) OnPosting(*this, allow);
      if (allow) {
        char* old = old_buffer_ ? old_buffer_.get() : ActiveBuffer();
        eng.Check(eng.ModifyRecord(handle_, U8(old), U8(ActiveBuffer())));
      }
    } else {
      if (OnInserting) OnInserting(*this, allow);
      if (allow) eng.Check(eng.InsertRecord(handle_, 0, U8(ActiveBuffer())));
    }
  }
  // Kept after a failed post: the record stays in edit state and a second
  // Post needs the original values again.
  FreeOldBuffer();
}

void TmySQLDataSet::InternalCancel() {
  if (State() == db::dsEdit) Engine().ReleaseRecordLock(handle_);
  FreeOldBuffer();
}

void TmySQLDataSet::InternalDelete() {
  bool allow = true;
  if (OnDeleting) OnDeleting(*this, allow);
  if (!allow) return;
  handle_->SetFieldNameEvent(OnGetSQLFldName);
  handle_->SetFieldCheckEvent(OnCheckSQLField);
  if (update_object_)
    update_object_->Apply(db::ukDelete);
  else
    Check(Engine().DeleteRecord(handle_, U8(ActiveBuffer())));
}

void TmySQLDataSet::InternalAddRecord(db::TRecordBuffer buffer, bool append) {
  if (append)
    Check(Engine().AppendRecord(handle_, U8(buffer)));
  else
    Check(Engine().InsertRecord(handle_, 0, U8(buffer)));
}

void TmySQLDataSet::InternalRefresh() {
  Check(Engine().ForceReread(handle_));
}

bool TmySQLDataSet::GetCanModify() {
  return can_modify_ || static_cast<bool>(OnUpdateRecord) || update_object_ != nullptr;
}

void TmySQLDataSet::Post() {
  db::TDataSet::Post();
  if (State() == db::dsSetKey) PostKeyBuffer(true);
}

void TmySQLDataSet::Cancel() {
  db::TDataSet::Cancel();
  if (State() == db::dsSetKey) PostKeyBuffer(false);
}

// --- positioning -------------------------------------------------------------------------------

void TmySQLDataSet::InternalFirst() {
  Check(Engine().SetToBegin(handle_));
}

void TmySQLDataSet::InternalLast() {
  Check(Engine().SetToEnd(handle_));
}

void TmySQLDataSet::InternalGotoBookmark(const db::TBookmark& bookmark) {
  std::string bm = bookmark;
  bm.resize(std::max<std::size_t>(bm.size(), static_cast<std::size_t>(bookmark_size_)), '\0');
  Check(Engine().SetToBookmark(handle_, reinterpret_cast<const std::uint8_t*>(bm.data())));
}

void TmySQLDataSet::InternalSetToRecord(db::TRecordBuffer buffer) {
  db::TBookmark bm;
  GetBookmarkData(buffer, bm);
  InternalGotoBookmark(bm);
}

int TmySQLDataSet::CompareBookmarks(const db::TBookmark& a, const db::TBookmark& b) {
  if (a.empty() && b.empty()) return 0;
  if (b.empty()) return -1;
  if (a.empty()) return 1;
  int result = 0;
  Check(Engine().CompareBookmarks(handle_, reinterpret_cast<const std::uint8_t*>(a.data()),
                                  reinterpret_cast<const std::uint8_t*>(b.data()), result));
  return result;
}

bool TmySQLDataSet::BookmarkValid(const db::TBookmark& bookmark) {
  if (!handle_ || bookmark.empty() || !scratch_buffer_) return false;
  CursorPosChanged();
  engine::TmySQLEngine& eng = Engine();
  std::string bm = bookmark;
  bm.resize(std::max<std::size_t>(bm.size(), static_cast<std::size_t>(bookmark_size_)), '\0');
  return eng.SetToBookmark(handle_, reinterpret_cast<const std::uint8_t*>(bm.data())) ==
             DBIERR_NONE &&
         eng.GetRecord(handle_, 0, nullptr, U8(scratch_buffer_.get())) == DBIERR_NONE;
}

int TmySQLDataSet::GetRecNo() {
  db::TRecordBuffer rb = State() == db::dsCalcFields ? CalcBuffer() : ActiveBuffer();
  if (!rb || rec_buf_size_ == 0) return -1;
  return RecInfo(rb)->RecordNumber;
}

void TmySQLDataSet::SetRecNo(int value) {
  CheckBrowseMode();
  if (recno_mode_ != 1 || value == RecNo()) return;
  DoBeforeScroll();
  if (Engine().SetToRecordNumber(handle_, value) != DBIERR_NONE) return;
  Resync({db::rmCenter});
  DoAfterScroll();
}

bool TmySQLDataSet::IsSequenced() {
  return allow_sequenced_ && recno_mode_ == 1 && !Filtered();
}

int TmySQLDataSet::GetRecordCount() {
  CheckActive();
  int count = 0;
  if (Engine().GetRecordCount(handle_, count) != DBIERR_NONE) return -1;
  return count;
}

}  // namespace components
