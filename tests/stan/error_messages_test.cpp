// Error codes and messages: every text against the table the library has
// always shipped, the message layout, and the raising path with handlers.
#include <gtest/gtest.h>

#include <map>

#include "dataaccess/stan/qxZqStanError.h"
#include "dataaccess/stan/qxZqStanFactory.h"
#include "dataaccess/stan/qxZqStanResStrs.h"

namespace {

const std::map<int, std::string> CExpectedTexts = {
    {1, "Name [%s] is Duplicated in the list"},
    {2, "Object with name [%s] is not found"},
    {3, "Column [%s] type is undefined"},
    {4, "No columns defined for table"},
    {5, "Check condition violated. Constraint [%s]"},
    {6, "Cannot begin edit row"},
    {7, "Cannot create child view. Relation [%s]"},
    {8, "Cannot delete row"},
    {9, "Column [%s] must have blob value"},
    {10, "Fixed length column [%s] data length mismatch.\r\nValue length - [%d], column fixed length - [%d]"},
    {11, "Row is not in editable state"},
    {12, "Column [%s] is read only"},
    {13, "Cannot insert row into table"},
    {14, "Column [%s] value must be not null"},
    {15, "Duplicate row found on unique index. Constraint [%s]"},
    {16, "Cannot process - no parent row. Constraint [%s]"},
    {17, "Cannot process - child rows found. Constraint [%s]"},
    {18, "Cannot compare rows"},
    {19, "Data type conversion is not supported"},
    {20, "Column [%s] is not searchable"},
    {21, "Row may have only single column of [dtParentRowRef] data type"},
    {22, "To operate invariant column [%s] data use other methods"},
    {23, "Cannot set parent row"},
    {24, "Row is not nested"},
    {25, "Column [%s] is not reference to other row"},
    {26, "Column [%s] is not reference to row set"},
    {28, "Cannot perform operation for row state"},
    {29, "Cannot change updates registry for DatS manager [%s]"},
    {30, "Too many aggregate values per view"},
    {31, "Grouping level exceeds maximum allowed for aggregate [%s]"},
    {32, "Variable length column [%s] overflow.\r\nValue length - [%d], column maximum length - [%d]"},
    {33, "Invalid foreign key [%s]"},
    {34, "Invalid unique key [%s]"},
    {35, "Cannot change column [%s] data type"},
    {36, "Invalid relation [%s]"},
    {37, "Cannot create parent view. Relation [%s]"},
    {38, "Cannot change table [%s] structure, when table has rows"},
    {39, "Found a cascading actions loop at checking foreign key [%s]"},
    {40, "Record already locked"},
    {41, "Record is not locked"},
    {42, "Assigning value [%s] is not compatible with column [%s] data type.\r\n%s"},
    {100, "Column with name [%s] is not found"},
    {101, "Expression unexpectedly terminated"},
    {102, "Expression must be aggregated"},
    {103, "Expression cannot be aggregated"},
    {104, "Type mismatch in expression"},
    {105, "Expression is incorrect"},
    {106, "Invalid use of keyword"},
    {107, "Invalid character found [%s]"},
    {108, "Name is not terminated properly"},
    {109, "String constant is not terminated properly"},
    {110, "'(' expected but [%s] found"},
    {111, "')' or ',' expected but [%s] found"},
    {112, "')' expected but [%s] found"},
    {113, "IN predicate list may not be empty"},
    {114, "Expected [%s]"},
    {115, "Arithmetic in filter expressions not supported"},
    {116, "Operation cannot mix aggregate value with record-varying value"},
    {117, "Empty expression"},
    {118, "Error evaluating expression.\r\n%s"},
    {200, "Bookmark is not found"},
    {201, "View [%s] is not a sorted view"},
    {202, "Adapter interface must be supplied"},
    {203, "Nested datasets cannot have a MasterSource"},
    {204, "Circular datalinks are not allowed"},
    {205, "To refresh dataset, cached updates must be commited or canceled"},
    {206, "To open dataset, DataTable or DataView must be supplied "},
    {207, "Index [%s] is not found"},
    {208, "Aggregate [%s] is not found"},
    {209, "Index definition is not complete"},
    {210, "Aggregate definition is not complete"},
    {211, "Cannot refresh unidirectional dataset"},
    {250, "Cannot make definition [%s] circular reference"},
    {251, "Cannot %s definition [%s]. It has accosiated connection"},
    {252, "Cannot make definition persistent"},
    {253, "Cannot load definition list, because it is already loaded"},
    {254, "Definition with name [%s] is not found in [%s]"},
    {255, "Definition name [%s] is duplicated"},
    {300, "Driver [%s] is not registered.\r\nTo register it, you can drop component [TZqPhys%sDriverLink] into your project"},
    {301, "Cannot save definitions file name"},
    {302, "Connection must be active"},
    {303, "Capability is not supported"},
    {304, "Transaction must be active"},
    {305, "Cannot change command state"},
    {306, "Command text must be not empty"},
    {307, "Connection interface must be assigned"},
    {308, "Command must return row set"},
    {309, "Command must be is prepared state"},
    {310, "Cannot execute command returning row set or metainfo"},
    {311, "Command must be open for fetching"},
    {312, "Exact fetch returned wrong number of rows"},
    {313, "Meta information mismatch"},
    {314, "Cannot load vendor library [%s].\r\n%sCheck [%s] is located in one of the PATH directories or in application EXE direcrory"},
    {315, "Cannot get vendor library entry point [%s].\r\n%s"},
    {316, "Connection must be inactive"},
    {317, "Too many login retries. Allowed [%d] times"},
    {318, "Cannot %s in it current state"},
    {319, "Driver package name is undefined"},
    {320, "To perform operation driver manager, must be [%s]"},
    {321, "Character [%s] is missed"},
    {322, "Cannot preprocess command because not all parameters are defined"},
    {323, "Too long identifier (> 255)"},
    {324, "Unknown escape sequence [%s]"},
    {325, "Parameter [%s] ArraySize is less than ATimes"},
    {326, "Cannot perform action, because previous action is in progress"},
    {327, "Escape function [%s] isnot supported"},
    {328, "For metainfo retrivial supported only Define(mmReset)"},
    {329, "WHERE condition must be not empty"},
    {330, "Update table undefined"},
    {331, "Cannot parse object name - [%s]"},
    {332, "Syntax error in escape function [%s].\r\n%s"},
    {333, "Driver [%s] entry point is not registered.\r\nPossible reason: %s"},
    {334, "ZqPhysManager shutdown timeout.\r\nPossible reason: application has not released all connection interfaces"},
    {335, "Parameter [%s] data type is unknown"},
    {336, "Data mapping for parameter [%s] is not supported"},
    {337, "Data mapping for column [%s] is not supported"},
    {338, "Parameter [%s] definition changed. Query must be reprepared"},
    {339, "A meta data argument [%s] is not defined"},
    {340, "Driver ID is not defined.\r\nSet TZqConnection.DriverName or add DriverID parameter to your connection definition"},
    {400, "%s command %s [%d] instead of [1] record.\r\nPossible reasons: update table does not have PK or row identifier,\r\nrecord has been changed/deleted by another user."},
    {401, "Record is locked by another user"},
    {402, "Operation cannot be performed without assigned SelectCommand"},
    {404, "Update post failed"},
    {405, "Row editing disabled"},
    {406, "Row inserting disabled"},
    {407, "Row deleting disabled"},
    {500, "Application must have only single Zq manager"},
    {501, "Manager must be inactive"},
    {502, "Manager must be active"},
    {503, "Connection name [%s] must be unique"},
    {504, "Connection [%s] must be inactive"},
    {505, "Connection [%s] must be active"},
    {506, "Connection [%s] establishment is canceled"},
    {507, "Connection cannot be pooled.\r\nPossible reason: either it is not named, either has additional params."},
    {508, "Connection [%s] does not found"},
    {509, "Command must be in active state"},
    {510, "Command must be in inactive state"},
    {511, "Not in cached update mode"},
    {512, "Connection is not defined.\r\nPossible reason: Connection and ConnectionName property values are both empty."},
    {600, "Ascii field [%s] does not found"},
    {601, "Source dataset not set"},
    {602, "Destination dataset not set"},
    {603, "Destination ascii data file name must be defined"},
    {604, "Source ascii data file name must be defined"},
    {605, "Ascii field [%s] size is undefined in Fixed Size Record format"},
    {606, "Ascii field [%s] name is Duplicated"},
    {607, "Bad ASCII value [%s] format for mapping item [%s].\r\n%s"},
    {608, "Undefined source field or expression for destination field [%s]"},
    {700, "Timeout expired"},
    {701, "Cannot get access to BLOB raw data"},
    {702, "To perform operation pool must be inactive"},
    {703, "To perform operation pool must be active"},
    {705, "Cannot perform nonblocking action, while other nonblocking action is in progress"},
    {706, "Macro [%s] does not found"},
    {707, "Bad parameter [%s] row index"},
    {708, "Timeout acquiring %s from pool. Possible reason:\r\n%s"},
    {709, "Manager [%s] must be linked with application"},
    {1001, "Connection parameter [%s] must be not empty"},
    {1002, "DbExpress driver configuration file [%s] does not found.\r\nPossible reason: dbExpress is not properly installed on this machine"},
    {1101, "Unsupported MySQL version [%i].\r\nSupported are client and server from v 3.20 to v 5.2"},
    {1102, "Port number cannot be changed"},
    {1103, "Error in parameter [%s] definition. %s"},
    {1104, "Failed to initialize embedded server.\r\nSee MySQL log files for details"},
    {1201, "Data too large for variable [%s]. Max len = [%d], actual len = [%d]"},
    {1202, "Variable [%s] C data type [%d] is not supported"},
    {1203, "Parameter [%s] must have the same array size as first parameter"},
    {1305, "No cursors available"},
    {1307, "Cannot assign value to BFILE/CFILE parameter [%s]"},
    {1308, "No cursor parameters are defined. Include fiMeta into FetchOptions.Items"},
    {1309, "OCI is not properly installed on this machine (NOE1/INIT)"},
    {1310, "Bad OCI version [%s]. Vexa Oracle Driver requires at least 8.0.3 (NOE2/INIT)"},
    {1312, "Index [%d] is out of array range [0 .. %d] (NOE4/VAR)"},
    {1313, "Bad or undefined variable value size (NOE5/VAR)"},
    {1314, "Bad or undefined variable array length (NOE6/VAR)"},
    {1315, "Bad or undefined variable [%s] value type %d (NOE7/VAR)"},
    {1316, "Unsupported variable data type (NOE8/VAR)"},
    {1317, "Data length [%d] is to large for variable [%s] (NOE10/VAR)"},
    {1318, "Variable require prepared statement for operation (NOE11/VAR)"},
    {1319, "Bad or undefined variable param type (NOE12/VAR)"},
    {1320, "Piece wiese operation for unknown variable (NOE13/STMT)"},
    {1321, "Piece wiese operation for invalid variable (NOE14/STMT)"},
    {1323, "Maximum length (%d) of GTRID exceeded - %d (NOE18/TX)"},
    {1324, "Maximum length (%d) of BQUAL exceeded - %d (NOE19/TX)"},
    {1325, "Maximum length (%d) of transaction name exceeded - %d (NOE20/TX)"},
    {1326, "Too many close braces in names file after alias [%s] (NOE105/DB)"},
    {1327, "Name [%s] is not a callable PL/SQL object (NOE130/SP)"},
    {1328, "PL/SQL object name is empty (NOE131/SP)"},
    {1329, "Name [%s] is not a proc of package [%s] (NOE134/SP)"},
    {1330, "Parameter with type TABLE OF BOOLEAN/RECORD not supported (use TZqQuery) (NOE135/SP)"},
    {1331, "Parameter with type RECORD must be of named type (use TZqQuery) (NOE142/SP)"},
};

// Catches the exception ZqRaiseError throws and returns its message.
template <typename F> std::string MessageOf(F &&Raise)
{
    try {
        Raise();
    } catch (const EZqException &E) {
        return E.Message();
    }
    return "<nothing raised>";
}

} // namespace

