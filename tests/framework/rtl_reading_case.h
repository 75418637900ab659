// One case of reading a value from text under given format settings: whether
// the text reads, and the value it reads as.
#pragma once

#include "rtl/FormatSettings.h"

struct ReadingCase {
  const char* text;
  const rtl::TFormatSettings* settings;
  bool ok;
  double value;
};
