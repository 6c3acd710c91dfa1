// TBatchMove: moves the records of a dataset into a work-folder table.
//
// Modes: batAppend adds every record; batUpdate replaces the destination
// records whose primary key matches; batAppendUpdate does both (an upsert by
// the primary key); batDelete removes the matching records; batCopy creates
// the destination afresh with the source's structure and appends. Fields are
// matched by position unless Mappings names pairs ("Dest=Source" or a name
// both have). The whole move is one transaction: when it fails, or the
// process dies in the middle, the destination is as it was before.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/localdb/TTable.h"

class TBatchMove {
public:
    TDataSet *Source = nullptr;
    TTable *Destination = nullptr;
    TBatchMode Mode = batAppend;
    std::vector<std::string> Mappings;
    // A key violation in append mode ends the move (and undoes it) when set;
    // otherwise the record is skipped and counted.
    bool AbortOnKeyViol = true;

    void Execute();
    int64_t MovedCount() const { return FMovedCount; }
    int64_t KeyViolCount() const { return FKeyViolCount; }
    int64_t ChangedCount() const { return FChangedCount; }

private:
    bool ExecuteInEngine(const std::vector<std::pair<int, int>> &AMap,
                         const std::vector<std::string> &ADestCols, const std::string &AKey);
    int64_t FMovedCount = 0;
    int64_t FKeyViolCount = 0;
    int64_t FChangedCount = 0;
};
