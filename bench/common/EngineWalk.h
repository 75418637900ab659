// The engine side shared by the engine and component benchmarks: logging in
// to the bench database, making sure the bench table exists, opening an
// engine connection, and the timed statement-cursor walk that reads every
// field of every record with GetNextRecord and GetField.
//
// Failures print "<program>: ..." to stderr and end the process with status
// 1: a benchmark has nothing sensible to measure after them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/BenchCommon.h"
#include "engine/MySQLEngine.h"

namespace bench {

struct Account {
  std::string user, password;
};

// The account that logs in: the one given, else root, else the agent's
// account (a sandbox may keep a password-less root@127.0.0.1 that shadows
// root@%).
Account Login(const Options& o, const char* program);

// Creates the bench table when it is missing or incomplete.
void PrepareBenchTable(const Options& o, const Account& a, const char* program);

// How the engine and component benchmarks begin: the command line (the
// connection's options and --repeat), the login, and the bench table
// prepared with the account that logged in.
struct EngineBench {
  Options o;
  int repeat = 2;
  Account account;
};
EngineBench StartEngineBench(int argc, char** argv, const char* program);

// The engine's connection parameter lines for the bench database.
std::vector<std::string> EngineParams(const Options& o, const Account& a);

// Ends the process when an engine call failed.
void CheckEngine(engine::TmySQLEngine& e, engine::DBIResult r, const char* what,
                 const char* program);

// An engine connection to the bench database (EngineParams).
engine::TNativeConnect* OpenEngine(engine::TmySQLEngine& e, const Options& o, const Account& a,
                                   const char* program);

struct WalkFigures {
  double seconds = 0;
  std::uint64_t rows = 0;
  std::uint64_t checksum = 0;  // keeps the reads from being optimised away
};

// Opens a statement cursor on `select`, walks it and frees it. `afterWalk`,
// when given, runs on the open cursor after the timed walk (untimed).
WalkFigures EngineWalk(engine::TmySQLEngine& e, engine::TNativeConnect* conn,
                       const std::string& select, const char* program,
                       const std::function<void(engine::TNativeDataSet*)>& afterWalk = {});

}  // namespace bench
