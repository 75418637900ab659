// Index order, key ranges, key lookups, clones and block reads.
#include <cstring>

#include "RecordCodec.h"
#include "ValueRender.h"
#include "engine/EngineErrors.h"
#include "engine/NativeConnect.h"
#include "engine/NativeDataSet.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace engine {

void TNativeDataSet::SwitchToIndex(const char* index_name, const char*, int index_no) {
  nav_.ReleaseLock();
  if (!index_name) throw EmySQLException(DBIERR_INVALIDPARAM);
  Fields();
  DiscoverIndexes();
  int selected = index_no;
  if (*index_name) {
    selected = 0;
    for (int i = 1; i <= descriptors_.Found().Count(); ++i)
      if (descriptors_.Found().Index(i)->IndexName() == index_name) {
        selected = i;
        break;
      }
    if (!selected) throw EmySQLException(DBIERR_NOSUCHINDEX);
  } else if (descriptors_.PrimaryIndex()) {
    selected = descriptors_.PrimaryIndex();
  }
  if (range_active_) ResetRange();
  if (selected != order_index_) {
    order_lines_.clear();
    if (TmySQLIndex* index = descriptors_.Found().Index(selected)) {
      const bool quote = connection_ && connection_->ServerVersion() >= kBackquoteVersion;
      order_lines_.push_back("ORDER BY ");
      const int count = std::min<int>(index->FldsInKey(), 16);
      for (int i = 0; i < count; ++i) {
        int k = index->KeyField(i);
        const wire::TMysqlColumn* col = result_ ? result_->Column(k - 1) : nullptr;
        std::string name =
            col ? col->name : (k > 0 ? descriptors_.Described()[k - 1].FieldName() : std::string());
        std::string line = quote ? "`" + name + "`" : name;
        if (index->Descending()) line += " DESC";
        if (i + 1 < count) line += ",";
        order_lines_.push_back(line);
      }
    }
    order_index_ = selected;
    Reexecute();
  }
  LoadCurrentIndex(0);
}

void TNativeDataSet::ResetRange() {
  range_lines_.clear();
  const bool was_active = range_active_;
  range_active_ = false;
  if (was_active) Reexecute();
}

void TNativeDataSet::SetRange(bool key_itself, int field_count1, int, const std::uint8_t* key1,
                              bool inclusive1, int field_count2, int, const std::uint8_t* key2,
                              bool inclusive2) {
  range_lines_.clear();
  range_active_ = true;
  // A range that fails leaves none: the cursor reads its whole result again
  // (a failure of that is dropped, the range's own is the one to report).
  rtl::ScopeFail no_range([&] {
    range_lines_.clear();
    range_active_ = false;
    Reexecute();
  });
  const IndexDescriptor& index = current_index_;
  bool empty_range = false;
  for (int pass = 0; pass < 2 && !empty_range; ++pass) {
    const std::uint8_t* key = pass == 0 ? key1 : key2;
    const int field_count =
        std::min<int>(pass == 0 ? field_count1 : field_count2, std::min<int>(index.iFldsInKey, 16));
    if (!key) continue;
    const char* op = pass == 0 ? (inclusive1 ? ">=" : ">") : (inclusive2 ? "<=" : "<");
    size_t place = 0;
    for (int i = 0; i < field_count; ++i) {
      TmySQLField& f = Fields().Field(index.aiKeyFld[i]);
      std::string literal;
      if (key_itself) {
        const bool present = key[place] != 0;
        if (!present) {
          empty_range = true;
          break;
        }
        literal = RenderValue(f, key + place + 1, true, false, NoBackslashEscapes(connection_));
        place += f.FieldLength() + 1u;
      } else {
        if (TRecordCodec::IsNull(key, f)) {
          empty_range = true;
          break;
        }
        literal = ValueLiteral(f.FieldNumber(), key, false);
      }
      range_lines_.push_back(
          rtl::Trim((range_lines_.empty() ? "where " : "and ") + f.FieldName() + op + literal));
    }
  }
  if (empty_range) range_lines_ = {"WHERE 1=0"};
  Reexecute();
}

void TNativeDataSet::ExtractKey(const std::uint8_t* buffer, std::uint8_t* key) {
  if (!buffer) buffer = nav_.Buffer();
  if (!buffer || !key) throw EmySQLException(DBIERR_INVALIDPARAM);
  const IndexDescriptor& index = current_index_;
  std::memset(key, 0, index.iKeyLen);
  size_t place = 0;
  for (int i = 0; i < std::min<int>(index.iFldsInKey, 16); ++i) {
    TmySQLField& f = Fields().Field(index.aiKeyFld[i]);
    if (!TRecordCodec::IsNull(buffer, f)) {
      key[place] = 1;
      std::memcpy(key + place + 1, TRecordCodec::Value(buffer, f), f.FieldLength());
    }
    place += f.FieldLength() + 1u;
  }
}

