// Classes: the toolkit's object base, lists, string lists, collections and
// the component ownership tree.
//
// TStrings keeps lines with an optional object each and answers name=value
// look-ups; it compares without regard to case unless CaseSensitive is set,
// as the toolkit's lists do. TStringList adds sorting and Find.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/rtl/SysUtils.h"

namespace rtl {

// The root of classes that are named and owned through the toolkit's
// patterns. ClassName answers the class's own name (the C++ class name
// without namespaces unless a class overrides it); InheritsFromName answers
// for the class or any of its C++ base classes.
class TObject {
public:
    TObject() = default;
    TObject(const TObject &) = default;
    TObject &operator=(const TObject &) = default;
    virtual ~TObject() = default;
    virtual std::string ClassName() const;
    virtual bool InheritsFromName(std::string_view AName) const;
};

using TNotifyEvent = std::function<void(TObject *Sender)>;

// An object that can copy another of a compatible class.
class TPersistent : public TObject {
public:
    // EConvertError "Cannot assign a X to a Y" unless a subclass knows the source.
    virtual void Assign(const TPersistent &Source);
};

// ---- TList ----------------------------------------------------------------

// A list of untyped pointers; owns nothing.
class TList {
public:
    int Count() const { return int(FItems.size()); }
    void *Get(int Index) const;
    void Put(int Index, void *Item);
    void *operator[](int Index) const { return Get(Index); }
    int Add(void *Item);
    void Insert(int Index, void *Item);
    void Delete(int Index);
    int Remove(void *Item); // index it had, -1 when absent
    int IndexOf(const void *Item) const;
    void *Extract(void *Item);
    void Clear() { FItems.clear(); }
    void Exchange(int Index1, int Index2);
    void Move(int CurIndex, int NewIndex);
    void Pack(); // drops nil entries
    void *First() const { return Get(0); }
    void *Last() const { return Get(Count() - 1); }
    void Sort(const std::function<int(void *, void *)> &Compare);
    std::vector<void *> &Items() { return FItems; }
    const std::vector<void *> &Items() const { return FItems; }

private:
    void Check(int Index) const;
    std::vector<void *> FItems;
};

// A list shared between threads: LockList gives the list under the lock.
class TThreadList {
public:
    TList &LockList() { FLock.lock(); return FList; }
    void UnlockList() { FLock.unlock(); }
    void Add(void *Item);
    void Remove(void *Item);
    void Clear();

private:
    std::mutex FLock;
    TList FList;
};

// ---- TStrings / TStringList -----------------------------------------------

enum TDuplicates { dupIgnore, dupAccept, dupError };

class TStrings : public TPersistent {
public:
    TStrings() = default;
    TStrings(const TStrings &Other);
    TStrings &operator=(const TStrings &Other);
    ~TStrings() override = default;

    int Count() const { return int(FItems.size()); }
    const std::string &Strings(int Index) const;
    const std::string &operator[](int Index) const { return Strings(Index); }
    virtual void Put(int Index, const std::string &S);
    TObject *Objects(int Index) const;
    void PutObject(int Index, TObject *AObject);

    virtual int Add(const std::string &S);
    int AddObject(const std::string &S, TObject *AObject);
    void Append(const std::string &S) { Add(S); }
    virtual void Insert(int Index, const std::string &S);
    void InsertObject(int Index, const std::string &S, TObject *AObject);
    virtual void Delete(int Index);
    virtual void Clear();
    virtual int IndexOf(std::string_view S) const;
    int IndexOfName(std::string_view Name) const;
    int IndexOfObject(const TObject *AObject) const;
    void Exchange(int Index1, int Index2);
    void Move(int CurIndex, int NewIndex);
    void AddStrings(const TStrings &Strings);
    void Assign(const TPersistent &Source) override;
    bool Equals(const TStrings &Strings) const;

    // name=value lines
    std::string Names(int Index) const;
    std::string ValueFromIndex(int Index) const;
    void SetValueFromIndex(int Index, const std::string &Value);
    std::string Values(std::string_view Name) const;
    // An empty value deletes the line, as the toolkit does.
    void SetValue(std::string_view Name, const std::string &Value);
    char NameValueSeparator() const { return FNameValueSeparator; }
    void SetNameValueSeparator(char C) { FNameValueSeparator = C; }

    // Text: lines joined with LineBreak (each line ended by it); reading
    // splits on CR, LF or CR LF.
    std::string Text() const;
    virtual void SetText(std::string_view S);
    std::string LineBreak() const { return FLineBreak; }
    void SetLineBreak(std::string S) { FLineBreak = std::move(S); }
    // CommaText: items separated by "," with blanks also separating unquoted
    // items; items holding blanks, commas or quotes are written in quotes.
    std::string CommaText() const;
    void SetCommaText(std::string_view S);
    std::string DelimitedText() const;
    void SetDelimitedText(std::string_view S);
    char Delimiter() const { return FDelimiter; }
    void SetDelimiter(char C) { FDelimiter = C; }
    char QuoteChar() const { return FQuoteChar; }
    void SetQuoteChar(char C) { FQuoteChar = C; }
    bool StrictDelimiter() const { return FStrictDelimiter; }
    void SetStrictDelimiter(bool B) { FStrictDelimiter = B; }

