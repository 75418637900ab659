// The table component: opening by name, field and index definitions,
// changing the index, ranges, master/detail and the lookup cursor.
#include "components/MySQLTable.h"

#include <cstring>

#include "db/Consts.h"
#include "engine/EngineErrors.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace components {

using engine::DBIERR_NONE;

namespace {

constexpr const char* kMissingTableName = "Missing TableName property";

std::string LastPathComponent(const std::string& name) {
  const std::size_t at = name.find_last_of("\\/");
  return at == std::string::npos ? name : name.substr(at + 1);
}

std::string FixedText(const char* text, std::size_t size) {
  return std::string(text, strnlen(text, size));
}

}  // namespace

TmySQLTable::TmySQLTable(db::TComponent* owner)
    : TmySQLDataSet(owner), index_defs_(this), master_link_(this) {
  master_link_.OnMasterChange = [this] { MasterChanged(); };
  master_link_.OnMasterDisable = [this] { MasterDisabled(); };
}

TmySQLTable::~TmySQLTable() {
  Destroying_();
  try {
    Disconnect();
  } catch (...) {
    // A destructor must not throw; the engine frees the cursor anyway.
  }
  master_link_.OnMasterChange = nullptr;
  master_link_.OnMasterDisable = nullptr;
  master_link_.SetDataSource(nullptr);
}

engine::TmySQLEngine& TmySQLTable::Engine() {
  return TmySQLDataSet::Engine();
}

// --- properties -------------------------------------------------------------------------

void TmySQLTable::SetTableName(const std::string& value) {
  if (Loading()) {
    table_name_ = value;
    return;
  }
  if (value == table_name_) return;
  CheckInactive();
  table_name_ = value;
  DataEvent(db::dePropertyChange, 0);
}

void TmySQLTable::SetReadOnly(bool value) {
  CheckInactive();
  read_only_ = value;
}

void TmySQLTable::SetExclusive(bool value) {
  CheckInactive();
  exclusive_ = value;
}

void TmySQLTable::SetMasterSource(db::TDataSource* value) {
  if (value && IsLinkedTo(value)) db::DatabaseError(db::msg::kCircularDataLink, this);
  master_link_.SetDataSource(value);
}

bool TmySQLTable::GetCanModify() {
  return TmySQLDataSet::GetCanModify() && !read_only_;
}

void TmySQLTable::DataEvent(db::TDataEvent event, std::intptr_t info) {
  if (event == db::dePropertyChange) index_defs_.SetUpdated(false);
  TmySQLDataSet::DataEvent(event, info);
}

bool TmySQLTable::Exists() {
  if (Active()) return true;
  if (table_name_.empty()) return false;
  SetHoldReason(hrTableExists, true);
  engine::DBIResult rc;
  rtl::ScopeExit restore([&] { SetHoldReason(hrTableExists, false); });
  rc = Engine().CheckTableExists(Database()->Handle(), table_name_);
  return rc == DBIERR_NONE;
}

// --- opening ------------------------------------------------------------------------------

std::string TmySQLTable::WorkOutIndexName(const std::string& value, bool field_names) {
  std::string name;
  if (field_names) {
    if (!value.empty()) {
      index_defs_.Update();
      name = index_defs_.FindIndexForFields(value).Name();
    }
  } else {
    name = value;
  }
  char native[128] = {};
  Engine().AnsiToNativeText(name, native, 127);
  return native;
}

engine::TNativeDataSet* TmySQLTable::CreateCursorHandle(bool) {
  if (table_name_.empty()) db::DatabaseError(kMissingTableName, this);
  index_defs_.SetUpdated(false);
  const std::string index_name = WorkOutIndexName(index_value_, field_names_in_use_);
  engine::TNativeConnect* connection = Database()->Handle();
  engine::TNativeDataSet* cursor = nullptr;
  Check(Engine().OpenTable(connection, table_name_, index_name, limit_, offset_, cursor, read_only_,
                           exclusive_, 0, default_index_));
  return cursor;
}

void TmySQLTable::DestroyCursorHandle() {
  DropLookupCursor();
  TmySQLDataSet::DestroyCursorHandle();
}

void TmySQLTable::AfterOpenHook() {
  if (master_link_.Active() && !master_link_.Fields().empty()) {
    SetLinkRanges(master_link_.Fields());
    ApplyRange();
  }
}

// --- field and index definitions ---------------------------------------------------------

