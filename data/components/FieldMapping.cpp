// Engine logical field types to framework field types.
#include "components/FieldMapping.h"

namespace components {

namespace {

db::TFieldType BlobSubtype(int subtype) {
  switch (subtype) {
    case 22:
      return db::ftMemo;
    case 24:
      return db::ftFmtMemo;
    case 25:
      return db::ftParadoxOle;
    case 26:
      return db::ftGraphic;
    case 27:
      return db::ftDBaseOle;
    case 28:
      return db::ftTypedBinary;
    case 33:
      return db::ftOraClob;
    case 34:
      return db::ftOraBlob;
    default:
      return db::ftBlob;
  }
}

}  // namespace

TMappedField MapFieldDescriptor(const engine::FieldDescriptor& d) {
  TMappedField m;
  const int subtype = d.iSubType;
  const bool auto_inc = subtype == 29;
  const bool server_timestamp = d.iNativeType == 7;
  switch (d.iFldType) {
    case 1:
      m.type = db::ftString;
      m.size = d.iUnits1;
      break;
    case 2:
      m.type = db::ftDate;
      break;
    case 3:
      m.type = BlobSubtype(subtype);
      m.size = d.iUnits1;
      break;
    case 4:
      m.type = db::ftBoolean;
      break;
    case 5:
      m.type = d.iLen == 1 || d.iLen == 2 ? db::ftSmallint : db::ftUnknown;
      break;
    case 6:
    case 13:
      m.type = auto_inc ? db::ftAutoInc : db::ftInteger;
      m.never_required = auto_inc;
      break;
    case 7:
      m.type = subtype == 21 ? db::ftCurrency : db::ftFloat;
      break;
    case 8:
      m.type = db::ftBCD;
      m.size = d.iUnits2;
      m.precision = d.iUnits1;
      break;
    case 9:
    case 15:
      m.size = d.iUnits1;
      m.type = d.iUnits1 == 0 ? db::ftUnknown : d.iFldType == 9 ? db::ftBytes : db::ftVarBytes;
      break;
    case 10:
      m.type = db::ftTime;
      break;
    case 11:
      m.type = db::ftDateTime;
      m.never_required = server_timestamp;
      break;
    case 12:
      m.type = d.iLen == 1 ? db::ftSmallint : d.iLen == 2 ? db::ftWord : db::ftUnknown;
      break;
    case 18:
    case 19:
      m.type = db::ftLargeint;
      m.never_required = auto_inc;
      break;
    case 24:
      m.type = db::ftTimeStamp;
      m.never_required = server_timestamp;
      break;
    default:
      m.type = db::ftUnknown;
      break;
  }
  return m;
}

}  // namespace components
