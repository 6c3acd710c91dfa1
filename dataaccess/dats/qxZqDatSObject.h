// qxZqDatSObject: the class family every object of the in-memory table
// engine descends from: an owned object with a notification channel, named
// and bound objects, owning lists with look-up by name, and the small
// reference counter that lets several users share a table, view or manager.
//
// Ownership: an owning list frees its items on removal unless asked to keep
// them. A change travels up the owner chain to the top object (normally the
// manager or a free-standing table) and is broadcast down from there, so
// every object below the top sees it once.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dataaccess/dats/qxZqDatSIntf.h"

namespace dats {

// Frees its guarded object when the count falls to 0. Counting starts only
// when CountRef is called; until then AddRef and Release do nothing.
class TZqDatSRefCounter {
public:
    explicit TZqDatSRefCounter(TZqDatSObject *AGuarded);
    void CountRef(int AInitial);
    void AddRef();
    // Answers True when the guarded object was freed.
    bool Release();
    int Count() const { return FCount; }

private:
    int FCount = -1;
    TZqDatSObject *FGuarded;
};

// What a shared object (a table, view, manager or aggregate) offers its
// holders: its count, started by CountRef, and the calls TZqDatSRef makes.
class TZqDatSCounted {
public:
    void CountRef(int AInitial = 0) { FRefCounter.CountRef(AInitial); }
    void AddRef() { FRefCounter.AddRef(); }
    void Release() { FRefCounter.Release(); }
    int RefCount() const { return FRefCounter.Count(); }

protected:
    explicit TZqDatSCounted(TZqDatSObject *AGuarded) : FRefCounter(AGuarded) {}

private:
    TZqDatSRefCounter FRefCounter;
};

// Holds a table, view or manager through its reference count: the holder
// counts itself in when it takes the object and out when it lets go (which
// frees the object when it was the last holder), so no path through the
// holder's code can miss a Release or release twice. An object whose count
// was never started is only pointed at.
template <class T>
class TZqDatSRef {
public:
    TZqDatSRef() = default;
    explicit TZqDatSRef(T *AObject) : FObject(AObject)
    {
        if (FObject) FObject->AddRef();
    }
    // Takes over a reference already counted for the new holder (an object
    // made with CountRef(1)).
    static TZqDatSRef Adopt(T *AObject)
    {
        TZqDatSRef R;
        R.FObject = AObject;
        return R;
    }
    TZqDatSRef(const TZqDatSRef &AOther) : TZqDatSRef(AOther.FObject) {}
    TZqDatSRef(TZqDatSRef &&AOther) noexcept : FObject(std::exchange(AOther.FObject, nullptr)) {}
    TZqDatSRef &operator=(const TZqDatSRef &AOther)
    {
        Reset(AOther.FObject);
        return *this;
    }
    TZqDatSRef &operator=(TZqDatSRef &&AOther) noexcept
    {
        TZqDatSRef Old(std::move(*this));
        FObject = std::exchange(AOther.FObject, nullptr);
        return *this;
    }
    ~TZqDatSRef()
    {
        if (T *Old = std::exchange(FObject, nullptr)) Old->Release();
    }

    // Holds AObject instead: counted in before the old one is counted out,
    // so holding the same object again never frees it on the way.
    void Reset(T *AObject = nullptr)
    {
        if (AObject == FObject) return;
        if (AObject) AObject->AddRef();
        T *Old = std::exchange(FObject, AObject);
        if (Old) Old->Release();
    }
    // Lets go of the object without counting out: the caller now holds the
    // reference.
    T *Detach() { return std::exchange(FObject, nullptr); }

    T *Get() const { return FObject; }
    T *operator->() const { return FObject; }
    T &operator*() const { return *FObject; }
    operator T *() const { return FObject; }

private:
    T *FObject = nullptr;
};

// Frees an owned part in place: the part's destructor may reach back
// through its owner's accessor, which keeps answering the part until it is
// gone (unique_ptr::reset would answer null already).
template <class T>
void FreeOwnedPart(std::unique_ptr<T> &APart)
{
    if (APart) {
        std::default_delete<T>()(APart.get());
        (void)APart.release();
    }
}

class TZqDatSObject {
public:
    TZqDatSObject() = default;
    virtual ~TZqDatSObject();
    TZqDatSObject(const TZqDatSObject &) = delete;
    TZqDatSObject &operator=(const TZqDatSObject &) = delete;

    // Takes the object out of the list that holds it (keeping it), then
    // destroys it. The way to free an object that may sit in a list.
    void Free();

    TZqDatSObject *Owner() const { return FOwner; }
    void SetOwner(TZqDatSObject *AOwner) { FOwner = AOwner; }
    bool IsList() const { return FIsList; }

    virtual TZqDatSList *GetList();
    virtual TZqDatSManager *GetManager();
    virtual TZqDatSTable *GetTable();
    virtual void HandleNotification(TZqDatSNotification &ANotification);
    virtual void Notify(TZqDatSNotification &ANotification);
    virtual void AfterInsert() {}
    virtual void BeforeInsert() {}
    virtual void AfterRemove(TZqDatSObject *AFormerOwner) { (void)AFormerOwner; }
    virtual void BeforeRemove() {}
    virtual int GetIndex();
    // The virtual constructor: a new object of the same class, unassigned.
    virtual TZqDatSObject *CreateLike() const;
    virtual void Assign(TZqDatSObject *ASource);
    virtual bool IsEqual(TZqDatSObject *AOther);
    virtual int IndexOf(TZqDatSObject *AItem);

