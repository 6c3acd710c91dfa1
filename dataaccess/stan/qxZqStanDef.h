// qxZqStanDef: definitions and the definition file.
//
// A definition is a named list of Name=Value parameters that may inherit
// from a parent definition; a definition list holds many of them and loads
// and saves them as sections of an ini file. A section "VexaSettings" holds
// defaults: after loading it is the parent of every definition that names no
// parent, it is left out of the list's count and index, and its name reads
// as empty to its children. The driver layer keeps its driver and connection
// definitions in such lists; a connection component holds a standalone one
// whose parameters are its Params.
//
// Definition states, and what moves them:
//   0 new       Clear (and creation in a list); Apply/Save -> 4
//   1 modified  a change of a stored definition (4 -> 1); Apply/Save -> 4
//   2 deleted   Delete of a stored definition; Apply/Save -> removed
//   3 loading   only while its section is read
//   4 stored    after loading, Apply or Save
// Styles: 0 persistent (stored in the file, MarkPersistent), 1 private (in a
// list, never stored), 2 standalone (in no list).
// List load states: 0 not loaded -> 1 loading -> 2 loaded; Clear -> 0.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanIntf.h"
#include "dataaccess/stan/qxZqStanUtil.h"
#include "platform/rtl/Classes.h"
#include "platform/rtl/IniFiles.h"

class IZqStanDefinition;
class IZqStanDefinitions;

// Before- and after-change notifications of a definition.
using TZqDefinitionEvent = std::function<void(IZqStanDefinition *ADefinition)>;
// Before- and after-load notifications of a list.
using TZqDefinitionsEvent = std::function<void(IZqStanDefinitions *AList)>;

// Definition states and styles (see the unit comment).
enum : uint8_t { ZqDefNew = 0, ZqDefModified = 1, ZqDefDeleted = 2, ZqDefLoading = 3, ZqDefStored = 4 };
enum : uint8_t { ZqDefPersistent = 0, ZqDefPrivate = 1, ZqDefStandalone = 2 };
// Operations an associated connection forbids.
enum TZqDefinitionOperation : uint8_t { doChange, doDelete };
using TZqDefinitionOperations = rtl::TSet<TZqDefinitionOperation, uint8_t>;

// The section of the defaults.
inline constexpr const char *CZqSettingsSection = "VexaSettings";

class IZqStanDefinitionStorage : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanDefinitionStorage;
    virtual std::string GetFileName() = 0;
    virtual void SetFileName(const std::string &AValue) = 0;
    virtual std::string GetGlobalFileName() = 0;
    virtual void SetGlobalFileName(const std::string &AValue) = 0;
    virtual std::string GetDefaultFileName() = 0;
    virtual void SetDefaultFileName(const std::string &AValue) = 0;
    // An ini file on the actual name; the caller writes it back with UpdateFile.
    virtual std::unique_ptr<rtl::TCustomIniFile> CreateIniFile() = 0;
    // The explicit name, else the default name in the program's folder when
    // that file exists, else the global name.
    virtual std::string GetActualFileName() = 0;
};

