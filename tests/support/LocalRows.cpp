// Rows of a dataset or a local query as text.
#include "tests/support/LocalRows.h"

#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/TQuery.h"

namespace testsupport {

std::vector<std::string> DataSetRows(TDataSet &ADataSet, const std::vector<std::string> &AFields)
{
    std::vector<std::string> R;
    for (ADataSet.First(); !ADataSet.Eof(); ADataSet.Next()) {
        std::string Line;
        if (AFields.empty()) {
            for (int I = 0; I < ADataSet.FieldCount(); ++I)
                Line += (I ? "|" : "") + ADataSet.Fields()[I]->AsString();
        } else {
            for (size_t I = 0; I < AFields.size(); ++I)
                Line += (I ? "|" : "") + ADataSet.FieldByName(AFields[I])->AsString();
        }
        R.push_back(Line);
    }
    return R;
}

std::vector<std::string> LocalRows(const std::string &AFolder, const std::string &ASql)
{
    TQuery Q;
    Q.SetDatabaseName(AFolder);
    Q.SQL().Add(ASql);
    Q.Open();
    return DataSetRows(Q);
}

} // namespace testsupport