TEST(ErrorTexts, EveryCodeHasItsExactText)
{
    EXPECT_EQ(ZqErrorTextCount(), 190);
    EXPECT_EQ(CExpectedTexts.size(), 190u);
    for (const auto &[Code, Text] : CExpectedTexts) {
        const char *T = ZqErrorText(Code);
        ASSERT_NE(T, nullptr) << Code;
        EXPECT_EQ(std::string(T), Text) << Code;
    }
    for (int Code = -5; Code < 1400; ++Code) {
        if (!CExpectedTexts.count(Code)) {
            EXPECT_EQ(ZqErrorText(Code), nullptr) << Code;
        }
    }
}

TEST(ErrorTexts, TrailingBlanksAndMisspellingsKept)
{
    EXPECT_EQ(ZqGetErrorMessage(206), "To open dataset, DataTable or DataView must be supplied ");
    EXPECT_EQ(ZqGetErrorMessage(251), "Cannot %s definition [%s]. It has accosiated connection");
    EXPECT_EQ(ZqGetErrorMessage(27), "");
    EXPECT_EQ(ZqGetErrorMessage(403), "");
    EXPECT_EQ(ZqGetErrorMessage(704), "");
}

TEST(ErrorMessage, LayoutOfPrefixCodeAndText)
{
    EXPECT_EQ(ZqBuildErrorPrefix({}), "[Vexa]");
    EXPECT_EQ(ZqBuildErrorPrefix({"Phys", "ODBC"}), "[Vexa][Phys][ODBC]");
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"Phys"}, 306, {}); }),
              "[Vexa][Phys]-306. Command text must be not empty");
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {}, 700, {}); }), "[Vexa]-700. Timeout expired");
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"DatS"}, 27, {}); }), "[Vexa][DatS]-27. ");
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"DatS"}, 10, {"Name", 12, 10}); }),
              "[Vexa][DatS]-10. Fixed length column [Name] data length mismatch.\r\n"
              "Value length - [12], column fixed length - [10]");
    std::string M = MessageOf([] { ZqRaiseCapabilityNotSupported(nullptr, {"Phys", "ODBC"}); });
    EXPECT_EQ(M, "[Vexa][Phys][ODBC]-303. Capability is not supported");
    EXPECT_EQ(MessageOf([] { ZqRaiseManagerNotLinked(nullptr, {"Comp", "Clnt"}, "ZqManager1"); }),
              "[Vexa][Comp][Clnt]-709. Manager [ZqManager1] must be linked with application");
    try {
        ZqRaiseError(nullptr, {"Stan"}, 706, {"M1"});
        FAIL();
    } catch (const EZqException &E) {
        EXPECT_EQ(E.ErrorCode(), 706);
    }
}

