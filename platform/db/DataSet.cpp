// Dataset lifecycle, the record-buffer ring, navigation, fields and notices.
#include "db/DataSet.h"

#include <algorithm>

#include "db/Consts.h"
#include "db/DataSource.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace db {

namespace {
// More buffers than any control needs; keeps a runaway link from exhausting
// memory.
constexpr int kMaxBufferCount = 1024;
}  // namespace

bool IsWriteState(TDataSetState state) {
  switch (state) {
    case dsEdit:
    case dsInsert:
    case dsSetKey:
    case dsCalcFields:
    case dsFilter:
    case dsNewValue:
    case dsInternalCalc:
      return true;
    default:
      return false;
  }
}

TDataSet::TDataSet(TComponent* owner) : TComponent(owner), field_defs_(this), fields_(this) {}

TDataSet::~TDataSet() {
  Destroying_();
  // Subclasses close the cursor in their own destructors; what is left here
  // is to let go of the sources and fields that point at this dataset.
  std::vector<TDataSource*> sources = data_sources_;
  for (TDataSource* source : sources) {
    RemoveFreeNotification(source);
    source->dataset_ = nullptr;
    source->UpdateState();
  }
  data_sources_.clear();
  for (TField* field : fields_.List()) {
    field->RemoveFreeNotification(this);
    field->dataset_ = nullptr;
  }
  while (fields_.Count() > 0) fields_.Remove(fields_.Items(0));
}

// --- opening and closing -------------------------------------------------------

void TDataSet::SetActive(bool active) {
  if (Loading()) {
    streamed_active_ = active;
    return;
  }
  if (active == Active()) return;
  if (active) {
    Fire(BeforeOpen, *this);
    {
      // A failure to close is dropped: the open failure is what the caller
      // needs to see.
      rtl::ScopeFail close([&] {
        if (state_ == dsOpening) return;
        state_ = dsInactive;
        CloseCursor();
      });
      OpenCursor(false);
    }
    if (state_ != dsOpening) OpenCursorComplete();
  } else {
    if (!Destroying()) Fire(BeforeClose, *this);
    SetState(dsInactive);
    CloseCursor();
    if (!Destroying()) Fire(AfterClose, *this);
  }
}

void TDataSet::OpenCursor(bool info_query) {
  if (info_query)
    InternalInitFieldDefs();
  else if (state_ != dsOpening)
    DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
  default_fields_ = FieldCount() == 0;
  InternalOpen();
  internal_open_complete_ = true;
  UpdateBufferCount();
  bof_ = true;
}

void TDataSet::OpenCursorComplete() {
  if (internal_open_complete_) {
    SetState(dsBrowse);
    Fire(AfterOpen, *this);
    if (!IsEmpty()) DoAfterScroll();
  } else {
    SetState(dsInactive);
    CloseCursor();
  }
}

void TDataSet::CloseCursor() {
  if (block_read_size_ != 0) SetBlockReadSize(0);
  internal_open_complete_ = false;
  FreeFieldBuffers();
  ClearBuffers();
  SetBufListSize(0);
  InternalClose();
  buffer_count_ = 0;
  default_fields_ = false;
}

void TDataSet::InitFieldDefs() {
  if (IsCursorOpen()) {
    InternalInitFieldDefs();
  } else {
    rtl::ScopeExit close([&] { CloseCursor(); });
    OpenCursor(true);
  }
}

void TDataSet::Loaded() {
  TComponent::Loaded();
  if (streamed_active_) {
    streamed_active_ = false;
    try {
      SetActive(true);
    } catch (...) {
      if (!Designing()) throw;
      InternalHandleException();
    }
  }
}

void TDataSet::InternalHandleException() {
  try {
    throw;
  } catch (const std::exception& e) {
    ShowException(e);
  }
}

void TDataSet::SetState(TDataSetState state) {
  if (state_ == state) return;
  state_ = state;
  modified_ = false;
  DataEvent(deUpdateState, 0);
}

TDataSetState TDataSet::SetTempState(TDataSetState state) {
  TDataSetState saved = state_;
  state_ = state;
  ++disable_count_;
  return saved;
}

void TDataSet::RestoreState(TDataSetState state) {
  state_ = state;
  --disable_count_;
}

void TDataSet::CheckActive() const {
  if (!Active()) DatabaseError(msg::kDataSetClosed, this);
}

