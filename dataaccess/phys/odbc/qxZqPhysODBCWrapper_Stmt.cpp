// ODBC statements: describing, binding, block fetches with the row-by-row
// fallback, long values in pieces, parameter arrays and catalog calls.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "dataaccess/phys/odbc/qxZqPhysODBCWrapper.h"

namespace {

const char *const CUnit = "qxZqPhysODBCWrapper";

bool HasState(const EODBCNativeException *AInfo, const char *AState)
{
    if (!AInfo)
        return false;
    const std::string Tag = std::string("SQL state: ") + AState + ".";
    for (int I = 0; I < AInfo->ErrorCount(); ++I)
        if (AInfo->Errors(I).Message.rfind(Tag, 0) == 0)
            return true;
    return false;
}

// A name argument of a catalog function: an empty one is no restriction.
SQLCHAR *NameArg(const std::string &S) { return S.empty() ? nullptr : (SQLCHAR *)S.c_str(); }
SQLSMALLINT NameLen(const std::string &S) { return SQLSMALLINT(S.size()); }

// Moves a page's bound addresses forward row by row and always back again,
// also when a fetch or an execute in between raises: a page left shifted
// would have the next call write past its end.
class TODBCShiftScope {
public:
    TODBCShiftScope(TODBCPageBuffer *APage, TODBCVariableList *AList) : FPage(APage), FList(AList) {}
    ~TODBCShiftScope()
    {
        try {
            Restore();
        } catch (...) {
            // the addresses are back; only the rebinding failed
        }
    }
    void By(int ARows)
    {
        FPage->Shift(ARows);
        FShifted += ARows;
        FList->Rebind();
    }
    void Restore()
    {
        if (FShifted == 0)
            return;
        FPage->Shift(-FShifted);
        FShifted = 0;
        FList->Rebind();
    }

private:
    TODBCPageBuffer *FPage;
    TODBCVariableList *FList;
    int FShifted = 0;
};

} // namespace

// ---- TODBCStatementBase ----------------------------------------------------------

TODBCStatementBase::TODBCStatementBase(TODBCConnection *AConnection, rtl::TObject *AOwningObj)
    : TODBCHandle(AConnection->Lib(), AConnection, SQL_HANDLE_STMT, AOwningObj), FConnection(AConnection)
{
    AllocHandle();
    FConnection->AttachStatement(this);
}

TODBCStatementBase::~TODBCStatementBase()
{
    try {
        if (FHandle != SQL_NULL_HANDLE)
            TODBCStatementBase::Close();
    } catch (...) {
        // A statement on a lost connection still goes away.
    }
    FColumnList.Clear();
    if (FConnection)
        FConnection->DetachStatement(this);
}

void TODBCStatementBase::ConnectionDropped() noexcept
{
    FHandle = SQL_NULL_HANDLE;
    FOwner = nullptr;
    FConnection = nullptr;
    Opened = false;
}

void TODBCStatementBase::GetIntAttr(SQLINTEGER AAttr, SQLLEN &AValue)
{
    SQLLEN V = 0;
    Check(FLib->SQLGetStmtAttr(FHandle, AAttr, &V, 0, nullptr));
    AValue = V;
}

void TODBCStatementBase::GetStrAttr(SQLINTEGER AAttr, std::string &AValue)
{
    char Buf[513] = {};
    SQLINTEGER Len = 0;
    Check(FLib->SQLGetStmtAttr(FHandle, AAttr, Buf, 512, &Len));
    AValue.assign(Buf, size_t(std::clamp<SQLINTEGER>(Len, 0, 512)));
}

void TODBCStatementBase::SetAttr(SQLINTEGER AAttr, SQLPOINTER AValue, bool AIsText)
{
    Check(FLib->SQLSetStmtAttr(FHandle, AAttr, AValue,
                               AIsText ? SQLINTEGER(std::strlen(static_cast<const char *>(AValue))) : 0));
}

void TODBCStatementBase::Close()
{
    if (TODBCConnection *C = Connection())
        C->ClearInfo();
    CloseCursor();
    Unbind();
}

SQLLEN TODBCStatementBase::ColAttribute(SQLUSMALLINT AColumn, SQLUSMALLINT AField)
{
    SQLLEN V = 0;
    Check(FLib->SQLColAttribute(FHandle, AColumn, AField, nullptr, 0, nullptr, &V));
    return V;
}