void TmySQLTable::InitFieldDefs() {
  if (Handle()) {
    InternalInitFieldDefs();
    return;
  }
  SetHoldReason(hrFieldList, true);
  struct Release {
    TmySQLTable& t;
    ~Release() { t.SetHoldReason(hrFieldList, false); }
  } release{*this};
  if (table_name_.empty()) db::DatabaseError(kMissingTableName, this);
  engine::TmySQLEngine& eng = Engine();
  engine::TNativeDataSet* list = nullptr;
  eng.Check(eng.OpenFieldList(Database()->Handle(), table_name_, list));
  std::vector<engine::FieldDescriptor> descriptors;
  rtl::ScopeExit restore([&] { eng.CloseCursor(list); });
  int count = 0;
  eng.Check(eng.GetRecordCount(list, count));
  descriptors.resize(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    eng.Check(
        eng.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&descriptors[i])));
  AddFieldDefs(descriptors.data(), count, nullptr);
}

void TmySQLTable::UpdateIndexDefs() {
  if (!Database())
    db::DatabaseError(rtl::Format("(%s) property Database is not set!", Name().c_str()));
  SetHoldReason(hrIndexList, true);
  struct Release {
    TmySQLTable& t;
    ~Release() { t.SetHoldReason(hrIndexList, false); }
  } release{*this};
  FieldDefs().Update();
  index_defs_.Clear();
  engine::TmySQLEngine& eng = Engine();
  std::vector<engine::IndexDescriptor> descriptors;
  if (Handle()) {
    engine::CursorProperties props{};
    eng.Check(eng.GetCursorProperties(Handle(), props));
    descriptors.resize(props.iIndexes);
    if (props.iIndexes > 0) eng.Check(eng.GetIndexDescriptors(Handle(), descriptors.data()));
  } else {
    if (table_name_.empty()) db::DatabaseError(kMissingTableName, this);
    engine::TNativeDataSet* list = nullptr;
    eng.Check(eng.OpenIndexList(Database()->Handle(), table_name_, list));
    engine::IndexDescriptor d{};
    while (eng.GetNextRecord(list, 0, nullptr, reinterpret_cast<std::uint8_t*>(&d)) == DBIERR_NONE)
      if (d.bMaintained) descriptors.push_back(d);
    eng.CloseCursor(list);
  }
  for (const engine::IndexDescriptor& d : descriptors) {
    const std::string tag = FixedText(d.szTagName, sizeof d.szTagName);
    const std::string raw_name = FixedText(d.szName, sizeof d.szName);
    std::string name =
        LastPathComponent(eng.NativeToAnsiText(tag.empty() ? raw_name.c_str() : tag.c_str()));
    db::TIndexOptions options;
    if (d.bPrimary) options.Include(db::ixPrimary);
    if (d.bUnique) options.Include(db::ixUnique);
    if (d.bDescending) options.Include(db::ixDescending);
    if (d.bCaseInsensitive) options.Include(db::ixCaseInsensitive);
    if (!d.bMaintained) options.Include(db::ixNonMaintained);
    if (d.bExpIdx) options.Include(db::ixExpression);
    std::string fields;
    std::string desc_fields;
    if (d.bExpIdx) {
      fields = eng.NativeToAnsiText(FixedText(d.szKeyExp, sizeof d.szKeyExp).c_str());
    } else {
      for (int i = 0; i < d.iFldsInKey && i < 16; ++i) {
        std::string field_name;
        for (int k = 0; k < FieldDefs().Count(); ++k)
          if (FieldDefs()[k].FieldNo() == d.aiKeyFld[i]) field_name = FieldDefs()[k].Name();
        if (!fields.empty()) fields += ";";
        fields += field_name;
        if (d.abDescending[i]) {
          if (!desc_fields.empty()) desc_fields += ";";
          desc_fields += field_name;
        }
      }
      if (d.bDescending && desc_fields == fields) desc_fields.clear();
    }
    db::TIndexDef& def = index_defs_.Add(name, fields, options);
    if (!tag.empty()) def.SetSource(LastPathComponent(eng.NativeToAnsiText(raw_name.c_str())));
    def.SetDescFields(desc_fields);
    if (d.bExpIdx) def.SetExpression(fields);
  }
  index_defs_.SetUpdated(true);
}

// --- changing the index -----------------------------------------------------------------------

