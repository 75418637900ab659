// Engine field descriptors to framework field types, sizes and the
// never-required columns.
#include <gtest/gtest.h>

#include <cstring>

#include "components/FieldMapping.h"

namespace components {
namespace {

engine::FieldDescriptor Descriptor(int type, int subtype, int units1 = 0, int units2 = 0,
                                   int length = 0, int native = 0) {
  engine::FieldDescriptor d;
  std::memset(&d, 0, sizeof d);
  d.iFldType = static_cast<std::uint16_t>(type);
  d.iSubType = static_cast<std::uint16_t>(subtype);
  d.iUnits1 = static_cast<std::int16_t>(units1);
  d.iUnits2 = static_cast<std::int16_t>(units2);
  d.iLen = static_cast<std::uint16_t>(length);
  d.iNativeType = static_cast<std::uint16_t>(native);
  return d;
}

TEST(FieldMapping, LogicalTypesBecomeFieldTypes) {
  struct Case {
    engine::FieldDescriptor d;
    db::TFieldType type;
    int size, precision;
    bool never_required;
  } cases[] = {
      {Descriptor(1, 0, 80), db::ftString, 80, 0, false},
      {Descriptor(2, 0), db::ftDate, 0, 0, false},
      {Descriptor(3, 0, 4), db::ftBlob, 4, 0, false},
      {Descriptor(3, 22, 4), db::ftMemo, 4, 0, false},
      {Descriptor(3, 23), db::ftBlob, 0, 0, false},
      {Descriptor(3, 24), db::ftFmtMemo, 0, 0, false},
      {Descriptor(3, 26), db::ftGraphic, 0, 0, false},
      {Descriptor(3, 28), db::ftTypedBinary, 0, 0, false},
      {Descriptor(3, 33), db::ftOraClob, 0, 0, false},
      {Descriptor(3, 34), db::ftOraBlob, 0, 0, false},
      {Descriptor(3, 36), db::ftBlob, 0, 0, false},
      {Descriptor(4, 0), db::ftBoolean, 0, 0, false},
      {Descriptor(5, 0, 0, 0, 2), db::ftSmallint, 0, 0, false},
      {Descriptor(5, 0, 0, 0, 1), db::ftSmallint, 0, 0, false},
      {Descriptor(5, 0, 0, 0, 4), db::ftUnknown, 0, 0, false},
      {Descriptor(6, 0), db::ftInteger, 0, 0, false},
      {Descriptor(6, 29), db::ftAutoInc, 0, 0, true},
      {Descriptor(7, 0), db::ftFloat, 0, 0, false},
      {Descriptor(7, 21), db::ftCurrency, 0, 0, false},
      {Descriptor(8, 0, 10, 2), db::ftBCD, 2, 10, false},
      {Descriptor(9, 0, 16), db::ftBytes, 16, 0, false},
      {Descriptor(9, 0, 0), db::ftUnknown, 0, 0, false},
      {Descriptor(15, 0, 8), db::ftVarBytes, 8, 0, false},
      {Descriptor(10, 0), db::ftTime, 0, 0, false},
      {Descriptor(11, 0, 0, 0, 0, 12), db::ftDateTime, 0, 0, false},
      {Descriptor(11, 0, 0, 0, 0, 7), db::ftDateTime, 0, 0, true},
      {Descriptor(12, 0, 0, 0, 2), db::ftWord, 0, 0, false},
      {Descriptor(12, 0, 0, 0, 1), db::ftSmallint, 0, 0, false},
      {Descriptor(12, 0, 0, 0, 8), db::ftUnknown, 0, 0, false},
      {Descriptor(13, 29), db::ftAutoInc, 0, 0, true},
      {Descriptor(13, 0), db::ftInteger, 0, 0, false},
      {Descriptor(18, 0), db::ftLargeint, 0, 0, false},
      {Descriptor(19, 29), db::ftLargeint, 0, 0, true},
      {Descriptor(24, 0, 0, 0, 0, 7), db::ftTimeStamp, 0, 0, true},
      {Descriptor(0, 0), db::ftUnknown, 0, 0, false},
      {Descriptor(14, 0), db::ftUnknown, 0, 0, false},
      {Descriptor(16, 0), db::ftUnknown, 0, 0, false},
      {Descriptor(25, 0), db::ftUnknown, 0, 0, false},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(row++);
    const TMappedField m = MapFieldDescriptor(c.d);
    EXPECT_EQ(m.type, c.type);
    EXPECT_EQ(m.size, c.size);
    EXPECT_EQ(m.precision, c.precision);
    EXPECT_EQ(m.never_required, c.never_required);
  }
}

}  // namespace
}  // namespace components
