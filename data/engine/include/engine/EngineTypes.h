// Plain types exchanged across the engine interface: result codes, connect
// options, logical field types, the descriptor records the components read,
// the cursor-properties record and the property ids.
//
// Everything here is a value type without behaviour beyond a few lookups.
// The records keep the field order and widths the components rely on; they
// are filled by the engine and copied into caller-owned memory.
#pragma once

#include <cstdint>
#include <string>

#include "wire/Protocol.h"

namespace engine {

// 16-bit result code of every engine operation; 0 is success.
using DBIResult = std::uint16_t;

enum : DBIResult {
  DBIERR_NONE = 0,
  DBIERR_NATIVE = 1001,
  DBIERR_BOF = 8705,
  DBIERR_EOF = 8706,
  DBIERR_NOCURRREC = 8709,
  DBIERR_RECNOTFOUND = 8710,
  DBIERR_ENDOFBLOB = 8711,
  DBIERR_INVALIDPARAM = 9986,
  DBIERR_INVALIDHNDL = 9990,
  DBIERR_NOSUCHINDEX = 9997,
  DBIERR_INVALIDBLOBOFFSET = 9998,
  DBIERR_INVALIDRECSTRUCT = 10003,
  DBIERR_NOSUCHTABLE = 10024,
  DBIERR_NOSUCHFILTER = 10050,
  DBIERR_NOTSUFFTABLERIGHTS = 10498,
  DBIERR_NOTABLOB = 10753,
  DBIERR_TABLEREADONLY = 10763,
  DBIERR_NOASSOCINDEX = 10764,
  DBIERR_QRYEMPTY = 11886,
  DBIERR_NOTSUPPORTED = 12289,
  DBIERR_UPDATEABORT = 13062,
  // A text value holds a zero byte, which a string field cannot keep: the
  // field is not read rather than read up to that byte.
  DBIERR_VALUECUT = 13063,
};

// Description text of a result code ("Unknown error" for codes without one;
// 1001 has an empty description, its text is the native message).
std::string ResultCodeDescription(DBIResult code);

// Connect options, one bit each in a 16-bit set.
enum TConnectOption : std::uint8_t {
  coCompress = 0,
  coFoundRows = 1,
  coIgnoreSpaces = 2,
  coInteractive = 3,
  coNoSchema = 4,
  coODBC = 5,
  coSSL = 6,
  // The server may ask for the local files a LOAD DATA LOCAL statement
  // names (off unless set).
  coLocalFiles = 7,
  // One statement per query: the connection does not offer multi-statements
  // or multi-results, so a text cannot carry a second statement.
  coSingleStatements = 8,
};
using TConnectOptions = std::uint16_t;
constexpr TConnectOptions ConnectOptionBit(TConnectOption o) {
  return static_cast<TConnectOptions>(1u << o);
}

// Logical field types the engine assigns to result columns.
enum : std::uint16_t {
  fldUNKNOWN = 0,
  fldZSTRING = 1,
  fldDATE = 2,
  fldBLOB = 3,
  fldBOOL = 4,
  fldINT16 = 5,
  fldINT32 = 6,
  fldFLOAT = 7,
  fldBCD = 8,
  fldBYTES = 9,
  fldTIME = 10,
  fldTIMESTAMP = 11,
  fldUINT16 = 12,
  fldUINT32 = 13,
  fldVARBYTES = 15,
  fldINT64 = 18,
  fldUINT64 = 19,
  fldSQLTIMESTAMP = 24,
};
// Subtypes. Of these the engine sets only fldstMEMO and fldstAUTOINC; the
// components read the others when a descriptor carries them.
enum : std::uint16_t {
  fldstMONEY = 21,
  fldstMEMO = 22,
  fldstFMTMEMO = 24,
  fldstOLEOBJ = 25,
  fldstGRAPHIC = 26,
  fldstDBSOLEOBJ = 27,
  fldstTYPEDBINARY = 28,
  fldstAUTOINC = 29,
  fldstFIXED = 31,
  fldstHMEMO = 33,
  fldstHBINARY = 34,
};

// Server column types and flags are the wire layer's, by their names.
using namespace wire::protocol;

#pragma pack(push, 1)

// Description of one result column as a field of the engine record.
struct FieldDescriptor {
  std::uint16_t iFldNum;
  char szName[64];
  std::uint16_t iFldType;
  std::uint16_t iSubType;
  std::int16_t iUnits1;
  std::int16_t iUnits2;
  // Offsets are 32-bit for the same reason as the record size.
  std::uint32_t iOffset;
  std::uint16_t iLen;
  std::uint32_t iNullOffset;
  std::uint32_t efldvVchk;
  std::uint32_t efldrRights;
  std::int16_t bCalcField;
  std::uint16_t iNativeType;
  std::uint8_t bUnsigned;
};

// Validity of one field; the engine fills the field number, required and
// has-default, the value areas stay zero.
struct ValidityDescriptor {
  std::uint16_t iFldNum;
  std::int16_t bRequired;
  std::int16_t bHasMinVal;
  std::int16_t bHasMaxVal;
  std::int16_t bHasDefVal;
  std::uint8_t aMinVal[255];
  std::uint8_t aMaxVal[255];
  std::uint8_t aDefVal[255];
  char szPict[176];
  std::uint16_t elkupType;
  char szLkupTblName[261];
};

// Description of one index of a table.
struct IndexDescriptor {
  char szName[261];
  std::uint16_t iIndexId;
  char szTagName[64];
  char szFormat[64];
  std::int16_t bPrimary;
  std::int16_t bUnique;
  std::int16_t bDescending;
  std::int16_t bMaintained;
  std::int16_t bSubset;
  std::int16_t bExpIdx;
  std::uint16_t iCost;
  std::uint16_t iFldsInKey;
  std::uint16_t iKeyLen;
  std::int16_t bOutofDate;
  std::uint16_t iKeyExpType;
  std::uint16_t aiKeyFld[16];
  char szKeyExp[221];
  char szKeyCond[221];
  std::int16_t bCaseInsensitive;
  std::uint16_t iBlockSize;
  std::uint16_t iRestrNum;
  std::int16_t abDescending[16];
};

// What the components learn about an open cursor.
struct CursorProperties {
  char szName[261];
  std::uint16_t iFNameSize;
  char szTableType[64];
  std::uint16_t iFields;
  // Record sizes are 32-bit: a few wide text columns already pass 64 KiB.
  std::uint32_t iRecSize;
  std::uint32_t iRecBufSize;
  std::uint16_t iKeySize;
  std::uint16_t iIndexes;
  std::uint16_t iValChecks;
  std::uint16_t iRefIntChecks;
  std::uint16_t iBookMarkSize;
  std::int16_t bBookMarkStable;
  std::uint32_t eOpenMode;
  std::uint32_t eShareMode;
  std::int16_t bIndexed;
  std::int16_t iSeqNums;
  std::int16_t bSoftDeletes;
  std::int16_t bDeletedOn;
  std::uint16_t iRefRange;
  std::uint32_t exltMode;
  std::uint16_t iRestrVersion;
  std::int16_t bUniDirectional;
  std::uint16_t eprvRights;
  std::uint16_t iFmlRights;
  std::uint16_t iPasswords;
  std::uint16_t iCodePage;
  std::int16_t bProtected;
  std::uint16_t iTblLevel;
  char szLangDriver[64];
  std::int16_t bFieldMap;
  std::uint16_t iBlockSize;
  std::int16_t bStrictRefInt;
  std::uint16_t iFilters;
  std::int16_t bTempTable;
};

// Written by the reading operations: both numbers are the 1-based record
// number of the row now current.
struct RecordProperties {
  std::int32_t iSeqNum;
  std::int32_t iPhyRecNum;
};

// Transaction state answered by GetTransactionInfo.
struct TransactionInfo {
  std::int32_t eXState;  // 1 = open, 0 = none
  std::int32_t eXIL;     // isolation level
};

#pragma pack(pop)

// Property ids (only the low 16 bits are looked at). Id 20 reads the
// affected rows, and setting it (whatever the value) marks the position as
// after a modification: one id, two names, one for each direction.
enum : std::uint32_t {
  propVersion = 0,
  propZero = 5,
  propFieldCount = 15,
  propUniDirectional = 16,  // handed over by the components, ignored
  propAffectedRows = 20,
  propMarkModified = 20,
  propNoRefresh = 23,
  propReadOnly = 33,
};
// The full ids the components pass: the high word names the object kind
// (cursor or statement), which the engine does not look at.
enum : std::uint32_t {
  kCursorProperty = 0x50000,
  kStatementProperty = 0x60000,
  curpropVersion = kCursorProperty | propVersion,
  curpropFieldCount = kCursorProperty | propFieldCount,
  curpropMarkModified = kCursorProperty | propMarkModified,
  curpropNoRefresh = kCursorProperty | propNoRefresh,
  curpropReadOnly = kCursorProperty | propReadOnly,
  stmtpropUniDirectional = kStatementProperty | propUniDirectional,
  stmtpropAffectedRows = kStatementProperty | propAffectedRows,
  stmtpropReadOnly = kStatementProperty | propReadOnly,
};

// Storage of a key or bookmark.
constexpr int kBookmarkSize = 8;

}  // namespace engine
