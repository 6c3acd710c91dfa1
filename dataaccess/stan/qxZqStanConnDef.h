// qxZqStanConnDef: connection definitions. A connection definition is a
// definition (qxZqStanDef) with typed access to the parameters every driver
// understands (DriverID, Database, User_Name, Password, Pooled, ...) and a
// way to keep option values in it as lines "FetchOptions.RowsetSize=10".
// The driver manager keeps the list of named connection definitions loaded
// from "ZqConnectionDefs.ini" (the explicit file name, else that file in the
// program's folder, else the file the setting ConnectionDefFile names); a
// connection component keeps a standalone one whose lines are its Params.
#pragma once

#include <string>

#include "dataaccess/stan/qxZqStanDef.h"

class TZqFetchOptions;
class TZqFormatOptions;
class TZqUpdateOptions;
class TZqResourceOptions;

class IZqStanConnectionDef : public virtual IZqStanDefinition {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanConnectionDef;
    virtual bool GetPooled() = 0;
    virtual std::string GetDriverID() = 0;
    virtual std::string GetPassword() = 0;
    // "User_Name", or the nearer "User name" (the older key).
    virtual std::string GetUserName() = 0;
    virtual std::string GetDatabase() = 0;
    virtual std::string GetNewPassword() = 0;
    // Database with its $(NAME) variables expanded.
    virtual std::string GetExpandedDatabase() = 0;
    virtual std::string GetMonitorBy() = 0;
    virtual void SetPooled(bool AValue) = 0;
    virtual void SetDriverID(const std::string &AValue) = 0;
    virtual void SetPassword(const std::string &AValue) = 0;
    virtual void SetUserName(const std::string &AValue) = 0;
    virtual void SetDatabase(const std::string &AValue) = 0;
    virtual void SetNewPassword(const std::string &AValue) = 0;
    virtual void SetMonitorBy(const std::string &AValue) = 0;
    // The options assigned in the four objects become lines of the definition.
    virtual void WriteOptions(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                              TZqResourceOptions *AResource) = 0;
    // Option lines of the definition and then of its parents set the options.
    virtual void ReadOptions(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                             TZqResourceOptions *AResource) = 0;
};

class IZqStanConnectionDefs : public virtual IZqStanDefinitions {
public:
    static constexpr rtl::TGUID IID = IID_IZqStanConnectionDefs;
    virtual TZqIntfPtr<IZqStanConnectionDef> GetConnectionDefs(int AIndex) = 0;
    virtual TZqIntfPtr<IZqStanConnectionDef> AddConnectionDef() = 0;
    virtual TZqIntfPtr<IZqStanConnectionDef> FindConnectionDef(const std::string &AName) = 0;
    // Error 254 when there is none.
    virtual TZqIntfPtr<IZqStanConnectionDef> ConnectionDefByName(const std::string &AName) = 0;
};

class TZqConnectionDef : public TZqDefinition, public virtual IZqStanConnectionDef {
public:
    std::string ClassName() const override { return "TZqConnectionDef"; }
    bool GetPooled() override { return GetAsBoolean("Pooled"); }
    std::string GetDriverID() override { return GetAsString("DriverID"); }
    std::string GetPassword() override { return GetAsString("Password"); }
    std::string GetUserName() override;
    std::string GetDatabase() override { return GetAsString("Database"); }
    std::string GetNewPassword() override { return GetAsString("NewPassword"); }
    std::string GetExpandedDatabase() override;
    std::string GetMonitorBy() override { return GetAsString("MonitorBy"); }
    void SetPooled(bool AValue) override { SetAsBoolean("Pooled", AValue); }
    void SetDriverID(const std::string &AValue) override { SetAsString("DriverID", AValue); }
    void SetPassword(const std::string &AValue) override { SetAsString("Password", AValue); }
    void SetUserName(const std::string &AValue) override { SetAsString("User_Name", AValue); }
    void SetDatabase(const std::string &AValue) override { SetAsString("Database", AValue); }
    void SetNewPassword(const std::string &AValue) override { SetAsString("NewPassword", AValue); }
    void SetMonitorBy(const std::string &AValue) override { SetAsString("MonitorBy", AValue); }
    void WriteOptions(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                      TZqResourceOptions *AResource) override;
    void ReadOptions(TZqFetchOptions *AFetch, TZqFormatOptions *AFormat, TZqUpdateOptions *AUpdate,
                     TZqResourceOptions *AResource) override;
    // A persistent connection definition needs a driver: error 252 without.
    void MarkPersistent() override;
};

class TZqConnectionDefs : public TZqDefinitions, public virtual IZqStanConnectionDefs {
public:
    std::string ClassName() const override { return "TZqConnectionDefs"; }
    void Initialize() override;
    TZqIntfPtr<IZqStanConnectionDef> GetConnectionDefs(int AIndex) override;
    TZqIntfPtr<IZqStanConnectionDef> AddConnectionDef() override;
    TZqIntfPtr<IZqStanConnectionDef> FindConnectionDef(const std::string &AName) override;
    TZqIntfPtr<IZqStanConnectionDef> ConnectionDefByName(const std::string &AName) override;

protected:
    TZqDefinition *CreateItem() override { return new TZqConnectionDef(); }
};

// Registers the connection definition and connection definition list factories.
void RegisterStanConnDef();
