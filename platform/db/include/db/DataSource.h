// Data sources and data links: how controls and dependent datasets follow a
// dataset.
//
// A TDataSource connects one dataset to any number of TDataLink objects and
// forwards the dataset's notices to them: active changed, record changed
// (with or without a field), data set changed, scrolled, layout changed,
// editing changed, update data and check browse mode. The links register
// with the source and unregister when destroyed; the source tells its links
// when it goes away. TFieldDataLink serves a data-aware control bound to one
// field; TMasterDataLink serves a detail dataset that follows the master's
// current record. Not thread-safe.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "db/Component.h"
#include "db/FieldTypes.h"
#include "rtl/Streams.h"

namespace db {

class TDataSet;
class TDataLink;
class TField;
class TDataSource;

using TDataChangeEvent = std::function<void(TDataSource& source, TField* field)>;
using TDataSourceNotifyEvent = std::function<void(TDataSource& source)>;

class TDataSource : public TComponent {
 public:
  explicit TDataSource(TComponent* owner = nullptr);
  ~TDataSource() override;

  TDataSet* DataSet() const { return dataset_; }
  void SetDataSet(TDataSet* dataset);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool AutoEdit() const { return auto_edit_; }
  void SetAutoEdit(bool value) { auto_edit_ = value; }
  // The dataset's state, or inactive when disabled or without a dataset.
  TDataSetState State() const { return state_; }
  // Puts the dataset into edit state when AutoEdit allows it and it browses.
  void Edit();
  bool IsLinkedTo(TDataSet* dataset) const;

  TDataSourceNotifyEvent OnStateChange;
  TDataChangeEvent OnDataChange;
  TDataSourceNotifyEvent OnUpdateData;

 protected:
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TDataSet;
  friend class TDataLink;
  void DataEvent(TDataEvent event, std::intptr_t info);
  void NotifyDataLinks(TDataEvent event, std::intptr_t info);
  void UpdateState();
  void SetState(TDataSetState state);
  void AddDataLink(TDataLink* link);
  void RemoveDataLink(TDataLink* link);

  TDataSet* dataset_ = nullptr;
  bool enabled_ = true;
  bool auto_edit_ = true;
  TDataSetState state_ = dsInactive;
  std::vector<TDataLink*> links_;
};

// Base of every link. Subclasses override the notices they care about.
class TDataLink : public rtl::TObject {
 public:
  TDataLink() = default;
  ~TDataLink() override;
  TDataLink(const TDataLink&) = delete;
  TDataLink& operator=(const TDataLink&) = delete;

  TDataSource* DataSource() const { return source_; }
  void SetDataSource(TDataSource* source);
  TDataSet* DataSet() const;
  // True while the source has an active dataset.
  bool Active() const { return active_; }
  // True while the dataset is in edit or insert state (and the link is not
  // read-only).
  bool Editing() const { return editing_; }
  bool ReadOnly() const { return read_only_; }
  void SetReadOnly(bool value);
  // Records this link wants to see in the dataset's ring (at least 1).
  int BufferCount() const { return buffer_count_; }
  void SetBufferCount(int count);
  int ActiveRecord() const;
  int RecordCount() const;
  // Asks the source to put the dataset into edit state; returns Editing().
  bool Edit();
  // Runs UpdateData unless already inside it.
  void UpdateRecord();

 protected:
  virtual void ActiveChanged() {}
  virtual void CheckBrowseMode() {}
  virtual void DataSetChanged() { RecordChanged(nullptr); }
  virtual void DataSetScrolled(int distance) {
    (void)distance;
    DataSetChanged();
  }
  virtual void EditingChanged() {}
  virtual void FocusControl(TField* field) { (void)field; }
  virtual void LayoutChanged() { DataSetChanged(); }
  virtual void RecordChanged(TField* field) { (void)field; }
  virtual void UpdateData() {}

 private:
  friend class TDataSource;
  void DataEvent(TDataEvent event, std::intptr_t info);
  void UpdateState();
  void SetActive(bool active);
  void SetEditing(bool editing);

  TDataSource* source_ = nullptr;
  bool active_ = false;
  bool editing_ = false;
  bool read_only_ = false;
  bool updating_ = false;
  int buffer_count_ = 1;
};

// The link a data-aware control (edit, label) holds to one field.
class TFieldDataLink : public TDataLink {
 public:
  TFieldDataLink() = default;

  const std::string& FieldName() const { return field_name_; }
  void SetFieldName(const std::string& name);
  // The bound field while the dataset is active, else null.
  TField* Field() const { return field_; }
  rtl::TObject* Control() const { return control_; }
  void SetControl(rtl::TObject* control) { control_ = control; }
  // The field exists and can be modified, and the link is not read-only.
  bool CanModify() const;
  bool Editing() const { return editing_; }
  // The control changed its text; UpdateData will then store it.
  void Modified() { modified_ = true; }
  bool IsModified() const { return modified_; }
  // Shows the field's current value again, dropping the control's change.
  void Reset();
  // Puts the dataset into edit state if possible; returns Editing().
  bool Edit();

  std::function<void()> OnDataChange;
  std::function<void()> OnEditingChange;
  std::function<void()> OnUpdateData;
  std::function<void()> OnActiveChange;
  std::function<bool()> OnFocusControl;

 protected:
  void ActiveChanged() override;
  void EditingChanged() override;
  void FocusControl(TField* field) override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;
  void UpdateData() override;

 private:
  void UpdateField();
  void SetField(TField* field);
  void SetEditingState(bool editing);

  std::string field_name_;
  TField* field_ = nullptr;
  rtl::TObject* control_ = nullptr;
  bool editing_ = false;
  bool modified_ = false;
};

// A link held by a dataset that depends on another (detail on master).
class TDetailDataLink : public TDataLink {
 public:
  virtual TDataSet* DetailDataSet() const { return nullptr; }
};

// Master/detail: follows the master's fields named in FieldNames and tells
// the detail when they change (OnMasterChange) or the master goes away
// (OnMasterDisable).
class TMasterDataLink : public TDetailDataLink {
 public:
  explicit TMasterDataLink(TDataSet* detail) : detail_(detail) {}

  TDataSet* DetailDataSet() const override { return detail_; }
  const std::string& FieldNames() const { return field_names_; }
  void SetFieldNames(const std::string& names);
  // The master fields named in FieldNames (empty while inactive).
  const std::vector<TField*>& Fields() const { return fields_; }

  std::function<void()> OnMasterChange;
  std::function<void()> OnMasterDisable;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void LayoutChanged() override;
  void RecordChanged(TField* field) override;

 private:
  TDataSet* detail_;
  std::string field_names_;
  std::vector<TField*> fields_;
};

}  // namespace db
