// Result codes, the failure conversion and the two message forms of the
// database error; handle validation; connect option flags.
#include <gtest/gtest.h>

#include "engine/MySQLEngine.h"

namespace engine {
namespace {

TEST(ResultCodes, DescriptionTexts) {
  const struct {
    DBIResult code;
    const char* text;
  } cases[] = {
      {8705, "At beginning of table."},
      {8706, "At end of table."},
      {8709, "No current record."},
      {8710, "Could not find record."},
      {8711, "End of BLOB."},
      {9986, "Invalid parameter."},
      {9990, "Invalid handle to the function."},
      {9997, "Index does not exist."},
      {9998, "Invalid offset into the BLOB."},
      {10003, "Invalid record structure."},
      {10024, "Table does not exist."},
      {10050, "Filter handle is invalid."},
      {10498, "Insufficient table rights for operation. Password required."},
      {10753, "Field is not a BLOB."},
      {10763, "Table is read only."},
      {10764, "No associated index."},
      {11886, "Query string is empty."},
      {12289, "Capability not supported."},
      {13062, "Update aborted."},
      {4242, "Unknown error"},
  };
  for (const auto& c : cases) EXPECT_EQ(ResultCodeDescription(c.code), c.text) << c.code;
}

TEST(EngineErrors, NullHandlesAnswer9990AndTheDbiForm) {
  TmySQLEngine engine;
  EXPECT_EQ(engine.CurrentHandle(), &engine);
  int count = 0;
  EXPECT_EQ(engine.GetRecordCount(nullptr, count), DBIERR_INVALIDHNDL);
  EXPECT_EQ(engine.CurrentHandle(), nullptr);
  EXPECT_EQ(engine.LastErrorMessage(), "");
  try {
    engine.Check(DBIERR_INVALIDHNDL);
    FAIL() << "Check must raise";
  } catch (const EmySQLDatabaseError& e) {
    EXPECT_EQ(e.ErrorCode(), DBIERR_INVALIDHNDL);
    EXPECT_EQ(e.NativeError(), 0);
    EXPECT_STREQ(e.what(), "DBI Error Code: (9990)\r\n \r\nInvalid handle to the function.");
  }
  // 10763 with an empty message: a line holding a single blank.
  EXPECT_EQ(engine.ErrorMessageFor(DBIERR_TABLEREADONLY),
            "DBI Error Code: (10763)\r\n \r\nTable is read only.");
}

TEST(EngineErrors, CheckIgnoresTheHighWord) {
  TmySQLEngine engine;
  EXPECT_NO_THROW(engine.Check(0));
  EXPECT_NO_THROW(engine.Check(0x10000));
  EXPECT_THROW(engine.Check(0x12706), EmySQLDatabaseError);
}

TEST(EngineErrors, PropertiesOnNullObjectsAnswer9986) {
  TmySQLEngine engine;
  std::uint32_t length = 0;
  std::int32_t value = 7;
  EXPECT_EQ(engine.GetProperty(nullptr, stmtpropAffectedRows, &value, 4, length),
            DBIERR_INVALIDPARAM);
  EXPECT_EQ(engine.SetProperty(nullptr, stmtpropAffectedRows, 1), DBIERR_INVALIDPARAM);
  EXPECT_EQ(engine.GetIntProperty(nullptr, curpropFieldCount), 0);
  EXPECT_FALSE(engine.SetBoolProperty(nullptr, curpropNoRefresh, 1));
  // SetToBegin and SetToEnd have no failure handler.
  EXPECT_EQ(engine.SetToBegin(nullptr), 0);
  EXPECT_EQ(engine.SetToEnd(nullptr), 0);
}

TEST(EngineErrors, NoResultSetMessage) {
  ENoResultSet e(5);
  EXPECT_STREQ(e.what(), "Error creating cursor handle (MultiResultsetNo=5)");
  EXPECT_EQ(e.ResultSetNo(), 5);
}

TEST(ConnectOptions, ClientFlags) {
  EXPECT_EQ(TNativeConnect::OptionFlags(ConnectOptionBit(coCompress)) | 0x30000, 0x30020u);
  EXPECT_EQ(TNativeConnect::OptionFlags(0) | 0x30000, 0x30000u);
  // The seven options one by one: 0x800 + 0x20 + 0x2 + 0x100 + 0x400 + 0x10 + 0x40.
  EXPECT_EQ(TNativeConnect::OptionFlags(0x7F) | 0x30000, 0x30D72u);
  EXPECT_EQ(TNativeConnect::OptionFlags(ConnectOptionBit(coSSL)), 0x800u);
  EXPECT_EQ(TNativeConnect::OptionFlags(ConnectOptionBit(coInteractive)), 0x400u);
}

TEST(ConnectParams, DefaultsAndConversions) {
  TNativeConnect c(0);
  c.ReadParams({"Port=3307", "DatabaseName=t2tipafecf", "UID=u", "PWD=p", "Host="});
  EXPECT_EQ(c.Host(), "localhost");
  EXPECT_EQ(c.Port(), 3307);
  EXPECT_EQ(c.Timeout(), 30);
  EXPECT_EQ(c.Database(), "t2tipafecf");
  EXPECT_EQ(c.User(), "u");
  EXPECT_EQ(c.Password(), "p");
  c.ReadParams({"Port=3306", "TIMEOUT=0", "Host=srv"});
  EXPECT_EQ(c.Timeout(), 0);
  EXPECT_EQ(c.Host(), "srv");
  EXPECT_THROW(c.ReadParams({"Host=x"}), rtl::EConvertError);
  EXPECT_THROW(c.ReadParams({"Port=abc"}), rtl::EConvertError);
}

}  // namespace
}  // namespace engine