std::string TODBCStatementBase::GetCursorName()
{
    const SQLUSMALLINT Max = std::max<SQLUSMALLINT>(Connection()->GetInfoSmallint(SQL_MAX_CURSOR_NAME_LEN), 18);
    std::vector<SQLCHAR> Buf(size_t(Max) + 1);
    SQLSMALLINT Len = 0;
    if (!SQL_SUCCEEDED(FLib->SQLGetCursorName(FHandle, Buf.data(), SQLSMALLINT(Buf.size()), &Len)))
        return std::string();
    return std::string(reinterpret_cast<char *>(Buf.data()), size_t(std::clamp<int>(Len, 0, Max)));
}

SQLSMALLINT TODBCStatementBase::NumResultCols()
{
    SQLSMALLINT N = 0;
    Check(FLib->SQLNumResultCols(FHandle, &N));
    return N;
}

bool TODBCStatementBase::HasResultSet()
{
    SQLSMALLINT N = 0;
    return FLib->SQLNumResultCols(FHandle, &N) == SQL_SUCCESS && N > 0;
}

void TODBCStatementBase::DescribeCol(SQLUSMALLINT AColumn, std::string &AName, SQLULEN &AColumnSize,
                                     SQLSMALLINT &ADigits, SQLSMALLINT &ANullable, SQLSMALLINT &ASQLType)
{
    const int Max = std::max<int>(Connection()->GetInfoSmallint(SQL_MAX_COLUMN_NAME_LEN), 128);
    std::vector<SQLCHAR> Buf(size_t(Max) + 1);
    SQLSMALLINT Len = 0;
    Check(FLib->SQLDescribeCol(FHandle, AColumn, Buf.data(), SQLSMALLINT(Max + 1), &Len, &ASQLType, &AColumnSize,
                               &ADigits, &ANullable));
    AName.assign(reinterpret_cast<char *>(Buf.data()), size_t(std::clamp<int>(Len, 0, Max)));
}

void TODBCStatementBase::BindColumns(int ARowCount)
{
    FColumnList.Bind(BufferKind, ARowCount, false);
    // No value is read further than the widest bound buffer (and a little
    // more, so that one that does not fit is seen to be longer): the
    // driver need not keep more of it for SQLGetData. Long data is read
    // whole, so a statement with such a column keeps no limit.
    SQLLEN Limit = 0;
    if (!FColumnList.HasLongData())
        for (int I = 0; I < FColumnList.Count(); ++I) {
            const TODBCVariable *V = FColumnList.Items(I);
            const SQLSMALLINT T = V->CDataType();
            if (T == SQL_C_CHAR || T == SQL_C_WCHAR || T == SQL_C_BINARY)
                Limit = std::max(Limit, V->BufferCapacity() + 4);
        }
    if (Limit != MaxLengthSet && FHandle != SQL_NULL_HANDLE) {
        // A driver that does not take the limit hands out values whole, as
        // before, and MarkCutValues still reads no more than the buffer.
        FLib->SQLSetStmtAttr(FHandle, SQL_ATTR_MAX_LENGTH, reinterpret_cast<SQLPOINTER>(SQLULEN(Limit)), 0);
        MaxLengthSet = Limit;
        if (TODBCConnection *C = Connection())
            C->ClearInfo();
    }
}

void TODBCStatementBase::Unbind()
{
    if (FHandle != SQL_NULL_HANDLE)
        Check(FLib->SQLFreeStmt(FHandle, SQL_UNBIND));
    FColumnList.Clear();
}

SQLRETURN TODBCStatementBase::GetDataInto(TODBCVariable *AVar, int ARow, void *ATarget, SQLLEN ABufferLength)
{
    uint8_t *Data;
    SQLLEN *Ind;
    AVar->GetBuffers(ARow, Data, Ind);
    const SQLRETURN RC =
        FLib->SQLGetData(FHandle, AVar->Number(), AVar->CDataType(), ATarget, ABufferLength, Ind);
    if (RC != SQL_NO_DATA && RC != SQL_SUCCESS_WITH_INFO)
        Check(RC);
    return RC;
}

