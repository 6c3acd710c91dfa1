// TDataSource and TDataLink: how controls follow a dataset.
//
// A data source stands between one dataset and any number of data links
// (one per control). The dataset sends its data events to its data sources
// (not while its controls are disabled); each source passes them to its
// links and fires OnDataChange / OnStateChange / OnUpdateData.
//
// A link may ask for more than one record buffer (BufferCount): the dataset
// then keeps that many records around the current one, and the link sees
// them as its records 0 .. RecordCount-1 (FirstRecord is the window index of
// its record 0). Setting ActiveRecord points the dataset's fields at one of
// those records without moving the cursor; that is how a grid paints.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/dataset/DBConsts.h"
#include "platform/rtl/Classes.h"

class TDataLink;

class TDataSource : public rtl::TComponent {
public:
    explicit TDataSource(rtl::TComponent *AOwner = nullptr);
    ~TDataSource() override;
    std::string ClassName() const override { return "TDataSource"; }
    TDataSource(const TDataSource &) = delete;
    TDataSource &operator=(const TDataSource &) = delete;

    TDataSet *DataSet() const { return FDataSet; }
    void SetDataSet(TDataSet *AValue);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool AValue);
    bool AutoEdit = true;
    TDataSetState State() const { return FState; }
    // Puts the dataset into edit state when AutoEdit allows it.
    void Edit();
    bool IsLinkedTo(const TDataSet *ADataSet) const;

    TDataChangeEvent OnDataChange;
    TNotifyEvent OnStateChange;
    TNotifyEvent OnUpdateData;

    // Called by the dataset.
    void DataEvent(TDataEvent AEvent, intptr_t AInfo);
    const std::vector<TDataLink *> &DataLinks() const { return FDataLinks; }

private:
    friend class TDataLink;
    friend class TDataSet;
    void AddDataLink(TDataLink *ALink);
    void RemoveDataLink(TDataLink *ALink);
    void NotifyState();
    TDataSet *FDataSet = nullptr;
    std::vector<TDataLink *> FDataLinks;
    TDataSetState FState = dsInactive;
    bool FEnabled = true;
};

class TDataLink {
public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink &) = delete;
    TDataLink &operator=(const TDataLink &) = delete;

    TDataSource *DataSource() const { return FDataSource; }
    void SetDataSource(TDataSource *AValue);
    TDataSet *DataSet() const;
    bool Active() const { return FActive; }
    bool Editing() const { return FEditing; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool AValue) { FReadOnly = AValue; }
    int BufferCount() const { return FBufferCount; }
    void SetBufferCount(int AValue);
    // Records of this link in the dataset's buffer window.
    int RecordCount() const;
    int ActiveRecord() const;
    void SetActiveRecord(int AValue);
    int FirstRecord() const { return FFirstRecord; }
    bool Edit();
    void UpdateRecord();

protected:
    friend class TDataSource;
    friend class TDataSet;
    virtual void ActiveChanged() {}
    // The dataset is about to leave its record, or the source the dataset:
    // the control writes what it holds, or raises to stop the move.
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int) { DataSetChanged(); }
    virtual void EditingChanged() {}
    virtual void FocusControl(TField *) {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField *) {}
    virtual void UpdateData() {}
    void DataEvent(TDataEvent AEvent, intptr_t AInfo);

private:
    void SetActive(bool AValue);
    void SetEditing(bool AValue);
    void UpdateState();
    void KeepActiveInWindow();
    TDataSource *FDataSource = nullptr;
    int FFirstRecord = 0;
    int FBufferCount = 1;
    bool FActive = false;
    bool FEditing = false;
    bool FReadOnly = false;
    bool FUpdating = false;
};

// The link of a detail dataset to its master: it follows the master's fields
// named in FieldNames and calls OnMasterChange when the master moves or one
// of those fields changes, OnMasterDisable when the master goes away.
class TMasterDataLink : public TDataLink {
public:
    explicit TMasterDataLink(TDataSet *ADetail) : FDetail(ADetail) {}
    TDataSet *DetailDataSet() const { return FDetail; }
    const std::string &FieldNames() const { return FFieldNames; }
    void SetFieldNames(const std::string &AValue);
    // The master's fields named by FieldNames (empty while inactive).
    const std::vector<TField *> &Fields() const { return FFields; }
    std::function<void(TMasterDataLink *)> OnMasterChange;
    std::function<void(TMasterDataLink *)> OnMasterDisable;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void LayoutChanged() override { ActiveChanged(); }
    void RecordChanged(TField *AField) override;

private:
    TDataSet *FDetail;
    std::string FFieldNames;
    std::vector<TField *> FFields;
};