void TDataSet::CheckInactive() const {
  if (Active()) DatabaseError(msg::kDataSetOpen, this);
}

// --- record buffers ------------------------------------------------------------

TRecordBuffer TDataSet::ActiveBuffer() const {
  if (buffers_.empty()) return nullptr;
  return buffers_[active_record_].get();
}

TRecordBuffer TDataSet::TempBuffer() const {
  if (buffers_.empty()) return nullptr;
  return buffers_[record_count_].get();
}

void TDataSet::SetBufListSize(int size) {
  while (static_cast<int>(buffers_.size()) > size) {
    FreeRecordBuffer(buffers_.back());
    buffers_.pop_back();
  }
  while (static_cast<int>(buffers_.size()) < size) buffers_.push_back(AllocRecordBuffer());
}

void TDataSet::SetBufferCount(int count) {
  count = std::clamp(count, 1, kMaxBufferCount);
  if (count == buffer_count_) return;
  if (count > buffer_count_) {
    SetBufListSize(count + 1);
    buffer_count_ = count;
    if (IsCursorOpen()) {
      GetNextRecords();
      if (record_count_ > 0) GetPriorRecords();
    }
    return;
  }
  // Shrinking: keep the active record inside the smaller ring.
  if (active_record_ >= count) {
    int delta = active_record_ - count + 1;
    for (int i = 0; i < delta; ++i) MoveBuffer(0, static_cast<int>(buffers_.size()) - 1);
    active_record_ -= delta;
    record_count_ -= delta;
    current_record_ = current_record_ >= delta ? current_record_ - delta : -1;
  }
  if (record_count_ > count) record_count_ = count;
  if (current_record_ >= record_count_) current_record_ = -1;
  buffer_count_ = count;
  SetBufListSize(count + 1);
}

void TDataSet::RebuildBuffers() {
  ClearBuffers();
  SetBufListSize(0);
  if (buffer_count_ > 0) SetBufListSize(buffer_count_ + 1);
}

void TDataSet::UpdateBufferCount() {
  if (!IsCursorOpen()) return;
  int count = 1;
  for (TDataSource* source : data_sources_)
    for (TDataLink* link : source->links_) count = std::max(count, link->BufferCount());
  SetBufferCount(count);
}

void TDataSet::ClearBuffers() {
  record_count_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = true;
  eof_ = true;
}

void TDataSet::ActivateBuffers() {
  record_count_ = 1;
  active_record_ = 0;
  current_record_ = 0;
  bof_ = false;
  eof_ = false;
}

void TDataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  std::unique_ptr<char[]> moving = std::move(buffers_[from]);
  if (from < to) {
    for (int i = from; i < to; ++i) buffers_[i] = std::move(buffers_[i + 1]);
  } else {
    for (int i = from; i > to; --i) buffers_[i] = std::move(buffers_[i - 1]);
  }
  buffers_[to] = std::move(moving);
}

void TDataSet::SetCurrentRecord(int index) {
  if (current_record_ == index) return;
  TRecordBuffer buffer = buffers_[index].get();
  switch (GetBookmarkFlag(buffer)) {
    case bfCurrent:
    case bfInserted:
      InternalSetToRecord(buffer);
      break;
    case bfBOF:
      InternalFirst();
      break;
    case bfEOF:
      InternalLast();
      break;
  }
  current_record_ = index;
}

void TDataSet::UpdateCursorPos() {
  if (record_count_ > 0) SetCurrentRecord(active_record_);
}