class IZqStanDefinition : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanDefinition;
    virtual std::string GetName() = 0;
    virtual uint8_t GetState() = 0;
    virtual uint8_t GetStyle() = 0;
    // True when the value starts with T, t, Y or y.
    virtual bool GetAsBoolean(const std::string &AName) = 0;
    // The value as a decimal integer, 0 when it is none.
    virtual int GetAsInteger(const std::string &AName) = 0;
    // The own value (trimmed), else the parent's, else empty.
    virtual std::string GetAsString(const std::string &AName) = 0;
    virtual TZqIntfPtr<IZqStanDefinition> GetParentDefinition() = 0;
    // The own parameter lines, for editing in place.
    virtual rtl::TStrings &GetParams() = 0;
    virtual TZqDefinitionEvent GetOnChanged() = 0;
    virtual TZqDefinitionEvent GetOnChanging() = 0;
    virtual void SetName(const std::string &AValue) = 0;
    virtual void SetParams(const rtl::TStrings &AValue) = 0;
    virtual void SetAsBoolean(const std::string &AName, bool AValue) = 0;
    virtual void SetAsYesNo(const std::string &AName, bool AValue) = 0;
    virtual void SetAsInteger(const std::string &AName, int AValue) = 0;
    virtual void SetAsString(const std::string &AName, const std::string &AValue) = 0;
    virtual void SetParentDefinition(const TZqIntfPtr<IZqStanDefinition> &AValue) = 0;
    virtual void SetOnChanging(TZqDefinitionEvent AValue) = 0;
    virtual void SetOnChanged(TZqDefinitionEvent AValue) = 0;
    virtual void Apply() = 0;
    virtual void Clear() = 0;
    virtual void Cancel() = 0;
    virtual void Delete() = 0;
    virtual void MarkPersistent() = 0;
    virtual void ReadFrom(const TZqIntfPtr<IZqStanDefinition> &ASource, bool AOverwrite) = 0;
    // Connection strings (Name=Value items separated by ";"). AKeywords:
    // lines of a name alone or name=alias, or nil for every name.
    virtual void ParseString(const std::string &AText, const rtl::TStrings *AKeywords, std::string &ARest) = 0;
    virtual void ParseStringSyntax(const std::string &AText, const rtl::TStrings *AKeywords, std::string &ARest,
                                   const TZqSyntax &ASyntax) = 0;
    virtual std::string BuildString(const rtl::TStrings *AKeywords) = 0;
    virtual std::string BuildStringSyntax(const rtl::TStrings *AKeywords, const TZqSyntax &ASyntax) = 0;
    virtual bool IsSpecified(const std::string &AName) = 0;
    virtual bool IsSpecifiedLevel(const std::string &AName, int &ALevel) = 0;
    // The definition has its own line for the name (empty or not).
    virtual bool HasValue(const std::string &AName) = 0;
    // AConnection: an opaque identity; AOperations: what it forbids.
    virtual void SetAssociatedConnection(const void *AConnection, TZqDefinitionOperations AOperations) = 0;
};

class IZqStanDefinitions : public virtual IInterface {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanDefinitions;
    virtual int GetCount() = 0;
    virtual TZqIntfPtr<IZqStanDefinition> GetItems(int AIndex) = 0;
    virtual bool GetAutoLoad() = 0;
    virtual TZqIntfPtr<IZqStanDefinitionStorage> GetStorage() = 0;
    virtual bool GetLoaded() = 0;
    virtual TZqDefinitionsEvent GetBeforeLoad() = 0;
    virtual TZqDefinitionsEvent GetAfterLoad() = 0;
    virtual void SetAutoLoad(bool AValue) = 0;
    virtual void SetBeforeLoad(TZqDefinitionsEvent AValue) = 0;
    virtual void SetAfterLoad(TZqDefinitionsEvent AValue) = 0;
    virtual TZqIntfPtr<IZqStanDefinition> Add() = 0;
    virtual TZqIntfPtr<IZqStanDefinition> CreateStandalone() = 0;
    virtual TZqIntfPtr<IZqStanDefinition> FindDefinition(const std::string &AName) = 0;
    // Error 254 when there is none.
    virtual TZqIntfPtr<IZqStanDefinition> DefinitionByName(const std::string &AName) = 0;
    virtual void Cancel() = 0;
    virtual void Save() = 0;
    virtual void Load() = 0;
    virtual void Clear() = 0;
    virtual void BeginRead() = 0;
    virtual void EndRead() = 0;
    virtual void BeginWrite() = 0;
    virtual void EndWrite() = 0;
};

// A lock for many readers or one writer; the writer may take it again and
// may read under it.
class TZqReadWriteLock {
public:
    void BeginRead();
    void EndRead();
    void BeginWrite();
    void EndWrite();

private:
    std::mutex FLock;
    std::condition_variable FCond;
    int FReaders = 0;
    int FWriteDepth = 0;
    int FWriterReads = 0;
    std::thread::id FWriter;
};

