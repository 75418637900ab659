// Describing a cursor's result columns (the type adjustments and mapping,
// the record layout) and finding its table's indexes.
#include "engine/CursorDescriptors.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "engine/EngineErrors.h"
#include "engine/NativeConnect.h"
#include "engine/NativeDataSet.h"
#include "engine/SqlText.h"
#include "rtl/SysUtils.h"

namespace engine {

// --- describing columns -----------------------------------------------------------------

namespace {

// First row of "DESCRIBE table 'column'", or nothing when the statement
// fails or returns no row.
std::optional<std::vector<std::optional<std::string>>> DescribeRow(TNativeConnect* connection,
                                                                   const std::string& table,
                                                                   const std::string& column) {
  if (!connection || table.empty()) return std::nullopt;
  bool ok = false;
  auto result = connection->Client().Query(
      rtl::Format("DESCRIBE %s '%s'", table.c_str(), column.c_str()), true, ok);
  if (!ok || !result || result->RowCount() == 0) return std::nullopt;
  result->First();
  std::vector<std::optional<std::string>> row;
  for (std::uint32_t i = 0; i < result->ColumnCount(); ++i) {
    const char* v = result->Value(static_cast<int>(i));
    row.push_back(v ? std::optional<std::string>(v) : std::nullopt);
  }
  return row;
}

std::string RemoveQuotes(std::string s) {
  s.erase(std::remove(s.begin(), s.end(), '\''), s.end());
  return s;
}

// Bytes a column takes in the data size of a record.
std::uint32_t StorageSize(int type, std::uint32_t flags, std::uint32_t c) {
  switch (type) {
    case MYSQL_TYPE_BLOB:
      return 4;
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_ENUM:
      return 2;
    case MYSQL_TYPE_LONG:
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
      return (flags & UNSIGNED_FLAG) ? 8 : 4;
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_BIT:
      return 8;
    default:
      // Texts and sets: capacity plus the terminating zero (a set's slot
      // holds its zero too, so it needs the byte as well).
      return c + 1;
  }
}

// The text between the parentheses of a column type ("enum('Y','N')",
// "bit(10)"); nothing when the type has none.
std::optional<std::string> TypeArguments(const std::string& type_text) {
  const size_t open = type_text.find('(');
  if (open == std::string::npos) return std::nullopt;
  const size_t close = type_text.find(')', open);
  return type_text.substr(open + 1,
                          close == std::string::npos ? std::string::npos : close - open - 1);
}

// The type text of a column from the table definition, when there is one.
std::optional<std::string> DeclaredType(TNativeConnect* connection, const std::string& table,
                                        const std::string& column) {
  auto row = DescribeRow(connection, table, column);
  if (!row || row->size() < 2 || !(*row)[1]) return std::nullopt;
  return *(*row)[1];
}

// Step 1: members of an enumeration or set, without quotes, from the table
// definition of the column (named as statements name it).
std::string ColumnMembers(TNativeConnect* connection, const std::string& table, std::string name) {
  size_t dot = name.find('.');
  if (dot != std::string::npos) name.erase(0, dot + 1);
  if (!name.empty() && name.front() == '`') name.erase(0, 1);
  if (!name.empty() && name.back() == '`') name.pop_back();
  auto type_text = DeclaredType(connection, table, name);
  if (!type_text) return std::string();
  return RemoveQuotes(TypeArguments(*type_text).value_or(*type_text));
}

// Step 2: whether a NOT NULL column without auto-increment has a default.
bool ColumnHasDefault(TNativeConnect* connection, const wire::TMysqlColumn& col) {
  if (!(col.flags & NOT_NULL_FLAG) || (col.flags & AUTO_INCREMENT_FLAG)) return false;
  auto row = DescribeRow(connection, col.table, col.name);
  return row && row->size() > 4 && (*row)[4].has_value();
}

// Step 4: the server type the engine treats the column as.
struct AdjustedType {
  int type;
  bool boolean_mark = false;  // a two-valued enumeration read as a boolean
  bool memo = false;          // a text blob
};

AdjustedType AdjustType(const wire::TMysqlColumn& col, const std::string& members,
                        std::uint32_t capacity) {
  AdjustedType t{col.type};
  // The server reports expressions over blobs (hex(), concat() of a TEXT,
  // ...) with the sized blob types; they are all blobs.
  if (t.type == MYSQL_TYPE_TINY_BLOB || t.type == MYSQL_TYPE_MEDIUM_BLOB ||
      t.type == MYSQL_TYPE_LONG_BLOB)
    t.type = MYSQL_TYPE_BLOB;
  if (col.flags & ENUM_FLAG) {
    std::vector<std::string> items = SplitAtCommas(members);
    auto boolish = [](const std::string& s) {
      if (s.empty()) return false;
      char c = static_cast<char>(std::tolower(static_cast<unsigned char>(s[0])));
      return c == 'f' || c == 'n' || c == 't' || c == 'y';
    };
    if (items.size() == 2 && col.length == 1 && boolish(items[0]) && boolish(items[1])) {
      t.type = MYSQL_TYPE_ENUM;
      t.boolean_mark = true;
    }
  }
  if (col.flags & SET_FLAG) t.type = MYSQL_TYPE_SET;
  if (t.type == MYSQL_TYPE_BLOB && (col.flags & BLOB_FLAG) && !(col.flags & BINARY_FLAG))
    t.memo = true;
  if ((t.type == MYSQL_TYPE_VAR_STRING || t.type == MYSQL_TYPE_STRING) && capacity > 8191) {
    t.type = MYSQL_TYPE_BLOB;
    t.memo = true;
  }
  return t;
}

// Step 5: the engine field type, subtype and length of an adjusted type.
struct MappedType {
  std::uint16_t field_type = fldUNKNOWN;
  std::uint16_t sub_type = 0;
  std::uint32_t length = 0;
};

// The mapping, one row per server type (texts take their capacity and the
// terminating zero).
MappedType MapType(const AdjustedType& t, bool is_unsigned, std::uint32_t capacity) {
  const std::uint32_t text = capacity + 1;
  switch (t.type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_NEWDECIMAL:
      return {fldFLOAT, 0, 8};
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
      return {is_unsigned ? fldUINT16 : fldINT16, 0, 2};
    case MYSQL_TYPE_LONG:
      return {is_unsigned ? fldINT64 : fldINT32, 0, is_unsigned ? 8u : 4u};
    case MYSQL_TYPE_NULL:
      return {fldZSTRING, 0, text};
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATETIME:
      return {fldTIMESTAMP, 0, 8};
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_BIT:
      return {is_unsigned ? fldUINT64 : fldINT64, 0, 8};
    case MYSQL_TYPE_INT24:
    case MYSQL_TYPE_YEAR:
      return {fldINT32, 0, 4};
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      return {fldDATE, 0, 8};
    case MYSQL_TYPE_TIME:
      return {fldTIME, 0, 8};
    case MYSQL_TYPE_ENUM:
      return t.boolean_mark ? MappedType{fldBOOL, 0, 2} : MappedType{fldZSTRING, 0, text};
    case MYSQL_TYPE_SET:
    case MYSQL_TYPE_VAR_STRING:
    case MYSQL_TYPE_STRING:
      return {fldZSTRING, 0, text};
    case MYSQL_TYPE_BLOB:
      return {fldBLOB, static_cast<std::uint16_t>(t.memo ? fldstMEMO : 0), 4};
    default:
      return {};
  }
}

// Steps 6 to 8: the field descriptor of column n at `offset`.
FieldDescriptor MakeFieldDescriptor(int n, const wire::TMysqlColumn& col, int type,
                                    const MappedType& mapped, std::uint32_t offset) {
  FieldDescriptor fd;
  std::memset(&fd, 0, sizeof fd);
  fd.iFldNum = static_cast<std::uint16_t>(n);
  std::strncpy(fd.szName, col.name.c_str(), 63);
  fd.iFldType = mapped.field_type;
  fd.iSubType = mapped.sub_type;
  // 6. Units: floating types carry 32, texts their capacity.
  std::uint32_t length = mapped.length;
  if (type == MYSQL_TYPE_DECIMAL || type == MYSQL_TYPE_FLOAT || type == MYSQL_TYPE_DOUBLE ||
      type == MYSQL_TYPE_NEWDECIMAL) {
    fd.iUnits1 = 32;
    length = 8;
  } else {
    fd.iUnits1 = static_cast<std::int16_t>(mapped.field_type == fldZSTRING ? length - 1 : length);
  }
  fd.iUnits2 = 0;
  fd.iOffset = offset;
  fd.iLen = static_cast<std::uint16_t>(length);
  // 7. Auto-increment.
  if ((col.flags & AUTO_INCREMENT_FLAG) &&
      (mapped.field_type == fldINT32 || mapped.field_type == fldINT64 ||
       mapped.field_type == fldUINT64))
    fd.iSubType = fldstAUTOINC;
  // 8. Validity and the rest.
  fd.efldvVchk = 2;
  fd.bCalcField = col.table.empty() ? -1 : 0;
  fd.iNativeType = static_cast<std::uint16_t>(type);
  fd.bUnsigned = (col.flags & UNSIGNED_FLAG) ? 1 : 0;
  return fd;
}

ValidityDescriptor MakeValidityDescriptor(int n, const wire::TMysqlColumn& col, bool has_default) {
  ValidityDescriptor vd;
  std::memset(&vd, 0, sizeof vd);
  vd.iFldNum = static_cast<std::uint16_t>(n);
  vd.bRequired = (col.flags & (NOT_NULL_FLAG | PRI_KEY_FLAG | UNIQUE_KEY_FLAG)) ? -1 : 0;
  vd.bHasDefVal = has_default ? -1 : 0;
  return vd;
}

// Step 9: the bytes a value takes on the server. Servers before 5.0.21 and
// 5.1.0-5.1.9 report a bit column's length wrongly, so its width comes from
// the table definition there.
std::uint32_t NativeSize(TNativeConnect* connection, std::int32_t version,
                         const wire::TMysqlColumn& col, int type, std::uint32_t capacity) {
  if (col.flags & BLOB_FLAG) return capacity;
  if (type != MYSQL_TYPE_BIT) return StorageSize(type, col.flags, capacity);
  if (version >= 50021 && !(version >= 50100 && version <= 50109)) return (col.length + 7) / 8;
  auto type_text = DeclaredType(connection, col.table, col.name);
  if (!type_text) return 0;
  auto bits_text = TypeArguments(*type_text);
  if (!bits_text) return 1;
  int bits = 0;
  if (rtl::TryStrToInt(*bits_text, bits) && bits > 0)
    return static_cast<std::uint32_t>((bits + 7) / 8);
  return 0;
}

}  // namespace

int TCursorDescriptors::ColumnType(int column) const {
  if (column >= 0 && column < static_cast<int>(column_types_.size())) return column_types_[column];
  const wire::TMysqlColumn* col = cursor_.Result() ? cursor_.Result()->Column(column) : nullptr;
  return col ? col->type : 0;
}

std::unique_ptr<TmySQLField> TCursorDescriptors::DescribeColumn(int n) {
  const wire::TMysqlColumn* col = cursor_.Result() ? cursor_.Result()->Column(n - 1) : nullptr;
  if (n < 1 || !col) throw EmySQLException(DBIERR_INVALIDRECSTRUCT);
  TNativeConnect* connection = cursor_.Connection();
  // 1. Members of an enumeration or set.
  std::string members;
  if (col->flags & (ENUM_FLAG | SET_FLAG)) {
    std::string name = col->name;
    cursor_.NameForStatement(name);
    members = ColumnMembers(connection, col->table, name);
  }
  // 2. Default value.
  const bool has_default = ColumnHasDefault(connection, *col);
  // 3. Offset: sum of the lengths of the fields before.
  std::uint32_t offset = 0;
  if (n > 1 && fields_.Count() >= n - 1) {
    const TmySQLField& prev = fields_[n - 2];
    offset = prev.Offset() + prev.FieldLength();
  }
  // 4. Type adjustments.
  const std::uint32_t capacity = std::max(col->length, col->maxLength);
  const AdjustedType adjusted = AdjustType(*col, members, capacity);
  if (static_cast<int>(column_types_.size()) < n) column_types_.resize(n, 0);
  column_types_[n - 1] = adjusted.type;
  // 5. Mapping, 6-8. the descriptors, 9. native size.
  const MappedType mapped = MapType(adjusted, (col->flags & UNSIGNED_FLAG) != 0, capacity);
  const std::int32_t version = connection ? connection->ServerVersion() : 0;
  return std::make_unique<TmySQLField>(
      MakeFieldDescriptor(n, *col, adjusted.type, mapped, offset),
      MakeValidityDescriptor(n, *col, has_default), adjusted.type,
      NativeSize(connection, version, *col, adjusted.type, capacity), members);
}

void TCursorDescriptors::BuildFields() {
  fields_.Clear();
  column_types_.clear();
  if (!cursor_.Result()) throw EmySQLException(DBIERR_INVALIDRECSTRUCT);
  const int n = static_cast<int>(cursor_.Result()->ColumnCount());
  for (int k = 1; k <= n; ++k) fields_.Add(DescribeColumn(k));
  std::int64_t d = n;
  for (int k = 0; k < n; ++k) {
    const wire::TMysqlColumn* col = cursor_.Result()->Column(k);
    d += StorageSize(column_types_[k], col->flags, std::max(col->length, col->maxLength));
  }
  data_size_ = d;
  for (int k = 0; k < n; ++k)
    fields_[k].Descriptor().iNullOffset = static_cast<std::uint32_t>(d + 8 * k);
}

TmySQLFields& TCursorDescriptors::Fields() {
  if (fields_.Count() == 0 && cursor_.Result()) BuildFields();
  return fields_;
}

std::uint32_t TCursorDescriptors::DataSize() {
  if (data_size_ < 0) {
    if (fields_.Count() == 0 && cursor_.Result()) BuildFields();
    if (data_size_ < 0) return 0;
  }
  return static_cast<std::uint32_t>(data_size_);
}

std::uint32_t TCursorDescriptors::RecordSize() {
  return DataSize() + 8u * FieldCount() + 1u + kBookmarkSize;
}

TmySQLIndex* TCursorDescriptors::KeyIndex() {
  DiscoverIndexes();
  for (int i = 1; i <= indexes_.Count(); ++i)
    if (indexes_.Index(i)->Primary()) return indexes_.Index(i);
  for (int i = 1; i <= indexes_.Count(); ++i)
    if (indexes_.Index(i)->Unique()) return indexes_.Index(i);
  return nullptr;
}

// --- index discovery ----------------------------------------------------------------------

void TCursorDescriptors::DiscoverIndexes() {
  TNativeConnect* connection = cursor_.Connection();
  if (indexes_.Loaded() || indexes_.Count() > 0 || !connection) return;
  const std::int32_t version = connection->ServerVersion();
  std::string name = cursor_.IsStatement() ? FindFromTable(cursor_.StatementText(), version)
                                           : QuoteTableName(cursor_.TableName(), version);
  if (name.empty()) return;
  wire::TMysqlClient& client = connection->Client();
  bool ok = false;
  auto result = client.Query(rtl::Format("SHOW INDEX FROM %s", name.c_str()), true, ok);
  if (!ok) return;
  if (!result) {
    if (client.ErrorNumber() != 0) throw EmySQLException(connection);
    indexes_.SetLoaded(true);
    return;
  }
  for (bool end = result->First(); !end && !result->AtEnd(); result->Next()) {
    try {
      const char* non_unique = result->Value(1);
      const char* key_name = result->Value(2);
      const char* column = result->Value(4);
      const char* collation = result->Value(5);
      const bool unique = non_unique && std::strcmp(non_unique, "0") == 0;
      const bool primary =
          unique && key_name && rtl::SameText(std::string(key_name).substr(0, 7), "PRIMARY");
      const bool descending = !collation || std::strcmp(collation, "A") != 0;
      const std::string index_name = primary ? std::string() : (key_name ? key_name : "");
      TmySQLIndex* index = indexes_.FindByName(index_name);
      if (!index) index = &indexes_.Add();
      IndexDescriptor& d = index->Descriptor();
      index->SetIndexName(index_name);
      d.bPrimary = primary ? -1 : 0;
      d.bUnique = unique ? -1 : 0;
      d.bDescending = descending ? -1 : 0;
      d.bMaintained = -1;
      int field_no = column ? FieldNumberByName(column) : 0;
      if (field_no > 0)
        d.iBlockSize =
            static_cast<std::uint16_t>(d.iBlockSize + fields_[field_no - 1].FieldLength());
      if (d.iFldsInKey < 16) d.aiKeyFld[d.iFldsInKey] = static_cast<std::uint16_t>(field_no);
      d.iFldsInKey = static_cast<std::uint16_t>(d.iFldsInKey + 1);
      d.iKeyLen = static_cast<std::uint16_t>(d.iBlockSize + d.iFldsInKey);
      if (primary && !primary_index_) primary_index_ = d.iIndexId;
    } catch (const EmySQLException&) {
      // A key row that cannot be placed is left out; the rest still count.
    } catch (const rtl::Exception&) {
      // Likewise for a value that does not convert.
    }
  }
  indexes_.SetLoaded(true);
}

}  // namespace engine