SQLRETURN TODBCStatementBase::GetData(TODBCVariable *AVar, int ARow, SQLLEN ABufferLength)
{
    uint8_t *Data;
    SQLLEN *Ind;
    AVar->GetBuffers(ARow, Data, Ind);
    if (AVar->LongData)
        Data = *reinterpret_cast<uint8_t **>(Data);
    return GetDataInto(AVar, ARow, Data, ABufferLength);
}

void TODBCStatementBase::SetPos(SQLSETPOSIROW ARow, SQLUSMALLINT AOperation, SQLUSMALLINT ALockType)
{
    Check(FLib->SQLSetPos(FHandle, ARow, AOperation, ALockType));
}

void TODBCStatementBase::MarkCutValues(int AFirst, int ACount)
{
    // A text longer than its column's declared size (a file written by
    // another tool) is read no further than its buffer, which takes what the
    // column does: read whole it would cost as much memory as it holds (a
    // name of hundreds of megabytes), for a value no reader keeps whole.
    for (int R = AFirst; R < AFirst + ACount; ++R)
        for (int I = 0; I < FColumnList.Count(); ++I) {
            TODBCVariable *V = FColumnList.Items(I);
            const SQLSMALLINT T = V->CDataType();
            if (V->LongData || !V->Bound || (T != SQL_C_CHAR && T != SQL_C_WCHAR && T != SQL_C_BINARY))
                continue;
            uint8_t *Data;
            SQLLEN *Ind;
            V->GetBuffers(R, Data, Ind);
            if (*Ind == SQL_NULL_DATA || (*Ind != SQL_NO_TOTAL && *Ind <= V->BufferCapacity()))
                continue;
            // A value cut by the statement's SQL_ATTR_MAX_LENGTH has that
            // for its length: how long it is, is not known.
            V->KeepCut(R, *Ind == MaxLengthSet ? SQL_NO_TOTAL : *Ind);
            *Ind = V->BufferCapacity();
        }
    if (TODBCConnection *C = Connection())
        C->ClearInfo();
}

const EZqDBEngineException *TODBCStatementBase::RowError(int ARow) const
{
    const auto It = FRowErrors.find(ARow);
    return It == FRowErrors.end() ? nullptr : It->second.get();
}

void TODBCStatementBase::KeepRowErrors(SQLRETURN ARC, int AFirst, int ACount)
{
    TODBCConnection *C = Connection();
    const TODBCPageBuffer *Page = FColumnList.PageBuffer();
    if (ARC != SQL_SUCCESS_WITH_INFO || !C || !C->Info() || !Page)
        return;
    for (int R = 0; R < ACount && size_t(R) < Page->RowStatus.size(); ++R)
        if (Page->RowStatus[size_t(R)] == SQL_ROW_ERROR) {
            std::unique_ptr<EZqDBEngineException> E = C->Info()->OfRow(R);
            for (int I = 0; I < E->ErrorCount(); ++I)
                E->Errors(I).RowIndex = AFirst + R;
            FRowErrors[AFirst + R] = std::move(E);
        }
}

int TODBCStatementBase::Fetch(int ARows)
{
    ZQ_ASSERT(ARows <= 65535, CUnit);
    FRowErrors.clear();
    if (TODBCConnection *C = Connection())
        C->ClearInfo();
    for (int I = 0; I < FColumnList.Count(); ++I)
        FColumnList.Items(I)->ForgetCuts();
    if (FColumnList.Count() > 0 && !(FColumnList.PageBuffer() && FColumnList.PageBuffer()->Allocated))
        BindColumns(ARows < 1 ? 1 : ARows);
    TODBCPageBuffer *Page = FColumnList.PageBuffer();
    ZQ_ASSERT(Page != nullptr, CUnit);
    int Total = 0, Last = 0, RowIndex = 0;
    Page->RowsProcessed = 0;
    TODBCShiftScope Shift(Page, &FColumnList);
    for (;;) {
        if (Last > 0)
            Shift.By(Last);
        const SQLRETURN RC = FLib->SQLFetch(FHandle);
        if (RC == SQL_NO_DATA)
            Last = 0;
        else {
            Check(RC);
            TODBCConnection *C = Connection();
            const bool Cut = RC == SQL_SUCCESS_WITH_INFO && C && HasState(C->Info(), "01004");
            if (Page->RowsProcessed < 2 || Page->RowCount == 1) {
                Last = 1;
                KeepRowErrors(RC, Total, 1);
                if (Cut)
                    MarkCutValues(Total, 1);
                FetchLongData(RowIndex);
            } else {
                Last = int(Page->RowsProcessed);
                KeepRowErrors(RC, 0, Last);
                if (Cut)
                    MarkCutValues(0, Last);
            }
        }
        Total += Last;
        ++RowIndex;
        if (ARows == -1 || Total == ARows || Last == 0 || Page->RowsProcessed > 1 || Total >= Page->RowCount)
            break;
    }
    Shift.Restore();
    if (Page->RowsProcessed < 2) {
        if (Total > 0)
            Page->RowsProcessed = SQLULEN(Total);
    } else if (Total > 0 && FColumnList.HasLongData())
        for (int R = 0; R < Total; ++R)
            FetchLongData(R);
    return Total;
}