class TZqFileDefinitionStorage : public TZqObject, public virtual IZqStanDefinitionStorage {
public:
    std::string ClassName() const override { return "TZqFileDefinitionStorage"; }
    std::string GetFileName() override { return FFileName; }
    void SetFileName(const std::string &AValue) override { FFileName = AValue; }
    std::string GetGlobalFileName() override { return FGlobalFileName; }
    void SetGlobalFileName(const std::string &AValue) override { FGlobalFileName = AValue; }
    std::string GetDefaultFileName() override { return FDefaultFileName; }
    void SetDefaultFileName(const std::string &AValue) override { FDefaultFileName = AValue; }
    std::unique_ptr<rtl::TCustomIniFile> CreateIniFile() override;
    std::string GetActualFileName() override;

private:
    std::string FFileName;
    std::string FGlobalFileName;
    std::string FDefaultFileName;
};

class TZqDefinitions;

class TZqDefinition : public TZqObject, public virtual IZqStanDefinition {
public:
    // A standalone definition: in no list, empty parameters, no parent.
    TZqDefinition();
    ~TZqDefinition() override;
    std::string ClassName() const override { return "TZqDefinition"; }

    std::string GetName() override;
    uint8_t GetState() override { return FState; }
    uint8_t GetStyle() override { return FStyle; }
    bool GetAsBoolean(const std::string &AName) override;
    int GetAsInteger(const std::string &AName) override;
    std::string GetAsString(const std::string &AName) override;
    TZqIntfPtr<IZqStanDefinition> GetParentDefinition() override;
    rtl::TStrings &GetParams() override { return FParams; }
    TZqDefinitionEvent GetOnChanged() override { return FOnChanged; }
    TZqDefinitionEvent GetOnChanging() override { return FOnChanging; }
    void SetName(const std::string &AValue) override { SetAsString("Name", AValue); }
    void SetParams(const rtl::TStrings &AValue) override;
    void SetAsBoolean(const std::string &AName, bool AValue) override;
    void SetAsYesNo(const std::string &AName, bool AValue) override;
    void SetAsInteger(const std::string &AName, int AValue) override;
    void SetAsString(const std::string &AName, const std::string &AValue) override;
    void SetParentDefinition(const TZqIntfPtr<IZqStanDefinition> &AValue) override;
    void SetOnChanging(TZqDefinitionEvent AValue) override { FOnChanging = std::move(AValue); }
    void SetOnChanged(TZqDefinitionEvent AValue) override { FOnChanged = std::move(AValue); }
    void Apply() override;
    void Clear() override;
    void Cancel() override;
    void Delete() override;
    void MarkPersistent() override;
    void ReadFrom(const TZqIntfPtr<IZqStanDefinition> &ASource, bool AOverwrite) override;
    void ParseString(const std::string &AText, const rtl::TStrings *AKeywords, std::string &ARest) override;
    void ParseStringSyntax(const std::string &AText, const rtl::TStrings *AKeywords, std::string &ARest,
                           const TZqSyntax &ASyntax) override;
    std::string BuildString(const rtl::TStrings *AKeywords) override;
    std::string BuildStringSyntax(const rtl::TStrings *AKeywords, const TZqSyntax &ASyntax) override;
    bool IsSpecified(const std::string &AName) override;
    bool IsSpecifiedLevel(const std::string &AName, int &ALevel) override;
    bool HasValue(const std::string &AName) override;
    void SetAssociatedConnection(const void *AConnection, TZqDefinitionOperations AOperations) override;

    TZqDefinitions *List() const noexcept { return FList; }
    const std::string &StoredName() const noexcept { return FStoredName; }

