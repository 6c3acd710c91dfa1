// The statements the program sends to its station database, read once from
// tests/support/statements.txt (its header says the format), so that the
// preprocessor's and the driver's tests check the same texts.
#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct TSentStatement {
    std::string Name;
    std::string Text;         // with "@DB@"/"@MDB@" for the database path
    std::string Preprocessed; // the preprocessor's expected output
    std::string Kind;         // select, insert, update, delete, create, drop
    std::string FromObject;   // for a select: the object it reads
    // On the driver's fixture: "ok", "rows", "error" or "params", with the
    // count (rows, params) or the SQLSTATE (error).
    std::string Outcome;
    int Count = 0;
    std::string State;
    int Line = 0; // of its "statement" line, for failure messages
};

// Every statement, in the file's order. A malformed file throws
// std::runtime_error naming the line.
const std::vector<TSentStatement> &SentStatements();
// One statement by name; throws std::out_of_range for an unknown name.
const TSentStatement &SentStatement(const std::string &AName);

// Parses the text of a statements file (what SentStatements reads).
std::vector<TSentStatement> ParseSentStatements(const std::string &AContent);

// The text with the database path filled in: ADbPath is the path with its
// ".mdb" (or the path without any extension, which then stands for both).
std::string WithDatabase(const std::string &AText, const std::string &ADbPath);

} // namespace testsupport
