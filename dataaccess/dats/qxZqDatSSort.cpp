// qxZqDatSSort: the sort mechanism of a view: by columns, by an expression or
// by row number; sorting a row list, comparing rows and binary search.
//
// Sorting by one integer-like column extracts the keys once and sorts
// (key, row number, row) records: the order is the same total order the row
// comparison gives, at a fraction of its cost.
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "dataaccess/dats/qxZqDatSConstraint.h"
#include "dataaccess/dats/qxZqDatSExpr.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSRowList.h"
#include "dataaccess/dats/qxZqDatSSortRows.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "platform/rtl/SysUtils.h"

namespace dats {



TZqDatSMechSort::TZqDatSMechSort() { FKinds = mkSort; }

TZqDatSMechSort::~TZqDatSMechSort() {
    if (FUnique) {
        TZqDatSConstraintBase *U = FUnique;
        FUnique = nullptr;
        U->Free();
    }
}

void TZqDatSMechSort::SetColumns(const std::string &AValue) {
    if (AValue == FColumnNames && FExpression.empty()) return;
    SetActive(false);
    FColumnNames = AValue;
    FExpression.clear();
}

void TZqDatSMechSort::SetDescendingColumns(const std::string &AValue) {
    if (AValue == FDescNames) return;
    SetActive(false);
    FDescNames = AValue;
}

void TZqDatSMechSort::SetNoCaseColumns(const std::string &AValue) {
    if (AValue == FNoCaseNames) return;
    SetActive(false);
    FNoCaseNames = AValue;
}

void TZqDatSMechSort::SetExpression(const std::string &AValue) {
    if (AValue == FExpression) return;
    SetActive(false);
    FExpression = AValue;
    FColumnNames.clear();
    FNoCaseNames.clear();
    FDescNames.clear();
}

void TZqDatSMechSort::SetSortOptions(TZqSortOptions AValue) {
    FOptionsSet = true;
    if (AValue == FOptions) return;
    SetActive(false);
    FOptions = AValue;
}

TZqDatSCompareOptions TZqDatSMechSort::CompareOptions() const {
    TZqDatSCompareOptions O = 0;
    if (FOptions & soNoCase) O |= cmpNoCase;
    if (FOptions & soNullLess) O |= cmpNullFirst;
    if (FOptions & soDescending) O |= cmpDescending;
    return O;
}

// ---- activation ---------------------------------------------------------

void TZqDatSMechSort::ActualActiveChanged() {
    if (FActualActive) {
        FUnique = nullptr;
        if (!FExpression.empty())
            FKind = skExpression;
        else if (!FColumnNames.empty() && FColumnNames != "#")
            FKind = skColumns;
        else
            FKind = skRowNumber;
        TZqDatSTable *T = GetTable();
        if (!FOptionsSet && T && !T->CaseSensitive()) FOptions |= soNoCase;
        if (FKind == skColumns) {
            FNoCaseColumns = std::make_unique<TZqDatSColumnSublist>();
            FDescColumns = std::make_unique<TZqDatSColumnSublist>();
            TZqDatSColumnSublist Tmp;
            if (!FNoCaseNames.empty()) {
                Tmp.Parse(T, FNoCaseNames);
                for (int I = 0; I < Tmp.Count(); ++I) FNoCaseColumns->Add(Tmp[I]);
            }
            if (!FDescNames.empty()) {
                Tmp.Parse(T, FDescNames);
                for (int I = 0; I < Tmp.Count(); ++I) FDescColumns->Add(Tmp[I]);
            }
            FSortColumns.Parse(T, FColumnNames, FNoCaseColumns.get(), FDescColumns.get());
            if (FNoCaseColumns->Count() == 0) FNoCaseColumns.reset();
            if (FDescColumns->Count() == 0) FDescColumns.reset();
            if (Unique() && T && !T->Constraints()->FindUnique(FColumnNames))
                if (auto Maker = TZqDatSConstraintList::UniqueMaker()) {
                    TZqDatSView *V = View();
                    FUnique = Maker(T->Constraints(), "_Zq_UC_" + (V ? V->Name() : std::string()), FColumnNames,
                                    FOptions);
                }
        } else if (FKind == skExpression) {
            FEvaluator = TZqDatSExpression::Prepare(T, FExpression, 0, 4, "");
        }
    } else {
        FSortColumns.Clear();
        FNoCaseColumns.reset();
        FDescColumns.reset();
        FEvaluator.reset();
        if (FUnique) {
            TZqDatSConstraintBase *U = FUnique;
            FUnique = nullptr;
            U->Free();
        }
    }
    TZqDatSMechBase::ActualActiveChanged();
}

void TZqDatSMechSort::HandleNotification(TZqDatSNotification &N) {
    if (FActualActive && FKind == skColumns) {
        if (FSortColumns.IsAffectedBy(N) || (FDescColumns && FDescColumns->IsAffectedBy(N)) ||
            (FNoCaseColumns && FNoCaseColumns->IsAffectedBy(N))) {
            SetActive(false);
            return;
        }
    }
    if (N.Kind == nkAfterRemove && FUnique && N.Item == FUnique) FUnique = nullptr;
}

// ---- comparison ---------------------------------------------------------

namespace {

int RowIDOrder(TZqDatSRow *A, TZqDatSRow *B) {
    uint32_t X = uint32_t(A->RowID()), Y = uint32_t(B->RowID());
    return X < Y ? -1 : (X > Y ? 1 : 0);
}

} // namespace

int TZqDatSMechSort::CompareExpression(TZqDatSRow *ARow1, TZqDatSRow *ARow2, TZqDatSCompareOptions AOptions) {
    if (!FEvaluator) return 0;
    rtl::Variant V1 = FEvaluator->Evaluate(ARow1);
    rtl::Variant V2 = FEvaluator->Evaluate(ARow2);
    bool N1 = V1.IsClear(), N2 = V2.IsClear();
    bool NullFirst = (AOptions & cmpNullFirst) && !(AOptions & cmpDescending);
    if (N1 && N2) return 0;
    if (N1) return NullFirst ? -1 : 1;
    if (N2) return NullFirst ? 1 : -1;
    int R = V1 > V2 ? 1 : (V1 < V2 ? -1 : 0);
    // A descending expression sort orders its values descending too.
    return (AOptions & cmpDescending) ? -R : R;
}

int TZqDatSMechSort::CompareRowsEx(TZqDatSRow *ARow1, TZqDatSRow *ARow2, TZqDatSCompareOptions AOptions, int ACount) {
    int R = 0;
    switch (FKind) {
    case skColumns:
        R = TZqDatSRow::CompareRows(ARow1, &FSortColumns, FDescColumns.get(), nullptr, AOptions, rvDefault, nullptr,
                                    ARow2, ACount, FNoCaseColumns.get());
        break;
    case skExpression: R = CompareExpression(ARow1, ARow2, AOptions); break;
    default: R = 0; break;
    }
    if (R == 0 && (FKind == skRowNumber || (ACount < 0 && !Unique()))) R = RowIDOrder(ARow1, ARow2);
    return R;
}

int TZqDatSMechSort::CompareRows(TZqDatSRow *ARow1, TZqDatSRow *ARow2, int ACount) {
    return CompareRowsEx(ARow1, ARow2, CompareOptions(), ACount);
}

int TZqDatSMechSort::CompareKey(TZqDatSRow *AListRow, TZqDatSRow *AKeyRow, TZqDatSRowVersion AVersion,
                                TZqDatSCompareOptions AOptions, int AColumnCount, TZqDatSColumnSublist *AKeyRowColumns,
                                TZqDatSColumnSublist *AKeyColumns, TZqDatSCompareRowsCache *ACache, bool ARowOrder) {
    int R = 0;
    switch (FKind) {
    case skColumns:
        // List rows are read as they are sorted (rvDefault); the key row at
        // the version asked for.
        R = TZqDatSRow::CompareRows(AListRow, AKeyColumns ? AKeyColumns : &FSortColumns, FDescColumns.get(), ACache,
                                    AOptions, rvDefault, AKeyRowColumns, AKeyRow, AColumnCount, FNoCaseColumns.get(),
                                    AVersion);
        break;
    case skExpression: R = CompareExpression(AListRow, AKeyRow, AOptions); break;
    default: R = 0; break;
    }
    if (R == 0 && ARowOrder) R = RowIDOrder(AListRow, AKeyRow);
    return R;
}

// ---- prepared search key --------------------------------------------------

TZqDatSSortKey::TZqDatSSortKey(TZqDatSMechSort *ASort, TZqDatSRow *AKeyRow, TZqDatSRowVersion AVersion,
                               TZqDatSCompareOptions AOptions, int AColumnCount, TZqDatSColumnSublist *AKeyRowColumns,
                               TZqDatSColumnSublist *AKeyColumns, bool ARowOrder)
    : FSort(ASort), FKeyRow(AKeyRow), FVersion(AVersion), FOptions(AOptions | cmpCache), FColumnCount(AColumnCount),
      FKeyRowColumns(AKeyRowColumns), FKeyColumns(AKeyColumns), FRowOrder(ARowOrder) {
    if (ASort->GetSortKind() != skColumns) return;
    TZqDatSColumnSublist *Cols = AKeyColumns ? AKeyColumns : ASort->GetSortColumns();
    int Count = AColumnCount < 0 ? Cols->Count() : AColumnCount;
    if (Count > Cols->Count()) Count = Cols->Count();
    if (AKeyRowColumns && Count > AKeyRowColumns->Count()) Count = AKeyRowColumns->Count();
    if (Count <= 0 || Count > CMaxParts) return;
    TZqDatSColumnList *CL = Cols->GetItem(0)->GetColumnList();
    if (!CL || !CL->Layout()) return;
    FLayout = CL->Layout();
    FLocale = CL->GetTable()->Locale();
    TZqDatSColumnSublist *Desc = ASort->GetDescendingColumns(), *NoCase = ASort->GetNoCaseColumns();
    TZqDatSCompareOptions Base = AOptions & uint8_t(~cmpCache);
    for (int I = 0; I < Count; ++I) {
        TZqDatSColumn *C = Cols->GetItem(I);
        int Idx = C->Index();
        if (Idx < 0 || Idx >= FLayout->ColumnCount) return;
        const TZqDatSLayoutColumn &LC = FLayout->Columns[size_t(Idx)];
        switch (LC.DataType) {
        case dtBoolean: case dtSByte: case dtInt16: case dtInt32: case dtInt64: case dtByte: case dtUInt16:
        case dtUInt32: case dtUInt64: case dtDouble: case dtCurrency: case dtBCD: case dtFmtBCD: case dtDateTime:
        case dtTime: case dtDate: case dtDateTimeStamp: case dtGUID: break;
        case dtAnsiString: case dtWideString: case dtByteString:
            if (LC.Blob) return;
            break;
        default: return;
        }
        int KeyIdx = AKeyRowColumns ? AKeyRowColumns->GetItem(I)->Index() : Idx;
        if (KeyIdx < 0 || KeyIdx >= AKeyRow->Layout()->ColumnCount) return;
        if (AKeyRow->Layout()->Columns[size_t(KeyIdx)].DataType != LC.DataType) return;
        TPart &P = FParts[FPartCount];
        P.Col = LC;
        P.Options = Base;
        if (Desc && Desc->Contains(C)) P.Options |= cmpDescending;
        if (NoCase && NoCase->Contains(C)) P.Options |= cmpNoCase;
        void *V = nullptr;
        P.Null = !AKeyRow->GetData(KeyIdx, AVersion, V, 0, P.Length, false);
        P.Value = V;
        ++FPartCount;
    }
    FFast = true;
}

int TZqDatSSortKey::Compare(TZqDatSRow *AListRow) {
    int R = 0;
    if (FFast && AListRow->Layout() == FLayout && AListRow->RowState() != rsChecking) {
        const uint8_t *B = AListRow->GetBuffer(rvDefault);
        for (int I = 0; I < FPartCount; ++I) {
            const TPart &P = FParts[I];
            const TZqDatSLayoutColumn &C = P.Col;
            bool Has = B && (B[C.NullByte] & C.NullMask);
            bool NullFirst = (P.Options & cmpNullFirst) && !(P.Options & cmpDescending);
            if (Has && !P.Null) {
                const uint8_t *V = B + C.Offset;
                uint32_t Len = uint32_t(C.StorageSize);
                if (IsStringType(C.DataType)) {
                    uint16_t L16;
                    std::memcpy(&L16, V, 2);
                    Len = L16;
                    V += 2;
                }
                R = TZqDatSRow::CompareValues(C, FLocale, V, Len, P.Value, P.Length, P.Options);
            } else if (Has) {
                R = NullFirst ? 1 : -1;
            } else if (!P.Null) {
                R = NullFirst ? -1 : 1;
            } else {
                R = 0;
            }
            if (R) break;
        }
    } else {
        return FSort->CompareKey(AListRow, FKeyRow, FVersion, FOptions, FColumnCount, FKeyRowColumns, FKeyColumns,
                                 &FCache, FRowOrder);
    }
    if (R == 0 && FRowOrder) {
        uint32_t X = uint32_t(AListRow->RowID()), Y = uint32_t(FKeyRow->RowID());
        R = X < Y ? -1 : (X > Y ? 1 : 0);
    }
    return R;
}

void TZqDatSMechSort::Search(TZqDatSRowListBase *ARows, TZqDatSRow *AKeyRow, TZqDatSRowVersion AVersion, bool &AFound,
                             int &AIndex, TZqDatSSearchOptions AOptions, int AColumnCount,
                             TZqDatSColumnSublist *AKeyRowColumns, TZqDatSColumnSublist *AKeyColumns) {
    DATS_ASSERT(ARows != nullptr && AKeyRow != nullptr);
    AIndex = -1;
    AFound = false;
    TZqDatSCompareOptions O = cmpCache;
    if (AOptions & srNoCase) O |= cmpNoCase;
    if (FOptions & soNullLess) O |= cmpNullFirst;
    if (FOptions & soDescending) O |= cmpDescending;
    if (AOptions & srPartial) O |= cmpPartial;
    bool RowOrder = ((AOptions & srRowOrder) && !Unique()) || FKind == skRowNumber;
    TZqDatSSortKey Key(this, AKeyRow, AVersion, O, AColumnCount, AKeyRowColumns, AKeyColumns, RowOrder);
    auto Cmp = [&](int I) { return Key.Compare(ARows->GetItem(I)); };
    const int Count = ARows->Count();
    int Lo = 0, Hi = Count - 1, Mid = -1, Res = 0;
    bool Stopped = false;
    while (Lo <= Hi) {
        Mid = (Lo + Hi) / 2;
        if ((AOptions & srSkipKeyRow) && ARows->GetItem(Mid) == AKeyRow) {
            if (Mid < Hi)
                ++Mid;
            else if (Mid > Lo)
                --Mid;
            else {
                Res = -1;
                Mid = Mid - 1;
                Stopped = true;
                break;
            }
        }
        Res = Cmp(Mid);
        if (Res > 0)
            Hi = Mid - 1;
        else if (Res < 0)
            Lo = Mid + 1;
        else {
            auto Skip = [&](int I) { return (AOptions & srSkipKeyRow) && ARows->GetItem(I) == AKeyRow; };
            if (AOptions & srLast) {
                int J = Mid;
                while (J + 1 < Count && (Skip(J + 1) || Cmp(J + 1) == 0)) {
                    ++J;
                    if (!Skip(J)) Mid = J;
                }
            } else {
                int J = Mid;
                while (J - 1 >= 0 && (Skip(J - 1) || Cmp(J - 1) == 0)) {
                    --J;
                    if (!Skip(J)) Mid = J;
                }
            }
            AFound = true;
            break;
        }
    }
    if (AFound) {
        AIndex = Mid;
        return;
    }
    if (!Stopped && Lo >= Count)
        AIndex = Count;
    else if (!Stopped && Hi < 0)
        AIndex = -1;
    else
        AIndex = Mid;
    // The descending order is folded into the comparison: the step towards
    // the insertion position is the same for both directions.
    if (Res < 0 && (AOptions & srLast) && AIndex < Count) ++AIndex;
}

// ---- sorting ------------------------------------------------------------

namespace {

struct TSortCtx {
    TZqDatSMechSort *Sort;
    TZqDatSCompareOptions Options;
};

int SortCompare(void *ACtx, TZqDatSRow *A, TZqDatSRow *B, uint8_t, int ACount) {
    auto *C = static_cast<TSortCtx *>(ACtx);
    return C->Sort->CompareRowsEx(A, B, C->Options, ACount);
}

struct TKeyRec {
    int64_t Key;    // order-preserving image of the value
    uint32_t Rank;  // NULLs before (0) or after (2) every value (1)
    uint32_t RowID;
    TZqDatSRow *Row;
};

constexpr uint64_t CSignBit = uint64_t(1) << 63;

// An order-preserving signed 64-bit image of a double. Every NaN takes the
// top image (the row comparison puts NaN after every number and calls two
// NaNs equal); -0 takes the image of 0, as the two compare equal.
int64_t DoubleImage(double D) {
    if (D != D) return INT64_MAX;
    if (D == 0) D = 0;
    uint64_t Bits;
    std::memcpy(&Bits, &D, 8);
    return (Bits & CSignBit) ? int64_t(~Bits ^ CSignBit) : int64_t(Bits);
}

double ImageDouble(int64_t K) {
    if (K == INT64_MAX) return std::numeric_limits<double>::quiet_NaN();
    const uint64_t Bits = K >= 0 ? uint64_t(K) : ~(uint64_t(K) ^ CSignBit);
    double D;
    std::memcpy(&D, &Bits, 8);
    return D;
}

bool IsDoubleKind(TZqDataType T) { return T == dtDouble || T == dtDateTime; }

// An order-preserving signed 64-bit image of an integer-like or double value.
bool KeyOf(TZqDataType T, const uint8_t *P, int64_t &K) {
    switch (T) {
    case dtBoolean: { int16_t V; std::memcpy(&V, P, 2); K = V != 0; return true; }
    case dtSByte: { int8_t V; std::memcpy(&V, P, 1); K = V; return true; }
    case dtInt16: { int16_t V; std::memcpy(&V, P, 2); K = V; return true; }
    case dtInt32: case dtTime: case dtDate: { int32_t V; std::memcpy(&V, P, 4); K = V; return true; }
    case dtInt64: case dtCurrency: { std::memcpy(&K, P, 8); return true; }
    case dtByte: { uint8_t V; std::memcpy(&V, P, 1); K = V; return true; }
    case dtUInt16: { uint16_t V; std::memcpy(&V, P, 2); K = V; return true; }
    case dtUInt32: { uint32_t V; std::memcpy(&V, P, 4); K = V; return true; }
    case dtDouble: case dtDateTime: { double V; std::memcpy(&V, P, 8); K = DoubleImage(V); return true; }
    default: return false;
    }
}

// Doubles compare equal within a tolerance: a run of values that the exact
// order separated but the row comparison calls equal goes back to the row
// comparison's order (row number for ties). Such runs are short and rare.
void MendToleranceRuns(std::vector<TKeyRec> &AKeys, bool ADesc, bool ATies) {
    auto Value = [ADesc](const TKeyRec &R) { return ImageDouble(ADesc ? ~R.Key : R.Key); };
    auto Cmp = [&](const TKeyRec &X, const TKeyRec &Y) {
        int R = DatSCompareDouble(Value(X), Value(Y));
        if (ADesc) R = -R;
        if (R == 0 && ATies) R = X.RowID < Y.RowID ? -1 : (X.RowID > Y.RowID ? 1 : 0);
        return R;
    };
    const size_t N = AKeys.size();
    size_t I = 0;
    while (I < N) {
        // A run of values each equal to the next within the tolerance; only
        // one holding distinct values is out of the comparison's order.
        size_t E = I + 1;
        bool Distinct = false;
        if (AKeys[I].Rank == 1)
            while (E < N && AKeys[E].Rank == 1 && DatSCompareDouble(Value(AKeys[E - 1]), Value(AKeys[E])) == 0) {
                Distinct = Distinct || AKeys[E - 1].Key != AKeys[E].Key;
                ++E;
            }
        // A merge sort stays inside the run even where a long chain makes
        // the tolerance intransitive (tiny values all compare equal).
        if (Distinct)
            std::stable_sort(AKeys.begin() + std::ptrdiff_t(I), AKeys.begin() + std::ptrdiff_t(E),
                             [&](const TKeyRec &X, const TKeyRec &Y) { return Cmp(X, Y) < 0; });
        I = E;
    }
}

} // namespace

bool TZqDatSMechSort::SortByKeys(TZqDatSRowListBase *ARows) {
    if (FKind != skColumns || FSortColumns.Count() != 1 || FNoCaseColumns) return false;
    TZqDatSColumn *Col = FSortColumns[0];
    const int N = ARows->Count();
    if (N < 64) return false;
    TZqDatSRow **A = ARows->RowData();
    TZqDatSRowLayout *L = A[0]->Layout();
    const int Idx = Col->Index();
    if (Idx < 0 || Idx >= L->ColumnCount) return false;
    const TZqDatSLayoutColumn &LC = L->Columns[size_t(Idx)];
    switch (LC.DataType) {
    case dtBoolean: case dtSByte: case dtInt16: case dtInt32: case dtTime: case dtDate: case dtInt64:
    case dtCurrency: case dtByte: case dtUInt16: case dtUInt32: case dtDouble: case dtDateTime: break;
    default: return false;
    }
    TZqDatSCompareOptions O = CompareOptions();
    bool Desc = (O & cmpDescending) || (FDescColumns && FDescColumns->Contains(Col));
    if (Desc) O |= cmpDescending;
    bool NullFirst = (O & cmpNullFirst) && !(O & cmpDescending);
    std::vector<TKeyRec> Keys(static_cast<size_t>(N));
    for (int I = 0; I < N; ++I) {
        TZqDatSRow *R = A[I];
        if (R->Layout() != L || R->RowState() == rsChecking) return false;
        const uint8_t *B = R->GetBuffer(rvDefault);
        TKeyRec &K = Keys[size_t(I)];
        K.Row = R;
        K.RowID = uint32_t(R->RowID());
        if (!B || !(B[LC.NullByte] & LC.NullMask)) {
            // NULLs form their own class, before or after every value.
            K.Rank = NullFirst ? 0 : 2;
            K.Key = 0;
        } else {
            K.Rank = 1;
            KeyOf(LC.DataType, B + LC.Offset, K.Key);
            // The one's complement reverses the order over the whole range;
            // negation would fold INT64_MIN and INT64_MIN + 1 together.
            if (Desc) K.Key = ~K.Key;
        }
    }
    // Ties go to the row number unless the sort is unique (a unique sort
    // keeps equal keys adjacent; the duplicate check reports them).
    const bool Ties = !Unique();
    auto Less = [Ties](const TKeyRec &X, const TKeyRec &Y) {
        if (X.Rank != Y.Rank) return X.Rank < Y.Rank;
        if (X.Key != Y.Key) return X.Key < Y.Key;
        return Ties && X.RowID < Y.RowID;
    };
    std::sort(Keys.begin(), Keys.end(), Less);
    if (IsDoubleKind(LC.DataType)) MendToleranceRuns(Keys, Desc, Ties);
    for (int I = 0; I < N; ++I) A[I] = Keys[size_t(I)].Row;
    return true;
}

namespace {

// The sort columns read straight from the rows' buffers; the same order as
// the row comparison, for the kinds of columns it covers.
class TSortPlan {
public:
    TSortPlan(TZqDatSMechSort *ASort, TZqDatSRowListBase *ARows) : FSort(ASort) {
        if (ASort->GetSortKind() != skColumns || ARows->Count() == 0) return;
        TZqDatSColumnSublist *Cols = ASort->GetSortColumns();
        if (Cols->Count() == 0 || Cols->Count() > CMax) return;
        FLayout = ARows->GetItem(0)->Layout();
        TZqDatSColumnList *CL = Cols->GetItem(0)->GetColumnList();
        if (!CL || CL->Layout() != FLayout) return;
        FLocale = CL->GetTable()->Locale();
        TZqDatSColumnSublist *Desc = ASort->GetDescendingColumns(), *NoCase = ASort->GetNoCaseColumns();
        TZqDatSCompareOptions Base = ASort->CompareOptions();
        for (int I = 0; I < Cols->Count(); ++I) {
            TZqDatSColumn *C = Cols->GetItem(I);
            int Idx = C->Index();
            if (Idx < 0 || Idx >= FLayout->ColumnCount) return;
            const TZqDatSLayoutColumn &LC = FLayout->Columns[size_t(Idx)];
            if (LC.Blob || IsRefType(LC.DataType) || LC.DataType == dtObject || LC.DataType == dtUnknown) return;
            FParts[I].Col = LC;
            FParts[I].Options = Base;
            if (Desc && Desc->Contains(C)) FParts[I].Options |= cmpDescending;
            if (NoCase && NoCase->Contains(C)) FParts[I].Options |= cmpNoCase;
        }
        FCount = Cols->Count();
        FTies = !ASort->Unique();
        FOk = true;
    }
    bool Ok() const { return FOk; }
    int operator()(TZqDatSRow *A, TZqDatSRow *B) const {
        if (A->Layout() != FLayout || B->Layout() != FLayout || A->RowState() == rsChecking ||
            B->RowState() == rsChecking)
            return FSort->CompareRowsEx(A, B, FSort->CompareOptions(), -1);
        const uint8_t *BA = A->GetBuffer(rvDefault), *BB = B->GetBuffer(rvDefault);
        for (int I = 0; I < FCount; ++I) {
            const TZqDatSLayoutColumn &C = FParts[I].Col;
            TZqDatSCompareOptions O = FParts[I].Options;
            bool HA = BA && (BA[C.NullByte] & C.NullMask), HB = BB && (BB[C.NullByte] & C.NullMask);
            int R;
            if (HA && HB) {
                const uint8_t *VA = BA + C.Offset, *VB = BB + C.Offset;
                uint32_t LA = uint32_t(C.StorageSize), LB = LA;
                if (IsStringType(C.DataType)) {
                    uint16_t L16;
                    std::memcpy(&L16, VA, 2);
                    LA = L16;
                    std::memcpy(&L16, VB, 2);
                    LB = L16;
                    VA += 2;
                    VB += 2;
                }
                if (C.DataType == dtDouble || C.DataType == dtDateTime) {
                    double X, Y;
                    std::memcpy(&X, VA, 8);
                    std::memcpy(&Y, VB, 8);
                    R = DatSCompareDouble(X, Y);
                    if (O & cmpDescending) R = -R;
                } else {
                    R = TZqDatSRow::CompareValues(C, FLocale, VA, LA, VB, LB, O);
                }
            } else {
                bool NullFirst = (O & cmpNullFirst) && !(O & cmpDescending);
                R = HA ? (NullFirst ? 1 : -1) : HB ? (NullFirst ? -1 : 1) : 0;
            }
            if (R) return R;
        }
        if (!FTies) return 0;
        uint32_t X = uint32_t(A->RowID()), Y = uint32_t(B->RowID());
        return X < Y ? -1 : (X > Y ? 1 : 0);
    }

private:
    static constexpr int CMax = 8;
    struct TPart {
        TZqDatSLayoutColumn Col;
        TZqDatSCompareOptions Options = 0;
    };
    TZqDatSMechSort *FSort;
    TZqDatSRowLayout *FLayout = nullptr;
    int FLocale = 1024;
    TPart FParts[CMax];
    int FCount = 0;
    bool FTies = true;
    bool FOk = false;
};

} // namespace

void TZqDatSMechSort::Sort(TZqDatSRowListBase *ARows) {
    if (ARows->Count() < 2) return;
    if (!SortByKeys(ARows)) {
        TSortPlan Plan(this, ARows);
        if (Plan.Ok()) {
            DatSSortRows(ARows->RowData(), ARows->Count(), Plan);
        } else {
            TSortCtx Ctx{this, CompareOptions()};
            ARows->Sort(0, &SortCompare, &Ctx);
        }
    }
    if (Unique() && FKind != skRowNumber) {
        TSortCtx Ctx{this, CompareOptions()};
        ARows->CheckDuplicates(0, &SortCompare, &Ctx);
    }
}

// ---- matching -----------------------------------------------------------

namespace {
TZqSortOptions Normalise(TZqSortOptions O) {
    if (O & (soUnique | soPrimary)) O |= soUnique | soPrimary;
    return O;
}
bool OptionsMatch(TZqSortOptions Have, TZqSortOptions Required, TZqSortOptions Forbidden) {
    Have = Normalise(Have);
    Required = Normalise(Required);
    Forbidden = Normalise(Forbidden);
    return (Have & Required) == Required && (Have & Forbidden) == 0;
}
} // namespace

bool TZqDatSMechSort::MatchesColumnNames(const std::string &ANames, TZqSortOptions ARequired,
                                         TZqSortOptions AForbidden) {
    if (ANames.size() > FColumnNames.size()) return false;
    if (rtl::CompareText(FColumnNames.substr(0, ANames.size()), ANames) != 0) return false;
    if (FColumnNames.size() > ANames.size() && FColumnNames[ANames.size()] != ';') return false;
    return OptionsMatch(FOptions, ARequired, AForbidden);
}

bool TZqDatSMechSort::MatchesColumns(TZqDatSColumnSublist *AColumns, int ACount, TZqSortOptions ARequired,
                                     TZqSortOptions AForbidden) {
    if (FKind != skColumns) return false;
    if (!FSortColumns.Matches(AColumns, ACount)) return false;
    return OptionsMatch(FOptions, ARequired, AForbidden);
}

void TZqDatSMechSort::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSMechSort *>(ASource);
    if (!S) return;
    SetActive(false);
    FColumnNames = S->FColumnNames;
    FDescNames = S->FDescNames;
    FNoCaseNames = S->FNoCaseNames;
    FOptions = S->FOptions;
    FOptionsSet = S->FOptionsSet;
    FExpression = S->FExpression;
    TZqDatSMechBase::Assign(S);
}

bool TZqDatSMechSort::IsEqual(TZqDatSObject *AOther) {
    if (!TZqDatSMechBase::IsEqual(AOther)) return false;
    auto *O = static_cast<TZqDatSMechSort *>(AOther);
    return FColumnNames == O->FColumnNames && FDescNames == O->FDescNames && FNoCaseNames == O->FNoCaseNames &&
           FOptions == O->FOptions && FExpression == O->FExpression;
}

} // namespace dats