TEST(ErrorMessage, ConstraintUsesItsOwnTextAsItStands)
{
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"DatS"}, 5, {"CHK_DEPTH", 1}); }),
              "[Vexa][DatS]-5. Check condition violated. Constraint [CHK_DEPTH]");
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"DatS"}, 15, {"Depth must be > 0", 0}); }),
              "[Vexa][DatS]-15. Depth must be > 0");
    // A constraint message with format characters is not a format string.
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"DatS"}, 16, {"100% of %s and %d", 0}); }),
              "[Vexa][DatS]-16. 100% of %s and %d");
}

TEST(ErrorMessage, ArgumentMismatchKeepsTheRealError)
{
    // Too few arguments or the wrong kind never replace the library error
    // by a formatting error.
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"DatS"}, 10, {"Name"}); }),
              "[Vexa][DatS]-10. Fixed length column [Name] data length mismatch.\r\n"
              "Value length - [%d], column fixed length - [%d]");
    EXPECT_EQ(MessageOf([] { ZqRaiseError(nullptr, {"Phys"}, 317, {"many"}); }),
              "[Vexa][Phys]-317. Too many login retries. Allowed [many] times");
}

namespace {

class TReplacingHandler : public TZqObject, public virtual IZqStanErrorHandler, public virtual IZqStanObject {
public:
    enum TMode { Keep, Replace, Clear } Mode = Keep;
    std::string SeenInitiator;
    void HandleException(const TZqIntfPtr<IZqStanObject> &AInitiator, std::unique_ptr<rtl::Exception> &AException) override
    {
        SeenInitiator = AInitiator ? AInitiator->GetName() : "<nil>";
        if (Mode == Replace) AException = std::make_unique<EZqException>(1, "replaced");
        if (Mode == Clear) AException.reset();
    }
    std::string GetName() override { return "handler"; }
    TZqIntfPtr<IZqStanObject> GetParent() override { return nullptr; }
    void PoolAcquired() override {}
    void PoolReleased() override {}
    void SetOwner(rtl::TObject *, const std::string &) override {}
};

class TMoniObject : public TZqObject, public virtual IZqMoniAdapter {
public:
    uint32_t GetHandle() override { return 77; }
    int GetItemCount() override { return 0; }
    void GetItem(int, std::string &, rtl::Variant &, uint8_t &) override {}
};

} // namespace

