// Rows of a local query as text.
#include "tests/support/LocalRows.h"

#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"

namespace testsupport {

std::vector<std::string> LocalRows(const std::string &AFolder, const std::string &ASql)
{
    TQuery Q;
    Q.SetDatabaseName(AFolder);
    Q.SQL().Add(ASql);
    Q.Open();
    std::vector<std::string> R;
    for (Q.First(); !Q.Eof(); Q.Next()) {
        std::string Line;
        for (int I = 0; I < Q.FieldCount(); ++I)
            Line += (I ? "|" : "") + Q.Fields()[I]->AsString();
        R.push_back(Line);
    }
    return R;
}

} // namespace testsupport