void TODBCStatementBase::FetchLongData(int ARow)
{
    if (!FColumnList.HasLongData())
        return;
    TODBCPageBuffer *Page = FColumnList.PageBuffer();
    for (int I = 0; I < FColumnList.Count(); ++I) {
        TODBCVariable *V = FColumnList.Items(I);
        if (!V->LongData)
            continue;
        uint8_t *Data;
        SQLLEN *Ind;
        V->GetBuffers(ARow, Data, Ind);
        try {
            if (Page->RowsProcessed > 1)
                SetPos(SQLSETPOSIROW(ARow + 1), SQL_POSITION, SQL_LOCK_NO_CHANGE);
            uint8_t *&Block = *reinterpret_cast<uint8_t **>(Data);
            FPieceList.CDataType = V->CDataType();
            // A block left from an earlier fetch into this row takes the first piece.
            SQLLEN CurLen = Block ? std::max<SQLLEN>(*Ind, 0) : 0;
            const bool HasBlock = Block && CurLen > 0;
            SQLLEN BufLen = CurLen;
            uint8_t *Target = HasBlock ? Block : nullptr;
            int P = -1;
            bool Done = false;
            SQLRETURN RC = SQL_SUCCESS;
            do {
                ++P;
                if (P > 0 || HasBlock) {
                    RC = GetDataInto(V, ARow, Target, BufLen);
                    Done = RC == SQL_NO_DATA || *Ind == SQL_NULL_DATA ||
                           (*Ind >= 0 && *Ind <= BufLen && RC != SQL_SUCCESS_WITH_INFO);
                    if (RC == SQL_NO_DATA && P == 0 && HasBlock)
                        *Ind = 0;
                }
                if (!Done) {
                    if (P == TODBCPieceList::MaxPieces) {
                        FPieceList.Append(V, ARow, TODBCPieceList::MaxPieces, 0, CurLen);
                        P = 0;
                    }
                    Target = FPieceList.Piece(P);
                }
                BufLen = 32768;
            } while (!Done);
            const bool IsNull = RC != SQL_NO_DATA && *Ind == SQL_NULL_DATA;
            if (P >= 1 && !IsNull) {
                const SQLLEN E = RC == SQL_NO_DATA ? 0 : std::max<SQLLEN>(*Ind, 0);
                FPieceList.Append(V, ARow, P - 1, E, CurLen);
                if (!Block) {
                    // An empty value still gets a block, so that it reads as "" and not NULL.
                    Block = static_cast<uint8_t *>(std::calloc(2, 1));
                    if (!Block)
                        throw std::bad_alloc();
                    CurLen = 0;
                }
                *Ind = CurLen;
            } else if (P == 0 && RC == SQL_NO_DATA)
                *Ind = 0;
        } catch (...) {
            *reinterpret_cast<uint8_t **>(Data) = nullptr;
            *Ind = SQL_NULL_DATA;
            throw;
        }
    }
}

bool TODBCStatementBase::MoreResults()
{
    const SQLRETURN RC = FLib->SQLMoreResults(FHandle);
    switch (RC) {
    case SQL_SUCCESS:
        return true;
    case SQL_SUCCESS_WITH_INFO:
        Check(RC);
        return true;
    case SQL_NEED_DATA:
    case SQL_NO_DATA:
        return false;
    case SQL_ERROR: {
        // A failing later result set is an error of the statement, except
        // the "function sequence" answer of drivers that have no more results.
        EODBCNativeException E(RC, this);
        if (HasState(&E, "HY010"))
            return false;
        Check(RC);
        return false;
    }
    default:
        Check(RC);
        return false;
    }
}

