// The mapping from an engine field descriptor to a framework field
// definition: type, size, precision and the required/never-required rule.
//
// Pure functions, safe from any thread.
#pragma once

#include "db/FieldTypes.h"
#include "engine/EngineTypes.h"

namespace components {

struct TMappedField {
  db::TFieldType type = db::ftUnknown;
  int size = 0;
  int precision = 0;
  // True for auto-increment columns and server TIMESTAMP columns, which the
  // server fills itself.
  bool never_required = false;
};

TMappedField MapFieldDescriptor(const engine::FieldDescriptor& descriptor);

}  // namespace components
