#include "common/BenchTable.h"

#include <string>

#include "wire/MysqlClient.h"

namespace bench {

namespace {

bool Run(wire::TMysqlClient& c, const std::string& sql, std::string& error) {
  bool ok = false;
  c.Query(sql, true, ok);
  if (!ok) error = sql.substr(0, 60) + ": " + c.ErrorMessage();
  return ok;
}

}  // namespace

bool EnsureBenchTable(wire::TMysqlClient& c, std::string& error) {
  const std::string table = std::string(kBenchDatabase) + "." + kBenchTable;
  bool ok = false;
  auto r = c.Query("select count(*) from " + table, true, ok);
  if (ok && r && r->Value(0) && std::stoull(r->Value(0)) == kBenchRows) return true;
  return Run(c, "drop table if exists " + table, error) &&
         Run(c,
             "create table " + table +
                 " (id int primary key, codigo bigint not null, estoque int not null,"
                 " nome varchar(40) not null, preco decimal(10,2) not null, data date not null,"
                 " momento datetime not null, obs text null) character set latin1",
             error) &&
         Run(c,
             "insert into " + table +
                 " select seq, seq * 7919 % 1000003, seq % 1000,"
                 " concat('produto ', seq, ' ', repeat('x', seq % 20)),"
                 " (seq % 100000) / 100, date_add('2020-01-01', interval seq % 2000 day),"
                 " date_add('2020-01-01 00:00:00', interval seq * 37 second),"
                 " if(seq % 3 = 0, null, concat('observa\xE7\xE3o ', seq))"
                 " from seq_1_to_" +
                 std::to_string(kBenchRows),
             error);
}

bool WalkStoredResult(wire::TMysqlClient& c, std::uint64_t& rows, std::uint64_t& checksum) {
  bool ok = false;
  auto r = c.Query(kBenchSelect, true, ok);
  if (!ok || !r) return false;
  rows = 0;
  const int columns = static_cast<int>(r->ColumnCount());
  for (r->First(); !r->AtEnd(); r->Next()) {
    ++rows;
    for (int i = 0; i < columns; ++i) {
      const char* v = r->Value(i);
      checksum += r->ValueLength(i) + (v ? static_cast<unsigned char>(v[0]) : 1u);
    }
  }
  return true;
}

}  // namespace bench
