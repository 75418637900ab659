// Result columns as typed fields: the type mapping, lengths, units and
// subtypes, the record layout, and the values GetField answers for each
// server type.
#include <cmath>

#include "engine_fixture.h"
#include "rtl/DateTime.h"

namespace engine {
namespace {

using FieldTypesTest = EngineTest;

TEST_F(FieldTypesTest, MappingOfServerTypes) {
  const std::string t = CreateTable(
      "(i INT, iu INT UNSIGNED, mu MEDIUMINT UNSIGNED, bi BIGINT, t1 TINYINT(1),"
      " v1 VARCHAR(8191), v2 VARCHAR(8192), tx TEXT, bl BLOB, d DECIMAL(10,2), dt DATE, tm TIME,"
      " dtt DATETIME, ts TIMESTAMP NULL DEFAULT NULL, yn ENUM('Y','N'), sn ENUM('S','N'),"
      " st SET('a','b','c'), bt BIT(10), ai INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY)"
      " CHARACTER SET latin1");
  TNativeDataSet* c = Open(
      "SELECT i, iu, mu, bi, t1, v1, v2, tx, bl, d, dt, tm, dtt, ts, yn, sn, st, bt, ai,"
      " COUNT(*) AS n FROM " +
      t + " GROUP BY ai");
  ASSERT_NE(c, nullptr);
  CursorProperties props;
  ASSERT_EQ(engine_.GetCursorProperties(c, props), 0);
  ASSERT_EQ(Packed(props.iFields), 20);
  std::vector<FieldDescriptor> fd(props.iFields);
  ASSERT_EQ(engine_.GetFieldDescriptors(c, fd.data()), 0);
  const struct {
    const char* name;
    int type, sub, len, units1;
  } expected[] = {
      {"i", fldINT32, 0, 4, 4},
      {"iu", fldINT64, 0, 8, 8},
      {"mu", fldINT32, 0, 4, 4},
      {"bi", fldINT64, 0, 8, 8},
      {"t1", fldINT16, 0, 2, 2},
      {"v1", fldZSTRING, 0, 8192, 8191},
      {"v2", fldBLOB, fldstMEMO, 4, 4},
      {"tx", fldBLOB, fldstMEMO, 4, 4},
      {"bl", fldBLOB, 0, 4, 4},
      {"d", fldFLOAT, 0, 8, 32},
      {"dt", fldDATE, 0, 8, 8},
      {"tm", fldTIME, 0, 8, 8},
      {"dtt", fldTIMESTAMP, 0, 8, 8},
      {"ts", fldTIMESTAMP, 0, 8, 8},
      {"yn", fldBOOL, 0, 2, 2},
      {"sn", fldZSTRING, 0, 2, 1},
      {"st", fldZSTRING, 0, 6, 5},
      {"bt", fldUINT64, 0, 8, 8},
      {"ai", fldINT64, fldstAUTOINC, 8, 8},
      {"n", fldINT64, 0, 8, 8},
  };
  std::uint32_t offset = 0;
  for (int k = 0; k < 20; ++k) {
    SCOPED_TRACE(expected[k].name);
    EXPECT_STREQ(fd[k].szName, expected[k].name);
    EXPECT_EQ(Packed(fd[k].iFldNum), k + 1);
    EXPECT_EQ(Packed(fd[k].iFldType), expected[k].type);
    EXPECT_EQ(Packed(fd[k].iSubType), expected[k].sub);
    EXPECT_EQ(Packed(fd[k].iLen), expected[k].len);
    EXPECT_EQ(Packed(fd[k].iUnits1), expected[k].units1);
    EXPECT_EQ(Packed(fd[k].iUnits2), 0);
    EXPECT_EQ(Packed(fd[k].iOffset), offset);
    EXPECT_EQ(Packed(fd[k].efldvVchk), 2u);
    offset += fd[k].iLen;
  }
  // The computed column is marked calculated.
  EXPECT_EQ(Packed(fd[19].bCalcField), -1);
  EXPECT_EQ(fd[0].bCalcField, 0);
  EXPECT_EQ(fd[1].bUnsigned, 1);
  // Members of enumerations and sets come from the table definition.
  EXPECT_EQ(c->Fields().Field(15).Enum_Value(), "Y,N");
  EXPECT_EQ(c->Fields().Field(17).Enum_Value(), "a,b,c");
  EXPECT_EQ(c->Fields().Field(18).NativeSize(), 2u);  // BIT(10): two bytes
  // Null indicators follow the data size, 8 bytes per field, then the spare
  // byte and the bookmark.
  const std::uint32_t d = props.iRecSize;
  for (int k = 0; k < 20; ++k) EXPECT_EQ(Packed(fd[k].iNullOffset), d + 8u * k);
  EXPECT_EQ(Packed(props.iRecBufSize), d + 8u * 20 + 9);
  EXPECT_EQ(c->BookmarkOffset(), d + 8u * 20 + 1);
  // The data size covers every slot.
  EXPECT_GE(d, offset + 20);
  // Required: NOT NULL and key columns; ai has no default, being
  // auto-increment it is not asked.
  ValidityDescriptor vd;
  ASSERT_EQ(engine_.GetValidityDescriptor(c, 19, vd), 0);
  EXPECT_EQ(vd.bRequired, -1);
  EXPECT_EQ(vd.bHasDefVal, 0);
  ASSERT_EQ(engine_.GetValidityDescriptor(c, 1, vd), 0);
  EXPECT_EQ(vd.bRequired, 0);
}

TEST_F(FieldTypesTest, ValuesOfEachType) {
  const std::string t = CreateTable(
      "(i INT, iu INT UNSIGNED, mu MEDIUMINT UNSIGNED, bi BIGINT, t1 TINYINT(1), v VARCHAR(20),"
      " d DECIMAL(10,2), dt DATE, tm TIME, dtt DATETIME, ts TIMESTAMP NULL DEFAULT NULL,"
      " yn ENUM('Y','N'), sn ENUM('S','N'), st SET('a','b','c'), bt BIT(10), tx TEXT, n INT)"
      " CHARACTER SET latin1",
      "(-7, 4000000000, 16777215, -9000000000000000000, 1, 'P\xE3o', 12.50, '2024-02-29',"
      " '13:45:10', '2024-02-29 13:45:10', '2024-02-29 13:45:10', 'Y', 'S', 'a,c', b'1000000001',"
      " 'hello', NULL),"
      " (0, 0, 0, 0, 0, '', 0, '0000-00-00', '00:00:00', '0000-00-00 00:00:00',"
      " '0000-00-00 00:00:00', 'N', 'N', '', b'0', '', NULL)");
  TNativeDataSet* c = Open("SELECT * FROM " + t);
  ASSERT_NE(c, nullptr);
  auto b = Buffer(c);
  engine_.SetToBegin(c);
  ASSERT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), 0);
  EXPECT_EQ(Value<std::int32_t>(c, 1, b), -7);
  EXPECT_EQ(Value<std::int64_t>(c, 2, b), 4000000000LL);
  EXPECT_EQ(Value<std::int32_t>(c, 3, b), 16777215);
  EXPECT_EQ(Value<std::int64_t>(c, 4, b), -9000000000000000000LL);
  EXPECT_EQ(Value<std::int16_t>(c, 5, b), 1);
  EXPECT_EQ(Text(c, 6, b), "P\xE3o");
  EXPECT_DOUBLE_EQ(Value<double>(c, 7, b), 12.5);
  const double day = rtl::EncodeDate(2024, 2, 29);
  EXPECT_EQ(Value<std::int32_t>(c, 8, b), rtl::DateTimeToTimeStamp(day).Date);
  EXPECT_EQ(Value<std::int32_t>(c, 9, b), (13 * 3600 + 45 * 60 + 10) * 1000);
  const double ms = static_cast<double>(rtl::DateTimeToTimeStamp(day).Date) * 86400000.0 +
                    (13 * 3600 + 45 * 60 + 10) * 1000;
  EXPECT_DOUBLE_EQ(Value<double>(c, 10, b), ms);
  EXPECT_DOUBLE_EQ(Value<double>(c, 11, b), ms);
  EXPECT_EQ(Value<std::int16_t>(c, 12, b), 1);
  EXPECT_EQ(Text(c, 13, b), "S");
  EXPECT_EQ(Text(c, 14, b), "a,c");
  EXPECT_EQ(Value<std::uint64_t>(c, 15, b), 513u);
  bool is_null = false;
  // Blobs are read through the blob operations.
  Value<std::int32_t>(c, 16, b, &is_null);
  EXPECT_TRUE(is_null);
  std::uint32_t size = 0;
  ASSERT_EQ(engine_.GetBlobSize(c, b.data(), 16, size), 0);
  EXPECT_EQ(size, 5u);
  // A null leaves the value place untouched.
  std::int32_t untouched = 12345;
  ASSERT_EQ(engine_.GetField(c, 17, b.data(), &untouched, is_null), 0);
  EXPECT_TRUE(is_null);
  EXPECT_EQ(untouched, 12345);
  // The record properties and the bookmark name row 1.
  RecordProperties rp{};
  ASSERT_EQ(engine_.GetRecord(c, 0, &rp, b.data()), 0);
  EXPECT_EQ(rp.iSeqNum, 1);
  EXPECT_EQ(rp.iPhyRecNum, 1);
  std::int32_t bm[2];
  std::memcpy(bm, b.data() + c->BookmarkOffset(), 8);
  EXPECT_EQ(bm[0], 0);
  EXPECT_EQ(bm[1], 0);