    // The parent, resolved first by the Parent (or ConnectionDef) parameter.
    TZqDefinition *ResolvedParent();

protected:
    // Drops own lines equal to the parent's and earlier duplicates.
    void Normalize();
    void NormalizeQuietly();
    virtual void NormalizeLine(std::string &) {}

private:
    friend class TZqDefinitions;
    class TParamsUpdate;
    void CheckChange();
    void ParamsChanging();
    void ParamsChanged();
    void SetOwnLine(const std::string &AName, const std::string &AValue);
    void WriteTo(rtl::TCustomIniFile &AIni, bool AFull);
    void ReadFromIni(rtl::TCustomIniFile &AIni, const std::string &ASection);
    bool SettingsDefinition() const;

    TZqDefinitions *FList = nullptr; // the list that holds a counted reference to this one
    std::string FStoredName;
    std::string FPendingName;
    rtl::TStringList FParams;
    uint8_t FState = ZqDefNew;
    uint8_t FStyle = ZqDefStandalone;
    TZqIntfPtr<IZqStanDefinition> FParent;
    bool FParentToResolve = false;
    TZqDefinitionEvent FOnChanging;
    TZqDefinitionEvent FOnChanged;
    const void *FAssociatedConnection = nullptr;
    TZqDefinitionOperations FForbidden;
    int FInternalChange = 0;
};

class TZqDefinitions : public TZqObject, public virtual IZqStanDefinitions {
public:
    TZqDefinitions();
    ~TZqDefinitions() override;
    std::string ClassName() const override { return "TZqDefinitions"; }
    void Initialize() override;

    int GetCount() override;
    TZqIntfPtr<IZqStanDefinition> GetItems(int AIndex) override;
    bool GetAutoLoad() override { return FAutoLoad; }
    TZqIntfPtr<IZqStanDefinitionStorage> GetStorage() override { return FStorage; }
    bool GetLoaded() override { return FLoadState == 2; }
    TZqDefinitionsEvent GetBeforeLoad() override { return FBeforeLoad; }
    TZqDefinitionsEvent GetAfterLoad() override { return FAfterLoad; }
    void SetAutoLoad(bool AValue) override { FAutoLoad = AValue; }
    void SetBeforeLoad(TZqDefinitionsEvent AValue) override { FBeforeLoad = std::move(AValue); }
    void SetAfterLoad(TZqDefinitionsEvent AValue) override { FAfterLoad = std::move(AValue); }
    TZqIntfPtr<IZqStanDefinition> Add() override;
    TZqIntfPtr<IZqStanDefinition> CreateStandalone() override;
    TZqIntfPtr<IZqStanDefinition> FindDefinition(const std::string &AName) override;
    TZqIntfPtr<IZqStanDefinition> DefinitionByName(const std::string &AName) override;
    void Cancel() override;
    void Save() override;
    void Load() override;
    void Clear() override;
    void BeginRead() override { FLock.BeginRead(); }
    void EndRead() override { FLock.EndRead(); }
    void BeginWrite() override { FLock.BeginWrite(); }
    void EndWrite() override { FLock.EndWrite(); }

protected:
    // A new definition of the list's item class.
    virtual TZqDefinition *CreateItem() { return new TZqDefinition(); }

private:
    friend class TZqDefinition;
    void CheckLoaded();
    TZqDefinition *Find(const std::string &AName, const TZqDefinition *AExcept = nullptr);
    TZqDefinition *AddItem();
    void Remove(TZqDefinition *AItem);
    std::string UniqueName(const TZqDefinition *AItem);

    std::vector<TZqIntfPtr<IZqStanDefinition>> FItems; // counted: the list keeps its items alive
    TZqIntfPtr<IZqStanDefinition> FSettings;            // the hidden "VexaSettings" definition
    TZqIntfPtr<IZqStanDefinitionStorage> FStorage;
    bool FAutoLoad = true;
    uint8_t FLoadState = 0;
    TZqDefinitionsEvent FBeforeLoad;
    TZqDefinitionsEvent FAfterLoad;
    TZqReadWriteLock FLock;
};

// Registers the storage, definition and definition-list factories.
void RegisterStanDef();
