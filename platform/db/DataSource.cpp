#include "db/DataSource.h"

#include <algorithm>

#include "db/Consts.h"
#include "db/DataSet.h"
#include "rtl/ScopeExit.h"

namespace db {

// --- TDataSource -----------------------------------------------------------------

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
  Destroying_();
  std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links) link->SetDataSource(nullptr);
  SetDataSet(nullptr);
}

void TDataSource::SetDataSet(TDataSet* dataset) {
  if (dataset == dataset_) return;
  if (dataset != nullptr && IsLinkedTo(dataset)) DatabaseError(msg::kCircularDataLink, this);
  if (dataset_ != nullptr) {
    RemoveFreeNotification(dataset_);
    dataset_->RemoveDataSource(this);
  }
  dataset_ = dataset;
  if (dataset_ != nullptr) {
    FreeNotification(dataset_);
    dataset_->AddDataSource(this);
  }
  UpdateState();
}

bool TDataSource::IsLinkedTo(TDataSet* dataset) const {
  int guard = 0;
  while (dataset != nullptr && guard++ < 1000) {
    TDataSource* source = dataset->DataSource();
    if (source == nullptr) return false;
    if (source == this) return true;
    dataset = source->DataSet();
  }
  return false;
}

void TDataSource::SetEnabled(bool enabled) {
  enabled_ = enabled;
  UpdateState();
}

void TDataSource::Edit() {
  if (auto_edit_ && state_ == dsBrowse && dataset_ != nullptr) dataset_->Edit();
}

void TDataSource::UpdateState() {
  SetState(enabled_ && dataset_ != nullptr ? dataset_->State() : dsInactive);
}

void TDataSource::SetState(TDataSetState state) {
  if (state_ == state) return;
  TDataSetState prior = state_;
  state_ = state;
  NotifyDataLinks(deUpdateState, 0);
  if (Destroying()) return;
  if (OnStateChange) OnStateChange(*this);
  if (prior == dsInactive && OnDataChange) OnDataChange(*this, nullptr);
}

void TDataSource::NotifyDataLinks(TDataEvent event, std::intptr_t info) {
  std::vector<TDataLink*> links = links_;
  for (TDataLink* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->DataEvent(event, info);
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (state_ == dsInactive) return;
  NotifyDataLinks(event, info);
  switch (event) {
    case deFieldChange:
      if (OnDataChange) OnDataChange(*this, reinterpret_cast<TField*>(info));
      break;
    case deRecordChange:
    case deDataSetChange:
    case deDataSetScroll:
    case deLayoutChange:
      if (OnDataChange) OnDataChange(*this, nullptr);
      break;
    case deUpdateRecord:
      if (OnUpdateData) OnUpdateData(*this);
      break;
    default:
      break;
  }
}

void TDataSource::AddDataLink(TDataLink* link) {
  links_.push_back(link);
  link->source_ = this;
  if (dataset_ != nullptr) dataset_->UpdateBufferCount();
  link->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
  link->source_ = nullptr;
  if (dataset_ != nullptr && !Destroying()) dataset_->UpdateBufferCount();
}

void TDataSource::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == dataset_) {
    dataset_ = nullptr;
    UpdateState();
  }
}

// --- TDataLink -------------------------------------------------------------------

TDataLink::~TDataLink() {
  if (source_ != nullptr) source_->RemoveDataLink(this);
}

void TDataLink::SetDataSource(TDataSource* source) {
  if (source == source_) return;
  if (source_ != nullptr) source_->RemoveDataLink(this);
  if (source != nullptr)
    source->AddDataLink(this);
  else
    UpdateState();
}

TDataSet* TDataLink::DataSet() const {
  return source_ != nullptr ? source_->DataSet() : nullptr;
}

void TDataLink::SetReadOnly(bool value) {
  read_only_ = value;
  UpdateState();
}

void TDataLink::SetBufferCount(int count) {
  if (count < 1) count = 1;
  if (count == buffer_count_) return;
  buffer_count_ = count;
  if (TDataSet* dataset = DataSet()) dataset->UpdateBufferCount();
}

int TDataLink::ActiveRecord() const {
  TDataSet* dataset = DataSet();
  return dataset != nullptr ? dataset->ActiveRecord() : 0;
}

int TDataLink::RecordCount() const {
  TDataSet* dataset = DataSet();
  return dataset != nullptr ? dataset->BufferedRecordCount() : 0;
}

bool TDataLink::Edit() {
  if (!read_only_ && source_ != nullptr) source_->Edit();
  return editing_;
}