  // Zero dates: the date reads as day count 0, the timestamp as 1 January
  // of year 1.
  ASSERT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), 0);
  EXPECT_EQ(Value<std::int32_t>(c, 8, b), rtl::DateDelta);
  EXPECT_DOUBLE_EQ(Value<double>(c, 10, b), rtl::DateDelta * 86400000.0);
  EXPECT_DOUBLE_EQ(Value<double>(c, 11, b), 86400000.0);
  EXPECT_EQ(Value<std::int16_t>(c, 12, b), 0);
  EXPECT_EQ(Text(c, 14, b), "");
  EXPECT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), DBIERR_EOF);
  // A field number the result does not have.
  EXPECT_EQ(engine_.GetField(c, 18, b.data(), &untouched, is_null), DBIERR_INVALIDRECSTRUCT);
  EXPECT_EQ(engine_.GetField(c, 0, b.data(), &untouched, is_null), DBIERR_INVALIDRECSTRUCT);
  EXPECT_EQ(engine_.GetField(c, 1, nullptr, &untouched, is_null), DBIERR_INVALIDPARAM);
}

TEST_F(FieldTypesTest, PutFieldAndInitRecord) {
  const std::string t = CreateTable("(a INT, s VARCHAR(5), d DATE, h TIME, w DATETIME)");
  TNativeDataSet* c = Open("SELECT * FROM " + t);
  ASSERT_NE(c, nullptr);
  auto b = Buffer(c);
  ASSERT_EQ(engine_.InitRecord(c, b.data()), 0);
  EXPECT_EQ(c->CurrentRecordBufferForTesting(), b.data());
  bool is_null = false;
  for (int k = 1; k <= 5; ++k) {
    ASSERT_EQ(engine_.GetField(c, k, b.data(), nullptr, is_null), 0);
    EXPECT_TRUE(is_null) << k;
  }
  std::int32_t v = 42;
  ASSERT_EQ(engine_.PutField(c, 1, b.data(), &v), 0);
  ASSERT_EQ(engine_.PutField(c, 2, b.data(), "abcdefgh"), 0);  // cut to the capacity
  std::int32_t day = rtl::DateTimeToTimeStamp(rtl::EncodeDate(2001, 9, 8)).Date;
  ASSERT_EQ(engine_.PutField(c, 3, b.data(), &day), 0);
  std::int32_t msecs = 3723000;
  ASSERT_EQ(engine_.PutField(c, 4, b.data(), &msecs), 0);
  double stamp = (static_cast<double>(day) * 86400000.0) + 3723000.0;
  ASSERT_EQ(engine_.PutField(c, 5, b.data(), &stamp), 0);
  EXPECT_EQ(Value<std::int32_t>(c, 1, b), 42);
  EXPECT_EQ(Text(c, 2, b), "abcde");
  EXPECT_EQ(Value<std::int32_t>(c, 3, b), day);
  EXPECT_EQ(Value<std::int32_t>(c, 4, b), 3723000);
  EXPECT_DOUBLE_EQ(Value<double>(c, 5, b), stamp);
  EXPECT_EQ(c->BuildInsert(b.data()),
            "INSERT INTO `" + t +
                "` (`a`, `s`, `d`, `h`, `w`) VALUES (42, 'abcde', '2001-09-08', "
                "'01:02:03', '2001-09-08 01:02:03')");
  ASSERT_EQ(engine_.PutField(c, 1, b.data(), nullptr), 0);
  ASSERT_EQ(engine_.GetField(c, 1, b.data(), nullptr, is_null), 0);
  EXPECT_TRUE(is_null);
}

