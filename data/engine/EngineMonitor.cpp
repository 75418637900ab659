#include "EngineMonitor.h"

#include "engine/NativeConnect.h"
#include "engine/SqlMonitor.h"

namespace engine {

namespace {

std::string DatabaseOf(const TNativeConnect* connection) {
  return connection ? connection->Database() : std::string();
}

std::string MessageOf(const TNativeConnect* connection) {
  return connection ? connection->Client().ErrorMessage() : std::string();
}

// The hook when a report of `type` would reach a monitor, else null: with no
// monitor attached a report costs this check and builds no argument.
TMySQLMonitorHook* HookFor(TMySQLTraceType type) {
  auto* hook = MonitorHook();
  return hook && hook->Wanted(type) ? hook : nullptr;
}

}  // namespace

void MonitorConnect(const TNativeConnect& connection, bool success) {
  if (auto* hook = HookFor(TMySQLTraceType::Connect))
    hook->Connect(DatabaseOf(&connection), success, MessageOf(&connection));
}

void MonitorDisconnect(const TNativeConnect& connection) {
  if (auto* hook = HookFor(TMySQLTraceType::Connect)) hook->Disconnect(DatabaseOf(&connection));
}

void MonitorPrepare(const TNativeConnect* connection, const std::string& statement) {
  if (auto* hook = HookFor(TMySQLTraceType::Prepare))
    hook->Prepare(DatabaseOf(connection), statement);
}

void MonitorExecute(const TNativeConnect* connection, const std::string& statement, bool success) {
  if (auto* hook = HookFor(TMySQLTraceType::Execute))
    hook->Execute(DatabaseOf(connection), statement, success, MessageOf(connection));
}

void MonitorExecuteText(const TNativeConnect* connection, const std::string& text, bool success) {
  if (auto* hook = HookFor(TMySQLTraceType::Execute))
    hook->ExecuteText(DatabaseOf(connection), text, success, MessageOf(connection));
}

void MonitorFetch(const TNativeConnect* connection, const std::string& source, long long row) {
  if (auto* hook = HookFor(TMySQLTraceType::Fetch))
    hook->Fetch(DatabaseOf(connection), source, row);
}

void MonitorStartTransaction(const TNativeConnect& connection, bool success) {
  if (auto* hook = HookFor(TMySQLTraceType::Transaction))
    hook->StartTransaction(DatabaseOf(&connection), success, MessageOf(&connection));
}

void MonitorEndTransaction(const TNativeConnect& connection, bool rollback, bool success) {
  auto* hook = HookFor(TMySQLTraceType::Transaction);
  if (!hook) return;
  if (rollback)
    hook->Rollback(DatabaseOf(&connection), success, MessageOf(&connection));
  else
    hook->Commit(DatabaseOf(&connection), success, MessageOf(&connection));
}

}  // namespace engine
