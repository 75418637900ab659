#include "engine/EngineErrors.h"

#include "engine/NativeConnect.h"

namespace engine {

std::string ResultCodeDescription(DBIResult code) {
  switch (code) {
    case DBIERR_NATIVE:
      return std::string();
    case DBIERR_BOF:
      return "At beginning of table.";
    case DBIERR_EOF:
      return "At end of table.";
    case DBIERR_NOCURRREC:
      return "No current record.";
    case DBIERR_RECNOTFOUND:
      return "Could not find record.";
    case DBIERR_ENDOFBLOB:
      return "End of BLOB.";
    case DBIERR_INVALIDPARAM:
      return "Invalid parameter.";
    case DBIERR_INVALIDHNDL:
      return "Invalid handle to the function.";
    case DBIERR_NOSUCHINDEX:
      return "Index does not exist.";
    case DBIERR_INVALIDBLOBOFFSET:
      return "Invalid offset into the BLOB.";
    case DBIERR_INVALIDRECSTRUCT:
      return "Invalid record structure.";
    case DBIERR_NOSUCHTABLE:
      return "Table does not exist.";
    case DBIERR_NOSUCHFILTER:
      return "Filter handle is invalid.";
    case DBIERR_NOTSUFFTABLERIGHTS:
      return "Insufficient table rights for operation. Password required.";
    case DBIERR_NOTABLOB:
      return "Field is not a BLOB.";
    case DBIERR_TABLEREADONLY:
      return "Table is read only.";
    case DBIERR_NOASSOCINDEX:
      return "No associated index.";
    case DBIERR_QRYEMPTY:
      return "Query string is empty.";
    case DBIERR_NOTSUPPORTED:
      return "Capability not supported.";
    case DBIERR_UPDATEABORT:
      return "Update aborted.";
    case DBIERR_VALUECUT:
      return "Field value holds a zero byte and cannot be read whole.";
    default:
      return "Unknown error";
  }
}

ENoResultSet::ENoResultSet(int result_set_no)
    : EMySQLAccessError(
          rtl::Format("Error creating cursor handle (MultiResultsetNo=%d)", result_set_no)),
      result_set_no_(result_set_no) {}

EmySQLException::EmySQLException(DBIResult engine_code)
    : rtl::EAbort(std::string()), engine_code_(engine_code), engine_code_given_(true) {}

EmySQLException::EmySQLException(DBIResult engine_code, const std::string& text)
    : rtl::EAbort(text), engine_code_(engine_code), engine_code_given_(true) {}

EmySQLException::EmySQLException(const TNativeConnect* connection)
    : rtl::EAbort(connection ? connection->Client().ErrorMessage() : std::string()),
      connection_(connection),
      native_error_(connection ? static_cast<std::uint16_t>(connection->Client().ErrorNumber())
                               : 0) {}

EmySQLException::EmySQLException(const TNativeConnect* connection, const std::string& text)
    : EmySQLException(connection) {
  SetMessage(text);
  engine_code_ = DBIERR_NATIVE;
}

}  // namespace engine
