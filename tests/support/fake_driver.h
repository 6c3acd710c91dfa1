// A driver of the tests' own, registered through the same manager as a
// real one: its connection logs every server step, its command serves a
// scripted result set and scripted row failures, so that the frame's state
// machines, fetch modes and transactions can be checked without a server.
// Its catalog commands answer from a scripted catalog and note each call in
// MetaLog (not in Log, which stays the story of the ordinary commands).
#pragma once

#include <atomic>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "dataaccess/phys/qxZqPhysManager.h"

namespace fake {

// One row of the fake catalog: the query kind it answers and its values
// from the layout's second column on (the first, RECNO, is the driver's).
struct TCatalogRow {
    TZqPhysMetaInfoKind Kind = 0;
    std::vector<rtl::Variant> Values;
};

// What the next command of the fake driver does; tests change it freely.
struct TScript {
    int Rows = 0;                // rows of the result set
    int ShortRowsetAt = -1;      // a fetch call starting at this row returns one row only
    std::set<int> FailingRows;   // array rows whose execute raises
    int FailTimes = 1;           // how often each failing row fails before it succeeds
    bool TxSupported = true;
    bool TxNested = false;
    bool TxSavepoints = true;
    bool ServerAutoCommit = false;
    bool AbortSupported = true;
    bool FailDisconnect = false;
    bool FailConnect = false;
    bool UnnamedSecondColumn = false; // the result's second column has no name
    std::function<void()> DuringExecute; // runs inside each InternalExecute
    std::vector<TCatalogRow> Catalog;    // what the catalog functions know
    bool CatalogFails = false;           // a catalog function raises
    // The dialect of new connections' metadata: mkOther gives the base
    // dialect with the transaction facts above; mkMSAccess, mkMSSQL and
    // mkDB2 give those dialects as they are.
    TZqRDBMSKind Dialect = mkOther;
};

TScript &Script();
std::vector<std::string> &Log();
// One line per catalog function run: the kind, then the decoded catalog,
// schema, base object and object joined by "|".
std::vector<std::string> &MetaLog();
std::string LogText();
// Fetch calls made and the rowset sizes asked for.
std::vector<int> &FetchCalls();
std::atomic<int> &LiveDrivers();

// Registers the class with AManager (once per manager) under "FakeDrv".
void Register(TZqPhysManager *AManager);
// Starts the services the frame needs (factories, a silent wait cursor).
void Services();

} // namespace fake