    bool CaseSensitive() const { return FCaseSensitive; }
    virtual void SetCaseSensitive(bool B) { FCaseSensitive = B; }

    void BeginUpdate();
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }

    // EFOpenError when the file cannot be read, EInOutError when it is not
    // UTF-8 (ReadTextFile reads UTF-16 led by its mark as UTF-8).
    void LoadFromFile(const std::string &FileName);
    // As ReplaceFile, whose note it returns.
    std::string SaveToFile(const std::string &FileName) const;

    TNotifyEvent OnChange;
    TNotifyEvent OnChanging;

    // The comparison used for searching and sorting.
    virtual int CompareStrings(std::string_view S1, std::string_view S2) const;

protected:
    struct TItem {
        std::string S;
        TObject *Obj = nullptr;
    };
    virtual void Changed();
    virtual void Changing();
    virtual void InsertItem(int Index, const std::string &S, TObject *AObject);
    void CheckIndex(int Index) const;
    std::vector<TItem> FItems;

private:
    std::string DelimitedWith(char Delim, char Quote, bool QuoteBlanks) const;
    void SetDelimitedWith(std::string_view S, char Delim, char Quote, bool Strict);
    int FUpdateCount = 0;
    bool FCaseSensitive = false;
    char FNameValueSeparator = '=';
    char FDelimiter = ',';
    char FQuoteChar = '"';
    bool FStrictDelimiter = false;
    std::string FLineBreak = "\n";
};

class TStringList : public TStrings {
public:
    TStringList() = default;
    explicit TStringList(bool AOwnsObjects) : FOwnsObjects(AOwnsObjects) {}
    TStringList(const TStringList &Other);
    TStringList &operator=(const TStringList &Other);
    ~TStringList() override;

    int Add(const std::string &S) override;
    void Put(int Index, const std::string &S) override; // EListError on a sorted list
    void Insert(int Index, const std::string &S) override; // EListError on a sorted list
    void Delete(int Index) override;
    void Clear() override;
    int IndexOf(std::string_view S) const override;
    // Binary search of a sorted list: True when found; Index is the place
    // it is or would be inserted.
    bool Find(std::string_view S, int &Index) const;
    void Sort();
    void CustomSort(const std::function<int(TStringList &, int, int)> &Compare);

    bool Sorted() const { return FSorted; }
    void SetSorted(bool B);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates D) { FDuplicates = D; }
    void SetCaseSensitive(bool B) override;
    bool OwnsObjects() const { return FOwnsObjects; }
    void SetOwnsObjects(bool B) { FOwnsObjects = B; }

private:
    bool FSorted = false;
    TDuplicates FDuplicates = dupIgnore;
    bool FOwnsObjects = false;
};

class EStringListError : public EListError {
public:
    using EListError::EListError;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EStringListError>(*this); }
};
class EFOpenError : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EFOpenError>(*this); }
};
class EFCreateError : public Exception {
public:
    using Exception::Exception;
    [[noreturn]] void Raise() const override { throw *this; }
    std::unique_ptr<Exception> Clone() const override { return std::make_unique<EFCreateError>(*this); }
};

// Replaces the file whole with Bytes: they go to a new file beside it,
// "<name>.~<process id>", which then takes its name, so that a kill or a
// power cut leaves the old file or the new one, never a part of either; the
// new file keeps the old one's owner, group and rights. Where the new file
// cannot keep the owner (the file is another user's) or cannot take the old
// one's name (a file system that refuses a rename over a file), the bytes
// go first to the sidecar "<name>.~new", sealed (their length and hash
// after them) and on the disk, then over the file, and the sidecar goes:
// ReadReplacedFile takes a sealed sidecar before the file, so a reader
// still finds the old bytes or the new ones. Only where the folder takes no
// new file at all is a writable file written over in place (in one write,
// its old tail blank lines until the cut), and the note returned says so;
// the note is empty when the file was replaced whole.
// EFCreateError, the file left as it was, when it cannot be written (a
// folder, a read-only file, a full disk).
std::string ReplaceFile(const std::string &FileName, std::string_view Bytes);
// The bytes of FileName as its last replacement left them: a sealed
// sidecar's (a replacement through it ended before it wrote the file),
// else the file's own. A sidecar older than the file's last write (the file
// edited by hand since) is stale: the file's own bytes are read, and the
// next replacement removes it. False when the file cannot be read.
bool ReadReplacedFile(const std::string &FileName, std::string &Bytes);
// For tests: when not 0, every rename of a replacement fails with this
// errno, as on a file system that refuses a rename over an existing file.
extern int RefusedRenameErrno;
// For tests: called after every step of a replacement that changes what is
// on the disk (a kill there is what a crash test simulates).
extern void (*ReplaceFileStepHook)();
// Removes the new files that replacements in AFolder left when their
// program ended before the rename (killed, a power cut); those of programs
// still running stay.
void RemoveStrayReplacements(const std::string &AFolder);