bool TDataSet::GetNextRecord() {
  TGetMode mode = gmNext;
  if (record_count_ > 0) {
    SetCurrentRecord(record_count_ - 1);
    // A record being inserted at the end is not in the cursor yet: the
    // cursor's current record is the one after it.
    if (state_ == dsInsert && current_record_ == active_record_ &&
        GetBookmarkFlag(ActiveBuffer()) == bfCurrent)
      mode = gmCurrent;
  }
  bool ok = GetRecord(buffers_[record_count_].get(), mode, true) == grOK;
  if (ok) {
    if (record_count_ == 0) {
      ActivateBuffers();
    } else if (record_count_ < buffer_count_) {
      ++record_count_;
    } else {
      MoveBuffer(0, record_count_);
    }
    current_record_ = record_count_ - 1;
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool TDataSet::GetPriorRecord() {
  if (record_count_ > 0) SetCurrentRecord(0);
  bool ok = GetRecord(buffers_[record_count_].get(), gmPrior, true) == grOK;
  if (ok) {
    if (record_count_ == 0) {
      ActivateBuffers();
    } else {
      MoveBuffer(record_count_, 0);
      if (record_count_ < buffer_count_) {
        ++record_count_;
        ++active_record_;
      }
    }
    current_record_ = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int TDataSet::GetNextRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && GetNextRecord()) ++n;
  return n;
}

int TDataSet::GetPriorRecords() {
  int n = 0;
  while (record_count_ < buffer_count_ && GetPriorRecord()) ++n;
  return n;
}

void TDataSet::Resync(TResyncModes mode) {
  if (mode.Contains(rmExact)) {
    CursorPosChanged();
    if (GetRecord(buffers_[record_count_].get(), gmCurrent, true) != grOK)
      DatabaseError(msg::kRecordNotFound, this);
  } else if (GetRecord(buffers_[record_count_].get(), gmCurrent, false) != grOK &&
             GetRecord(buffers_[record_count_].get(), gmNext, false) != grOK &&
             GetRecord(buffers_[record_count_].get(), gmPrior, false) != grOK) {
    ClearBuffers();
    DataEvent(deDataSetChange, 0);
    return;
  }
  int count = mode.Contains(rmCenter) ? (buffer_count_ - 1) / 2 : active_record_;
  MoveBuffer(record_count_, 0);
  ActivateBuffers();
  rtl::ScopeExit restore([&] { DataEvent(deDataSetChange, 0); });
  while (count > 0 && GetPriorRecord()) --count;
  GetNextRecords();
  GetPriorRecords();
}

// --- navigation ------------------------------------------------------------------

void TDataSet::DoBeforeScroll() {
  Fire(BeforeScroll, *this);
}
void TDataSet::DoAfterScroll() {
  Fire(AfterScroll, *this);
}

// The end's flag (bof_ or eof_) is set and the change announced even when
// reading fails; the scroll events run around it.
template <typename Fill>
void TDataSet::ScrollToEnd(bool& at_end, Fill&& fill) {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  {
    rtl::ScopeExit restore([&] {
      at_end = true;
      DataEvent(deDataSetChange, 0);
    });
    fill();
  }
  DoAfterScroll();
}

void TDataSet::First() {
  ScrollToEnd(bof_, [this] {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  });
}

void TDataSet::Last() {
  ScrollToEnd(eof_, [this] {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  });
}

void TDataSet::Next() {
  if (block_read_size_ > 0)
    BlockReadNext();
  else
    MoveBy(1);
}

void TDataSet::BlockReadNext() {
  MoveBy(1);
}

int TDataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int result = 0;
  DoBeforeScroll();
  if ((distance > 0 && !eof_) || (distance < 0 && !bof_)) {
    bof_ = false;
    eof_ = false;
    int scrolled = 0;
    auto finish = [&] {
      DataEvent(deDataSetScroll, scrolled);
      DoAfterScroll();
    };
    rtl::ScopeExit restore([&] { finish(); });
    while (distance > 0) {
      if (active_record_ < record_count_ - 1) {
        ++active_record_;
      } else {
        int shift = record_count_ < buffer_count_ ? 0 : 1;
        if (GetNextRecord()) {
          scrolled -= shift;
          if (active_record_ < record_count_ - 1) ++active_record_;
        } else {
          eof_ = true;
          break;
        }
      }
      --distance;
      ++result;
    }
    while (distance < 0) {
      if (active_record_ > 0) {
        --active_record_;
      } else {
        int shift = record_count_ < buffer_count_ ? 0 : 1;
        if (GetPriorRecord()) {
          scrolled += shift;
          if (active_record_ > 0) --active_record_;
        } else {
          bof_ = true;
          break;
        }
      }
      ++distance;
      --result;
    }
  }
  return result;
}

bool TDataSet::IsEmpty() const {
  return active_record_ >= record_count_;
}

int TDataSet::RecordCount() {
  CheckActive();
  return GetRecordCount();
}

int TDataSet::RecNo() {
  return GetRecNo();
}

bool TDataSet::IsSequenced() {
  return true;
}

int TDataSet::RecordSize() {
  return GetRecordSize();
}

// --- fields ------------------------------------------------------------------------

void TDataSet::CreateFields() {
  for (int i = 0; i < field_defs_.Count(); ++i) {
    const TFieldDef& def = field_defs_[i];
    if (def.Attributes().Contains(faHiddenCol) || !HasFieldClass(def.DataType())) continue;
    def.CreateField(this, this);
  }
}

void TDataSet::DestroyFields() {
  std::vector<TField*> owned;
  for (TField* field : fields_.List())
    if (field->Owner() == this) owned.push_back(field);
  for (TField* field : owned) DestroyComponent(field);
}

void TDataSet::BindFields(bool binding) {
  calc_fields_size_ = 0;
  blob_field_count_ = 0;
  internal_calc_fields_ = false;
  for (TField* field : fields_.List()) {
    if (!binding) {
      field->field_no_ = 0;
      continue;
    }
    if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
      field->field_no_ = -1;
      field->offset_ = calc_fields_size_;
      calc_fields_size_ += field->DataSize() + 1;
      if (field->FieldKind() == fkLookup) {
        TDataSet* lookup = field->LookupDataSet();
        if (lookup == nullptr || field->KeyFields().empty() || field->LookupKeyFields().empty() ||
            field->LookupResultField().empty())
          DatabaseError(rtl::Format(msg::kLookupInfoError, field->DisplayName().c_str()), this);
        std::vector<TField*> check;
        GetFieldList(check, field->KeyFields());
        lookup->Open();
        lookup->GetFieldList(check, field->LookupKeyFields());
        lookup->FieldByName(field->LookupResultField());
      }
      continue;
    }
    const TFieldDef* def = field_defs_.FindDef(field->FieldName());
    if (def == nullptr)
      DatabaseError(rtl::Format(msg::kFieldNotFound, field->DisplayName().c_str()), this);
    if (!FieldTypesCompatible(field->DataType(), def->DataType()))
      DatabaseError(rtl::Format(msg::kFieldTypeMismatch, field->DisplayName().c_str(),
                                FieldTypeName(field->DataType()), FieldTypeName(def->DataType())),
                    this);
    // A field object reads the whole value the cursor writes: its buffer
    // must be as large as the column's.
    switch (def->DataType()) {
      case ftString:
      case ftFixedChar:
      case ftWideString:
      case ftGuid:
      case ftBytes:
      case ftVarBytes:
        if (field->size_ != def->Size()) field->size_ = def->Size();
        break;
      default:
        break;
    }
    field->field_no_ = def->FieldNo();
    if (def->InternalCalcField()) internal_calc_fields_ = true;
    if (field->IsBlob()) field->offset_ = blob_field_count_++;
  }
}