void TmySQLTable::ResetCursorRange() {
  if (!HasKeyBuffers()) return;
  if (KeyBuffer(kiCurRangeStart).Modified || KeyBuffer(kiCurRangeEnd).Modified) {
    Check(Engine().ResetRange(Handle()));
    InitKeyBuffer(KeyBuffer(kiCurRangeStart));
    InitKeyBuffer(KeyBuffer(kiCurRangeEnd));
  }
}

void TmySQLTable::SetIndex(const std::string& value, bool field_names) {
  if (Active()) CheckBrowseMode();
  if (value != index_value_ || field_names != field_names_in_use_) {
    if (Active()) {
      const std::string name = WorkOutIndexName(value, field_names);
      ResetCursorRange();
      UpdateCursorPos();
      engine::TmySQLEngine& eng = Engine();
      engine::DBIResult rc = eng.SwitchToIndex(Handle(), name.c_str(), nullptr, -1);
      if (rc == engine::DBIERR_NOCURRREC)
        rc = eng.SwitchToIndex(Handle(), name.c_str(), nullptr, 0);
      Check(rc);
      ResetKeyState();
      DropLookupCursor();
      {
        rtl::ScopeFail close([&] { Close(); });
        GetCursorProps();
        AllocKeyBuffers();
      }
      GetIndexInfo();
      index_value_ = value;
      field_names_in_use_ = field_names;
      if (master_link_.Active() && !master_link_.Fields().empty()) {
        SetLinkRanges(master_link_.Fields());
        ApplyRange();
      }
    }
    index_value_ = value;
    field_names_in_use_ = field_names;
  }
  if (Active()) Resync({});
}

// --- ranges -----------------------------------------------------------------------------------

void TmySQLTable::CopyKeyBuffer(TKeyIndex from, TKeyIndex to) {
  TKeyBuffer& a = KeyBuffer(from);
  TKeyBuffer& b = KeyBuffer(to);
  b.Modified = a.Modified;
  b.Exclusive = a.Exclusive;
  b.FieldCount = a.FieldCount;
  std::memcpy(b.Record.get(), a.Record.get(), static_cast<std::size_t>(RecordBufferSize()));
}

bool TmySQLTable::KeyBuffersEqual(TKeyIndex a, TKeyIndex b) {
  TKeyBuffer& x = KeyBuffer(a);
  TKeyBuffer& y = KeyBuffer(b);
  return x.Modified == y.Modified && x.Exclusive == y.Exclusive && x.FieldCount == y.FieldCount &&
         std::memcmp(x.Record.get(), y.Record.get(),
                     static_cast<std::size_t>(EngineRecordSize())) == 0;
}

void TmySQLTable::SetKeyBuffer(TKeyIndex index, bool clear) {
  CheckBrowseMode();
  key_buffer_ = &KeyBuffer(index);
  CopyKeyBuffer(index, kiSave);
  if (clear) InitKeyBuffer(*key_buffer_);
  SetState(db::dsSetKey);
  SetModified(key_buffer_->Modified);
  DataEvent(db::deDataSetChange, 0);
}

void TmySQLTable::PostKeyBuffer(bool commit) {
  if (!key_buffer_) return;
  if (commit) {
    key_buffer_->Modified = Modified();
    if (key_buffer_->FieldCount == 0)
      key_buffer_->FieldCount = static_cast<std::int16_t>(key_field_nos_.size());
  } else {
    const int index = static_cast<int>(key_buffer_ - &KeyBuffer(kiLookup));
    CopyKeyBuffer(kiSave, static_cast<TKeyIndex>(index));
  }
  SetState(db::dsBrowse);
  DataEvent(db::deDataSetChange, 0);
}

void TmySQLTable::SetRangeStart() {
  SetKeyBuffer(kiRangeStart, true);
}
void TmySQLTable::SetRangeEnd() {
  SetKeyBuffer(kiRangeEnd, true);
}
void TmySQLTable::EditRangeStart() {
  SetKeyBuffer(kiRangeStart, false);
}
void TmySQLTable::EditRangeEnd() {
  SetKeyBuffer(kiRangeEnd, false);
}

void TmySQLTable::SetKeyExclusive(bool value) {
  if (State() != db::dsSetKey || !key_buffer_) db::DatabaseError(db::msg::kNotEditing, this);
  key_buffer_->Exclusive = value;
}

