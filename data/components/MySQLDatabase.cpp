// The connection component: settings and parameter list, connect and
// disconnect, holds by datasets, direct execution and transactions.
#include "components/MySQLDatabase.h"

#include <algorithm>

#include "components/MySQLDataSet.h"
#include "db/Consts.h"
#include "db/DBError.h"
#include "engine/NativeConnect.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"

namespace components {

namespace {

TLoginDialog& LoginDialogHook() {
  static TLoginDialog dialog;
  return dialog;
}

// FNV-1a over the upper-cased text, so that texts equal but for case share
// a hash (the cache compares them case-insensitively).
std::uint32_t StatementHash(const std::string& sql) {
  std::uint32_t h = 2166136261u;
  for (char c : sql) {
    h ^= static_cast<unsigned char>(rtl::AnsiUpperChar(c));
    h *= 16777619u;
  }
  return h;
}

}  // namespace

void SetLoginDialog(TLoginDialog dialog) {
  LoginDialogHook() = std::move(dialog);
}

std::vector<engine::TEngineParam> EngineParams(const db::TParams& params) {
  using P = engine::TEngineParam;
  std::vector<P> out;
  out.reserve(params.Count());
  for (int i = 0; i < params.Count(); ++i) {
    const db::TParam& p = params[i];
    P e;
    e.name = p.Name();
    if (p.IsNull()) {
      e.kind = P::Null;
    } else {
      db::TFieldType type = p.DataType();
      if (type == db::ftUnknown) {
        const rtl::Variant& v = p.Value();
        if (v.VarType() == rtl::varBoolean)
          type = db::ftBoolean;
        else if (v.IsInteger())
          type = db::ftLargeint;
        else if (v.VarType() == rtl::varDate)
          type = db::ftDateTime;
        else if (v.IsFloat())
          type = db::ftFloat;
        else
          type = db::ftString;
      }
      switch (type) {
        case db::ftSmallint:
        case db::ftInteger:
        case db::ftWord:
        case db::ftAutoInc:
        case db::ftLargeint:
          e.kind = P::Integer;
          e.int_value = p.AsLargeInt();
          break;
        case db::ftFloat:
        case db::ftCurrency:
        case db::ftBCD:
        case db::ftFMTBcd:
          e.kind = P::Float;
          e.float_value = p.AsFloat();
          break;
        case db::ftDate:
        case db::ftTime:
        case db::ftDateTime:
        case db::ftTimeStamp:
          e.kind = P::Date;
          e.float_value = p.AsDateTime();
          e.date_kind = type == db::ftDate   ? P::AsDate
                        : type == db::ftTime ? P::AsTime
                                             : P::AsDateTime;
          break;
        case db::ftBoolean:
          e.kind = P::Boolean;
          e.bool_value = p.AsBoolean();
          break;
        default:
          e.kind = P::Text;
          e.text = p.AsString();
          break;
      }
    }
    out.push_back(std::move(e));
  }
  return out;
}

TmySQLDatabase::TmySQLDatabase(db::TComponent* owner) : db::TComponent(owner) {
  params_.SetOnChanging([this](rtl::TObject*) { ParamsChanging(); });
  SetPort(3306);
  SetConnectionTimeout(30);
}

TmySQLDatabase::~TmySQLDatabase() {
  Destroying_();
  try {
    SetConnected(false);
  } catch (...) {
    // A destructor must not throw; closing never raises for engine failures.
  }
  for (TmySQLDataSet* ds : std::vector<TmySQLDataSet*>(bound_)) ds->DatabaseGone(this);
  bound_.clear();
  clients_.clear();
  engine_.reset();
  params_.SetOnChanging(nullptr);
}

// --- settings ------------------------------------------------------------------

void TmySQLDatabase::CheckInactive() {
  if (!Connected()) return;
  if (Designing()) {
    Close();
    return;
  }
  db::DatabaseError(db::msg::kDatabaseOpen, this);
}

void TmySQLDatabase::ParamsChanging() {
  CheckInactive();
}

void TmySQLDatabase::WriteParam(const char* name, const std::string& value) {
  params_.SetValues(name, value);
}

void TmySQLDatabase::SetDatabaseName(const std::string& value) {
  if (value == database_name_) return;
  CheckInactive();
  database_name_ = value;
  WriteParam("DatabaseName", value);
}

void TmySQLDatabase::SetUserName(const std::string& value) {
  if (value == user_name_) return;
  CheckInactive();
  user_name_ = value;
  WriteParam("UID", value);
}

void TmySQLDatabase::SetUserPassword(const std::string& value) {
  if (value == user_password_) return;
  CheckInactive();
  user_password_ = value;
  WriteParam("PWD", value);
}

void TmySQLDatabase::SetHost(const std::string& value) {
  if (value == host_) return;
  CheckInactive();
  host_ = value;
  WriteParam("Host", value);
}

void TmySQLDatabase::SetPort(std::uint32_t value) {
  if (value == port_) return;
  CheckInactive();
  port_ = value;
  WriteParam("Port", rtl::IntToStr(value));
}

void TmySQLDatabase::SetConnectionTimeout(std::uint32_t value) {
  if (value == connection_timeout_) return;
  CheckInactive();
  connection_timeout_ = value;
  WriteParam("TIMEOUT", rtl::IntToStr(value));
}

void TmySQLDatabase::SetParams(const rtl::TStrings& value) {
  CheckInactive();
  params_.Assign(value);
}

void TmySQLDatabase::SetReadOnly(bool value) {
  if (value == read_only_) return;
  CheckInactive();
  read_only_ = value;
}

bool TmySQLDatabase::NoBackslashEscapes() const {
  return handle_ && handle_->Client().NoBackslashEscapes();
}

// --- connecting ----------------------------------------------------------------

void TmySQLDatabase::SetConnected(bool value) {
  if (Loading()) {
    streamed_connected_ = value;
    return;
  }
  if (value == Connected()) return;
  if (value) {
    if (BeforeConnect) BeforeConnect(*this);
    DoConnect();
    SendConnectEvent(true);
    if (AfterConnect) AfterConnect(*this);
  } else {
    if (BeforeDisconnect) BeforeDisconnect(*this);
    SendConnectEvent(false);
    DoDisconnect();
    if (AfterDisconnect) AfterDisconnect(*this);
  }
}

void TmySQLDatabase::SendConnectEvent(bool connecting) {
  for (TmySQLDataSet* ds : std::vector<TmySQLDataSet*>(clients_)) ds->ConnectChanged(connecting);
}

void TmySQLDatabase::CreateEngine() {
  if (engine_) return;
  try {
    engine_ = std::make_unique<engine::TmySQLEngine>();
  } catch (const std::bad_alloc&) {
    db::DatabaseError("Engine not initialized");
  }
  engine_->SetMultiThreaded(multi_threaded_);
  engine_->SetSSLKey(ssl_key_);
  engine_->SetSSLCert(ssl_cert_);
  engine_->SetTLSOptions(tls_options_);
  engine_->SetOldPasswords(old_passwords_);
}

engine::TNativeConnect* TmySQLDatabase::Handle() {
  if (!Connected()) Open();
  return handle_;
}

void TmySQLDatabase::DoConnect() {
  if (handle_) return;
  CreateEngine();
  // Whatever happens from the login on, the connect decides the code page of
  // this connection's conversions, and the last connect anywhere the
  // process-wide value.
  struct CodePageGuard {
    TmySQLDatabase& db;
    ~CodePageGuard() {
      int code_page = 0;
      if (db.handle_ && db.engine_->GetServerCharacterSet(db.handle_, code_page) != 0)
        code_page = 0;
      db.engine_->SetConnectionCodePage(code_page);
      engine::SetServerCodePage(code_page);
    }
  } guard{*this};

  if (login_prompt_) {
    rtl::TStringList login;
    if (OnLogin) {
      OnLogin(*this, login);
    } else {
      std::string user = login.Values("UID");
      std::string password;
      const TLoginDialog& dialog = LoginDialogHook();
      if (!dialog || !dialog(database_name_, user, password))
        db::DatabaseError(rtl::Format("Cannot connect to database '%s'", database_name_.c_str()));
      login.SetValues("UID", user);
      login.SetValues("PWD", password);
    }
    params_.SetValues("UID", login.Values("UID"));
    params_.SetValues("PWD", login.Values("PWD"));
  }

  std::vector<std::string> params;
  params.reserve(params_.Count());
  for (int i = 0; i < params_.Count(); ++i) params.push_back(params_.Strings(i));
  engine_->SetSSLKey(ssl_key_);
  engine_->SetSSLCert(ssl_cert_);
  engine_->SetTLSOptions(tls_options_);
  engine_->SetOldPasswords(old_passwords_);

  engine::TNativeConnect* connection = nullptr;
  engine::DBIResult rc = engine_->OpenDatabase(connect_options_, params, connection);
  if (rc != engine::DBIERR_NONE) {
    if (OnConnectionFailure) {
      OnConnectionFailure(*this, engine_->ErrorMessageFor(rc));
      return;
    }
    engine_->Check(rc);
  }
  handle_ = connection;
}

void TmySQLDatabase::DoDisconnect() {
  if (!handle_) return;
  ClearStatements();
  // Closing a dataset may unregister it; walk a copy, last registered first.
  std::vector<TmySQLDataSet*> clients(clients_);
  for (auto it = clients.rbegin(); it != clients.rend(); ++it) {
    if (std::find(clients_.begin(), clients_.end(), *it) != clients_.end()) (*it)->Disconnect();
  }
  engine_->CloseDatabase(handle_);
  handle_ = nullptr;
  hold_count_ = 0;
}

void TmySQLDatabase::Loaded() {
  db::TComponent::Loaded();
  if (streamed_connected_) {
    streamed_connected_ = false;
    try {
      SetConnected(true);
    } catch (const std::exception& e) {
      if (!Designing()) throw;
      db::ShowException(e);
    }
  } else {
    CreateEngine();
  }
}

void TmySQLDatabase::Notification(db::TComponent* component, db::TOperation operation) {
  db::TComponent::Notification(component, operation);
}

// --- holds and clients ------------------------------------------------------------

void TmySQLDatabase::RegisterClient(TmySQLDataSet* dataset) {
  if (std::find(clients_.begin(), clients_.end(), dataset) == clients_.end())
    clients_.push_back(dataset);
}

void TmySQLDatabase::UnRegisterClient(TmySQLDataSet* dataset) {
  clients_.erase(std::remove(clients_.begin(), clients_.end(), dataset), clients_.end());
}

void TmySQLDatabase::AttachDataSet(TmySQLDataSet* dataset) {
  if (std::find(bound_.begin(), bound_.end(), dataset) == bound_.end()) bound_.push_back(dataset);
}

void TmySQLDatabase::DetachDataSet(TmySQLDataSet* dataset) {
  bound_.erase(std::remove(bound_.begin(), bound_.end(), dataset), bound_.end());
}

void TmySQLDatabase::AcquireHold(TmySQLDataSet* dataset) {
  Open();
  ++hold_count_;
  RegisterClient(dataset);
}

void TmySQLDatabase::ReleaseHold(TmySQLDataSet* dataset) {
  UnRegisterClient(dataset);
  if (hold_count_ > 0) --hold_count_;
  if (hold_count_ == 0 && !keep_connection_) Close();
}

// --- statements and transactions -----------------------------------------------------

TStmtInfo* TmySQLDatabase::FindStatement(const std::string& sql, std::uint32_t hash) {
  for (TStmtInfo& info : statements_)
    if (info.hash == hash && rtl::SameText(info.sql, sql)) return &info;
  return nullptr;
}

std::int32_t TmySQLDatabase::Execute(const std::string& sql, const db::TParams* params,
                                     bool cache) {
  Open();
  engine::TmySQLEngine& eng = *engine_;
  if (params && params->Count() > 0) {
    const std::uint32_t hash = StatementHash(sql);
    TStmtInfo* info = cache ? FindStatement(sql, hash) : nullptr;
    engine::TNativeDataSet* stmt = info ? info->stmt : nullptr;
    // A statement the cache does not keep is freed however the execution ends.
    bool kept = stmt != nullptr;
    rtl::ScopeExit release([&] {
      if (stmt && !kept) eng.FreeStatement(stmt);
    });
    if (!stmt) {
      eng.Check(eng.AllocateStatement(handle_, stmt));
      eng.Check(eng.PrepareStatement(stmt, sql));
      if (cache) {
        if (!info) {
          statements_.push_back(TStmtInfo{hash, nullptr, sql});
          info = &statements_.back();
        }
        info->stmt = stmt;
        kept = true;
      }
    }
    std::int32_t affected = 0;
    eng.Check(eng.SetStatementParameters(stmt, EngineParams(*params), sql));
    eng.Check(eng.ExecuteStatement(stmt));
    std::uint32_t length = 0;
    eng.Check(eng.GetProperty(stmt, engine::stmtpropAffectedRows, &affected, 4, length));
    return affected;
  }
  std::uint64_t affected = 0;
  eng.Check(eng.ExecuteDirect(handle_, sql, &affected));
  return static_cast<std::int32_t>(affected);
}

void TmySQLDatabase::StartTransaction() {
  if (!Connected()) db::DatabaseError(db::msg::kDatabaseClosed);
  engine::TNativeConnect* transaction = nullptr;
  engine_->Check(engine_->BeginTransaction(handle_, trans_isolation_, transaction));
}

void TmySQLDatabase::FinishTransaction(int end_mode) {
  Engine().Check(engine_->EndTransaction(handle_, handle_, end_mode));
}

bool TmySQLDatabase::InTransaction() {
  if (!Connected()) return false;
  engine::TransactionInfo info{};
  if (engine_->GetTransactionInfo(handle_, handle_, info) != engine::DBIERR_NONE) return false;
  return info.eXState == 1;
}

void TmySQLDatabase::ClearStatements() {
  for (TStmtInfo& info : statements_)
    if (info.stmt && engine_) engine_->FreeStatement(info.stmt);
  statements_.clear();
}

}  // namespace components
