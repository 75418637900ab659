// Dataset editing: edit, insert, append, post, cancel, delete, refresh and
// the browse-mode check.
#include "db/Consts.h"
#include "db/DataSet.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace db {

bool TDataSet::CanModify() {
  return GetCanModify();
}

void TDataSet::CheckCanModify() {
  if (!CanModify()) DatabaseError(msg::kDataSetReadOnly, this);
}

void TDataSet::CheckRequiredFields() {
  for (TField* field : fields_.List()) {
    if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData &&
        field->IsNull()) {
      field->FocusControl();
      DatabaseError(rtl::Format(msg::kFieldRequired, field->DisplayName().c_str()));
    }
  }
}

void TDataSet::InternalPost() {
  CheckRequiredFields();
}

void TDataSet::InitRecord(TRecordBuffer buffer) {
  InternalInitRecord(buffer);
  ClearCalcFields(buffer);
  SetBookmarkFlag(buffer, bfInserted);
}

void TDataSet::DoOnNewRecord() {
  Fire(OnNewRecord, *this);
}

void TDataSet::UpdateRecord() {
  if (!IsWriteState(state_)) DatabaseError(msg::kNotEditing, this);
  DataEvent(deUpdateRecord, 0);
}

void TDataSet::CheckBrowseMode() {
  CheckActive();
  DataEvent(deCheckBrowseMode, 0);
  switch (state_) {
    case dsEdit:
    case dsInsert:
      UpdateRecord();
      if (modified_)
        Post();
      else
        Cancel();
      break;
    case dsSetKey:
      Post();
      break;
    default:
      break;
  }
}

void TDataSet::CheckOperation(const std::function<void()>& operation,
                              const TDataSetErrorEvent& error_event) {
  for (;;) {
    try {
      UpdateCursorPos();
      operation();
      return;
    } catch (EDatabaseError& error) {
      TDataAction action = daFail;
      if (error_event) error_event(*this, error, action);
      if (action == daFail) throw;
      if (action == daAbort) rtl::Abort();
      // daRetry: run the operation again.
    }
  }
}

void TDataSet::Edit() {
  if (state_ == dsEdit || state_ == dsInsert) return;
  if (record_count_ == 0) {
    Insert();
    return;
  }
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeEdit, *this);
  CheckOperation([this] { InternalEdit(); }, OnEditError);
  GetCalcFields(ActiveBuffer());
  SetState(dsEdit);
  DataEvent(deRecordChange, 0);
  Fire(AfterEdit, *this);
}

void TDataSet::BeginInsertAppend() {
  CheckBrowseMode();
  CheckCanModify();
  Fire(BeforeInsert, *this);
}

void TDataSet::EndInsertAppend() {
  SetState(dsInsert);
  {
    rtl::ScopeFail back_to_browse([&] {
      UpdateCursorPos();
      FreeFieldBuffers();
      SetState(dsBrowse);
      Resync({});
    });
    DoOnNewRecord();
  }
  modified_ = false;
  DataEvent(deDataSetChange, 0);
  Fire(AfterInsert, *this);
}

void TDataSet::Insert() {
  BeginInsertAppend();
  TBookmark old_current = Bookmark();
  MoveBuffer(record_count_, active_record_);
  TRecordBuffer buffer = ActiveBuffer();
  InitRecord(buffer);
  if (record_count_ == 0)
    SetBookmarkFlag(buffer, bfBOF);
  else
    SetBookmarkData(buffer, old_current);
  if (record_count_ < buffer_count_) ++record_count_;
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Append() {
  BeginInsertAppend();
  ClearBuffers();
  TRecordBuffer buffer = buffers_[0].get();
  InitRecord(buffer);
  SetBookmarkFlag(buffer, bfEOF);
  record_count_ = 1;
  bof_ = false;
  GetPriorRecords();
  InternalInsert();
  EndInsertAppend();
}

void TDataSet::Post() {
  UpdateRecord();
  switch (state_) {
    case dsEdit:
    case dsInsert:
      DataEvent(deCheckBrowseMode, 0);
      Fire(BeforePost, *this);
      CheckOperation([this] { InternalPost(); }, OnPostError);
      FreeFieldBuffers();
      SetState(dsBrowse);
      Resync({});
      Fire(AfterPost, *this);
      break;
    default:
      break;
  }
}

void TDataSet::Cancel() {
  switch (state_) {
    case dsEdit:
    case dsInsert: {
      DataEvent(deCheckBrowseMode, 0);
      Fire(BeforeCancel, *this);
      bool scroll_events = state_ == dsInsert;
      if (scroll_events) DoBeforeScroll();
      UpdateCursorPos();
      InternalCancel();
      FreeFieldBuffers();
      SetState(dsBrowse);
      Resync({});
      Fire(AfterCancel, *this);
      if (scroll_events) DoAfterScroll();
      break;
    }
    default:
      break;
  }
}

void TDataSet::Delete() {
  CheckActive();
  if (state_ == dsInsert || state_ == dsSetKey) {
    Cancel();
    return;
  }
  if (record_count_ == 0) DatabaseError(msg::kDataSetEmpty, this);
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforeDelete, *this);
  DoBeforeScroll();
  CheckOperation([this] { InternalDelete(); }, OnDeleteError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  Fire(AfterDelete, *this);
  DoAfterScroll();
}

void TDataSet::Refresh() {
  Fire(BeforeRefresh, *this);
  CheckBrowseMode();
  UpdateCursorPos();
  {
    rtl::ScopeExit restore([&] { Resync({}); });
    InternalRefresh();
  }
  Fire(AfterRefresh, *this);
}

void TDataSet::InternalInsertRecord(const std::vector<rtl::Variant>& values, bool append) {
  if (append)
    Append();
  else
    Insert();
  SetFields(values);
  UpdateRecord();
  DataEvent(deCheckBrowseMode, 0);
  Fire(BeforePost, *this);
  CheckOperation(
      [this, append] {
        CheckRequiredFields();
        InternalAddRecord(ActiveBuffer(), append);
      },
      OnPostError);
  FreeFieldBuffers();
  SetState(dsBrowse);
  Resync({});
  Fire(AfterPost, *this);
}

void TDataSet::InsertRecord(const std::vector<rtl::Variant>& values) {
  InternalInsertRecord(values, false);
}

void TDataSet::AppendRecord(const std::vector<rtl::Variant>& values) {
  InternalInsertRecord(values, true);
}

}  // namespace db
