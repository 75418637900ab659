// TMysqlResult: the rows and columns of one query result.
//
// A stored result holds every row in memory and is independent of the client
// once made; it can be walked both ways, searched (Locate) and sorted (Sort).
// A streamed result holds one row at a time and is tied to its client until
// its end-of-data packet has been read (or the result is destroyed, which
// reads and discards the rest). Values are the server's bytes, unconverted,
// each followed by a zero byte; SQL NULL is a null pointer.
//
// Ownership: the result owns its column descriptors and rows. Pointers handed
// out by Column and Value stay valid until the result moves (Next, Prior,
// First, Last, GoToRow, Sort) or is destroyed; column descriptors live as long
// as the result. Concurrency: one thread at a time, together with the client
// a streamed result is tied to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "wire/Protocol.h"

namespace wire {

class TMysqlClient;
class TMysqlRowSet;

// How values of a server column type order when rows are sorted on the
// client: as whole numbers, as bytes (dates, date-times and enums in their
// text forms), as signed times, as floating point, or not at all (blobs,
// sets, geometry). A stored result's Sort and the engine's cursor sort both
// classify by it.
enum class SortKind { kInteger, kText, kTime, kFloat, kUnordered };
SortKind SortKindOf(std::uint8_t type);

// Description of one result column.
struct TMysqlColumn {
  std::string name;   // column name or alias
  std::string table;  // table name or alias
  std::string def;    // default value; always empty here
  std::uint8_t type = 0;
  std::uint32_t length = 0;     // declared width
  std::uint32_t maxLength = 0;  // longest value seen while a stored result was read
  std::uint32_t flags = 0;
  std::uint32_t decimals = 0;
  std::string orgName;   // underlying name (4.1 layout only)
  std::string orgTable;  // underlying table (4.1 layout only)
  std::string db;        // database (4.1 layout only)
  std::string catalog;   // catalog (4.1 layout only)
  std::uint32_t charsetNr = 0;
};

// Flag tests; each is false for a missing descriptor.
bool IsNotNull(const TMysqlColumn* column);
bool IsPrimaryKey(const TMysqlColumn* column);
bool IsUniqueKey(const TMysqlColumn* column);
bool IsBlob(const TMysqlColumn* column);
bool IsUnsigned(const TMysqlColumn* column);
bool IsZeroFill(const TMysqlColumn* column);
bool IsBinary(const TMysqlColumn* column);
bool IsEnum(const TMysqlColumn* column);
bool IsAutoIncrement(const TMysqlColumn* column);
bool IsSet(const TMysqlColumn* column);

class TMysqlResult {
 public:
  ~TMysqlResult();
  TMysqlResult(const TMysqlResult&) = delete;
  TMysqlResult& operator=(const TMysqlResult&) = delete;

  std::uint32_t ColumnCount() const { return columnCount_; }
  // Stored: all rows; streamed: rows fetched so far.
  std::uint64_t RowCount() const { return rowCount_; }
  bool IsStored() const { return stored_; }
  bool AtEnd() const { return atEnd_; }
  bool AtStart() const { return atStart_; }
  // -1 before the first row.
  std::int64_t CurrentRow() const { return currentRow_; }
  // 0 rows may follow, 1 end-of-data read, -1 failed or no client.
  int ReadState() const { return readState_; }

  // Descriptor of column index, or null outside 0..ColumnCount()-1.
  const TMysqlColumn* Column(int index) const;
  // First column with this name: exact when caseSensitive, else after
  // upper-casing ASCII letters of both.
  const TMysqlColumn* ColumnByName(const std::string& name, bool caseSensitive) const;
  // Value of column index in the current row: zero-terminated bytes, or null
  // for SQL NULL, a column outside the range or no current row.
  const char* Value(int index) const;
  // Length in bytes of that value (values may hold zero bytes); 0 for null.
  std::size_t ValueLength(int index) const;

  // Moves to the first row; returns AtEnd().
  bool First();
  void Next();
  void Prior();
  void Last();
  // Moves to row n when 0 <= n < RowCount(); otherwise nothing changes.
  void GoToRow(std::int64_t n);

  // Number of the first row whose values in the listed columns match the
  // keys, or -1. Stored results only. The unused argument is kept for callers
  // that pass a search option.
  std::int64_t Locate(const std::vector<int>& columns, const std::vector<std::string>& keys,
                      bool caseSensitive, std::uint16_t unused, bool exact);
  // Stable sort of the stored rows on the listed columns (NULL first when
  // ascending). The current position is meaningless afterwards until moved.
  void Sort(const std::vector<int>& columns, const std::vector<bool>& descending);

 private:
  friend class TMysqlClient;
  TMysqlResult(bool stored, std::uint32_t columnCount, std::vector<TMysqlColumn> columns);
  void SetCurrentFromRowSet();
  // Streamed: the stream has ended; detaches from the client.
  void EndStream();
  // Streamed: fetch one row into the current values: 0 row, 1 end, -1 failure.
  int FetchRow();

  std::uint32_t columnCount_ = 0;
  std::uint64_t rowCount_ = 0;
  std::vector<TMysqlColumn> columns_;
  TMysqlClient* client_ = nullptr;
  bool stored_ = true;
  std::unique_ptr<TMysqlRowSet> rows_;
  std::vector<std::uint32_t> record_;       // streamed: the current row
  const std::uint32_t* current_ = nullptr;  // current row record (see TMysqlRowSet)
  std::int64_t currentRow_ = -1;
  bool atEnd_ = true;
  bool atStart_ = true;
  bool streamedRowPresent_ = false;
  int readState_ = 0;
};

}  // namespace wire
