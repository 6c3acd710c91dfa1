// qxZqPhysDialectGen: the dialects' own texts of the command generator.
#include "dataaccess/phys/dialects/qxZqPhysDialectGen.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanOption.h"

// ---- MSSQL ---------------------------------------------------------------------

std::string TZqPhysMSSQLCommandGenerator::GenerateInlineRefresh(const std::string &AText, TZqPhysRequest)
{
    // The refreshed row comes back as the batch's result set.
    const std::string Select = GenerateSelect();
    if (Select.empty()) return AText;
    return AText + ";" + Sep() + Select;
}

std::string TZqPhysMSSQLCommandGenerator::GenerateIdentityInsert(const std::string &ATable, const std::string &AText)
{
    return "SET IDENTITY_INSERT " + ATable + " ON;" + Sep() + AText + ";" + Sep() + "SET IDENTITY_INSERT " + ATable +
           " OFF";
}

std::string TZqPhysMSSQLCommandGenerator::GenerateLockSelect()
{
    bool ReadsColumn = false;
    const std::string List = SelectList(ReadsColumn);
    if (List.empty()) return std::string();
    std::string Text;
    // Without waiting, a row locked by someone else fails at once.
    if (!UpdateOptions()->LockWait()) Text = "SET LOCK_TIMEOUT 0;" + Sep();
    const std::string Table = TableName();
    Text += "SELECT " + List + Sep() + "FROM " + Table + " WITH(ROWLOCK,UPDLOCK)" + Sep() + "WHERE " +
            WhereCondition(true);
    FCommandKind = skSelectForUpdate;
    return Text;
}

std::string TZqPhysMSSQLCommandGenerator::DoGenerateSavepoint(const std::string &AName)
{
    return "IF @@TRANCOUNT = 0 BEGIN SET IMPLICIT_TRANSACTIONS OFF BEGIN TRANSACTION END ELSE SAVE TRANSACTION " +
           AName;
}

std::string TZqPhysMSSQLCommandGenerator::DoGenerateRollbackToSavepoint(const std::string &AName)
{
    return "IF @@TRANCOUNT = 1 ROLLBACK TRANSACTION ELSE ROLLBACK TRANSACTION " + AName;
}

std::string TZqPhysMSSQLCommandGenerator::DoGenerateCommitSavepoint(const std::string &)
{
    return "IF @@TRANCOUNT >= 1 COMMIT TRANSACTION";
}

// ---- DB2 -----------------------------------------------------------------------

std::string TZqPhysDB2CommandGenerator::GenerateLockSelect() { return KeyLockSelect("FOR UPDATE"); }

std::string TZqPhysDB2CommandGenerator::DoGenerateSavepoint(const std::string &AName)
{
    return "SAVEPOINT " + AName + " ON ROLLBACK RETAIN CURSORS";
}

std::string TZqPhysDB2CommandGenerator::DoGenerateRollbackToSavepoint(const std::string &AName)
{
    return "ROLLBACK TO SAVEPOINT " + AName;
}

std::string TZqPhysDB2CommandGenerator::DoGenerateCommitSavepoint(const std::string &AName)
{
    return "RELEASE SAVEPOINT " + AName;
}

// ---- Oracle --------------------------------------------------------------------

std::string TZqPhysOracleCommandGenerator::GenerateInlineRefresh(const std::string &AText, TZqPhysRequest ARequest)
{
    // The values the server gives the row come back through output
    // parameters; with locators, the new LOB locators come back as well.
    TListBuilder Cols(*this), Marks(*this);
    const bool Locators = FMetadata->GetLocatorLobs();
    auto *List = FTable ? FTable->Columns() : nullptr;
    for (int I = 0; List && I < List->Count(); ++I) {
        const TColumnInfo &Info = ColumnInfo(List->GetItem(I));
        if (!Info.Usable) continue;
        rtl::TParamType Type;
        if (NeedsRefresh(Info, ARequest, false))
            Type = rtl::ptOutput;
        else if (Locators && IsLocatorLob(Info) && Info.Column->DataType() != dtHBFile && IsChanged(Info))
            Type = rtl::ptInput;
        else
            continue;
        const std::string Name = Info.SQLName;
        Cols.Add(Name);
        Marks.Add(AddParam(Info, true, Type));
    }
    if (Cols.Empty()) return AText;
    return AText + " RETURNING " + Cols.Text() + " INTO " + Marks.Text();
}

