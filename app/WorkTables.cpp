// WorkTables: DbTablePrefix and the making rule of the per-database tables.
#include "app/WorkTables.h"

#include "platform/dataset/TFieldDef.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TSession.h"
#include "platform/localdb/TTable.h"
#include "platform/rtl/SysUtils.h"

std::string DbTablePrefix;

namespace {

// Whether a template is one of a level-flag table, and of which kind.
bool LevelFlagTemplate(const std::string &ATemplate, bool &APts)
{
    APts = rtl::SameText(ATemplate, "PTS_DAtaFlags");
    return APts || rtl::SameText(ATemplate, "ChemFlags");
}

} // namespace

std::vector<std::string> JudgedFields(bool APts)
{
    if (APts)
        return {JudgedPresField, "JudgedTEMP", "JudgedPSAL"};
    return {JudgedPresField, "JudgedCHEM"};
}

std::string JudgedValueField(const std::string &AParam)
{
    if (AParam == "TEMP" || AParam == "PSAL")
        return "Judged" + AParam;
    // DENS is computed, never stored: nothing of it to compare.
    if (AParam == "DENS" || AParam == "PRES" || AParam == "PRESS")
        return "";
    return "JudgedCHEM";
}

void AddJudgedFieldDefs(TFieldDefs &ADefs, bool APts)
{
    for (const std::string &F : JudgedFields(APts))
        if (ADefs.IndexOf(F) < 0)
            ADefs.Add(F, rtl::ftFloat);
}

std::string ComputeDbTablePrefix(const std::string &AMainDbPath)
{
    size_t Slash = AMainDbPath.find_last_of("/\\");
    std::string Name = Slash == std::string::npos ? AMainDbPath : AMainDbPath.substr(Slash + 1);
    size_t Dot = Name.rfind('.');
    if (Dot == std::string::npos)
        return ""; // no extension: the cut falls before the first character
    std::string Ext = Name.substr(Dot);
    return Name.substr(0, Name.find(Ext));
}

std::string MainDbSqlNameOf(const std::string &AMainDbPath)
{
    return rtl::QuotedStr(AMainDbPath.substr(0, AMainDbPath.size() >= 4 ? AMainDbPath.size() - 4 : 0), '"');
}

void MakeWorkTable(TTable &ATarget, TTable &AStructTbl, const std::string &ALocalDbDir,
                   const std::string &ASuffix, const std::string &ATemplate,
                   const std::string &AKeyFields, const std::string &AParamFlagName)
{
    ATarget.Close();
    ATarget.SetDatabaseName(ALocalDbDir);
    ATarget.SetTableName(DbTablePrefix + ASuffix);
    if (!LocalTableFileExists(ALocalDbDir + DbTablePrefix + ASuffix)) {
        AStructTbl.Close();
        AStructTbl.SetDatabaseName(ALocalDbDir);
        AStructTbl.SetTableName(ATemplate);
        AStructTbl.Open();
        ATarget.FieldDefs().Assign(AStructTbl.FieldDefs());
        if (!AParamFlagName.empty() && ATarget.FieldDefs().Count() > 0)
            ATarget.FieldDefs().Items(ATarget.FieldDefs().Count() - 1)->SetName(AParamFlagName);
        ATarget.CreateTable();
        if (!AKeyFields.empty())
            ATarget.AddIndex("", AKeyFields, ixPrimary);
    }
    bool Pts = false;
    if (LevelFlagTemplate(ATemplate, Pts))
        for (const std::string &F : JudgedFields(Pts))
            ATarget.AddField(F, rtl::ftFloat);
    ATarget.Open();
}

std::string LevelFlagTableSuffix(const std::string &ATable)
{
    // The spelling each table has always been created with.
    return ATable == "PTS_Data" ? std::string("-PTS_DataFlags") : "-" + ATable + "flags";
}

std::string LevelFlagTableName(const std::string &ATable) { return DbTablePrefix + LevelFlagTableSuffix(ATable); }

void WidenTextFields(TTable &ATable, const std::vector<TTextWidth> &AWidths)
{
    const bool WasActive = ATable.Active();
    // Opening reads the stored fields and key.
    ATable.Close();
    ATable.Open();
    TFieldDefs Wide(nullptr);
    Wide.Assign(ATable.FieldDefs());
    const std::string Key = ATable.PrimaryKeyFields();
    ATable.Close();
    bool Narrow = false;
    for (const TTextWidth &W : AWidths) {
        const int I = Wide.IndexOf(W.Field);
        if (I < 0)
            continue;
        TFieldDef *Def = Wide.Items(I);
        const bool Text = Def->DataType() == rtl::ftString || Def->DataType() == rtl::ftWideString ||
                          Def->DataType() == rtl::ftFixedChar;
        if (Text && Def->Size() < W.Chars) {
            Def->SetSize(W.Chars);
            Narrow = true;
        }
    }
    if (!Narrow) {
        if (WasActive)
            ATable.Open();
        return;
    }
    const std::string Folder = ATable.DatabaseName();
    // The rows wait in a copy while the table is made again; SQLite cannot
    // change a column's declared width in place.
    TTable Copy(nullptr);
    Copy.SetDatabaseName(Folder);
    Copy.SetTableName(LocalTableBaseName(ATable.TableName()) + "~widen");
    Session.StartTransaction(Folder);
    try {
        ATable.Open();
        Copy.BatchMove(&ATable, batCopy);
        ATable.Close();
        ATable.FieldDefs().Assign(Wide);
        ATable.CreateTable();
        if (!Key.empty())
            ATable.AddIndex("", Key, ixPrimary);
        ATable.BatchMove(&Copy, batAppend);
        Copy.Close();
        Copy.DeleteTable();
        Session.Commit(Folder);
    } catch (...) {
        Copy.Close();
        Session.Rollback(Folder);
        throw;
    }
    if (WasActive)
        ATable.Open();
}

void MakeParamFlagTable(TTable &ATarget, TTable &AStructTbl, const std::string &ALocalDbDir,
                        const std::string &AParam)
{
    MakeWorkTable(ATarget, AStructTbl, ALocalDbDir, LevelFlagTableSuffix(AParam) + ".db", "ChemFlags",
                  "ID_Cast;PRES", "F" + AParam);
}

void CreateWorkTables(const std::string &AMainDbPath, const std::string &ALocalDbDir,
                      TWorkTableSet &ATables)
{
    DbTablePrefix = ComputeDbTablePrefix(AMainDbPath);
    MakeWorkTable(ATables.TmpCruTbl, ATables.StructTbl, ALocalDbDir, "-QCCruise.db", "QCCruise",
                  "ID_Cruise");
    MakeWorkTable(ATables.CastFlagtbl, ATables.StructTbl, ALocalDbDir, "-Cast_TitlesFlags.db",
                  "Cast_TitlesFlags", "ID_Cruise;ID_Cast");
    MakeWorkTable(ATables.CastOldFlagTbl, ATables.StructTbl, ALocalDbDir, "-Cast_TitlesOldFlags.db",
                  "Cast_TitlesOldFlags", "ID_Cruise;ID_Cast");
    MakeWorkTable(ATables.UndoCastTbl, ATables.StructTbl, ALocalDbDir, "-undocast.db", "undocast", "");
    MakeWorkTable(ATables.UndoParamTbl, ATables.StructTbl, ALocalDbDir, "-Undoparam.db", "Undoparam", "");
}
