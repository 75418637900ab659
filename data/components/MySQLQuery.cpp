// The query component: statement text and parameters, preparing, opening,
// executing and the master link.
#include "components/MySQLQuery.h"

#include <cstring>

#include "db/Consts.h"
#include "engine/EngineErrors.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace components {

namespace {

constexpr const char* kNoSQLStatement = "No SQL statement available";

void CutAt(std::string& line, const char* mark) {
  const std::size_t at = line.find(mark);
  if (at != std::string::npos) line.erase(at);
}

}  // namespace

namespace {

// True when every line break of `text` is CR LF and the text ends with one
// (or is empty): splitting it into lines and joining them again with CR LF
// gives the same text.
bool JoinedWithCrLf(const std::string& text) {
  const std::size_t n = text.size();
  if (n == 0) return true;
  if (n < 2 || text[n - 2] != '\r' || text[n - 1] != '\n') return false;
  // Every CR is followed by LF and every LF follows a CR. memchr finds the
  // few line breaks of a statement without looking at each byte in turn.
  const char* const begin = text.data();
  const char* const end = begin + n;
  auto next = [end](const char* from, char c) {
    return static_cast<const char*>(std::memchr(from, c, static_cast<std::size_t>(end - from)));
  };
  for (const char* p = next(begin, '\r'); p; p = next(p + 2, '\r'))
    if (p + 1 == end || p[1] != '\n') return false;
  for (const char* p = next(begin, '\n'); p; p = next(p + 1, '\n'))
    if (p == begin || p[-1] != '\r') return false;
  return true;
}

}  // namespace

std::string RemoveComments(const std::string& text, TmySQLQueryProcessComments options) {
  // Nothing to remove and the lines already joined as below: the text itself.
  if (options.Empty() && JoinedWithCrLf(text)) return text;
  std::string s = text;
  if (options.Contains(qpcSlashAsterisk)) {
    const std::size_t open = s.find("/*");
    if (open != std::string::npos && !(open + 2 < s.size() && s[open + 2] == '!')) {
      // 1-based positions as the rule is stated: delete (close + 2 - open)
      // characters from the opening mark, where close is the first "*/" of
      // the whole text (0 when there is none).
      const std::size_t close_at = s.find("*/");
      const long long close =
          close_at == std::string::npos ? 0 : static_cast<long long>(close_at) + 1;
      const long long p = static_cast<long long>(open) + 1;
      const long long count = close + 2 - p;
      if (count > 0) s.erase(open, static_cast<std::size_t>(count));
    }
  }
  rtl::TStringList lines;
  lines.SetText(s);
  std::string out;
  for (int i = 0; i < lines.Count(); ++i) {
    std::string line = lines.Strings(i);
    if (options.Contains(qpcMinusMinus)) CutAt(line, "-- ");
    if (options.Contains(qpcSharp)) CutAt(line, "#");
    out += line;
    out += "\r\n";
  }
  return out;
}

// --- the master link ------------------------------------------------------------------

db::TDataSet* TmySQLQueryDataLink::DetailDataSet() const {
  return query_;
}

void TmySQLQueryDataLink::ActiveChanged() {
  if (query_->Active()) query_->RefreshParams();
}

void TmySQLQueryDataLink::RecordChanged(db::TField* field) {
  if (field == nullptr && query_->Active()) query_->RefreshParams();
}

void TmySQLQueryDataLink::CheckBrowseMode() {
  if (query_->Active()) query_->CheckBrowseMode();
}

// --- lifetime and properties ------------------------------------------------------------

TmySQLQuery::TmySQLQuery(db::TComponent* owner) : TmySQLDataSet(owner), params_(this), link_(this) {
  sql_.SetOnChange([this](rtl::TObject*) { QueryChanged(); });
}

TmySQLQuery::~TmySQLQuery() {
  Destroying_();
  try {
    Disconnect();
  } catch (...) {
    // A destructor must not throw; the engine frees the statement anyway.
  }
  sql_.SetOnChange(nullptr);
  link_.SetDataSource(nullptr);
}

engine::TmySQLEngine& TmySQLQuery::Engine() {
  return TmySQLDataSet::Engine();
}

void TmySQLQuery::SetSQL(const rtl::TStrings& value) {
  if (sql_.Text() == value.Text()) return;
  Disconnect();
  sql_.Assign(value);
}

void TmySQLQuery::SetParams(const db::TParams& value) {
  params_.AssignValues(value);
}

void TmySQLQuery::SetDataSource(db::TDataSource* value) {
  if (value && IsLinkedTo(value)) db::DatabaseError(db::msg::kCircularDataLink, this);
  link_.SetDataSource(value);
}

