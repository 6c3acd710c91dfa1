// The Jet functions (Month, DateAdd, IIf's helpers, Mid, Nz, ...) as SQLite
// functions registered on each connection under the names the translator
// writes ("jet_" + the Jet name). Values follow the station-database storage:
// dates are Jet day numbers in a double, YesNo is -1/0. With them come
// Jet's text comparison: the collation JETNOCASE and LIKE, both ignoring
// the case of Latin, Greek and Cyrillic letters.
#pragma once

#include <cstdint>

struct sqlite3;

namespace jet {

// AIdentity is read by @@IDENTITY (jet_identity()); the connection keeps it
// alive as long as the database handle.
void RegisterJetFunctions(sqlite3 *ADb, const std::int64_t *AIdentity);

} // namespace jet
