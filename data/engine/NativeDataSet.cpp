#include "engine/NativeDataSet.h"

#include <algorithm>
#include <cstring>

#include "EngineMonitor.h"
#include "RecordCodec.h"
#include "ValueRender.h"
#include "engine/EngineErrors.h"
#include "engine/NativeConnect.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace engine {

namespace {

std::string Cut260(const std::string& s) {
  return s.size() > 260 ? s.substr(0, 260) : s;
}

std::function<void()>& ProcessMessagesHookSlot() {
  static std::function<void()> hook;
  return hook;
}

}  // namespace

void SetProcessMessagesHook(std::function<void()> hook) {
  ProcessMessagesHookSlot() = std::move(hook);
}

void ProcessMessages() {
  auto& hook = ProcessMessagesHookSlot();
  if (hook) hook();
}

// --- creation -------------------------------------------------------------------

TNativeDataSet::TNativeDataSet(TNativeConnect* connection, const std::string& table_name,
                               const std::string& index_name, int row_limit, int row_offset)
    : table_name_(Cut260(table_name)),
      index_name_(Cut260(index_name)),
      connection_(connection),
      row_limit_(row_limit),
      row_offset_(row_offset) {
  if (connection_) {
    open_cursor_list_ = &connection_->OpenCursors();
    open_cursor_list_->Add(this);
  }
}

TNativeDataSet::TNativeDataSet(TNativeConnect* connection) : connection_(connection) {}

TNativeDataSet::~TNativeDataSet() {
  result_.reset();
  open_ = false;
  Unregister();
}

void TNativeDataSet::Unregister() {
  if (open_cursor_list_) {
    open_cursor_list_->Remove(this);
    open_cursor_list_ = nullptr;
  }
}

// --- statement text ---------------------------------------------------------------

std::string TNativeDataSet::AssembleStatement() const {
  if (!statement_text_.empty()) return statement_text_;
  std::string sql;
  for (const auto* lines : {&select_lines_, &range_lines_, &order_lines_, &limit_lines_})
    for (const auto& line : *lines) sql += line + " ";
  return sql;
}

void TNativeDataSet::PrepareStatement(const std::string& sql) {
  statement_text_ = sql;
  statement_flag_ = true;
  MonitorPrepare(connection_, sql);
}

void TNativeDataSet::SetStatementParameters(const std::vector<TEngineParam>& params,
                                            const std::string& sql) {
  statement_text_ = SubstituteParameters(sql, params, NoBackslashEscapes(connection_));
}

bool TNativeDataSet::TakeJustExecuted() {
  bool r = !open_ || just_executed_;
  just_executed_ = false;
  return r;
}

std::string TNativeDataSet::ColumnOrigin(const std::string& column_name) {
  if (!result_) return column_name;
  const wire::TMysqlColumn* col = result_->ColumnByName(column_name, true);
  if (!col) return column_name;
  std::string name = col->orgName.empty() ? col->name : col->orgName;
  return col->orgTable.empty() ? name : col->orgTable + "." + name;
}

// --- executing --------------------------------------------------------------------

void TNativeDataSet::Execute() {
  if (statement_text_.empty() && select_lines_.empty()) throw EmySQLException(DBIERR_QRYEMPTY);
  if (!connection_) throw EmySQLException(DBIERR_INVALIDHNDL);
  const std::string sql = AssembleStatement();
  wire::TMysqlClient& client = connection_->Client();
  result_.reset();
  open_ = false;
  nav_.SetOrder({});

  bool ok = false;
  std::unique_ptr<wire::TMysqlResult> reply = client.Query(sql, true, ok);
  std::unique_ptr<wire::TMysqlResult> kept;
  int number = 0;
  while (ok) {
    if (reply) {
      if (number == result_set_no_) kept = std::move(reply);
      ++number;
    }
    if (!client.MoreResults()) {
      result_set_count_ = number;
      break;
    }
    reply.reset();
    reply = client.NextResult(true, ok);
  }
  reply.reset();
  if (!ok) {
    while (client.MoreResults()) client.NextResult(true, ok).reset();
    ok = false;
  }
  just_executed_ = true;
  MonitorExecute(connection_, statement_flag_ ? sql : table_name_, ok);
  if (ok && kept) {
    result_ = std::move(kept);
    open_ = true;
    return;
  }
  if (client.ErrorNumber() != 0) throw EmySQLException(connection_);
}

