// Translation of Jet (Access) SQL into the SQLite SQL that stores a station
// database. A tokenizer that knows Jet's lexical forms (strings, [bracketed] and
// "quoted" names, #date# literals, ODBC escapes, numbers written against a
// keyword) feeds a translator that works on parenthesised token groups, so that
// structural forms (TOP n, UPDATE (SELECT ...) SET, SELECT ... INTO, Jet DDL
// types, IIf, & concatenation) are rewritten where they stand instead of by
// text replacement. Errors are reported as TJetSqlError with the Jet native
// number and SQLSTATE the driver hands on.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace jet {

class TJetSqlError : public std::runtime_error {
public:
    TJetSqlError(std::string AState, int ANative, const std::string &AMessage)
        : std::runtime_error(AMessage), State(std::move(AState)), Native(ANative) {}
    std::string State;
    int Native;
};

enum class TJetStatementKind { Select, Insert, Update, Delete, CreateTable, DropTable, SelectInto, Other };

// One column declared by CREATE TABLE, after the Jet type was normalised.
struct TJetColumnDecl {
    std::string Name;
    std::string Type; // canonical Jet type word, e.g. "TEXT(50)", "LONG", "COUNTER"
};

// One item of the outermost select list, as written in Jet SQL; the driver
// names and types the result columns that are expressions from it.
struct TJetSelectItem {
    bool Expression = false; // not *, t.* or a plain column reference
    bool HasAlias = false;
    std::string Function;    // upper-case Jet name when the item is Function(...)
    std::string ArgColumn;   // the column when the only argument is a column reference
};

struct TJetTranslation {
    TJetStatementKind Kind = TJetStatementKind::Other;
    std::string Sql;            // SQLite text; for SelectInto the SELECT without INTO
    std::string TargetTable;    // INSERT/UPDATE/DELETE/CREATE/DROP/INTO target, unquoted
    std::vector<TJetColumnDecl> Columns; // CreateTable only
    int ParamCount = 0;
    bool UsesIdentity = false;
    std::vector<TJetSelectItem> SelectItems;
    // With TJetTranslateContext::LiftLiterals: the literal (its position in
    // TJetShape::Literals) bound to each parameter after the ParamCount
    // markers, in parameter order. Markers are then numbered (?1, ?2, ...).
    std::vector<int> LiftedLiterals;
    // Upper-case names compared in a condition (WHERE, ON, HAVING), a
    // grouping or an ordering: the text columns among them are what the
    // driver's second pass hands in as TJetTranslateContext::TextColumns.
    std::vector<std::string> ComparedNames;
    // Upper-case names that are operands (of arithmetic, a comparison, a
    // function): the DATETIME columns among them are what the driver's
    // second pass hands in as TJetTranslateContext::DateColumns.
    std::vector<std::string> OperandNames;
};

// One literal as written; its kind says how SQLite reads it: 'S' text,
// 'I' a 64-bit integer, 'R' real, 'D' a date (its day number, real), 'H' an
// integer beyond 64 bits (never lifted).
struct TJetLiteral {
    char Kind = 'S';
    std::string Text; // the value: a string's text unquoted, a date's day number
    // A number's value, read with its text: every 'I' literal of digits
    // alone, and an 'R' literal of at most 15 significant digits, at most 3
    // of them after the point and no exponent (its digits as an integer
    // divided by 10, 100 or 1000: one rounding of exact operands, the value
    // SQLite reads from the digits). Any other number has no value here.
    bool HasValue = false;
    long long Int = 0;
    double Real = 0;
};

// A statement's tokens with its literals by kind only: texts that differ in
// nothing but their literals have the same key.
struct TJetShape {
    std::string Key;
    std::vector<TJetLiteral> Literals;
};

struct TJetTranslateContext {
    // Path of the open database; a table qualified by this path (with or
    // without ".mdb") is a table of the open database.
    std::string DatabasePath;
    // CURRENCY columns (upper-case names) of the tables the statement uses:
    // stored as integers scaled by 10,000, so expressions read them divided
    // and values written to them are scaled (jet_currency).
    std::vector<std::string> CurrencyColumns;
    // DATETIME columns (upper-case names) of the tables the statement uses:
    // an operand of & that is one of them joins the date's text, and one
    // that is computed with or compared reads the date the fetch reads.
    std::vector<std::string> DateColumns;
    // Text columns (upper-case names) compared in a condition, a grouping or
    // an ordering: compared as Jet compares text, COLLATE JETNOCASE.
    std::vector<std::string> TextColumns;
    // The target table's columns in order, for INSERT without a column list.
    std::vector<std::string> InsertTargetColumns;
    // Literals that are plain values of a SELECT, INSERT, UPDATE or DELETE
    // become parameters (TJetTranslation::LiftedLiterals).
    bool LiftLiterals = false;
};

TJetTranslation TranslateJetSql(const std::string &AJetSql, const TJetTranslateContext &AContext);

// The shape of a statement, without translating it; false when the text
// does not even tokenize (its translation says why).
bool JetStatementShape(const std::string &AJetSql, TJetShape &AShape);

// The canonical Jet type word for a DDL type name and its size, or an empty
// string when the word is no Jet type. ASize < 0 means no size was written.
std::string CanonicalJetType(const std::string &ATypeWord, int ASize);

// ASCII upper case, for keywords and names compared without regard to case.
std::string UpperAscii(std::string AText);

// SQLite text of a name: double quotes, embedded quotes doubled.
std::string QuoteSqliteName(const std::string &AName);

} // namespace jet