// The server reports expressions over blobs with the sized blob types
// (tiny, medium, long); they are blobs like the columns themselves, and the
// columns after them keep their places.
TEST_F(FieldTypesTest, SizedBlobTypesOfExpressionsAreBlobs) {
  const std::string t = CreateTable("(bl BLOB, tx TEXT) CHARACTER SET latin1", "('AB', 'xyz')");
  TNativeDataSet* c = Open("SELECT hex(bl) AS h, 1 AS one, concat(tx, tx) AS tt FROM " + t);
  ASSERT_NE(c, nullptr);
  CursorProperties props;
  ASSERT_EQ(engine_.GetCursorProperties(c, props), 0);
  ASSERT_EQ(Packed(props.iFields), 3);
  std::vector<FieldDescriptor> fd(props.iFields);
  ASSERT_EQ(engine_.GetFieldDescriptors(c, fd.data()), 0);
  EXPECT_EQ(Packed(fd[0].iFldType), fldBLOB);
  EXPECT_EQ(Packed(fd[0].iLen), 4);
  EXPECT_EQ(Packed(fd[1].iOffset), 4u);
  EXPECT_EQ(Packed(fd[2].iFldType), fldBLOB);
  // The record stays small: a blob takes a slot of four bytes whatever the
  // column may hold.
  EXPECT_LT(Packed(props.iRecBufSize), 256);
  auto b = Buffer(c);
  engine_.SetToBegin(c);
  ASSERT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), 0);
  std::uint32_t size = 0;
  ASSERT_EQ(engine_.GetBlobSize(c, b.data(), 1, size), 0);
  ASSERT_EQ(size, 4u);
  char hex[4] = {};
  std::uint32_t read = 0;
  ASSERT_EQ(engine_.GetBlob(c, b.data(), 1, 0, 4, hex, read), 0);
  EXPECT_EQ(std::string(hex, read), "4142");
  EXPECT_EQ(Plain(c, 2, b), "1");
  engine_.ReleaseRecordBuffer(c, b.data());
}

