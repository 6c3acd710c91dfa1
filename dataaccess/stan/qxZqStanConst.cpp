// qxZqStanConst: display names.
#include "dataaccess/stan/qxZqStanConst.h"

const char *const ZqDataTypeNames[ZqDataTypeCount] = {
    "Unknown",    "Boolean",   "SByte",     "Int16",     "Int32",     "Int64",     "Byte",
    "UInt16",     "UInt32",    "UInt64",    "Double",    "Currency",  "BCD",       "FmtBCD",
    "DateTime",   "Time",      "Date",      "DateTimeStamp", "AnsiString", "WideString", "ByteString",
    "Blob",       "Memo",      "WideMemo",  "HBlob",     "HMemo",     "WideHMemo", "HBFile",
    "RowSetRef",  "CursorRef", "RowRef",    "ArrayRef",  "ParentRowRef", "GUID",   "Object"};

const char *const ZqBooleanNames[2] = {"False", "True"};