TEST(ErrorHandler, ReplacesOrSwallows)
{
    TZqIntfPtr<IZqStanErrorHandler> Keep(new TReplacingHandler);
    auto *H = dynamic_cast<TReplacingHandler *>(Keep.Get());
    EXPECT_EQ(MessageOf([&] { ZqRaiseError(H, {"Stan"}, 700, {}); }), "[Vexa][Stan]-700. Timeout expired");
    EXPECT_EQ(H->SeenInitiator, "handler");
    H->Mode = TReplacingHandler::Replace;
    EXPECT_EQ(MessageOf([&] { ZqRaiseError(H, {"Stan"}, 700, {}); }), "replaced");
    H->Mode = TReplacingHandler::Clear;
    EXPECT_EQ(MessageOf([&] { ZqRaiseError(H, {"Stan"}, 700, {}); }), "<nothing raised>");
}

TEST(ErrorHandler, DBEngineExceptionKeepsTheMonitorAdapter)
{
    TZqIntfPtr<IZqMoniAdapter> Moni(new TMoniObject);
    auto E = std::make_unique<EZqDBEngineException>(1201, "db");
    try {
        ZqHandleAndRaise(dynamic_cast<rtl::TObject *>(Moni.Get()), std::move(E));
        FAIL();
    } catch (const EZqDBEngineException &X) {
        ASSERT_TRUE(X.MoniAdapter());
        EXPECT_EQ(X.MoniAdapter()->GetHandle(), 77u);
    }
}

