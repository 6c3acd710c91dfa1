// The rows of a query on local work tables, read through the local query
// component, for tests that check what the program left in its work folder.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

// Each row as "a|b|c" from the fields' texts.
std::vector<std::string> LocalRows(const std::string &AFolder, const std::string &ASql);

} // namespace testsupport
