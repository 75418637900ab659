// Engine logical field types to framework field types.
#include "components/FieldMapping.h"

namespace components {

namespace {

db::TFieldType BlobSubtype(int subtype) {
  switch (subtype) {
    case engine::fldstMEMO:
      return db::ftMemo;
    case engine::fldstFMTMEMO:
      return db::ftFmtMemo;
    case engine::fldstOLEOBJ:
      return db::ftParadoxOle;
    case engine::fldstGRAPHIC:
      return db::ftGraphic;
    case engine::fldstDBSOLEOBJ:
      return db::ftDBaseOle;
    case engine::fldstTYPEDBINARY:
      return db::ftTypedBinary;
    case engine::fldstHMEMO:
      return db::ftOraClob;
    case engine::fldstHBINARY:
      return db::ftOraBlob;
    default:
      return db::ftBlob;
  }
}

}  // namespace

TMappedField MapFieldDescriptor(const engine::FieldDescriptor& d) {
  TMappedField m;
  const int subtype = d.iSubType;
  const bool auto_inc = subtype == engine::fldstAUTOINC;
  const bool server_timestamp = d.iNativeType == engine::MYSQL_TYPE_TIMESTAMP;
  switch (d.iFldType) {
    case engine::fldZSTRING:
      m.type = db::ftString;
      m.size = d.iUnits1;
      break;
    case engine::fldDATE:
      m.type = db::ftDate;
      break;
    case engine::fldBLOB:
      m.type = BlobSubtype(subtype);
      m.size = d.iUnits1;
      break;
    case engine::fldBOOL:
      m.type = db::ftBoolean;
      break;
    case engine::fldINT16:
      m.type = d.iLen == 1 || d.iLen == 2 ? db::ftSmallint : db::ftUnknown;
      break;
    case engine::fldINT32:
    case engine::fldUINT32:
      m.type = auto_inc ? db::ftAutoInc : db::ftInteger;
      m.never_required = auto_inc;
      break;
    case engine::fldFLOAT:
      m.type = subtype == engine::fldstMONEY ? db::ftCurrency : db::ftFloat;
      break;
    case engine::fldBCD:
      m.type = db::ftBCD;
      m.size = d.iUnits2;
      m.precision = d.iUnits1;
      break;
    case engine::fldBYTES:
    case engine::fldVARBYTES:
      m.size = d.iUnits1;
      m.type = d.iUnits1 == 0                   ? db::ftUnknown
               : d.iFldType == engine::fldBYTES ? db::ftBytes
                                                : db::ftVarBytes;
      break;
    case engine::fldTIME:
      m.type = db::ftTime;
      break;
    case engine::fldTIMESTAMP:
      m.type = db::ftDateTime;
      m.never_required = server_timestamp;
      break;
    case engine::fldUINT16:
      m.type = d.iLen == 1 ? db::ftSmallint : d.iLen == 2 ? db::ftWord : db::ftUnknown;
      break;
    case engine::fldINT64:
    case engine::fldUINT64:
      m.type = db::ftLargeint;
      m.never_required = auto_inc;
      break;
    case engine::fldSQLTIMESTAMP:
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