void TODBCStatementBase::Cancel() { Check(FLib->SQLCancel(FHandle)); }

void TODBCStatementBase::CloseCursor()
{
    if (FHandle != SQL_NULL_HANDLE)
        Check(FLib->SQLFreeStmt(FHandle, SQL_CLOSE));
    Opened = false;
}

// ---- TODBCCommandStatement -----------------------------------------------------------

TODBCCommandStatement::~TODBCCommandStatement()
{
    try {
        if (FHandle != SQL_NULL_HANDLE)
            TODBCCommandStatement::Close();
    } catch (...) {
    }
    FParamList.Clear();
}

void TODBCCommandStatement::Close()
{
    TODBCStatementBase::Close();
    ResetParams();
}

SQLULEN TODBCCommandStatement::GetParamSetSize()
{
    SQLULEN V = 0;
    if (!SQL_SUCCEEDED(FLib->SQLGetStmtAttr(FHandle, SQL_ATTR_PARAMSET_SIZE, &V, 0, nullptr)))
        return 1;
    return V;
}

void TODBCCommandStatement::SetParamSetSize(SQLULEN AValue)
{
    FLib->SQLSetStmtAttr(FHandle, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(AValue), 0);
}

void TODBCCommandStatement::BindParameter(TODBCVariable *AVar)
{
    if (AVar->SQLDataType() == SQL_SS_TABLE_TYPE)
        return;
    AVar->Bound = false;
    const bool InOut = AVar->ParamType() == SQL_PARAM_INPUT_OUTPUT || AVar->ParamType() == SQL_PARAM_OUTPUT;
    if (AVar->LongData && InOut) {
        uint8_t *Data;
        SQLLEN *Ind;
        AVar->GetBuffers(0, Data, Ind);
        void *Block = *reinterpret_cast<void **>(Data);
        if (!Block)
            return;
        AVar->Bound = true;
        Check(FLib->SQLBindParameter(FHandle, SQLUSMALLINT(AVar->Position), AVar->ParamType(), AVar->CDataType(),
                                     AVar->SQLDataType(), 0x3FFFFFFF, 0, Block, 0, AVar->IndPtr));
    } else if (AVar->LongData) {
        AVar->Bound = true;
        Check(FLib->SQLBindParameter(FHandle, SQLUSMALLINT(AVar->Position), AVar->ParamType(), AVar->CDataType(),
                                     AVar->SQLDataType(), 0x3FFFFFFF, 0,
                                     reinterpret_cast<SQLPOINTER>(intptr_t(AVar->Position)), 0, AVar->IndPtr));
    } else {
        AVar->Bound = true;
        Check(FLib->SQLBindParameter(FHandle, SQLUSMALLINT(AVar->Position), AVar->ParamType(), AVar->CDataType(),
                                     AVar->SQLDataType(), AVar->ColumnSize, AVar->Scale, AVar->DataPtr,
                                     AVar->DataSize, AVar->IndPtr));
    }
    if (AVar->Bound && !AVar->Name.empty()) {
        SQLHDESC Desc = nullptr;
        Check(FLib->SQLGetStmtAttr(FHandle, SQL_ATTR_IMP_PARAM_DESC, &Desc, 0, nullptr));
        FLib->SQLSetDescField(Desc, AVar->Position, SQL_DESC_NAME, (SQLPOINTER)AVar->Name.c_str(), SQL_NTS);
    }
}

void TODBCCommandStatement::BindParams(int ARowCount, bool AOnlyFixed)
{
    FParamList.Bind(BufferKind, ARowCount, AOnlyFixed);
}

void TODBCCommandStatement::ResetParams()
{
    if (FHandle != SQL_NULL_HANDLE)
        Check(FLib->SQLFreeStmt(FHandle, SQL_RESET_PARAMS));
    FParamList.Clear();
}

