// qxZqDatSObject: object family, lists and name index of the in-memory
// table engine.
#include "dataaccess/dats/qxZqDatSObject.h"

#include <algorithm>

#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "platform/rtl/SysUtils.h"

namespace dats {

// ---- reference counter --------------------------------------------------

TZqDatSRefCounter::TZqDatSRefCounter(TZqDatSObject *AGuarded) : FGuarded(AGuarded) {
    DATS_ASSERT(AGuarded != nullptr);
}

void TZqDatSRefCounter::CountRef(int AInitial) {
    DATS_ASSERT(AInitial >= 0);
    if (FCount == -1) FCount = AInitial;
}

void TZqDatSRefCounter::AddRef() {
    if (FCount >= 0) ++FCount;
}

bool TZqDatSRefCounter::Release() {
    if (FCount > 0) {
        if (--FCount == 0) {
            FGuarded->Free();
            return true;
        }
    }
    return false;
}

// ---- object -------------------------------------------------------------

namespace {
TZqDatSList *AsList(TZqDatSObject *AObject)
{
    return AObject && AObject->IsList() ? static_cast<TZqDatSList *>(AObject) : nullptr;
}
} // namespace

TZqDatSObject::~TZqDatSObject() {
    // Normally Free has taken the object out of its list already; this only
    // guards against a list keeping a dangling reference.
    if (auto *L = AsList(FOwner)) {
        for (size_t I = 0; I < L->FItems.size(); ++I)
            if (L->FItems[I] == this) {
                L->RawRemoveAt(int(I));
                break;
            }
    }
}

void TZqDatSObject::Free() {
    if (auto *L = AsList(FOwner)) {
        if (L->OwnsItems()) {
            int I = L->IndexOf(this);
            if (I >= 0) L->RemoveAt(I, true);
        }
    }
    delete this;
}

TZqDatSList *TZqDatSObject::GetList() {
    for (TZqDatSObject *O = FOwner; O; O = O->FOwner)
        if (auto *L = AsList(O)) return L;
    return nullptr;
}

TZqDatSManager *TZqDatSObject::GetManager() {
    for (TZqDatSObject *O = FOwner; O; O = O->FOwner)
        if (auto *M = dynamic_cast<TZqDatSManager *>(O)) return M;
    return nullptr;
}

TZqDatSTable *TZqDatSObject::GetTable() {
    for (TZqDatSObject *O = FOwner; O; O = O->FOwner)
        if (auto *T = dynamic_cast<TZqDatSTable *>(O)) return T;
    return nullptr;
}

void TZqDatSObject::HandleNotification(TZqDatSNotification &) {}

void TZqDatSObject::Notify(TZqDatSNotification &N) {
    if (FUpdateLock > 0) return;
    if (FOwner && N.Kind != nkBeforeInsert)
        FOwner->Notify(N);
    else
        HandleNotification(N);
}

int TZqDatSObject::GetIndex() { return FOwner ? FOwner->IndexOf(this) : 0; }

TZqDatSObject *TZqDatSObject::CreateLike() const {
    DATS_ASSERT(false);
    return nullptr;
}

void TZqDatSObject::Assign(TZqDatSObject *) { DATS_ASSERT(false); }

bool TZqDatSObject::IsEqual(TZqDatSObject *AOther) {
    if (!AOther) return false;
    return typeid(*this) == typeid(*AOther);
}

int TZqDatSObject::IndexOf(TZqDatSObject *) { return -1; }

void TZqDatSObject::BeginUpdate() {
    DATS_ASSERT(FUpdateLock < 65535);
    ++FUpdateLock;
}

void TZqDatSObject::EndUpdate() {
    if (FUpdateLock > 0) --FUpdateLock;
}

void TZqDatSObject::SendNotify(TZqDatSNotifyKind AKind, uint8_t AListKind, TZqDatSObject *AItem,
                               TZqDatSObject *ASender) {
    TZqDatSNotification N;
    N.Kind = AKind;
    N.ListKind = AListKind;
    N.Item = AItem;
    N.Sender = ASender;
    Notify(N);
}

// ---- named and bound objects ---------------------------------------------

TZqDatSNamedObject::TZqDatSNamedObject() { FName = "TZqDatSNamedObject"; }

void TZqDatSNamedObject::SetName(const std::string &AValue) {
    if (AValue == FName) return;
    if (auto *L = dynamic_cast<TZqDatSNamedList *>(GetList()))
        if (L->OwnsItems()) L->CheckUniqueName(AValue, this);
    std::string Old = FName;
    FPrevName = Old;
    FName = AValue;
    if (!Old.empty()) {
        TZqDatSNotification N;
        N.Kind = nkNameChanged;
        N.Sender = this;
        N.PrevName = &Old;
        Notify(N);
    }
    FPrevName = FName;
}

void TZqDatSNamedObject::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSNamedObject *>(ASource);
    if (!S) return;
    std::string NewName = S->Name();
    if (auto *L = dynamic_cast<TZqDatSNamedList *>(GetList())) {
        int I = -1;
        TZqDatSNamedObject *Found = L->FindByName(NewName, I);
        if (Found && Found != this) NewName = L->BuildUniqueName(NewName);
    }
    SetName(NewName);
}

