// qxZqStanResStrs: the texts of the library's error codes and the few
// texts other units use by name.
#pragma once

#include <cstdint>

// The text of an error code, nil for a code that has none.
const char *ZqErrorText(int32_t ACode);
// Number of codes with a text.
int ZqErrorTextCount();

// The default name of a new definition.
extern const char *const S_ZqStanUnnamed;
// The possible reasons filled into code 333.
extern const char *const S_ZqStanDrvPackageNotLoaded;
extern const char *const S_ZqStanDrvMainUnitNotLinked;
// The extension of the missing-factory message.
extern const char *const S_ZqStanDropComponent;