void TODBCCommandStatement::ResetForReuse()
{
    if (FHandle == SQL_NULL_HANDLE)
        return;
    // Only what the last use left: a closed statement without columns or
    // parameters needs no call at all.
    if (Opened)
        CloseCursor();
    if (FColumnList.Count() > 0)
        Unbind();
    if (FParamList.Count() > 0)
        ResetParams();
    if (BufferAttrsSet) {
        RowArraySizeSet = -1;
        const auto Set = [this](SQLINTEGER AAttr, SQLULEN AValue) {
            Check(FLib->SQLSetStmtAttr(FHandle, AAttr, reinterpret_cast<SQLPOINTER>(AValue), 0));
        };
        Set(SQL_ATTR_ROW_STATUS_PTR, 0);
        Set(SQL_ATTR_ROWS_FETCHED_PTR, 0);
        Set(SQL_ATTR_PARAMS_PROCESSED_PTR, 0);
        Set(SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN);
        Set(SQL_ATTR_ROW_ARRAY_SIZE, 1);
        if (ParamSetSupported) {
            Set(SQL_ATTR_PARAM_STATUS_PTR, 0);
            Set(SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN);
            Set(SQL_ATTR_PARAMSET_SIZE, 1);
        }
        BufferAttrsSet = false;
    }
    FParamSetCut = false;
    ParamSetSupported = false;
}

void TODBCCommandStatement::Prepare(const std::string &AText)
{
    TODBCConnection *C = Connection();
    C->ClearInfo();
    C->LastCommandText = AText;
    Check(FLib->SQLPrepare(FHandle, (SQLCHAR *)AText.c_str(), SQL_NTS));
}

SQLRETURN TODBCCommandStatement::PutDataAtExec(int ARow)
{
    SQLPOINTER Token = nullptr;
    SQLRETURN RC = FLib->SQLParamData(FHandle, &Token);
    while (RC == SQL_NEED_DATA) {
        const int Index = int(reinterpret_cast<intptr_t>(Token)) - 1;
        ZQ_ASSERT(Index >= 0 && Index < FParamList.Count(), CUnit);
        TODBCVariable *V = FParamList.Items(Index);
        SQLLEN Len = 0;
        uint8_t *Block = V->LongDataBlock(ARow, Len);
        Check(FLib->SQLPutData(FHandle, Block, Len));
        RC = FLib->SQLParamData(FHandle, &Token);
    }
    // The statement's own answer, as SQLExecute gives it without data at
    // execution: an Update of no row ends in SQL_NO_DATA.
    return RC;
}

void TODBCCommandStatement::Execute(int ATimes, int AOffset, const std::string *ADirectText, bool ARaiseOnNoData,
                                    SQLLEN &ARowsAffected)
{
    Connection()->ClearInfo();
    if (FParamList.Count() > 0 && !(FParamList.PageBuffer() && FParamList.PageBuffer()->Allocated))
        BindParams(ATimes, true);
    TODBCPageBuffer *Page = FParamList.PageBuffer();
    // Only a statement set up for parameter sets cuts their number: one
    // that is not runs its rows one by one below, and a driver that takes
    // arrays would read the sets of a page it was never told the layout of.
    if (ParamSetSupported && Page && Page->Allocated && ATimes - AOffset < Page->RowCount) {
        SetParamSetSize(SQLULEN(ATimes - AOffset));
        FParamSetCut = true;
    } else if (Page && Page->Allocated && FParamSetCut) {
        // An execute before ran fewer sets than the page holds: the driver
        // would run that many again, and the loop below step over the rest
        // one set at a time, running sets twice.
        SetParamSetSize(SQLULEN(Page->RowCount));
        FParamSetCut = false;
    }
    ARowsAffected = 0;
    int Executed = 0;
    TODBCShiftScope Shift(Page, &FParamList);
    if (Page && AOffset > 0)
        Shift.By(AOffset);
    for (;;) {
        if (Executed > 0)
            Shift.By(1);
        // What the driver writes of this execute alone: a driver that
        // leaves them is not read for the one before.
        if (Page && Page->Allocated) {
            Page->RowsProcessed = 0;
            if (ParamSetSupported)
                std::fill(Page->RowStatus.begin(), Page->RowStatus.end(), SQLUSMALLINT(SQL_PARAM_UNUSED));
        }
        SQLRETURN RC = ADirectText ? FLib->SQLExecDirect(FHandle, (SQLCHAR *)ADirectText->c_str(), SQL_NTS)
                                   : FLib->SQLExecute(FHandle);
        if (RC == SQL_NEED_DATA)
            RC = PutDataAtExec(Page && Page->Kind() == TODBCBufferKind::RowWise ? AOffset + Executed : 0);
        if (RC == SQL_ERROR && ParamSetSupported && Page && Page->Allocated)
            RaiseSetError(RC, AOffset, ARowsAffected);
        else if (ARaiseOnNoData || RC != SQL_NO_DATA)
            Check(RC);
        if (RC != SQL_NO_DATA)
            ARowsAffected += RowCount();
        ++Executed;
        // A driver that ran the sets from AOffset on in one execute is done.
        if (!Page || !Page->Allocated || SQLULEN(ATimes - AOffset) == Page->RowsProcessed || ATimes <= 1 ||
            ATimes <= AOffset + Executed)
            break;
    }
    Shift.Restore();
    Opened = true;
}