void TDataSet::GetFieldList(std::vector<TField*>& list, const std::string& names) const {
  for (const std::string& name : SplitFieldNames(names)) list.push_back(&FieldByName(name));
}

std::vector<std::string> TDataSet::GetFieldNames() const {
  std::vector<std::string> names;
  for (TField* f : fields_.List()) names.push_back(f->FieldName());
  return names;
}

rtl::Variant TDataSet::FieldValues(const std::string& names) const {
  std::vector<TField*> list;
  GetFieldList(list, names);
  if (list.size() == 1) return list[0]->AsVariant();
  std::vector<rtl::Variant> values;
  for (TField* f : list) values.push_back(f->AsVariant());
  return rtl::Variant(std::move(values));
}

void TDataSet::SetFieldValues(const std::string& names, const rtl::Variant& value) {
  std::vector<TField*> list;
  GetFieldList(list, names);
  if (list.size() == 1) {
    list[0]->SetAsVariant(value);
    return;
  }
  for (std::size_t i = 0; i < list.size(); ++i)
    list[i]->SetAsVariant(static_cast<int>(i) < value.ArrayCount() ? value.Item(static_cast<int>(i))
                                                                   : rtl::Variant::Null());
}

void TDataSet::SetFields(const std::vector<rtl::Variant>& values) {
  if (!IsWriteState(state_) || state_ == dsCalcFields || state_ == dsFilter)
    DatabaseError(msg::kNotEditing, this);
  for (std::size_t i = 0; i < values.size() && static_cast<int>(i) < fields_.Count(); ++i) {
    if (values[i].IsEmpty()) continue;
    fields_[static_cast<int>(i)].SetAsVariant(values[i]);
  }
}