TEST(DBEngineException, DuplicateCopiesItemsInOrder)
{
    EZqDBEngineException E(1201, "three");
    EXPECT_EQ(E.Kind(), 0);
    E.Append(std::make_unique<TZqDBError>(1, 3022, "first", "T1", ekNoDataFound, 5));
    E.Append(std::make_unique<TZqDBError>(2, 3023, "second", "", ekServerGone, -1));
    auto Third = std::make_unique<TZqDBError>();
    Third->Message = "third";
    Third->RowIndex = 4;
    E.Append(std::move(Third));
    E.SetMoniAdapter(TZqIntfPtr<IZqMoniAdapter>(new TMoniObject));
    EXPECT_EQ(E.Kind(), ekNoDataFound);

    std::unique_ptr<EZqException> Copy;
    E.Duplicate(Copy);
    auto *C = dynamic_cast<EZqDBEngineException *>(Copy.get());
    ASSERT_NE(C, nullptr);
    EXPECT_EQ(C->Message(), "three");
    EXPECT_EQ(C->ErrorCode(), 1201);
    EXPECT_EQ(C->MoniAdapter(), E.MoniAdapter());
    ASSERT_EQ(C->ErrorCount(), 3);
    for (int I = 0; I < 3; ++I) {
        EXPECT_NE(&C->Errors(I), &E.Errors(I));
        EXPECT_EQ(C->Errors(I).Message, E.Errors(I).Message);
        EXPECT_EQ(C->Errors(I).ErrorCode, E.Errors(I).ErrorCode);
        EXPECT_EQ(C->Errors(I).Level, E.Errors(I).Level);
        EXPECT_EQ(C->Errors(I).ObjName, E.Errors(I).ObjName);
        EXPECT_EQ(C->Errors(I).Kind, E.Errors(I).Kind);
        EXPECT_EQ(C->Errors(I).CommandTextOffset, E.Errors(I).CommandTextOffset);
        EXPECT_EQ(C->Errors(I).RowIndex, E.Errors(I).RowIndex);
    }
    EXPECT_EQ(C->Errors(2).CommandTextOffset, -1);
    EXPECT_THROW(C->Errors(3), rtl::EListError);

    // A plain exception duplicated into nil gives the plain class.
    EZqException P(5, "p");
    std::unique_ptr<EZqException> PC;
    P.Duplicate(PC);
    EXPECT_EQ(dynamic_cast<EZqDBEngineException *>(PC.get()), nullptr);
    EXPECT_EQ(PC->ErrorCode(), 5);
}

TEST(Assertion, NamesUnitAndLine)
{
    try {
        ZQ_ASSERT(1 + 1 == 3, "qxZqDatSManager");
        FAIL();
    } catch (const rtl::EAssertionFailed &E) {
        EXPECT_NE(E.Message().find("qxZqDatSManager, line "), std::string::npos) << E.Message();
    }
}