bool TZqDatSNamedObject::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSObject::IsEqual(AOther)) return false;
    return FName == static_cast<TZqDatSNamedObject *>(AOther)->FName;
}

void TZqDatSBindedObject::Assign(TZqDatSObject *ASource) {
    TZqDatSNamedObject::Assign(ASource);
    if (auto *S = dynamic_cast<TZqDatSBindedObject *>(ASource)) {
        FSourceName = S->FSourceName;
        FSourceID = S->FSourceID;
    }
}

// ---- list ---------------------------------------------------------------

TZqDatSList::~TZqDatSList() {
    BeginUpdate();
    Clear();
    // What is left of the object is no longer a list.
    FIsList = false;
}

void TZqDatSList::Grow() {
    size_t Len = FItems.capacity();
    size_t Delta = Len <= 8 ? 4 : Len <= 64 ? 16 : Len / 4;
    FItems.reserve(Len + Delta);
}

void TZqDatSList::RawInsert(TZqDatSObject *AItem, int AIndex) {
    if (FItems.size() == FItems.capacity()) Grow();
    if (AIndex < 0 || AIndex == int(FItems.size()))
        FItems.push_back(AItem);
    else
        FItems.insert(FItems.begin() + AIndex, AItem);
}

void TZqDatSList::RawRemoveAt(int AIndex) { FItems.erase(FItems.begin() + AIndex); }

void TZqDatSList::Insert(TZqDatSObject *AItem, int AIndex) {
    DATS_ASSERT(AItem != nullptr);
    DATS_ASSERT(AIndex >= -1 && AIndex <= Count());
    if (FOwnsItems) {
        auto *OldList = AsList(AItem->Owner());
        DATS_ASSERT(AItem->Owner() == nullptr || AItem->Owner() == FOwner || OldList != nullptr);
        SendNotify(nkBeforeInsert, FListKind, AItem, this);
        if (OldList && OldList != this) {
            bool Owns = OldList->FOwnsItems;
            OldList->FOwnsItems = false;
            try {
                int I = OldList->IndexOf(AItem);
                if (I >= 0) OldList->RemoveAt(I, true);
            } catch (...) {
                OldList->FOwnsItems = Owns;
                throw;
            }
            OldList->FOwnsItems = Owns;
        }
    }
    RawInsert(AItem, AIndex);
    if (FOwnsItems) {
        AItem->SetOwner(this);
        SendNotify(nkAfterInsert, FListKind, AItem, this);
    }
}

int TZqDatSList::Add(TZqDatSObject *AItem) {
    Insert(AItem, -1);
    // Hooks may have moved things; the item was appended.
    return IndexOf(AItem);
}

int TZqDatSList::AddSafe(TZqDatSObject *AItem) {
    try {
        return Add(AItem);
    } catch (...) {
        if (AItem->Owner() == this) {
            int I = IndexOf(AItem);
            if (I >= 0) RawRemoveAt(I);
            // What the list keeps about its items must not outlive this one.
            ForgetItem(AItem);
            AItem->SetOwner(nullptr);
        }
        delete AItem;
        throw;
    }
}

