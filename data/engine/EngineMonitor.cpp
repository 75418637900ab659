#include "EngineMonitor.h"

#include "engine/NativeConnect.h"

namespace engine {

// Reports are sent to the process's monitor hook once it is linked in; until
// then they are dropped here.
void MonitorConnect(const TNativeConnect&, bool) {}
void MonitorDisconnect(const TNativeConnect&) {}
void MonitorPrepare(const TNativeConnect*, const std::string&) {}
void MonitorExecute(const TNativeConnect*, const std::string&, bool) {}
void MonitorExecuteText(const TNativeConnect*, const std::string&, bool) {}
void MonitorFetch(const TNativeConnect*, const std::string&, long long) {}
void MonitorStartTransaction(const TNativeConnect&, bool) {}
void MonitorEndTransaction(const TNativeConnect&, bool, bool) {}

}  // namespace engine