db::TField& TmySQLTable::IndexFields(int index) {
  if (index < 0 || index >= IndexFieldCount()) db::DatabaseError(db::msg::kFieldIndexError, this);
  const int field_no = key_field_nos_[static_cast<std::size_t>(index)];
  db::TField* field = FieldByNumber(field_no);
  if (!field) {
    std::string name;
    for (int k = 0; k < FieldDefs().Count(); ++k)
      if (FieldDefs()[k].FieldNo() == field_no) name = FieldDefs()[k].Name();
    db::DatabaseError(rtl::Format(db::msg::kIndexFieldMissing, name.c_str()), this);
  }
  return *field;
}

void TmySQLTable::ApplyRange() {
  CheckBrowseMode();
  if (KeyBuffersEqual(kiRangeStart, kiCurRangeStart) && KeyBuffersEqual(kiRangeEnd, kiCurRangeEnd))
    return;
  engine::TmySQLEngine& eng = Engine();
  TKeyBuffer& start = KeyBuffer(kiRangeStart);
  TKeyBuffer& end = KeyBuffer(kiRangeEnd);
  const std::size_t key_bytes =
      static_cast<std::size_t>(std::max(key_size_, RecordBufferSize())) + 1;
  std::vector<std::uint8_t> key1(key_bytes), key2(key_bytes);
  if (start.Modified) Check(eng.ExtractKey(Handle(), U8(start.Record.get()), key1.data()));
  if (end.Modified) Check(eng.ExtractKey(Handle(), U8(end.Record.get()), key2.data()));
  Check(eng.SetRange(Handle(), true, start.FieldCount, 0, start.Modified ? key1.data() : nullptr,
                     !start.Exclusive, end.FieldCount, 0, end.Modified ? key2.data() : nullptr,
                     !end.Exclusive));
  CopyKeyBuffer(kiRangeStart, kiCurRangeStart);
  CopyKeyBuffer(kiRangeEnd, kiCurRangeEnd);
  DropLookupCursor();
  First();
}

void TmySQLTable::CancelRange() {
  CheckBrowseMode();
  UpdateCursorPos();
  if (!KeyBuffer(kiCurRangeStart).Modified && !KeyBuffer(kiCurRangeEnd).Modified) return;
  Check(Engine().ResetRange(Handle()));
  InitKeyBuffer(KeyBuffer(kiCurRangeStart));
  InitKeyBuffer(KeyBuffer(kiCurRangeEnd));
  DropLookupCursor();
  Resync({});
}

void TmySQLTable::SetRange(const std::vector<rtl::Variant>& start_values,
                           const std::vector<rtl::Variant>& end_values) {
  auto assign = [this](const std::vector<rtl::Variant>& values) {
    for (std::size_t i = 0; i < values.size(); ++i)
      IndexFields(static_cast<int>(i)).SetAsVariant(values[i]);
    key_buffer_->FieldCount = static_cast<std::int16_t>(values.size());
  };
  SetRangeStart();
  assign(start_values);
  SetRangeEnd();
  assign(end_values);
  ApplyRange();
}

// --- master/detail ------------------------------------------------------------------------------

void TmySQLTable::SetLinkRanges(const std::vector<db::TField*>& master_fields) {
  SetKeyBuffer(kiRangeStart, true);
  {
    rtl::ScopeFail discard([&] { PostKeyBuffer(false); });
    for (std::size_t i = 0; i < master_fields.size(); ++i)
      IndexFields(static_cast<int>(i)).SetAsVariant(master_fields[i]->AsVariant());
  }
  key_buffer_->Modified = true;
  key_buffer_->FieldCount = static_cast<std::int16_t>(master_fields.size());
  SetState(db::dsBrowse);
  CopyKeyBuffer(kiRangeStart, kiRangeEnd);
}

void TmySQLTable::MasterChanged() {
  CheckBrowseMode();
  SetLinkRanges(master_link_.Fields());
  ApplyRange();
}

void TmySQLTable::MasterDisabled() {
  CancelRange();
}

void TmySQLTable::DoOnNewRecord() {
  if (master_link_.Active() && !master_link_.Fields().empty()) {
    const std::vector<db::TField*>& fields = master_link_.Fields();
    for (std::size_t i = 0; i < fields.size(); ++i)
      IndexFields(static_cast<int>(i)).SetAsVariant(fields[i]->AsVariant());
  }
  TmySQLDataSet::DoOnNewRecord();
}