void TZqDatSList::RemoveAt(int AIndex, bool AKeep) {
    DATS_ASSERT(AIndex >= 0 && AIndex < Count());
    TZqDatSObject *Item = FItems[size_t(AIndex)];
    if (FOwnsItems) {
        SendNotify(nkBeforeRemove, FListKind, Item, this);
        // The hook may have moved the item (a row cancelling its edit does
        // not, but be safe).
        if (AIndex >= Count() || FItems[size_t(AIndex)] != Item) AIndex = IndexOf(Item);
        DATS_ASSERT(AIndex >= 0);
    }
    RawRemoveAt(AIndex);
    if (FOwnsItems) {
        TZqDatSObject *FormerOwner = FOwner;
        (void)FormerOwner;
        Item->SetOwner(nullptr);
        SendNotify(nkAfterRemove, FListKind, Item, this);
        if (!AKeep) delete Item;
    }
}

int TZqDatSList::Remove(TZqDatSObject *AItem, bool AKeep) {
    int I = IndexOf(AItem);
    if (I >= 0) RemoveAt(I, AKeep);
    return I;
}

void TZqDatSList::Move(int AFrom, int ATo) {
    DATS_ASSERT(AFrom >= 0 && AFrom < Count() && ATo >= 0 && ATo < Count());
    if (AFrom == ATo) return;
    TZqDatSObject *Item = FItems[size_t(AFrom)];
    if (AFrom < ATo)
        std::rotate(FItems.begin() + AFrom, FItems.begin() + AFrom + 1, FItems.begin() + ATo + 1);
    else
        std::rotate(FItems.begin() + ATo, FItems.begin() + AFrom, FItems.begin() + AFrom + 1);
    (void)Item;
}

void TZqDatSList::Clear() {
    if (FOwnsItems) {
        while (!FItems.empty()) RemoveAt(Count() - 1, false);
    } else {
        FItems.clear();
    }
    if (int(FItems.capacity()) > FCapacity) {
        std::vector<TZqDatSObject *> Fresh;
        Fresh.reserve(size_t(FCapacity));
        FItems.swap(Fresh);
    }
}

void TZqDatSList::SetCapacity(int AValue) {
    DATS_ASSERT(AValue >= 0 && AValue < 536870912);
    FCapacity = AValue;
    if (size_t(AValue) > FItems.capacity()) FItems.reserve(size_t(AValue));
}

void TZqDatSList::SetAllocated(int AValue) {
    DATS_ASSERT(AValue >= 0 && AValue < 536870912);
    if (size_t(AValue) < FItems.size()) FItems.resize(size_t(AValue));
    std::vector<TZqDatSObject *> Fresh;
    Fresh.reserve(size_t(AValue));
    Fresh.assign(FItems.begin(), FItems.end());
    FItems.swap(Fresh);
}

void TZqDatSList::Notify(TZqDatSNotification &N) {
    if (N.Sender == this && N.Item) {
        switch (N.Kind) {
        case nkBeforeInsert: N.Item->BeforeInsert(); break;
        case nkAfterInsert: N.Item->AfterInsert(); break;
        case nkBeforeRemove: N.Item->BeforeRemove(); break;
        case nkAfterRemove: N.Item->AfterRemove(FOwner); break;
        default: break;
        }
    }
    TZqDatSObject::Notify(N);
}

void TZqDatSList::HandleNotification(TZqDatSNotification &N) {
    // Index loop: an item may remove itself while handling.
    for (int I = 0; I < Count(); ++I) FItems[size_t(I)]->HandleNotification(N);
}

int TZqDatSList::IndexOf(TZqDatSObject *AItem) {
    DATS_ASSERT(AItem != nullptr);
    auto It = std::find(FItems.begin(), FItems.end(), AItem);
    return It == FItems.end() ? -1 : int(It - FItems.begin());
}

void TZqDatSList::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSList *>(ASource);
    DATS_ASSERT(FOwnsItems && S != nullptr);
    Clear();
    FCapacity = S->FCapacity;
    FItems.reserve(S->FItems.capacity());
    for (TZqDatSObject *Src : S->FItems) {
        TZqDatSObject *Item = Src->CreateLike();
        AddSafe(Item);
        Item->Assign(Src);
    }
}

bool TZqDatSList::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSObject::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSList *>(AOther);
    if (O->Count() != Count()) return false;
    for (int I = 0; I < Count(); ++I)
        if (!FItems[size_t(I)]->IsEqual(O->FItems[size_t(I)])) return false;
    return true;
}

