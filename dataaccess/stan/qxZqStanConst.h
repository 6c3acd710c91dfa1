// qxZqStanConst: the display names of the library's data types and of
// Boolean values, used in messages and when types are listed as text.
#pragma once

#include "dataaccess/stan/qxZqStanIntf.h"

extern const char *const ZqDataTypeNames[ZqDataTypeCount];
extern const char *const ZqBooleanNames[2]; // "False", "True"
