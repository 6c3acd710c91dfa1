// The rows of a dataset or of a query on local work tables as text, for
// tests that check what the program left in its work folder.
#pragma once

#include <string>
#include <vector>

class TDataSet;

namespace testsupport {

// Each row of an open dataset from its first, as "a|b|c" from the fields'
// texts (all fields, or the named ones in that order).
std::vector<std::string> DataSetRows(TDataSet &ADataSet, const std::vector<std::string> &AFields = {});

// The rows of a local SQL query on a work folder, as DataSetRows gives them.
std::vector<std::string> LocalRows(const std::string &AFolder, const std::string &ASql);

} // namespace testsupport
