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
    // The text handed to SQLite by the last Open or ExecSQL.
    const std::string &ExecutedSql() const { return FExecutedSql; }

protected:
    int RowCount() override { return int(FRows.size()); }
    void ReadRow(int AIndex, TLocalRow &ARow, int64_t &ABookmark) override;
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
    std::vector<TLocalRow> FRows;
    int FRowsAffected = 0;
    std::string FExecutedSql;
};