// ---- collections ------------------------------------------------------------

class TCollection;

class TCollectionItem : public TPersistent {
public:
    TCollectionItem() = default;
    ~TCollectionItem() override = default;
    TCollection *Collection() const { return FCollection; }
    // Moves the item into another collection (which then owns it) or out
    // of any (nil: the caller owns it).
    void SetCollection(TCollection *ACollection);
    int Index() const;
    void SetIndex(int Value);
    int ID() const { return FID; }
    virtual std::string DisplayName() const { return ClassName(); }

protected:
    // Tells the collection that this item (or, with AllItems, every item) changed.
    void Changed(bool AllItems);

private:
    friend class TCollection;
    TCollection *FCollection = nullptr;
    int FID = 0;
};

enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollection : public TPersistent {
public:
    using TItemFactory = std::function<std::unique_ptr<TCollectionItem>()>;
    explicit TCollection(TItemFactory AFactory);
    TCollection(const TCollection &) = delete;
    TCollection &operator=(const TCollection &) = delete;
    ~TCollection() override;

    int Count() const { return int(FItems.size()); }
    TCollectionItem *Items(int Index) const;
    TCollectionItem *Add();
    TCollectionItem *Insert(int Index);
    void Delete(int Index);
    void Clear();
    TCollectionItem *FindItemID(int ID) const;
    void BeginUpdate() { ++FUpdateCount; }
    void EndUpdate();
    int UpdateCount() const { return FUpdateCount; }
    // Clears and adds a copy of each source item through the item's Assign.
    void Assign(const TPersistent &Source) override;

protected:
    // Called after items change while no update is open; nil means many items.
    virtual void Update(TCollectionItem *Item) { (void)Item; }
    virtual void Notify(TCollectionItem *Item, TCollectionNotification Action) { (void)Item; (void)Action; }
    void Changed();

private:
    friend class TCollectionItem;
    void InsertItem(TCollectionItem *Item, int Index);
    void RemoveItem(TCollectionItem *Item); // detaches without freeing
    TItemFactory FFactory;
    std::vector<TCollectionItem *> FItems; // owned
    int FNextID = 0;
    int FUpdateCount = 0;
};

// ---- components -------------------------------------------------------------

enum TOperation { opInsert, opRemove };
enum TComponentStateFlag : uint32_t {
    csLoading = 1u << 0,
    csReading = 1u << 1,
    csWriting = 1u << 2,
    csDestroying = 1u << 3,
    csDesigning = 1u << 4,
};

// A named object in an ownership tree: the owner frees the components it
// owns when it is freed, and components asked to be told of another's
// freeing get Notification(opRemove) first.
class TComponent : public TPersistent {
public:
    explicit TComponent(TComponent *AOwner = nullptr);
    TComponent(const TComponent &) = delete;
    TComponent &operator=(const TComponent &) = delete;
    ~TComponent() override;

    const std::string &Name() const { return FName; }
    virtual void SetName(const std::string &AName) { FName = AName; }
    TComponent *Owner() const { return FOwner; }
    int ComponentCount() const { return int(FComponents.size()); }
    TComponent *Components(int Index) const { return FComponents.at(size_t(Index)); }
    TComponent *FindComponent(std::string_view AName) const;
    void InsertComponent(TComponent *AComponent);
    void RemoveComponent(TComponent *AComponent);
    uint32_t ComponentState() const { return FComponentState; }
    bool HasState(TComponentStateFlag F) const { return (FComponentState & F) != 0; }
    void SetState(TComponentStateFlag F, bool On)
    {
        FComponentState = On ? (FComponentState | F) : (FComponentState & ~uint32_t(F));
    }
    intptr_t Tag = 0;

    void FreeNotification(TComponent *AComponent);
    void RemoveFreeNotification(TComponent *AComponent);

protected:
    virtual void Notification(TComponent *AComponent, TOperation Operation);

private:
    std::string FName;
    TComponent *FOwner = nullptr;
    std::vector<TComponent *> FComponents;   // owned
    std::vector<TComponent *> FFreeNotifies; // told when this one goes
    uint32_t FComponentState = 0;
};

} // namespace rtl