void TNativeDataSet::Close() {
  result_.reset();
  open_ = false;
  affected_rows_ = 0;
  nav_.SetOrder({});
  Unregister();
}

void TNativeDataSet::Reexecute() {
  result_.reset();
  open_ = false;
  Execute();
  ApplySort();
}

void TNativeDataSet::Open() {
  if (open_) Close();
  if (statement_flag_ || !statement_text_.empty() || first_open_done_) {
    Execute();
    if (!order_index_) {
      try {
        if (descriptors_.PrimaryIndex()) {
          LoadCurrentIndex(descriptors_.PrimaryIndex());
        } else {
          DiscoverIndexes();
          if (descriptors_.Found().Count() > 0) LoadCurrentIndex(1);
        }
      } catch (const EmySQLException&) {
        // A statement without a usable table simply has no current index.
      }
    }
    ApplySort();
    return;
  }
  OpenTableFirst();
}

void TNativeDataSet::OpenTableFirst() {
  const std::int32_t version = connection_ ? connection_->ServerVersion() : 0;
  select_lines_ = {
      rtl::Format(version < kBackquoteVersion ? "Select * from %s" : "Select * from `%s`",
                  table_name_.c_str())};
  limit_lines_ = {"limit 0"};
  Execute();
  limit_lines_.clear();
  first_open_done_ = true;
  if (row_limit_ >= 0 || row_offset_ > 0) {
    // Without a limit the offset still needs a row count: the largest one.
    std::string limit = row_limit_ >= 0 ? std::to_string(row_limit_) : "18446744073709551615";
    limit_lines_ = {"limit " + std::to_string(row_offset_) + ", " + limit};
  }
  DiscoverIndexes();
  if (descriptors_.Found().Count() == 0) {
    Execute();
  } else {
    if (!descriptors_.PrimaryIndex()) descriptors_.SetPrimaryIndex(1);
    SwitchToIndex(index_name_.c_str(), nullptr, descriptors_.PrimaryIndex());
  }
  ApplySort();
}

void TNativeDataSet::ExecuteCommand() {
  if (open_) Close();
  affected_rows_ = 0;
  result_.reset();
  if (!connection_ || !connection_->Connected()) return;
  wire::TMysqlClient& client = connection_->Client();
  bool ok = false;
  client.Query(statement_text_, true, ok).reset();
  while (client.MoreResults()) {
    bool more_ok = false;
    client.NextResult(true, more_ok).reset();
  }
  MonitorExecute(connection_, statement_text_, ok);
  if (ok) affected_rows_ = static_cast<std::int32_t>(client.AffectedRows());
  if (client.ErrorNumber() != 0) throw EmySQLException(connection_);
  statement_text_.clear();
}

// --- positioning ----------------------------------------------------------------------

std::int64_t TNativeDataSet::RowCount() const {
  return result_ ? static_cast<std::int64_t>(result_->RowCount()) : 0;
}

std::int64_t TNativeDataSet::CurrentRow() const {
  return result_ ? nav_.Position() : -1;
}

TRecordCodec TNativeDataSet::Codec() {
  return TRecordCodec(descriptors_.Described(), descriptors_.ColumnTypes(), DataSize());
}

void TNativeDataSet::ReadRowIntoBuffer(std::uint8_t* buffer) {
  FieldCount();
  Codec().ReadRow(*result_, nav_.Position(), buffer);
}

// --- fields ------------------------------------------------------------------------------

void TNativeDataSet::GetField(int field_no, const std::uint8_t* buffer, void* value,
                              bool& is_null) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  const int columns = result_ ? static_cast<int>(result_->ColumnCount()) : FieldCount();
  if (field_no <= 0 || field_no > std::max(columns, FieldCount()))
    throw EmySQLException(DBIERR_INVALIDRECSTRUCT);
  const TmySQLField& f = Fields().Field(field_no);
  Codec().Get(f, buffer, value, is_null);
}

void TNativeDataSet::PutField(int field_no, std::uint8_t* buffer, const void* value) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  const TmySQLField& f = Fields().Field(field_no);
  Codec().Put(f, buffer, value);
}

void TNativeDataSet::InitRecord(std::uint8_t* buffer) {
  if (!buffer) throw EmySQLException(DBIERR_INVALIDPARAM);
  const std::uint32_t size = RecordSize();
  Codec().Clear(buffer, size);
  nav_.SetBuffer(buffer);
}

// --- properties ------------------------------------------------------------------------