std::int64_t TNativeDataSet::FindRow(const std::vector<int>& columns,
                                     const std::vector<std::string>& texts) {
  if (!result_ || !open_) return -1;
  const std::int64_t count = RowCount();
  const std::int64_t saved = nav_.Position();
  std::int64_t found = -1;
  for (std::int64_t r = 0; r < count && found < 0; ++r) {
    MoveToRow(r);
    bool match = true;
    for (size_t i = 0; i < columns.size() && match; ++i)
      match = KeyTextMatches(ColumnType(columns[i]), texts[i], result_->Value(columns[i]));
    if (match) found = r;
  }
  if (found < 0 && saved >= 0 && saved < count) MoveToRow(saved);
  return found;
}

void TNativeDataSet::GetRecordForKey(bool key_itself, int field_count, int, const std::uint8_t* key,
                                     std::uint8_t* buffer) {
  if (!key) throw EmySQLException(DBIERR_INVALIDPARAM);
  const IndexDescriptor& index = current_index_;
  const int key_fields = std::min<int>(index.iFldsInKey, 16);
  std::vector<int> columns;
  std::vector<std::string> texts;
  size_t place = 0;
  const int count =
      key_itself ? key_fields : (field_count > 0 ? std::min(field_count, key_fields) : key_fields);
  for (int i = 0; i < count; ++i) {
    TmySQLField& f = Fields().Field(index.aiKeyFld[i]);
    std::string text;
    if (key_itself) {
      if (key[place]) text = RenderValue(f, key + place + 1, false, false, false);
      place += f.FieldLength() + 1u;
    } else if (!TRecordCodec::IsNull(key, f)) {
      text = ValueText(f.FieldNumber(), key);
    }
    columns.push_back(f.FieldNumber() - 1);
    texts.push_back(text);
  }
  std::int64_t row = FindRow(columns, texts);
  if (row < 0) throw EmySQLException(DBIERR_RECNOTFOUND);
  if (buffer) nav_.SetBuffer(buffer);
  MoveToRow(row);
  AfterMove(false);
  nav_.SetState(TPositionState::OnRecord);
  if (master_) {
    std::int64_t master_row = master_->FindRow(columns, texts);
    if (master_row < 0) throw EmySQLException(DBIERR_RECNOTFOUND);
    master_->MoveToRow(master_row);
    master_->AfterMove(false);
    master_->nav_.SetState(TPositionState::OnRecord);
  }
}

TNativeDataSet* TNativeDataSet::CloneCursor() {
  auto clone = std::make_unique<TNativeDataSet>(connection_, table_name_, index_name_, -1, 0);
  clone->Open();
  clone->master_ = this;
  return clone.release();
}

void TNativeDataSet::SetToCursor(TNativeDataSet* source) {
  if (!source) throw EmySQLException(DBIERR_INVALIDHNDL);
  if (source->master_) return;
  std::uint8_t bookmark[kBookmarkSize];
  source->GetBookmark(bookmark);
  SetToBookmark(bookmark);
}

void TNativeDataSet::ReadBlock(int& count, std::uint8_t* buffer) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  const int requested = count;
  const std::uint32_t size = RecordSize();
  count = 0;
  for (int i = 0; i < requested; ++i) {
    GetNextRecord(0, nullptr, buffer + static_cast<size_t>(i) * size);
    ++count;
  }
}

bool TNativeDataSet::CanModify() {
  if (!statement_flag_) return !rtl::IsBlank(table_name_);
  if (!result_ || result_->ColumnCount() == 0) return false;
  std::string table;
  for (std::uint32_t i = 0; i < result_->ColumnCount(); ++i) {
    const wire::TMysqlColumn* col = result_->Column(static_cast<int>(i));
    if (!col || col->orgTable.empty()) return false;
    if (i == 0)
      table = col->orgTable;
    else if (!rtl::SameText(table, col->orgTable))
      return false;
  }
  // Modifiable when a row can be found again by a key.
  try {
    return descriptors_.KeyIndex() != nullptr;
  } catch (const EmySQLException&) {
    return false;
  }
}

}  // namespace engine