void TDataSet::ClearFields() {
  if (state_ != dsEdit && state_ != dsInsert && state_ != dsSetKey)
    DatabaseError(msg::kNotEditing, this);
  DataEvent(deCheckBrowseMode, 0);
  FreeFieldBuffers();
  InternalInitRecord(ActiveBuffer());
  if (state_ != dsSetKey) GetCalcFields(ActiveBuffer());
  DataEvent(deRecordChange, 0);
}

void TDataSet::FreeFieldBuffers() {
  for (TField* field : fields_.List())
    if (field->IsBlob()) static_cast<TBlobField*>(field)->SetModified(false);
}

void TDataSet::GetCalcFields(TRecordBuffer buffer) {
  if (calc_fields_size_ == 0 && !internal_calc_fields_) return;
  TDataSetState saved = SetTempState(dsCalcFields);
  rtl::ScopeExit restore([&] { RestoreState(saved); });
  CalculateFields(buffer);
}

void TDataSet::CalculateFields(TRecordBuffer buffer) {
  calc_buffer_ = buffer;
  ClearCalcFields(buffer);
  for (TField* field : fields_.List())
    if (field->FieldKind() == fkLookup) CalcLookupValue(*field);
  Fire(OnCalcFields, *this);
}

void TDataSet::CalcLookupValue(TField& field) {
  TDataSet* lookup = field.LookupDataSet();
  if (lookup == nullptr || !lookup->Active()) return;
  field.SetAsVariant(lookup->Lookup(field.LookupKeyFields(), FieldValues(field.KeyFields()),
                                    field.LookupResultField()));
}

// --- data links ------------------------------------------------------------------

void TDataSet::DataEvent(TDataEvent event, std::intptr_t info) {
  TField* changed = nullptr;
  switch (event) {
    case deFieldChange:
      changed = reinterpret_cast<TField*>(info);
      if (changed->FieldKind() == fkData || changed->FieldKind() == fkInternalCalc)
        modified_ = true;
      if (state_ != dsSetKey && (calc_fields_size_ != 0 || internal_calc_fields_) &&
          auto_calc_fields_)
        GetCalcFields(ActiveBuffer());
      break;
    case dePropertyChange:
      field_defs_.SetUpdated(false);
      break;
    default:
      break;
  }
  if (disable_count_ == 0) {
    std::vector<TDataSource*> sources = data_sources_;
    for (TDataSource* source : sources) source->DataEvent(event, info);
  } else if ((event == deUpdateState && state_ == dsInactive) || event == deLayoutChange) {
    enable_event_ = deLayoutChange;
  }
  if (changed != nullptr) changed->Change();
}

void TDataSet::DisableControls() {
  if (disable_count_ == 0) {
    disable_state_ = state_;
    enable_event_ = deDataSetChange;
  }
  ++disable_count_;
}

void TDataSet::EnableControls() {
  if (disable_count_ == 0) return;
  if (--disable_count_ != 0) return;
  if (disable_state_ != state_) DataEvent(deUpdateState, 0);
  if (disable_state_ != dsInactive && state_ != dsInactive) DataEvent(enable_event_, 0);
}

void TDataSet::AddDataSource(TDataSource* source) {
  data_sources_.push_back(source);
  UpdateBufferCount();
}

void TDataSet::RemoveDataSource(TDataSource* source) {
  data_sources_.erase(std::remove(data_sources_.begin(), data_sources_.end(), source),
                      data_sources_.end());
  if (!Destroying()) UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(TDataSource* source) const {
  // Follow the chain of masters; a chain that returns here is circular.
  int guard = 0;
  while (source != nullptr && guard++ < 1000) {
    TDataSet* dataset = source->DataSet();
    if (dataset == nullptr) return false;
    if (dataset == this) return true;
    source = dataset->DataSource();
  }
  return false;
}

void TDataSet::CheckCircularLink(TDataSource* source) const {
  if (IsLinkedTo(source)) DatabaseError(msg::kCircularDataLink, this);
}

void TDataSet::GetDetailLinkFields(std::vector<TField*>& master, std::vector<TField*>& detail) {
  master.clear();
  detail.clear();
}

void TDataSet::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
}

}  // namespace db