void TDataLink::UpdateRecord() {
  if (updating_) return;
  updating_ = true;
  rtl::ScopeExit restore([&] { updating_ = false; });
  UpdateData();
}

void TDataLink::UpdateState() {
  TDataSetState state = source_ != nullptr ? source_->State() : dsInactive;
  SetActive(state != dsInactive);
  SetEditing((state == dsEdit || state == dsInsert || state == dsSetKey) && !read_only_);
}

void TDataLink::SetActive(bool active) {
  if (active_ == active) return;
  active_ = active;
  ActiveChanged();
}

void TDataLink::SetEditing(bool editing) {
  if (editing_ == editing) return;
  editing_ = editing;
  EditingChanged();
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
  if (event == deUpdateState) {
    UpdateState();
    return;
  }
  if (!active_) return;
  switch (event) {
    case deFieldChange:
    case deRecordChange:
      if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
      break;
    case deDataSetChange:
      DataSetChanged();
      break;
    case deDataSetScroll:
      DataSetScrolled(static_cast<int>(info));
      break;
    case deLayoutChange:
      LayoutChanged();
      break;
    case deUpdateRecord:
      UpdateRecord();
      break;
    case deCheckBrowseMode:
      CheckBrowseMode();
      break;
    case deFocusControl:
      FocusControl(reinterpret_cast<TField*>(info));
      break;
    default:
      break;
  }
}

// --- TFieldDataLink ----------------------------------------------------------------

void TFieldDataLink::SetFieldName(const std::string& name) {
  if (name == field_name_) return;
  field_name_ = name;
  UpdateField();
}

void TFieldDataLink::UpdateField() {
  if (Active() && !field_name_.empty())
    SetField(&DataSet()->FieldByName(field_name_));
  else
    SetField(nullptr);
}

void TFieldDataLink::LayoutChanged() {
  // The field list changed under an open dataset: a field that went away
  // leaves the control without one instead of failing.
  SetField(Active() && !field_name_.empty() ? DataSet()->FindField(field_name_) : nullptr);
}

void TFieldDataLink::SetField(TField* field) {
  if (field_ == field) return;
  field_ = field;
  EditingChanged();
  RecordChanged(nullptr);
}

bool TFieldDataLink::CanModify() const {
  return !ReadOnly() && field_ != nullptr && field_->CanModify();
}

void TFieldDataLink::SetEditingState(bool editing) {
  if (editing_ == editing) return;
  editing_ = editing;
  modified_ = false;
  if (OnEditingChange) OnEditingChange();
}

bool TFieldDataLink::Edit() {
  if (CanModify()) TDataLink::Edit();
  return editing_;
}

void TFieldDataLink::Reset() {
  RecordChanged(nullptr);
}

void TFieldDataLink::ActiveChanged() {
  UpdateField();
  if (OnActiveChange) OnActiveChange();
}

void TFieldDataLink::EditingChanged() {
  SetEditingState(TDataLink::Editing() && CanModify());
}

void TFieldDataLink::FocusControl(TField* field) {
  if (field != nullptr && field == field_ && OnFocusControl) OnFocusControl();
}

void TFieldDataLink::RecordChanged(TField* field) {
  if (field != nullptr && field != field_) return;
  if (OnDataChange) OnDataChange();
  modified_ = false;
}

void TFieldDataLink::UpdateData() {
  if (!modified_) return;
  if (field_ != nullptr && OnUpdateData) OnUpdateData();
  modified_ = false;
}

// --- TMasterDataLink ---------------------------------------------------------------

void TMasterDataLink::SetFieldNames(const std::string& names) {
  if (names == field_names_) return;
  field_names_ = names;
  ActiveChanged();
}

void TMasterDataLink::ActiveChanged() {
  fields_.clear();
  if (Active()) {
    rtl::ScopeFail forget([&] { fields_.clear(); });
    DataSet()->GetFieldList(fields_, field_names_);
  }
  if (detail_->Active() && !detail_->Destroying()) {
    if (Active() && !fields_.empty()) {
      if (OnMasterChange) OnMasterChange();
    } else if (OnMasterDisable) {
      OnMasterDisable();
    }
  }
}

void TMasterDataLink::CheckBrowseMode() {
  if (detail_->Active()) detail_->CheckBrowseMode();
}

void TMasterDataLink::LayoutChanged() {
  ActiveChanged();
}

void TMasterDataLink::RecordChanged(TField* field) {
  if (DataSource()->State() == dsSetKey || !detail_->Active() || fields_.empty()) return;
  if (field != nullptr && std::find(fields_.begin(), fields_.end(), field) == fields_.end()) return;
  if (OnMasterChange) OnMasterChange();
}

}  // namespace db
