// TmySQLQuery: runs one SQL text on its connection component.
//
// Opened, a statement that returns rows becomes a navigable dataset (the
// engine statement is the cursor); executed, a statement that returns no
// rows is run and the query is closed and unprepared again. The text lives
// in SQL; every change of it strips the comments the ProcessComments set
// names, turns ":name" markers into "?" and re-creates Params (keeping the
// values of parameters whose names survive). A DataSource makes the query
// the detail of a master dataset whose fields fill unbound parameters.
//
// Ownership: the query owns its SQL list, parameters, data link and the
// engine statement while prepared. One thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "components/MySQLDataSet.h"
#include "db/DataSource.h"
#include "db/Params.h"
#include "rtl/Classes.h"

namespace components {

enum TmySQLQueryProcessComment { qpcMinusMinus, qpcSharp, qpcSlashAsterisk };
using TmySQLQueryProcessComments = db::Set<TmySQLQueryProcessComment>;

// Removes comments from a statement text as a query does before preparing
// it: the first /* ... */ (unless it is a /*! ... */), then every line from
// "-- " and, when asked, from "#". Quotes are not looked at. The result has
// every line ended by CR LF.
std::string RemoveComments(const std::string& text, TmySQLQueryProcessComments options);

class TmySQLQuery;

// The link by which a query follows its master's current record.
class TmySQLQueryDataLink : public db::TDetailDataLink {
 public:
  explicit TmySQLQueryDataLink(TmySQLQuery* query) : query_(query) {}
  db::TDataSet* DetailDataSet() const override;

 protected:
  void ActiveChanged() override;
  void CheckBrowseMode() override;
  void RecordChanged(db::TField* field) override;

 private:
  TmySQLQuery* query_;
};

class TmySQLQuery : public TmySQLDataSet {
 public:
  explicit TmySQLQuery(db::TComponent* owner = nullptr);
  ~TmySQLQuery() override;

  rtl::TStringList& SQL() { return sql_; }
  // Replaces the text when it differs: the query is closed and unprepared
  // first, and the text is changed in one step.
  void SetSQL(const rtl::TStrings& value);
  db::TParams& Params() { return params_; }
  // Copies values into the parameters of the same names only.
  void SetParams(const db::TParams& value);
  db::TParam& ParamByName(const std::string& name) { return params_.ParamByName(name); }
  bool ParamCheck() const { return param_check_; }
  void SetParamCheck(bool value) { param_check_ = value; }
  db::TDataSource* DataSource() const override { return link_.DataSource(); }
  void SetDataSource(db::TDataSource* value);
  bool RequestLive() const { return request_live_; }
  void SetRequestLive(bool value) { request_live_ = value; }
  bool UniDirectional() const { return uni_directional_; }
  void SetUniDirectional(bool value) { uni_directional_ = value; }
  void SetMultiResultsetNo(int value);
  TmySQLQueryProcessComments ProcessComments() const { return process_comments_; }
  void SetProcessComments(TmySQLQueryProcessComments value);
  // The text as it goes to the engine (comments removed, markers as "?").
  const std::string& Text() const { return processed_; }
  bool Prepared() const { return prepared_; }
  void Prepare();
  void UnPrepare();

  // Runs a statement that returns no rows.
  void Execute();
  void ExecSQL() { Execute(); }
  std::int32_t AffectedRowCount();
  std::int32_t RowsAffected() { return AffectedRowCount(); }

  engine::TmySQLEngine& Engine() override;
  void Disconnect() override;
  bool SetHoldReason(int reason, bool on) override;
  void GetDetailLinkFields(std::vector<db::TField*>& master,
                           std::vector<db::TField*>& detail) override;

  // Provider support.
  void PSExecute() override { Execute(); }
  db::TParams* PSGetParams() override { return &params_; }
  void PSSetParams(const db::TParams& params) override;
  void PSSetCommandText(const std::string& text) override;
  std::string PSGetTableName() override;
  std::string PSGetDefaultOrder() override;

 protected:
  engine::TNativeDataSet* CreateCursorHandle(bool want_cursor) override;
  void DestroyCursorHandle() override;
  void CloseCursor() override;
  bool GetCanModify() override;
  void Loaded() override;
  virtual void PrepareText(const std::string& text);

 private:
  friend class TmySQLQueryDataLink;
  void QueryChanged();
  void SetPrepared(bool value);
  void SetParamsFromMaster();
  void RefreshParams();

  rtl::TStringList sql_;
  db::TParams params_;
  std::string processed_;
  bool prepared_ = false;
  std::int32_t affected_rows_ = -1;
  bool rows_pending_ = false;
  bool executing_without_result_ = false;
  TmySQLQueryDataLink link_;
  engine::TNativeDataSet* stmt_ = nullptr;
  bool param_check_ = true;
  bool request_live_ = false;
  bool uni_directional_ = false;
  TmySQLQueryProcessComments process_comments_{qpcMinusMinus, qpcSlashAsterisk};
};

}  // namespace components
