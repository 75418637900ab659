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

}  // namespace

void MonitorConnect(const TNativeConnect& connection, bool success) {
  if (auto* hook = MonitorHook())
    hook->Connect(DatabaseOf(&connection), success, MessageOf(&connection));
}

void MonitorDisconnect(const TNativeConnect& connection) {
  if (auto* hook = MonitorHook()) hook->Disconnect(DatabaseOf(&connection));
}

void MonitorPrepare(const TNativeConnect* connection, const std::string& statement) {
  if (auto* hook = MonitorHook()) hook->Prepare(DatabaseOf(connection), statement);
}

void MonitorExecute(const TNativeConnect* connection, const std::string& statement, bool success) {
  if (auto* hook = MonitorHook())
    hook->Execute(DatabaseOf(connection), statement, success, MessageOf(connection));
}

void MonitorExecuteText(const TNativeConnect* connection, const std::string& text, bool success) {
  if (auto* hook = MonitorHook())
    hook->ExecuteText(DatabaseOf(connection), text, success, MessageOf(connection));
}

void MonitorFetch(const TNativeConnect* connection, const std::string& source, long long row) {
  if (auto* hook = MonitorHook()) hook->Fetch(DatabaseOf(connection), source, row);
}

void MonitorStartTransaction(const TNativeConnect& connection, bool success) {
  if (auto* hook = MonitorHook())
    hook->StartTransaction(DatabaseOf(&connection), success, MessageOf(&connection));
}

void MonitorEndTransaction(const TNativeConnect& connection, bool rollback, bool success) {
  auto* hook = MonitorHook();
  if (!hook) return;
  if (rollback)
    hook->Rollback(DatabaseOf(&connection), success, MessageOf(&connection));
  else
    hook->Commit(DatabaseOf(&connection), success, MessageOf(&connection));
}

}  // namespace engine