// ---- named list ---------------------------------------------------------

namespace {
std::string IndexKey(const std::string &AName) { return rtl::UpperCase(AName); }
} // namespace

void TZqDatSNamedList::Insert(TZqDatSObject *AItem, int AIndex) {
    if (auto *NO = dynamic_cast<TZqDatSNamedObject *>(AItem))
        if (NO->FPrevName.empty()) NO->FName = BuildUniqueName(NO->FName);
    TZqDatSList::Insert(AItem, AIndex);
}

TZqDatSNamedObject *TZqDatSNamedList::FindByName(const std::string &AName, int &AIndex) {
    AIndex = -1;
    auto It = FIndex.find(IndexKey(AName));
    if (It == FIndex.end()) return nullptr;
    AIndex = IndexOf(It->second);
    return It->second;
}

int TZqDatSNamedList::IndexOfName(const std::string &AName) {
    int I;
    FindByName(AName, I);
    return I;
}

TZqDatSNamedObject *TZqDatSNamedList::ItemByName(const std::string &AName) {
    int I;
    TZqDatSNamedObject *O = FindByName(AName, I);
    if (!O) DatSError(2, AName);
    return O;
}

void TZqDatSNamedList::CheckUniqueName(const std::string &AName, TZqDatSNamedObject *AItem) {
    if (AName.empty()) return;
    auto It = FIndex.find(IndexKey(AName));
    if (It != FIndex.end() && It->second != AItem) DatSError(1, AName);
}

std::string TZqDatSNamedList::BuildUniqueName(const std::string &ABase) {
    if (FIndex.find(IndexKey(ABase)) == FIndex.end()) return ABase;
    for (int N = 1;; ++N) {
        std::string S = ABase + "_" + std::to_string(N);
        if (FIndex.find(IndexKey(S)) == FIndex.end()) return S;
    }
}

void TZqDatSNamedList::ForgetItem(TZqDatSObject *AItem) {
    auto *Item = dynamic_cast<TZqDatSNamedObject *>(AItem);
    if (!Item) return;
    auto It = FIndex.find(IndexKey(Item->Name()));
    if (It != FIndex.end() && It->second == Item) FIndex.erase(It);
}

void TZqDatSNamedList::Notify(TZqDatSNotification &N) {
    // The index follows the list's own changes on the way up, so that it
    // stays right even while an ancestor's update lock drops the broadcast.
    if (N.Sender == this) {
        auto *Item = dynamic_cast<TZqDatSNamedObject *>(N.Item);
        if (Item) {
            switch (N.Kind) {
            case nkBeforeInsert: CheckUniqueName(Item->Name(), Item); break;
            case nkAfterInsert:
                if (!Item->Name().empty()) FIndex[IndexKey(Item->Name())] = Item;
                break;
            case nkAfterRemove: {
                auto It = FIndex.find(IndexKey(Item->Name()));
                if (It != FIndex.end() && It->second == Item) FIndex.erase(It);
                break;
            }
            default: break;
            }
        }
    } else if (N.Kind == nkNameChanged && N.PrevName) {
        auto *Item = dynamic_cast<TZqDatSNamedObject *>(N.Sender);
        if (Item && Item->Owner() == this) {
            auto It = FIndex.find(IndexKey(*N.PrevName));
            if (It != FIndex.end() && It->second == Item) FIndex.erase(It);
            if (!Item->Name().empty()) FIndex[IndexKey(Item->Name())] = Item;
        }
    }
    TZqDatSList::Notify(N);
}

// ---- bound list ---------------------------------------------------------

int TZqDatSBindedList::IndexOfSourceName(const std::string &AName) {
    for (int I = 0; I < Count(); ++I)
        if (rtl::CompareText(static_cast<TZqDatSBindedObject *>(GetItem(I))->SourceName(), AName) == 0)
            return I;
    return -1;
}

int TZqDatSBindedList::IndexOfSourceID(int AID) {
    for (int I = 0; I < Count(); ++I)
        if (static_cast<TZqDatSBindedObject *>(GetItem(I))->SourceID() == AID) return I;
    return -1;
}

} // namespace dats
