// TQuery: local SQL on the tables of a work folder.
//
// Open runs a SELECT and keeps its rows (a read-only dataset); ExecSQL runs
// a statement without a result. The text is the Paradox dialect the program
// writes; LocalSqlRewrite turns it into SQLite's before it runs.
#pragma once

#include <string>
#include <vector>

#include "platform/localdb/TLocalDataSet.h"
#include "platform/rtl/Classes.h"

class TQuery : public TLocalDataSet {
public:
    explicit TQuery(rtl::TComponent *AOwner = nullptr);
    ~TQuery() override;
    std::string ClassName() const override { return "TQuery"; }

    // The statement text; callers clear it and add the statement.
    rtl::TStringList &SQL() { return FSQL; }
    const rtl::TStringList &SQL() const { return FSQL; }
    // Runs the statement(s) of SQL; a result set, if any, is dropped.
    void ExecSQL();
    // Rows changed by the last ExecSQL.
    int RowsAffected() const { return FRowsAffected; }
    // The statement as rewritten for the engine by the last Open or ExecSQL
    // (an Open may hand SQLite its compared whole numbers as parameters).
    const std::string &ExecutedSql() const { return FExecutedSql; }

protected:
    int RowCount() override { return int(FRowCount); }
    void ReadRow(int AIndex, TLocalRow &ARow, int64_t &ABookmark) override;
    const TLocalRow *RowAt(int AIndex, int64_t &ABookmark) override;
    int IndexOfBookmark(int64_t ABookmark) override;
    void OpenSource() override;
    void CloseSource() override;
    bool GetCanModify() const override { return false; }
    void InternalDelete() override;
    void InternalAddRecord(TRecordBuffer, bool) override;

private:
    // Rewrites the statement text for the engine into FExecutedSql.
    void PrepareText();
    rtl::TStringList FSQL;
    // The result's rows are the first FRowCount of FRows.
    std::vector<TLocalRow> FRows;
    size_t FRowCount = 0;
    int FRowsAffected = 0;
    std::string FExecutedSql;
};
