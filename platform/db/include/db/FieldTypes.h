// Enumerations shared by the dataset framework, the components and the engine:
// field types, field and index attributes, dataset states, update status,
// bookmark flags, record-fetch modes and results, search and filter options.
//
// Plain value types with no state; safe to use from any thread.
#pragma once

#include <cstdint>
#include <initializer_list>

namespace db {

// A small set of enumerators of one enum type (at most 32 of them), with the
// operations the framework needs: membership, adding, removing, union.
template <typename E>
class Set {
 public:
  constexpr Set() = default;
  constexpr Set(std::initializer_list<E> items) {
    for (E e : items) bits_ |= Bit(e);
  }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr void Include(E e) { bits_ |= Bit(e); }
  constexpr void Exclude(E e) { bits_ &= ~Bit(e); }
  constexpr Set operator|(Set o) const { return FromBits(bits_ | o.bits_); }
  constexpr Set operator&(Set o) const { return FromBits(bits_ & o.bits_); }
  constexpr Set operator-(Set o) const { return FromBits(bits_ & ~o.bits_); }
  constexpr bool operator==(const Set&) const = default;
  constexpr std::uint32_t Bits() const { return bits_; }
  static constexpr Set FromBits(std::uint32_t bits) {
    Set s;
    s.bits_ = bits;
    return s;
  }

 private:
  static constexpr std::uint32_t Bit(E e) { return std::uint32_t{1} << static_cast<unsigned>(e); }
  std::uint32_t bits_ = 0;
};

enum TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
};

// The type's name as the framework prints it ("String", "Integer", ...).
const char* FieldTypeName(TFieldType type);

// True for the blob and memo types.
bool IsBlobType(TFieldType type);

enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = Set<TFieldAttribute>;

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum TIndexOption {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained
};
using TIndexOptions = Set<TIndexOption>;

enum TUpdateMode { upWhereAll, upWhereChanged, upWhereKeyOnly };

enum TLocateOption { loCaseInsensitive, loPartialKey };
using TLocateOptions = Set<TLocateOption>;

enum TFilterOption { foCaseInsensitive, foNoPartialCompare };
using TFilterOptions = Set<TFilterOption>;

// Dataset states, numbered from 0 in this order.
enum TDataSetState {
  dsInactive,
  dsBrowse,
  dsEdit,
  dsInsert,
  dsSetKey,
  dsCalcFields,
  dsFilter,
  dsNewValue,
  dsOldValue,
  dsCurValue,
  dsBlockRead,
  dsInternalCalc,
  dsOpening
};

enum TUpdateStatus { usUnmodified, usModified, usInserted, usDeleted };
using TUpdateStatusSet = Set<TUpdateStatus>;

enum TUpdateKind { ukModify, ukInsert, ukDelete };

enum TUpdateAction { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };

enum TDataAction { daFail, daAbort, daRetry };

enum TBookmarkFlag { bfCurrent, bfBOF, bfEOF, bfInserted };

enum TGetMode { gmCurrent, gmNext, gmPrior };

enum TGetResult { grOK, grBOF, grEOF, grError };

enum TResyncMode { rmExact, rmCenter };
using TResyncModes = Set<TResyncMode>;

enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

// Notices a dataset sends to its data links.
enum TDataEvent {
  deFieldChange,
  deRecordChange,
  deDataSetChange,
  deDataSetScroll,
  deLayoutChange,
  deUpdateRecord,
  deUpdateState,
  deCheckBrowseMode,
  dePropertyChange,
  deFieldListChange,
  deFocusControl,
  deParentScroll,
  deConnectChange,
  deReconcileError,
  deDisabledStateChange
};

}  // namespace db
