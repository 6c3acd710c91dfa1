// Local SQL: the Paradox dialect the program writes, rewritten token by
// token into SQLite's.
//
// What changes: a table reference (after FROM, JOIN, INTO, UPDATE, TABLE or
// a comma of a FROM list) becomes the table's stored name, whatever the
// letter case, with ".db" dropped and a folder turned into the attached
// database of that folder; a double-quoted word that names neither a table,
// an alias nor a column of the statement's tables is a string literal, as
// the Paradox engine read it (param = "NO3"). Everything else (keywords,
// operators, blanks, single-quoted strings) passes unchanged; SQLite's
// column affinity already compares a number with a text column as the
// Paradox engine did (Region = 12).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TLocalDatabase;

struct TLocalSqlToken {
    enum TKind { tkSpace, tkWord, tkNumber, tkString, tkQuoted, tkBracket, tkPunct, tkComment };
    TKind Kind;
    std::string Text;
};

// Splits SQL text into tokens; concatenating their texts gives the input back.
std::vector<TLocalSqlToken> LocalSqlTokenize(const std::string &ASql);

// The statement rewritten for the folder database ADb.
std::string LocalSqlRewrite(const std::string &ASql, TLocalDatabase &ADb);
// The same from what ADb keeps of its tables without comparing the schema
// cookies first: the caller asks ADb.SchemaUnchanged() inside the read
// that runs the statement and rewrites again when it answers false.
std::string LocalSqlRewriteKnown(const std::string &ASql, TLocalDatabase &ADb);

// The first keyword of a statement, upper-cased ("SELECT", "DELETE", ...).
std::string LocalSqlVerb(const std::string &ASql);

// A SELECT whose top-level WHERE compares with plain whole numbers, with
// those numbers turned into parameters (their values in AValues), so that
// one prepared statement serves the same query for every key; "" when the
// text has none or cannot be shared that way.
std::string LocalSqlShareable(const std::string &ASql, std::vector<int64_t> &AValues);
