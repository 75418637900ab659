// The engine's reports to the SQL monitor, in one place. Reports never
// change an operation's outcome and never throw.
#pragma once

#include <string>

namespace engine {

class TNativeConnect;

void MonitorConnect(const TNativeConnect& connection, bool success);
void MonitorDisconnect(const TNativeConnect& connection);
void MonitorPrepare(const TNativeConnect* connection, const std::string& statement);
void MonitorExecute(const TNativeConnect* connection, const std::string& statement, bool success);
void MonitorExecuteText(const TNativeConnect* connection, const std::string& text, bool success);
void MonitorFetch(const TNativeConnect* connection, const std::string& source, long long row);
void MonitorStartTransaction(const TNativeConnect& connection, bool success);
void MonitorEndTransaction(const TNativeConnect& connection, bool rollback, bool success);

}  // namespace engine
