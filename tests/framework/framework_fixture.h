// Shared set-up for the framework tests: a customer table in memory.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "db/DBError.h"
#include "memory_dataset.h"
#include "rtl/DateTime.h"
#include "rtl/FormatSettings.h"

namespace fwtest {

// Five customers: codcli 10..50, nome, saldo, nascimento, ativo.
inline void FillCustomers(MemoryDataSet& ds) {
  ds.AddColumn("codcli", db::ftInteger, 0, true);
  ds.AddColumn("nome", db::ftString, 30);
  ds.AddColumn("saldo", db::ftFloat);
  ds.AddColumn("nascimento", db::ftDate);
  ds.AddColumn("ativo", db::ftBoolean);
  ds.AddRow({10, "Ana", 12.5, rtl::Variant::FromDateTime(rtl::EncodeDate(1980, 1, 31)), true});
  ds.AddRow({20, "Bruno", -3.25, rtl::Variant::FromDateTime(rtl::EncodeDate(1975, 6, 1)), false});
  ds.AddRow({30, "Carla", 0.0, rtl::Variant::Null(), true});
  ds.AddRow({40, "Davi", 1e20, rtl::Variant::FromDateTime(rtl::EncodeDate(2001, 12, 25)), true});
  ds.AddRow({50, "Elisa", rtl::Variant::Null(),
             rtl::Variant::FromDateTime(rtl::EncodeDate(1999, 2, 28)), false});
}

// Runs `fn` and returns the database error's message ("" when none raised).
template <typename Fn>
std::string ErrorOf(Fn&& fn) {
  try {
    fn();
  } catch (const db::EDatabaseError& e) {
    return e.Message();
  }
  return {};
}

// One step of a test that follows a log: its name, what it does, and the
// entries it must leave in the log.
struct LoggedStep {
  const char* name;
  std::function<void()> run;
  std::vector<std::string> expected;
};

// Runs the steps in order, each on an emptied log.
inline void ExpectSteps(const std::vector<LoggedStep>& steps, std::vector<std::string>& log) {
  for (const LoggedStep& step : steps) {
    log.clear();
    step.run();
    EXPECT_EQ(log, step.expected) << step.name;
  }
}

class CustomersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rtl::FormatSettings() = rtl::TFormatSettings::Brazilian();
    ds.SetName("qryClientes");
    FillCustomers(ds);
  }
  std::vector<int> Codes() {
    std::vector<int> codes;
    for (ds.First(); !ds.Eof(); ds.Next()) codes.push_back(ds.FieldByName("codcli").AsInteger());
    return codes;
  }
  MemoryDataSet ds;
};

}  // namespace fwtest