std::string TZqPhysOracleCommandGenerator::GenerateLockSelect()
{
    return KeyLockSelect(UpdateOptions()->LockWait() ? "FOR UPDATE" : "FOR UPDATE NOWAIT");
}

std::string TZqPhysOracleCommandGenerator::DoGenerateSavepoint(const std::string &AName)
{
    return "SAVEPOINT " + AName;
}

std::string TZqPhysOracleCommandGenerator::DoGenerateRollbackToSavepoint(const std::string &AName)
{
    return "ROLLBACK TO SAVEPOINT " + AName;
}

std::string TZqPhysOracleCommandGenerator::DoGenerateReadIdentity(const std::string &AName)
{
    return "SELECT " + AName + ".CURRVAL" + Sep() + "FROM " + GetSingleRowTable();
}

std::string TZqPhysOracleCommandGenerator::DoGenerateCall(const std::string &AText)
{
    std::string Text = "BEGIN " + AText;
    if (AText.empty() || AText.back() != ';') Text += ";";
    return Text + " END;";
}

// ---- ASA (and ADS) -------------------------------------------------------------------

std::string TZqPhysASACommandGenerator::GenerateLockSelect()
{
    bool ReadsColumn = false;
    const std::string List = SelectList(ReadsColumn);
    if (List.empty()) return std::string();
    const std::string Table = TableName();
    std::string Text = "SELECT " + List + " FROM " + Table + " WHERE " + WhereCondition(true) + " FOR UPDATE";
    FCommandKind = skSelectForUpdate;
    return Text;
}

std::string TZqPhysASACommandGenerator::DoGenerateSavepoint(const std::string &AName) { return "SAVEPOINT " + AName; }

std::string TZqPhysASACommandGenerator::DoGenerateRollbackToSavepoint(const std::string &AName)
{
    return "ROLLBACK TO SAVEPOINT " + AName;
}

// ---- MySQL ------------------------------------------------------------------------

std::string TZqPhysMySQLCommandGenerator::GenerateLockSelect()
{
    // A shared lock cannot be asked without waiting: refuse instead of
    // sending a statement that would block.
    if (!UpdateOptions()->LockWait()) ZqRaiseCapabilityNotSupported(this, {"Phys"});
    return KeyLockSelect("LOCK IN SHARE MODE");
}

// ---- the generator of a dialect ----------------------------------------------------------

TZqIntfPtr<IZqPhysCommandGenerator> ZqCreateCommandGenerator(const TZqIntfPtr<IZqPhysConnectionMetadata> &AMetadata,
                                                             IZqStanOptions *AOptions, IZqPhysCommandNames *ANames)
{
    TZqPhysCommandGenerator *G;
    switch (AMetadata->GetKind()) {
    case mkMSSQL: G = new TZqPhysMSSQLCommandGenerator(AMetadata, AOptions, ANames); break;
    case mkDB2: G = new TZqPhysDB2CommandGenerator(AMetadata, AOptions, ANames); break;
    case mkOracle: G = new TZqPhysOracleCommandGenerator(AMetadata, AOptions, ANames); break;
    case mkASA: G = new TZqPhysASACommandGenerator(AMetadata, AOptions, ANames); break;
    case mkMySQL: G = new TZqPhysMySQLCommandGenerator(AMetadata, AOptions, ANames); break;
    case mkADS: G = new TZqPhysADSCommandGenerator(AMetadata, AOptions, ANames); break;
    case mkMSAccess: G = new TZqPhysMSAccCommandGenerator(AMetadata, AOptions, ANames); break;
    default: G = new TZqPhysCommandGenerator(AMetadata, AOptions, ANames); break;
    }
    return TZqIntfPtr<IZqPhysCommandGenerator>(G);
}

TZqIntfPtr<IZqPhysCommandGenerator> ZqCreateCommandGenerator(const TZqIntfPtr<IZqPhysCommand> &ACommand)
{
    ZQ_ASSERT(ACommand, "qxZqPhysDialectGen");
    TZqIntfPtr<IZqPhysConnection> Conn;
    ACommand->GetConnection(Conn);
    ZQ_ASSERT(Conn, "qxZqPhysDialectGen");
    TZqIntfPtr<IZqPhysConnectionMetadata> Meta;
    Conn->CreateMetadata(Meta);
    return ZqCreateCommandGenerator(Meta, ACommand->GetOptions(), ACommand.Get());
}