void TNativeDataSet::GetProperty(std::uint32_t id, void* value, std::uint32_t size,
                                 std::uint32_t& length) {
  length = 0;
  switch (id & 0xFFFF) {
    case propVersion: {
      std::int16_t v = 23;
      if (value) std::memcpy(value, &v, 2);
      length = 2;
      break;
    }
    case propZero: {
      std::int32_t v = 0;
      if (value) std::memcpy(value, &v, 4);
      length = 4;
      break;
    }
    case propFieldCount: {
      std::int32_t v = FieldCount();
      if (value) std::memcpy(value, &v, std::min<std::uint32_t>(size, 4));
      length = size;
      break;
    }
    case propAffectedRows:
      if (value) std::memcpy(value, &affected_rows_, 4);
      length = 4;
      break;
    case propNoRefresh: {
      std::uint8_t v = no_refresh_ ? 1 : 0;
      if (value) std::memcpy(value, &v, 1);
      length = 1;
      break;
    }
    default:
      break;
  }
}

void TNativeDataSet::SetProperty(std::uint32_t id, std::int64_t value) {
  switch (id & 0xFFFF) {
    case propMarkModified:
      nav_.SetState(TPositionState::AfterModification);
      break;
    case propNoRefresh:
      no_refresh_ = value == 1;
      break;
    case propReadOnly:
      read_only_ = value != 0 ? 1 : 0;
      break;
    default:
      break;
  }
}

void TNativeDataSet::GetCursorProperties(CursorProperties& props) {
  std::memset(&props, 0, sizeof props);
  const int n = FieldCount();
  std::strncpy(props.szName, table_name_.c_str(), 260);
  props.iFields = static_cast<std::uint16_t>(n);
  props.iRecSize = DataSize();
  props.iRecBufSize = DataSize() + 8u * n + 9u;
  if (!statement_flag_) {
    try {
      DiscoverIndexes();
    } catch (const EmySQLException&) {
      // Without the index list the cursor still works; it reports no index.
    }
    props.iIndexes = static_cast<std::uint16_t>(descriptors_.Found().Count());
    props.iKeySize = current_index_.iKeyLen;
  }
  props.iValChecks = static_cast<std::uint16_t>(n);
  props.iBookMarkSize = kBookmarkSize;
  props.bBookMarkStable = 0;
  props.eOpenMode = static_cast<std::uint32_t>(read_only_);
  props.iSeqNums = 1;
  props.bSoftDeletes = 0;
  props.exltMode = 0;
  props.bUniDirectional = -1;
  props.eprvRights = 255;
  props.iFilters = static_cast<std::uint16_t>(filters_.size());
}

void TNativeDataSet::GetFieldDescriptors(FieldDescriptor* descriptors) {
  if (!descriptors) throw EmySQLException(DBIERR_INVALIDPARAM);
  const int n = FieldCount();
  for (int k = 0; k < n; ++k) descriptors[k] = descriptors_.Described()[k].Descriptor();
}

void TNativeDataSet::GetValidityDescriptor(int field_no, ValidityDescriptor& descriptor) {
  descriptor = Fields().Field(field_no).Validity();
}

void TNativeDataSet::GetIndexDescriptor(int index_no, IndexDescriptor& descriptor) {
  if (statement_flag_) throw EmySQLException(DBIERR_NOASSOCINDEX);
  DiscoverIndexes();
  if (descriptors_.Found().Count() == 0) throw EmySQLException(DBIERR_NOASSOCINDEX);
  if (index_no == 0) {
    if (order_index_)
      index_no = order_index_;
    else if (!enumerating_indexes_)
      index_no = 1;
  }
  TmySQLIndex* index = descriptors_.Found().Index(index_no);
  if (!index) throw EmySQLException(DBIERR_NOSUCHINDEX);
  std::memset(&descriptor, 0, sizeof descriptor);
  descriptor = index->Descriptor();
}

void TNativeDataSet::GetIndexDescriptors(IndexDescriptor* descriptors) {
  if (!descriptors) throw EmySQLException(DBIERR_INVALIDPARAM);
  CursorProperties props;
  GetCursorProperties(props);
  enumerating_indexes_ = true;
  rtl::ScopeExit restore([&] { enumerating_indexes_ = false; });
  for (int i = 1; i <= props.iIndexes; ++i) GetIndexDescriptor(i, descriptors[i - 1]);
}

void TNativeDataSet::LoadCurrentIndex(int index_no) {
  GetIndexDescriptor(index_no, current_index_);
}

}  // namespace engine