    void BeginUpdate();
    void EndUpdate();
    uint16_t UpdateLock() const { return FUpdateLock; }

    void SendNotify(TZqDatSNotifyKind AKind, uint8_t AListKind, TZqDatSObject *AItem,
                    TZqDatSObject *ASender);

protected:
    TZqDatSObject *FOwner = nullptr;
    uint16_t FUpdateLock = 0;
    // Set by lists: every row added or freed asks whether its owner is a
    // list, and a failed dynamic_cast walks the whole class tree.
    bool FIsList = false;
    friend class TZqDatSList;
};

class TZqDatSNamedObject : public TZqDatSObject {
public:
    TZqDatSNamedObject();
    const std::string &Name() const { return FName; }
    const std::string &PrevName() const { return FPrevName; }
    void SetName(const std::string &AValue);
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

protected:
    // Objects are named after their class until named explicitly.
    void SetDefaultName(const char *AClassName) { FName = AClassName; }
    friend class TZqDatSNamedList;
    std::string FName;
    std::string FPrevName;
};

class TZqDatSBindedObject : public TZqDatSNamedObject {
public:
    const std::string &SourceName() const { return FSourceName; }
    void SetSourceName(const std::string &AValue) { FSourceName = AValue; }
    int SourceID() const { return FSourceID; }
    void SetSourceID(int AValue) { FSourceID = AValue; }
    void Assign(TZqDatSObject *ASource) override;

protected:
    std::string FSourceName;
    int FSourceID = 0;
};

class TZqDatSList : public TZqDatSObject {
public:
    TZqDatSList() { FIsList = true; }
    ~TZqDatSList() override;

    int Count() const { return int(FItems.size()); }
    TZqDatSObject *GetItem(int AIndex) const {
        DATS_ASSERT(AIndex >= 0 && AIndex < int(FItems.size()));
        return FItems[size_t(AIndex)];
    }
    TZqDatSObject *const *Data() const { return FItems.data(); }
    bool OwnsItems() const { return FOwnsItems; }
    uint8_t ListKind() const { return FListKind; }

    virtual void Insert(TZqDatSObject *AItem, int AIndex);
    virtual void Clear();
    virtual void RemoveAt(int AIndex, bool AKeep);
    int Add(TZqDatSObject *AItem);
    int AddSafe(TZqDatSObject *AItem);
    // Hands a new item over to the list, which owns it from here on (and
    // frees it when adding fails).
    template <class T>
    T *AddOwned(std::unique_ptr<T> AItem)
    {
        T *P = AItem.release();
        AddSafe(P);
        return P;
    }
    int Remove(TZqDatSObject *AItem, bool AKeep);
    void Move(int AFrom, int ATo);
    bool Contains(TZqDatSObject *AItem) { return IndexOf(AItem) >= 0; }
    int Capacity() const { return FCapacity; }
    void SetCapacity(int AValue);
    void SetAllocated(int AValue);
    int Allocated() const { return int(FItems.capacity()); }

    void Notify(TZqDatSNotification &ANotification) override;
    void HandleNotification(TZqDatSNotification &ANotification) override;
    int IndexOf(TZqDatSObject *AItem) override;
    void Assign(TZqDatSObject *ASource) override;
    bool IsEqual(TZqDatSObject *AOther) override;

protected:
    friend class TZqDatSObject;
    void Grow();
    // Stores the item without hooks or notifications (row lists of views).
    void RawInsert(TZqDatSObject *AItem, int AIndex);
    void RawRemoveAt(int AIndex);
    // Drops what the list keeps about an item taken out without hooks.
    virtual void ForgetItem(TZqDatSObject *AItem) { (void)AItem; }
    std::vector<TZqDatSObject *> FItems;
    int FCapacity = 0;
    bool FOwnsItems = false;
    uint8_t FListKind = 0;
};

// An owning list with a case-insensitive name index.
class TZqDatSNamedList : public TZqDatSList {
public:
    TZqDatSNamedList() { FOwnsItems = true; }
    void Insert(TZqDatSObject *AItem, int AIndex) override;
    TZqDatSNamedObject *FindByName(const std::string &AName, int &AIndex);
    int IndexOfName(const std::string &AName);
    TZqDatSNamedObject *ItemByName(const std::string &AName);
    void CheckUniqueName(const std::string &AName, TZqDatSNamedObject *AItem);
    std::string BuildUniqueName(const std::string &ABase);
    void Notify(TZqDatSNotification &ANotification) override;

protected:
    void ForgetItem(TZqDatSObject *AItem) override;

private:
    std::map<std::string, TZqDatSNamedObject *> FIndex;
};

class TZqDatSBindedList : public TZqDatSNamedList {
public:
    int IndexOfSourceName(const std::string &AName);
    int IndexOfSourceID(int AID);
};

} // namespace dats
