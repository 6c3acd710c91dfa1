// A driver of the adapter tests' own: its command serves the rows of a
// small scripted table, and executes any other statement by writing its
// text and parameter values into a log and reporting the scripted number
// of affected records. Its connection hands out the generic generator.
#pragma once

#include <set>
#include <string>
#include <vector>

#include "dataaccess/phys/qxZqPhysManager.h"

namespace daptfake {

struct TScript {
    std::vector<std::pair<int, std::string>> Rows{{1, "alpha"}, {2, "beta"}, {3, "gamma"}};
    int Affected = 1;
    // A statement with a key parameter (a name ending in "ID") of one of
    // these values fails with a database error of that code.
    std::set<int> FailKeys;
    int FailCode = 2627;
    // NAME is filled by the server when a row is inserted without one.
    bool NameHasDefault = false;
};

TScript &Script();
// One line per executed or opened statement: "exec:<text>|<param>=<value>..." or "open:<text>".
std::vector<std::string> &Log();
void Register(TZqPhysManager *AManager);

} // namespace daptfake
