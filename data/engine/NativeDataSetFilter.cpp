// Record filters: expressions of the dataset framework and callbacks.
#include <cstring>

#include "RecordCodec.h"
#include "engine/EngineErrors.h"
#include "engine/NativeDataSet.h"
#include "rtl/ScopeExit.h"
#include "rtl/SysUtils.h"
#include "rtl/Variant.h"

namespace engine {

TmySQLFilter::TmySQLFilter(TNativeDataSet* owner, void* dataset, const db::TFilterExpr* expression,
                           TFilterCallback callback)
    : owner_(owner), callback_(std::move(callback)), dataset_(dataset) {
  if (expression) {
    expression_ = *expression;
    has_expression_ = true;
  }
}

TmySQLFilter* TNativeDataSet::AddFilter(void* dataset, const db::TFilterExpr* expression,
                                        TFilterCallback callback) {
  filters_.push_back(
      std::make_unique<TmySQLFilter>(this, dataset, expression, std::move(callback)));
  return filters_.back().get();
}

namespace {

bool AnyActive(const std::vector<std::unique_ptr<TmySQLFilter>>& filters) {
  for (const auto& f : filters)
    if (f->Active()) return true;
  return false;
}

}  // namespace

void TNativeDataSet::DropFilter(TmySQLFilter* filter) {
  if (!filter) {
    filters_.clear();
  } else {
    for (auto it = filters_.begin(); it != filters_.end(); ++it)
      if (it->get() == filter) {
        filters_.erase(it);
        break;
      }
  }
  filtering_ = AnyActive(filters_);
}

void TNativeDataSet::ActivateFilter(TmySQLFilter* filter) {
  for (auto& f : filters_)
    if (!filter || f.get() == filter) f->SetActive(true);
  filtering_ = AnyActive(filters_);
}

void TNativeDataSet::DeactivateFilter(TmySQLFilter* filter) {
  for (auto& f : filters_)
    if (!filter || f.get() == filter) f->SetActive(false);
  filtering_ = AnyActive(filters_);
}

namespace {

// The engine value at `in` (a slot's bytes after its presence byte) as a
// filter expression reads it.
rtl::Variant SlotVariant(const TmySQLField& f, const std::uint8_t* in) {
  switch (f.FieldType()) {
    case fldZSTRING: {
      size_t cap = f.FieldLength() ? f.FieldLength() - 1u : 0u;
      return rtl::Variant(std::string(reinterpret_cast<const char*>(in),
                                      strnlen(reinterpret_cast<const char*>(in), cap)));
    }
    case fldDATE:
    case fldTIME:
    case fldTIMESTAMP:
      return rtl::Variant::FromDateTime(ReadSlot<double>(in));
    case fldBOOL:
      return rtl::Variant(ReadSlot<std::int16_t>(in) != 0);
    case fldINT16:
      return rtl::Variant(static_cast<int>(ReadSlot<std::int16_t>(in)));
    case fldUINT16:
      return rtl::Variant(static_cast<int>(ReadSlot<std::uint16_t>(in)));
    case fldINT32:
      return rtl::Variant(static_cast<int>(ReadSlot<std::int32_t>(in)));
    case fldINT64:
    case fldUINT64:
      return rtl::Variant(static_cast<long long>(ReadSlot<std::int64_t>(in)));
    case fldFLOAT:
      return rtl::Variant(ReadSlot<double>(in));
    default:
      return rtl::Variant::Null();
  }
}

// The field values of one record buffer, as a filter expression reads them.
class BufferRecord : public db::TFilterRecord {
 public:
  BufferRecord(TNativeDataSet& cursor, const std::uint8_t* buffer)
      : cursor_(cursor), buffer_(buffer) {}

  bool GetFieldValue(int, std::string_view name, rtl::Variant& value) const override {
    const int k = cursor_.FieldNumberByName(std::string(name));
    if (k <= 0) return false;
    TmySQLField& f = cursor_.Fields().Field(k);
    if (f.FieldType() == fldBLOB) {
      // Blob data stay in the row of the buffer's bookmark.
      if (TRecordCodec::NullFlagged(buffer_, f)) {
        value = rtl::Variant::Null();
        return true;
      }
      std::uint32_t size = cursor_.GetBlobSize(buffer_, k);
      std::string text(size, '\0');
      if (size) cursor_.GetBlob(buffer_, k, 0, static_cast<std::int32_t>(size), text.data());
      value = rtl::Variant(std::move(text));
      return true;
    }
    value = TRecordCodec::IsNull(buffer_, f) ? rtl::Variant::Null()
                                             : SlotVariant(f, TRecordCodec::Value(buffer_, f));
    return true;
  }

 private:
  TNativeDataSet& cursor_;
  const std::uint8_t* buffer_;
};

}  // namespace

bool TNativeDataSet::RecordPasses(std::uint8_t* buffer) {
  for (const auto& filter : filters_) {
    if (!filter->Active()) continue;
    bool accepted = false;
    try {
      if (filter->Callback())
        accepted = filter->Callback()(buffer);
      else if (filter->HasExpression())
        accepted = filter->Expression().Evaluate(BufferRecord(*this, buffer));
      else
        accepted = true;
    } catch (const EmySQLException&) {
      throw;
    } catch (const std::exception&) {
      // An expression that cannot be evaluated rejects the record.
      accepted = false;
    }
    if (!accepted) return false;
  }
  return true;
}

void TNativeDataSet::ApplyFilters(std::uint8_t* buffer) {
  if (!filtering_) return;
  std::vector<std::uint8_t> scratch;
  std::uint8_t* record = buffer;
  std::uint8_t* saved = nav_.Buffer();
  if (!record) {
    scratch.resize(RecordSize());
    record = scratch.data();
    ReadRowIntoBuffer(record);
  }
  nav_.SetBuffer(record);
  rtl::ScopeExit restore([&] { nav_.SetBuffer(buffer ? buffer : saved); });
  while (!RecordPasses(record)) {
    if (nav_.Direction() == 2)
      MovePrior();
    else
      MoveNext();
  }
}

}  // namespace engine
