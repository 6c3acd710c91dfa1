// The client-component tests' dataset: TZqDataSet over a table filled by
// hand, with options of its own and a record of every row request it sends.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dataaccess/comp/qxZqCompDataSet.h"
#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"
#include <gtest/gtest.h>

namespace comptest {

class TTestDataSet : public TZqDataSet, public IZqStanOptions {
public:
    TTestDataSet() : FFetch(nullptr), FFormat(nullptr), FUpdate(nullptr), FResource(nullptr) {}
    ~TTestDataSet() override { Close(); }
    TZqFetchOptions *GetFetchOptions() override { return &FFetch; }
    TZqFormatOptions *GetFormatOptions() override { return &FFormat; }
    TZqUpdateOptions *GetUpdateOptions() override { return &FUpdate; }
    TZqResourceOptions *GetResourceOptions() override { return &FResource; }
    bool GetParentOptions(IZqStanOptions *&AParent) override { AParent = nullptr; return false; }

    std::vector<std::pair<TZqPhysRequest, int>> Requests;
    // Makes the next request of this kind fail with the exception.
    TZqPhysRequest FailOn = arNone;
    std::unique_ptr<EZqException> FailWith;

protected:
    void RequestRow(TZqPhysRequest ARequest, TZqPhysUpdateRowOptions AOptions) override
    {
        Requests.emplace_back(ARequest, int(AOptions));
        if (ARequest == FailOn && FailWith)
            FailWith->Raise();
    }

private:
    TZqFetchOptions FFetch;
    TZqFormatOptions FFormat;
    TZqUpdateOptions FUpdate;
    TZqResourceOptions FResource;
};

// The library error code of a call, 0 when it does not raise.
template <class F> int ErrorCodeOf(F &&AFn)
{
    try {
        AFn();
    } catch (const EZqException &E) {
        return E.ErrorCode();
    }
    return 0;
}

inline void PutInt(dats::TZqDatSRow *R, int C, int32_t V) { R->SetData(C, &V, 4); }
inline void PutStr(dats::TZqDatSRow *R, int C, const std::string &S) { R->SetData(C, S.data(), uint32_t(S.size())); }

// A counted free-standing table the test releases at the end.
inline dats::TZqDatSTable *NewTable(const std::string &AName)
{
    auto *T = new dats::TZqDatSTable(AName);
    T->CountRef(1);
    return T;
}

// Appends a row of (ID, NAME) the way a fetch does: unchanged, not journalled.
inline void LoadRows(dats::TZqDatSTable *T, const std::vector<std::pair<int, std::string>> &ARows)
{
    T->BeginLoadData(dats::lmFetchAll);
    for (const auto &[Id, Name] : ARows) {
        dats::TZqDatSRow *R = T->NewRow(false);
        PutInt(R, 0, Id);
        PutStr(R, 1, Name);
        T->Rows()->Add(R);
    }
    T->EndLoadData();
}

// A table of (ID, NAME) rows under a test dataset, opened by the fixture
// when asked; torn down in the right order (dataset first).
class TTableFixture : public ::testing::Test {
protected:
    void Make(const std::string &AName, const std::vector<std::pair<int, std::string>> &ARows, bool AOpen = true)
    {
        Table = NewTable(AName);
        Table->Columns()->AddColumn("ID", dtInt32);
        Table->Columns()->AddColumn("NAME", dtAnsiString, 20);
        LoadRows(Table, ARows);
        DS = std::make_unique<TTestDataSet>();
        DS->AttachTable(Table, nullptr);
        if (AOpen)
            DS->Open();
    }
    void TearDown() override
    {
        DS.reset();
        if (Table)
            Table->Release();
    }
    dats::TZqDatSTable *Table = nullptr;
    std::unique_ptr<TTestDataSet> DS;
};

} // namespace comptest