namespace engine {
namespace {

TEST(CharacterConversion, BetweenWorkstationAndServerCodePages) {
  TmySQLEngine engine;
  EXPECT_EQ(ClientCodePage(), 16);
  engine.SetConnectionCodePage(5);  // ISO 8859-15: the euro sign sits at A4
  char out[8] = {};
  engine.AnsiToNativeBuf("\x80\xE7z", out, 3);
  EXPECT_EQ(std::string(out, 3), "\xA4\xE7z");
  EXPECT_EQ(engine.NativeToAnsiText("\xA4\xE7"), "\x80\xE7");
  char text[4];
  EXPECT_STREQ(engine.AnsiToNativeText("\x80\x80\x80\x80", text, 2), "\xA4\xA4");
  // A zero byte ends the conversion; without a server code page the bytes
  // are copied.
  char mixed[3];
  engine.AnsiToNativeBuf(std::string("\x80\0\x80", 3).data(), mixed, 3);
  EXPECT_EQ(std::string(mixed, 3), std::string("\xA4\0\x80", 3));
  engine.SetConnectionCodePage(0);
  EXPECT_EQ(engine.NativeToAnsiText("\xA4"), "\xA4");
}

TEST(CharacterConversion, EachEngineConvertsWithItsOwnConnectionsCodePage) {
  // Two connections, ISO 8859-2 and ISO 8859-15: whichever connected last
  // (the process-wide value), each converts with its own.
  TmySQLEngine latin2, latin9;
  latin2.SetConnectionCodePage(6);
  latin9.SetConnectionCodePage(5);
  const int saved = ServerCodePage();
  SetServerCodePage(5);
  EXPECT_EQ(latin2.NativeToAnsiText("\xA9"), "\x8A");  // S caron
  EXPECT_EQ(latin9.NativeToAnsiText("\xA9"), "\xA9");  // copyright sign
  SetServerCodePage(6);
  EXPECT_EQ(latin9.NativeToAnsiText("\xA4"), "\x80");  // euro sign
  SetServerCodePage(saved);
}

}  // namespace
}  // namespace engine