void TODBCCommandStatement::RaiseSetError(SQLRETURN ARC, int AOffset, SQLLEN &ARowsAffected)
{
    // The records first: any later call on the handle clears them.
    auto E = std::make_unique<EODBCNativeException>(ARC, this);
    const TODBCPageBuffer *Page = FParamList.PageBuffer();
    // The set that failed, counted from the first set sent: its status, or
    // else the set a record names (a driver that keeps no status).
    int Failed = -1;
    const size_t Processed = std::min<size_t>(size_t(Page->RowsProcessed), Page->RowStatus.size());
    for (size_t R = 0; R < Processed && Failed < 0; ++R)
        if (Page->RowStatus[R] == SQL_PARAM_ERROR)
            Failed = int(R);
    for (int I = 0; I < E->ErrorCount() && Failed < 0; ++I)
        Failed = E->Errors(I).RowIndex;
    if (Failed >= 0) {
        for (int I = 0; I < E->ErrorCount(); ++I)
            E->Errors(I).RowIndex = AOffset + Failed;
        // What the sets before it changed, where the driver tells: the
        // driver manager lets no SQLRowCount follow a failed execute, the
        // diagnostics' header still answers.
        SQLLEN Count = 0;
        if (FLib->SQLGetDiagField &&
            SQL_SUCCEEDED(FLib->SQLGetDiagField(SQL_HANDLE_STMT, FHandle, 0, SQL_DIAG_ROW_COUNT, &Count, 0, nullptr)) &&
            Count > 0)
            ARowsAffected += Count;
    }
    ZqHandleAndRaise(FOwningObj, std::move(E));
}

SQLLEN TODBCCommandStatement::RowCount()
{
    SQLLEN Count = 0;
    const SQLRETURN RC = FLib->SQLRowCount(FHandle, &Count);
    if (RC != SQL_SUCCESS && RC != SQL_SUCCESS_WITH_INFO) {
        TODBCConnection *C = Connection();
        if (C && C->RDBMSKind == ODBCKindMSAccess) {
            auto E = std::make_unique<EODBCNativeException>(RC, this);
            if (E->ErrorCount() > 0 && E->Errors(0).Message.find("HY010.") != std::string::npos)
                E->Errors(0).Kind = ekCmdAborted;
            ZqHandleAndRaise(FOwningObj, std::move(E));
        }
    }
    Check(RC);
    TODBCPageBuffer *Page = FParamList.PageBuffer();
    if (Count == -1 && Page && Page->Allocated && Page->RowsProcessed > 0)
        Count = SQLLEN(Page->RowsProcessed);
    return Count;
}

// ---- TODBCMetaInfoStatement ---------------------------------------------------------------

void TODBCMetaInfoStatement::Set(TODBCMetaKind AKind, const std::string &ACatalog, const std::string &ASchema,
                                 const std::string &AName)
{
    Kind = AKind;
    Catalog = ACatalog;
    Schema = ASchema;
    ObjectName = AName;
    Opened = false;
}

void TODBCMetaInfoStatement::Columns(const std::string &ACatalog, const std::string &ASchema,
                                     const std::string &ATable, const std::string &AColumn)
{
    Set(TODBCMetaKind::Columns, ACatalog, ASchema, ATable);
    ColumnName = AColumn;
}

void TODBCMetaInfoStatement::ForeignKeys(const std::string &APKCatalog, const std::string &APKSchema,
                                         const std::string &APKTable, const std::string &AFKCatalog,
                                         const std::string &AFKSchema, const std::string &AFKTable)
{
    Set(TODBCMetaKind::ForeignKeys, APKCatalog, APKSchema, APKTable);
    FKCatalog = AFKCatalog;
    FKSchema = AFKSchema;
    FKTable = AFKTable;
}

