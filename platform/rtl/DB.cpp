// DB: field-type names and the dataset error.
#include "platform/rtl/DB.h"

namespace rtl {

const char *FieldTypeName(TFieldType T)
{
    static const char *const Names[FieldTypeCount] = {
        "Unknown", "String", "Smallint", "Integer", "Word", "Boolean", "Float", "Currency", "BCD", "Date",
        "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic", "FmtMemo",
        "ParadoxOle", "DBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString", "Largeint", "ADT",
        "Array", "Reference", "DataSet", "OraBlob", "OraClob", "Variant", "Interface", "IDispatch", "Guid",
        "TimeStamp", "FMTBcd"};
    return unsigned(T) < unsigned(FieldTypeCount) ? Names[T] : "Unknown";
}

bool IsBlobFieldType(TFieldType T)
{
    return (T >= ftBlob && T <= ftTypedBinary) || T == ftOraBlob || T == ftOraClob;
}

void DatabaseError(const std::string &Message) { throw EDatabaseError(Message); }

} // namespace rtl
