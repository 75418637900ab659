// The framework's message texts. Texts with printf conversions are filled
// with rtl::Format; the caller adds the component-name prefix where the
// message belongs to a named component (DatabaseError does it).
#pragma once

namespace db::msg {

inline constexpr const char* kDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* kDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* kNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* kDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* kDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* kDataSetMissing = "Field '%s' has no dataset";
inline constexpr const char* kFieldRequired = "Field '%s' must have a value";
inline constexpr const char* kFieldNotFound = "Field '%s' not found";
inline constexpr const char* kFieldTypeMismatch =
    "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* kFieldReadOnly = "Field '%s' cannot be modified";
inline constexpr const char* kFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* kFieldIndexError = "Field index out of range";
inline constexpr const char* kIndexFieldMissing = "Cannot access index field '%s'";
inline constexpr const char* kNotIndexField =
    "Field \"%s\" is not indexed by current index and cannot be modified";
inline constexpr const char* kNoFieldAccess = "Cannot access field '%s' in a filter";
inline constexpr const char* kDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* kInvalidIntegerValue =
    "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* kInvalidFloatValue =
    "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* kInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* kFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* kNotCachedUpdate = "Not in cached update mode";
inline constexpr const char* kCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* kRecordNotFound = "Record not found";
inline constexpr const char* kIndexNotFound = "Index '%s' not found";
inline constexpr const char* kNoIndexForFields = "No index for fields '%s'";
inline constexpr const char* kParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* kLookupInfoError = "Lookup information for field '%s' is incomplete";
inline constexpr const char* kDatabaseOpen = "Cannot perform this operation on an open database";
inline constexpr const char* kDatabaseClosed = "Cannot perform this operation on a closed database";

}  // namespace db::msg