void TmySQLQuery::SetMultiResultsetNo(int value) {
  if (value == MultiResultsetNo()) return;
  const bool was_active = Active();
  if (was_active) Close();
  if (value < 0) return;
  SetMultiResultsetNoValue(value);
  if (was_active) Open();
}

void TmySQLQuery::SetProcessComments(TmySQLQueryProcessComments value) {
  process_comments_ = value;
  QueryChanged();
}

void TmySQLQuery::Loaded() {
  // While loading the text was only parsed; the parameters are created now,
  // before a stored Active opens the query.
  if (param_check_) {
    db::TParams list(this);
    processed_ = list.ParseSQL(RemoveComments(sql_.Text(), process_comments_), true);
    list.AssignValues(params_);
    params_ = list;
  }
  TmySQLDataSet::Loaded();
}

void TmySQLQuery::QueryChanged() {
  const std::string text = RemoveComments(sql_.Text(), process_comments_);
  if (Loading()) {
    db::TParams scratch;
    processed_ = scratch.ParseSQL(text, false);
    return;
  }
  Disconnect();
  if (param_check_ || Designing()) {
    db::TParams list(this);
    processed_ = list.ParseSQL(text, true);
    list.AssignValues(params_);
    params_ = list;
  } else {
    processed_ = text;
  }
  DataEvent(db::dePropertyChange, 0);
}

// --- preparing ------------------------------------------------------------------------------

void TmySQLQuery::Prepare() {
  SetHoldReason(hrPrepared, true);
  SetPrepared(true);
}

void TmySQLQuery::UnPrepare() {
  SetPrepared(false);
  SetHoldReason(hrPrepared, false);
}

void TmySQLQuery::SetPrepared(bool value) {
  if (value) {
    if (Handle()) db::DatabaseError(db::msg::kDataSetOpen, this);
    if (prepared_) return;
    affected_rows_ = -1;
    rows_pending_ = true;
    if (processed_.size() < 2) db::DatabaseError(kNoSQLStatement, this);
    PrepareText(processed_);
    Engine().SetBoolProperty(stmt_, engine::stmtpropUniDirectional, uni_directional_ ? 1 : 0);
    prepared_ = true;
  } else {
    if (!prepared_) return;
    if (rows_pending_) affected_rows_ = AffectedRowCount();
    prepared_ = false;
  }
}

void TmySQLQuery::PrepareText(const std::string& text) {
  if (!Database())
    db::DatabaseError(rtl::Format("(%s) property Database is not set!", Name().c_str()));
  engine::TNativeConnect* connection = Database()->Handle();
  engine::TmySQLEngine& eng = Engine();
  engine::TNativeDataSet* stmt = nullptr;
  eng.Check(eng.AllocateStatement(connection, stmt));
  stmt_ = stmt;
  stmt_->SetResultSetNumber(MultiResultsetNo());
  engine::DBIResult rc = eng.PrepareStatement(stmt_, text);
  if (rc != engine::DBIERR_NONE) {
    eng.CloseCursor(stmt_);
    stmt_ = nullptr;
    eng.Check(rc);
  }
}

std::int32_t TmySQLQuery::AffectedRowCount() {
  if (!prepared_) return affected_rows_;
  if (!stmt_) return -1;
  std::int32_t rows = 0;
  std::uint32_t length = 0;
  if (Engine().GetProperty(stmt_, engine::stmtpropAffectedRows, &rows, 4, length) !=
      engine::DBIERR_NONE)
    return -1;
  return rows;
}

bool TmySQLQuery::SetHoldReason(int reason, bool on) {
  if (!on && reason >= 0 && reason <= 15 && HoldReason(reason)) {
    bool others = false;
    for (int r = 0; r <= 15; ++r)
      if (r != reason && HoldReason(r)) others = true;
    if (!others) SetPrepared(false);
  }
  return TmySQLDataSet::SetHoldReason(reason, on);
}

void TmySQLQuery::Disconnect() {
  Close();
  SetPrepared(false);
  if (stmt_ && Database()) {
    Engine().CloseCursor(stmt_);
    stmt_ = nullptr;
  }
  SetHoldReason(hrPrepared, false);
}

// --- the cursor -----------------------------------------------------------------------------

engine::TNativeDataSet* TmySQLQuery::CreateCursorHandle(bool want_cursor) {
  if (sql_.Count() == 0) db::DatabaseError(kNoSQLStatement, this);
  executing_without_result_ = !want_cursor;
  {
    rtl::ScopeExit restore([&] { executing_without_result_ = false; });
    SetPrepared(true);
  }
  if (DataSource()) SetParamsFromMaster();
  engine::TmySQLEngine& eng = Engine();
  if (params_.Count() > 0)
    eng.Check(eng.SetStatementParameters(stmt_, EngineParams(params_), sql_.Text()));
  engine::TNativeDataSet* result = nullptr;
  if (want_cursor)
    eng.Check(eng.ExecuteStatement(stmt_, &result));
  else
    eng.Check(eng.ExecuteStatement(stmt_));
  stmt_->SetFieldNameEvent(OnGetSQLFldName);
  if (request_live_ && !OnUpdateRecord && !UpdateObject() && want_cursor && result)
    eng.SetBoolProperty(stmt_, engine::stmtpropReadOnly, stmt_->CanModify() ? 0 : 1);
  rows_pending_ = result == nullptr;
  return result;
}