void TODBCMetaInfoStatement::PrimaryKeys(const std::string &ACatalog, const std::string &ASchema,
                                         const std::string &ATable)
{
    Set(TODBCMetaKind::PrimaryKeys, ACatalog, ASchema, ATable);
}

void TODBCMetaInfoStatement::Procedures(const std::string &ACatalog, const std::string &ASchema,
                                        const std::string &AProc)
{
    Set(TODBCMetaKind::Procedures, ACatalog, ASchema, AProc);
}

void TODBCMetaInfoStatement::ProcedureColumns(const std::string &ACatalog, const std::string &ASchema,
                                              const std::string &AProc, const std::string &AColumn)
{
    Set(TODBCMetaKind::ProcedureColumns, ACatalog, ASchema, AProc);
    ColumnName = AColumn;
}

void TODBCMetaInfoStatement::SpecialColumns(const std::string &ACatalog, const std::string &ASchema,
                                            const std::string &ATable, SQLUSMALLINT AIdentifierType)
{
    Set(TODBCMetaKind::SpecialColumns, ACatalog, ASchema, ATable);
    IdentifierType = AIdentifierType;
}

void TODBCMetaInfoStatement::Statistics(const std::string &ACatalog, const std::string &ASchema,
                                        const std::string &ATable, SQLUSMALLINT AUnique)
{
    Set(TODBCMetaKind::Statistics, ACatalog, ASchema, ATable);
    Unique = AUnique;
}

void TODBCMetaInfoStatement::Tables(const std::string &ACatalog, const std::string &ASchema,
                                    const std::string &ATable, const std::string &ATableTypes)
{
    Set(TODBCMetaKind::Tables, ACatalog, ASchema, ATable);
    ColumnName = ATableTypes;
}

void TODBCMetaInfoStatement::Execute()
{
    Connection()->ClearInfo();
    const std::string &C = Catalog, &S = Schema, &O = ObjectName, &N = ColumnName;
    SQLRETURN RC = SQL_SUCCESS;
    switch (Kind) {
    case TODBCMetaKind::Columns:
        RC = FLib->SQLColumns(FHandle, NameArg(C), NameLen(C), NameArg(S), NameLen(S), NameArg(O), NameLen(O),
                              NameArg(N), NameLen(N));
        break;
    case TODBCMetaKind::ForeignKeys:
        RC = FLib->SQLForeignKeys(FHandle, NameArg(C), NameLen(C), NameArg(S), NameLen(S), NameArg(O), NameLen(O),
                                  NameArg(FKCatalog), NameLen(FKCatalog), NameArg(FKSchema), NameLen(FKSchema),
                                  NameArg(FKTable), NameLen(FKTable));
        break;
    case TODBCMetaKind::PrimaryKeys:
        RC = FLib->SQLPrimaryKeys(FHandle, NameArg(C), NameLen(C), NameArg(S), NameLen(S), NameArg(O), NameLen(O));
        break;
    case TODBCMetaKind::Procedures:
        RC = FLib->SQLProcedures(FHandle, NameArg(C), NameLen(C), NameArg(S), NameLen(S), NameArg(O), NameLen(O));
        break;
    case TODBCMetaKind::ProcedureColumns:
        RC = FLib->SQLProcedureColumns(FHandle, NameArg(C), NameLen(C), NameArg(S), NameLen(S), NameArg(O),
                                       NameLen(O), NameArg(N), NameLen(N));
        break;
    case TODBCMetaKind::SpecialColumns:
        RC = FLib->SQLSpecialColumns(FHandle, IdentifierType, NameArg(C), NameLen(C), NameArg(S), NameLen(S),
                                     NameArg(O), NameLen(O), SQL_SCOPE_CURROW, SQL_NO_NULLS);
        break;
    case TODBCMetaKind::Statistics:
        RC = FLib->SQLStatistics(FHandle, NameArg(C), NameLen(C), NameArg(S), NameLen(S), NameArg(O), NameLen(O),
                                 Unique, SQL_QUICK);
        break;
    case TODBCMetaKind::Tables:
        RC = FLib->SQLTables(FHandle, NameArg(C), NameLen(C), NameArg(S), NameLen(S), NameArg(O), NameLen(O),
                             NameArg(N), NameLen(N));
        break;
    }
    Check(RC);
    Opened = true;
}