TEST_F(FieldTypesTest, AdjustedTypesSurviveARefreshAndUnsignedValuesStayPositive) {
  const std::string t =
      CreateTable("(yn ENUM('Y','N'), su SMALLINT UNSIGNED, tu TINYINT UNSIGNED, v VARCHAR(3))",
                  "('Y', 65535, 255, 'abc')");
  TNativeDataSet* c = Open("SELECT * FROM " + t);
  ASSERT_NE(c, nullptr);
  auto b = Buffer(c);
  for (int pass = 0; pass < 2; ++pass) {
    SCOPED_TRACE(pass);
    engine_.SetToBegin(c);
    ASSERT_EQ(engine_.GetNextRecord(c, 0, nullptr, b.data()), 0);
    EXPECT_EQ(Value<std::int16_t>(c, 1, b), 1);
    EXPECT_EQ(Value<std::uint16_t>(c, 2, b), 65535);
    EXPECT_EQ(Value<std::uint16_t>(c, 3, b), 255);
    EXPECT_EQ(c->ValueLiteral(2, b.data(), false), "65535");
    EXPECT_EQ(Text(c, 4, b), "abc");
    // The refresh gets a new result whose columns carry the server's types
    // again; the cursor keeps reading them as it described them.
    ASSERT_EQ(engine_.ForceReread(c), 0);
  }
  engine_.ReleaseRecordBuffer(c, b.data());
}

}  // namespace
}  // namespace engine