void TmySQLQuery::DestroyCursorHandle() {
  if (Handle() == stmt_) stmt_ = nullptr;
  TmySQLDataSet::DestroyCursorHandle();
}

void TmySQLQuery::CloseCursor() {
  TmySQLDataSet::CloseCursor();
  // A text without rows leaves its statement behind: read its affected rows,
  // then free it, so that the next Open or Execute prepares afresh.
  SetPrepared(false);
  if (stmt_ && Database()) {
    Engine().CloseCursor(stmt_);
    stmt_ = nullptr;
  }
}

bool TmySQLQuery::GetCanModify() {
  if (!TmySQLDataSet::GetCanModify()) return false;
  if (UpdateObject()) return true;
  return request_live_ && Handle() && Handle()->ResultSetCount() == 1;
}

void TmySQLQuery::Execute() {
  CheckInactive();
  if (!Database())
    db::DatabaseError(rtl::Format("(%s) property Database is not set!", Name().c_str()));
  SetHoldReason(hrExecuting, true);
  auto finish = [this] {
    // The statement goes before the hold: with KeepConnection false the
    // release closes the connection, which must not outlive its statements.
    SetPrepared(false);
    engine::DBIResult rc = engine::DBIERR_NONE;
    if (stmt_) {
      rc = Engine().CloseCursor(stmt_);
      stmt_ = nullptr;
    }
    SetHoldReason(hrExecuting, false);
    Engine().Check(rc);
  };
  rtl::ScopeExit close([&] { finish(); });
  CreateCursorHandle(false);
}

// --- the master link ----------------------------------------------------------------------

void TmySQLQuery::SetParamsFromMaster() {
  db::TDataSet* master = link_.DataSet();
  if (!master) return;
  master->FieldDefs().Update();
  for (int i = 0; i < params_.Count(); ++i) {
    db::TParam& param = params_[i];
    if (param.Bound()) continue;
    param.AssignField(master->FieldByName(param.Name()));
    param.SetBound(false);
  }
}

void TmySQLQuery::RefreshParams() {
  DisableControls();
  rtl::ScopeExit restore([&] { EnableControls(); });
  db::TDataSet* master = link_.DataSet();
  if (master && master->Active() && master->State() != db::dsSetKey) {
    if (Handle()) {
      engine::TmySQLEngine& eng = Engine();
      SetParamsFromMaster();
      eng.Check(eng.SetStatementParameters(Handle(), EngineParams(params_), sql_.Text()));
      engine::TNativeDataSet* result = nullptr;
      eng.Check(eng.ExecuteStatement(Handle(), &result));
      First();
    } else {
      Open();
    }
  }
}

void TmySQLQuery::GetDetailLinkFields(std::vector<db::TField*>& master,
                                      std::vector<db::TField*>& detail) {
  master.clear();
  detail.clear();
  db::TDataSet* m = link_.DataSet();
  if (!m) return;
  for (int i = 0; i < params_.Count(); ++i) {
    db::TField* mf = m->FindField(params_[i].Name());
    if (!mf) continue;
    master.push_back(mf);
    if (db::TField* df = FindField(params_[i].Name())) detail.push_back(df);
  }
}

// --- provider support ------------------------------------------------------------------------

void TmySQLQuery::PSSetParams(const db::TParams& params) {
  if (params.Count() > 0) params_.AssignValues(params);
  Close();
}

void TmySQLQuery::PSSetCommandText(const std::string& text) {
  if (!text.empty()) sql_.SetText(text);
}

std::string TmySQLQuery::PSGetTableName() {
  std::int32_t version = 0;
  if (Database() && Database()->Connected()) version = Database()->Handle()->ServerVersion();
  return engine::FindFromTable(sql_.Text(), version);
}

std::string TmySQLQuery::PSGetDefaultOrder() {
  const std::string text = rtl::UpperCase(processed_);
  const std::size_t at = text.find("ORDER BY");
  if (at == std::string::npos) return {};
  std::string order = rtl::Trim(processed_.substr(at + 8));
  std::string out;
  for (char c : order) {
    if (c == ';' || c == '\r' || c == '\n') break;
    out += c == ',' ? ';' : c;
  }
  return rtl::Trim(out);
}

}  // namespace components