void TmySQLTable::GetDetailLinkFields(std::vector<db::TField*>& master,
                                      std::vector<db::TField*>& detail) {
  master.clear();
  detail.clear();
  db::TDataSet* m = master_link_.DataSet();
  if (!m || MasterFields().empty()) return;
  m->GetFieldList(master, MasterFields());
  index_defs_.Update();
  const db::TIndexDef* index = nullptr;
  if (!IndexName().empty()) {
    index = &index_defs_.Find(IndexName());
  } else if (!IndexFieldNames().empty()) {
    index = &index_defs_.FindIndexForFields(IndexFieldNames());
  } else {
    for (int i = 0; i < index_defs_.Count() && !index; ++i)
      if (index_defs_[i].Options().Contains(db::ixPrimary)) index = &index_defs_[i];
  }
  if (index) GetFieldList(detail, index->Fields());
}

// --- lookup cursor
// ---------------------------------------------------------------------------------

void TmySQLTable::DropLookupCursor() {
  if (lookup_cursor_ && Database()) Engine().CloseCursor(lookup_cursor_);
  lookup_cursor_ = nullptr;
  lookup_remembered_ = false;
  lookup_fields_.clear();
}

void TmySQLTable::ReleaseLookupCursor(engine::TNativeDataSet* cursor) {
  if (!cursor) return;
  if (cursor == lookup_cursor_) lookup_cursor_ = nullptr;
  Engine().CloseCursor(cursor);
}

engine::TNativeDataSet* TmySQLTable::LookupCursor(const std::string& key_fields,
                                                  bool case_insensitive) {
  if (lookup_remembered_ && rtl::SameText(key_fields, lookup_fields_) &&
      case_insensitive == lookup_case_ && !Handle()->TakeJustExecuted())
    return lookup_cursor_;
  DropLookupCursor();
  lookup_fields_ = key_fields;
  lookup_case_ = case_insensitive;
  lookup_remembered_ = true;
  if (HasKeyBuffers() && (KeyBuffer(kiCurRangeStart).Modified || KeyBuffer(kiCurRangeEnd).Modified))
    return nullptr;
  index_defs_.Update();
  const db::TIndexDef* index = index_defs_.GetIndexForFields(key_fields, case_insensitive);
  if (!index || key_fields.size() >= 127) return nullptr;
  engine::TmySQLEngine& eng = Engine();
  engine::TNativeDataSet* clone = nullptr;
  Check(eng.CloneCursor(Handle(), true, false, clone));
  engine::DBIResult rc = eng.SwitchToIndex(clone, index->Name().c_str(), nullptr, 0);
  if (rc != DBIERR_NONE) {
    eng.CloseCursor(clone);
    Check(rc);
  }
  lookup_cursor_ = clone;
  return lookup_cursor_;
}

// --- provider support
// --------------------------------------------------------------------------------

void TmySQLTable::PSSetCommandText(const std::string& text) {
  if (!text.empty()) SetTableName(text);
}

std::string TmySQLTable::PSGetKeyFields() {
  std::string fields = TmySQLDataSet::PSGetKeyFields();
  if (!fields.empty() || !Exists()) return fields;
  index_defs_.Update();
  for (int i = 0; i < index_defs_.Count(); ++i) {
    const db::TIndexDef& index = index_defs_[i];
    if (!index.Options().Contains(db::ixUnique)) continue;
    bool all = true;
    for (const std::string& name : db::SplitFieldNames(index.Fields()))
      if (!FindField(name)) all = false;
    if (all) return index.Fields();
  }
  return {};
}

std::string TmySQLTable::PSGetDefaultOrder() {
  index_defs_.Update();
  auto resolves = [this](const db::TIndexDef& index) {
    for (const std::string& name : db::SplitFieldNames(index.Fields()))
      if (!FindField(name)) return false;
    return true;
  };
  if (!IndexName().empty()) {
    const db::TIndexDef& index = index_defs_.Find(IndexName());
    if (resolves(index)) return index.Fields();
  } else if (!IndexFieldNames().empty()) {
    return IndexFieldNames();
  }
  for (db::TIndexOption option : {db::ixPrimary, db::ixUnique})
    for (int i = 0; i < index_defs_.Count(); ++i)
      if (index_defs_[i].Options().Contains(option) && resolves(index_defs_[i]))
        return index_defs_[i].Fields();
  return {};
}

void TmySQLTable::PSSetParams(const db::TParams& params) {
  if (params.Count() > 0) {
    Open();
    std::vector<rtl::Variant> values;
    for (int i = 0; i < params.Count(); ++i) values.push_back(params[i].Value());
    SetRange(values, values);
  } else if (Active()) {
    CancelRange();
  }
  PSReset();
}

}  // namespace components
