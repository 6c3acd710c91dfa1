// A small in-memory data source for the expression tests: named, typed
// columns and rows of variants, plus accumulated sub-aggregate values.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanExpr.h"

class TTestDataSource : public TZqObject, public virtual IZqStanExpressionDataSource {
public:
    struct TColumn {
        std::string Name;
        TZqDataType Type;
        TZqExpressionScopeKind Scope = ckField;
    };

    std::vector<TColumn> Columns;
    std::vector<std::vector<rtl::Variant>> Rows;
    std::vector<rtl::Variant> SubAggregateValues;
    size_t Current = 0;

    int AddColumn(const std::string &AName, TZqDataType AType, TZqExpressionScopeKind AScope = ckField)
    {
        Columns.push_back({AName, AType, AScope});
        for (auto &R : Rows) R.resize(Columns.size());
        return static_cast<int>(Columns.size()) - 1;
    }
    void AddRow(std::vector<rtl::Variant> AValues)
    {
        AValues.resize(Columns.size());
        Rows.push_back(std::move(AValues));
    }

    int GetVarIndex(const std::string &AName) override
    {
        for (size_t I = 0; I < Columns.size(); ++I)
            if (rtl::SameText(Columns[I].Name, AName)) return static_cast<int>(I);
        return -1;
    }
    TZqDataType GetVarType(int AIndex) override { return Columns.at(static_cast<size_t>(AIndex)).Type; }
    TZqExpressionScopeKind GetVarScope(int AIndex) override { return Columns.at(static_cast<size_t>(AIndex)).Scope; }
    void GetVarData(int AIndex, rtl::Variant &AValue) override
    {
        AValue = Rows.at(Current).at(static_cast<size_t>(AIndex));
    }
    void SetVarData(int AIndex, const rtl::Variant &AValue) override
    {
        Rows.at(Current).at(static_cast<size_t>(AIndex)) = AValue;
    }
    void GetSubAggregateValue(int AIndex, rtl::Variant &AValue) override
    {
        AValue = SubAggregateValues.at(static_cast<size_t>(AIndex));
    }
    void *GetPosition() override { return reinterpret_cast<void *>(Current); }
    void SetPosition(void *AValue) override { Current = reinterpret_cast<size_t>(AValue); }
    int GetRowNum() override { return static_cast<int>(Current) + 1; }
};

// Parses AText; the data source must outlive the evaluator's use.
inline TZqIntfPtr<IZqStanExpressionEvaluator> ParseExpr(TTestDataSource *ADS, const std::string &AText,
                                                        TZqParserOptions AParser = {poValue},
                                                        TZqExpressionOptions AOptions = {},
                                                        const std::string &AColumn = "")
{
    TZqIntfPtr<TZqExpressionParser> P(new TZqExpressionParser());
    return P->Prepare(ADS, AText, AOptions, AParser, AColumn);
}

// The error code an action raises (0 when it raises none), and its message.
inline int ErrorCodeOf(const std::function<void()> &AAction, std::string *AMessage = nullptr)
{
    try {
        AAction();
    } catch (const EZqException &E) {
        if (AMessage) *AMessage = E.Message();
        return E.ErrorCode();
    } catch (const rtl::Exception &E) {
        if (AMessage) *AMessage = E.Message();
        return -1;
    }
    return 0;
}
