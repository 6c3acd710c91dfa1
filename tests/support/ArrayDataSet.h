// A dataset of the tests' own over an in-memory array of rows, each value kept
// as its field's native bytes: the smallest dataset that fills the TDataSet
// contract, so the model's navigation, editing and events are tested apart
// from any storage engine.
#pragma once

#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "platform/dataset/TDataSet.h"

class TArrayDataSet : public TDataSet {
public:
    using TValue = std::optional<std::string>;
    struct TRow {
        int Id;
        std::vector<TValue> Values;
    };

    explicit TArrayDataSet(std::vector<std::tuple<std::string, rtl::TFieldType, int>> ADefs)
        : FDefs(std::move(ADefs))
    {
    }
    ~TArrayDataSet() override { Close(); }

    // Rows straight into the array (no events), values through a native
    // buffer per field type: the test fixture's loader.
    void AddRow(const std::vector<rtl::Variant> &AValues);
    std::vector<TRow> Rows;
    bool ReadOnlyData = false;

    bool GetFieldData(TField *AField, void *ABuffer) override;
    using TDataSet::GetFieldData;
    void SetFieldData(TField *AField, const void *ABuffer) override;
    using TDataSet::SetFieldData;

protected:
    struct THeader {
        int Id = 0;
        int Index = -1;
        TBookmarkFlag Flag = bfCurrent;
        std::vector<TValue> Values;
    };
    THeader &Header(TRecordBuffer B) const { return *reinterpret_cast<THeader *>(B + FOffset); }
    int IndexOfId(int AId) const;

    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer &ABuffer) override;
    TGetResult GetRecord(TRecordBuffer ABuffer, TGetMode AGetMode, bool ADoCheck) override;
    void GetBookmarkData(TRecordBuffer ABuffer, void *AData) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer ABuffer) override { return Header(ABuffer).Flag; }
    void SetBookmarkFlag(TRecordBuffer ABuffer, TBookmarkFlag AValue) override { Header(ABuffer).Flag = AValue; }
    void SetBookmarkData(TRecordBuffer ABuffer, const void *AData) override;
    void InternalInitRecord(TRecordBuffer ABuffer) override;
    void ClearCalcFields(TRecordBuffer ABuffer) override { std::memset(ABuffer, 0, size_t(FCalcFieldsSize)); }
    void InternalOpen() override;
    void InternalClose() override;
    bool IsCursorOpen() const override { return FOpen; }
    void InternalInitFieldDefs() override;
    void InternalFirst() override { FCursor = -1; }
    void InternalLast() override { FCursor = int(Rows.size()); }
    void InternalGotoBookmark(const void *ABookmark) override;
    void InternalSetToRecord(TRecordBuffer ABuffer) override;
    void InternalPost() override;
    void InternalDelete() override;
    void InternalAddRecord(TRecordBuffer ABuffer, bool AAppend) override;
    bool GetCanModify() const override { return !ReadOnlyData; }
    int GetRecordCount() const override { CheckActive(); return int(Rows.size()); }
    int GetRecNo() const override;
    void SetRecNo(int AValue) override;

public:
    bool BookmarkValid(const TBookmark &ABookmark) override;

private:
    std::vector<std::tuple<std::string, rtl::TFieldType, int>> FDefs;
    int FCursor = -1;
    int FNextId = 1;
    int FOffset = 0;
    bool FOpen = false;
};
