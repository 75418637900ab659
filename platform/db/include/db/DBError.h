// The framework's database error and the helpers that raise it.
//
// `EDatabaseError` is what the framework, and the components built on it,
// throw for misuse and failed operations. When the raising object is a named
// component the message is prefixed with "Name: ". The exception owns its
// message; instances are independent values.
#pragma once

#include <string>

#include "rtl/SysUtils.h"

namespace db {

class TComponent;

class EDatabaseError : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

// Throws EDatabaseError with `message`, prefixed with "Name: " when
// `component` is given and has a non-empty name.
[[noreturn]] void DatabaseError(const std::string& message, const TComponent* component = nullptr);

// The message as DatabaseError would word it.
std::string ComponentMessage(const std::string& message, const TComponent* component);

}  // namespace db
