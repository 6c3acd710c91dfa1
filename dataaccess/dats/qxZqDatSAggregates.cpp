// qxZqDatSAggregates: grouped aggregates of a view and their data source.
#include "dataaccess/dats/qxZqDatSAggregates.h"

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSRow.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanUtil.h"

namespace dats {

// ---- data source --------------------------------------------------------

TZqDatSAggregateExpressionDS::TZqDatSAggregateExpressionDS(TZqDatSView *AView, TZqDatSAggregate *AAggregate)
    : TZqDatSTableExpressionDS(AView->GetTable()), FView(AView), FAggregate(AAggregate) {}

int TZqDatSAggregateExpressionDS::GetVarIndex(const std::string &AName) {
    int I = TZqDatSTableExpressionDS::GetVarIndex(AName);
    if (I >= 0) return I;
    int Pos;
    if (FView->Aggregates()->FindByName(AName, Pos)) return FTable->Columns()->Count() + Pos;
    return -1;
}

TZqDataType TZqDatSAggregateExpressionDS::GetVarType(int AIndex) {
    int N = FTable->Columns()->Count();
    if (AIndex < N) return TZqDatSTableExpressionDS::GetVarType(AIndex);
    auto *A = dynamic_cast<TZqDatSAggregate *>(FView->Aggregates()->GetItem(AIndex - N));
    return A ? A->GetDataType() : TZqDataType(0);
}

TZqExpressionScopeKind TZqDatSAggregateExpressionDS::GetVarScope(int AIndex) {
    return AIndex < FTable->Columns()->Count() ? ckField : ckAggregate;
}

void TZqDatSAggregateExpressionDS::GetVarData(int AIndex, rtl::Variant &AValue) {
    int N = FTable->Columns()->Count();
    if (AIndex < N) {
        TZqDatSTableExpressionDS::GetVarData(AIndex, AValue);
        return;
    }
    AValue = rtl::Variant();
    if (auto *A = dynamic_cast<TZqDatSAggregate *>(FView->Aggregates()->GetItem(AIndex - N)))
        A->GetValue(Index(), AValue);
}

void TZqDatSAggregateExpressionDS::GetSubAggregateValue(int AIndex, rtl::Variant &AValue) {
    AValue = FAggregate->FunctionValue(AIndex, FAggregate->GroupAt(Index()));
}

void TZqDatSAggregateExpressionDS::SetPosition(void *AValue) {
    FRow = static_cast<TZqDatSRow *>(AValue);
    FIndex = -1;
}

void TZqDatSAggregateExpressionDS::PointAt(int AIndex) {
    FIndex = AIndex;
    FRow = AIndex >= 0 ? FView->Rows()->GetItem(AIndex) : nullptr;
}

int TZqDatSAggregateExpressionDS::Index() {
    if (FIndex < 0 && FRow) FIndex = FView->Rows()->FindRow(FRow);
    return FIndex;
}

int TZqDatSAggregateExpressionDS::GetRowNum() {
    DATS_ASSERT(FRow != nullptr);
    return Index() + 1;
}

// ---- list ---------------------------------------------------------------

TZqDatSAggregate *TZqDatSAggregateList::AddAggregate(const std::string &AName, const std::string &AExpression,
                                                     int AGroupingLevel) {
    auto New = std::make_unique<TZqDatSAggregate>();
    if (!AName.empty()) New->SetName(AName);
    New->SetExpression(AExpression);
    New->SetGroupingLevel(AGroupingLevel);
    TZqDatSAggregate *A = AddOwned(std::move(New));
    // One that cannot start (a bad expression, no memory) is not kept: the
    // caller never got hold of it.
    try {
        A->SetActive(true);
    } catch (...) {
        A->Free();
        throw;
    }
    return A;
}

// ---- aggregate ----------------------------------------------------------

TZqDatSAggregate::TZqDatSAggregate() : TZqDatSCounted(this) { SetDefaultName("TZqDatSAggregate"); }

TZqDatSAggregate::~TZqDatSAggregate() { Unprepare(); }

TZqDatSView *TZqDatSAggregate::View() const {
    auto *L = dynamic_cast<TZqDatSAggregateList *>(FOwner);
    return L ? L->View() : nullptr;
}

TZqDatSViewRowList *TZqDatSAggregate::Rows() const { return View()->Rows(); }

void TZqDatSAggregate::SetExpression(const std::string &AValue) {
    if (AValue == FExpression) return;
    FActive = false;
    FExpression = AValue;
    RefreshActual();
}

void TZqDatSAggregate::SetGroupingLevel(int AValue) {
    DATS_ASSERT(AValue >= 0);
    if (AValue == FGroupingLevel) return;
    FActive = false;
    FGroupingLevel = AValue;
    RefreshActual();
}

void TZqDatSAggregate::SetActive(bool AValue) {
    if (AValue == FActive) return;
    FActive = AValue;
    RefreshActual();
}

bool TZqDatSAggregate::GetActualActive() {
    TZqDatSView *V = View();
    return FActive && V && V->GetActualActive();
}

void TZqDatSAggregate::RefreshActual() {
    bool A = GetActualActive();
    if (A == FActualActive) return;
    FActualActive = A;
    Unprepare();
    if (!A) return;
    try {
        Compute();
    } catch (...) {
        // Left switched on, it would fail again at every row change.
        FActive = false;
        FActualActive = false;
        Unprepare();
        throw;
    }
}

void TZqDatSAggregate::Unprepare() {
    if (!(FState & asPrepared)) return;
    if (TZqDatSView *V = View()) V->Rows()->FreeSlot(FSlot);
    FSlot = -1;
    FFuncs.clear();
    FValueCount = 0;
    FEvaluator = nullptr;
    FDS = nullptr;
    FState = 0;
}

void TZqDatSAggregate::Prepare() {
    TZqDatSView *V = View();
    FState = asPrepared;
    try {
        IZqDataMechSort *S = V->SortMech();
        int Max = 0;
        if (S && S->GetSortKind() == skExpression) Max = 1;
        else if (S && S->GetSortKind() == skColumns) Max = S->GetSortColumns()->Count();
        if (FGroupingLevel > Max) DatSError(31, FName);
        TZqIntfPtr<IZqStanExpressionParser> Parser;
        ZqCreateInterface(Parser, true);
        FDS = TZqIntfPtr<TZqDatSAggregateExpressionDS>(new TZqDatSAggregateExpressionDS(V, this));
        FEvaluator = Parser->Prepare(FDS.Get(), FExpression, TZqExpressionOptions(),
                                     TZqParserOptions::FromBits(2), "");
        int Next = 0;
        FOrderDependent = false;
        for (int I = 0, N = FEvaluator->GetSubAggregateCount(); I < N; ++I) {
            TFunc F{uint8_t(FEvaluator->GetSubAggregateKind(I)), Next++, -1};
            // SUM counts its non-NULL values too, so that a group emptied of
            // them goes back to NULL as a recomputation gives.
            if (F.Kind <= 1) F.CountIndex = Next++;
            if (F.Kind >= 3) FState |= asNotUndoable;
            if (F.Kind >= 5) FOrderDependent = true;
            FFuncs.push_back(F);
        }
        FValueCount = Next;
        FSlot = V->Rows()->TakeSlot();
    } catch (...) {
        FEvaluator = nullptr;
        FDS = nullptr;
        FFuncs.clear();
        if (FSlot >= 0) V->Rows()->FreeSlot(FSlot);
        FState = 0;
        throw;
    }
}

bool TZqDatSAggregate::Grouped() const {
    TZqDatSView *V = View();
    return FGroupingLevel >= 1 && V->SortMech() && V->SortMech()->GetSortKind() != skRowNumber;
}

bool TZqDatSAggregate::SameGroup(int AIndex1, int AIndex2) const {
    if (!Grouped()) return true;
    TZqDatSViewRowList *R = Rows();
    return View()->SortMech()->CompareRows(R->GetItem(AIndex1), R->GetItem(AIndex2), FGroupingLevel) == 0;
}

TZqDatSAggregateGroup *TZqDatSAggregate::GroupAt(int AIndex) const {
    if (FSlot < 0 || AIndex < 0) return nullptr;
    return static_cast<TZqDatSAggregateGroup *>(Rows()->GetValue(AIndex, FSlot));
}

rtl::Variant TZqDatSAggregate::FunctionValue(int AFunc, TZqDatSAggregateGroup *AGroup) const {
    if (!AGroup || AFunc < 0 || AFunc >= int(FFuncs.size())) return rtl::Variant::Null();
    const TFunc &F = FFuncs[size_t(AFunc)];
    const rtl::Variant &V = AGroup->Sub[size_t(F.ValueIndex)];
    if (V.IsClear()) return rtl::Variant::Null();
    if (F.Kind == 1) {
        const rtl::Variant &C = AGroup->Sub[size_t(F.CountIndex)];
        if (C.IsClear()) return rtl::Variant::Null();
        rtl::Variant R;
        ZqVarDiv(V, C, R);
        return R;
    }
    return V;
}

void TZqDatSAggregate::GetValue(int AIndex, rtl::Variant &AValue) {
    AValue = rtl::Variant();
    if (!(FState & asPrepared)) return;
    if (TZqDatSAggregateGroup *G = GroupAt(AIndex)) AValue = G->Value;
}

TZqDataType TZqDatSAggregate::GetDataType() { return FEvaluator ? FEvaluator->GetDataType() : TZqDataType(0); }

void TZqDatSAggregate::Compute() {
    if (!(FState & asPrepared))
        Prepare();
    else
        Rows()->ClearSlot(FSlot);
    TZqDatSViewRowList *R = Rows();
    int N = R->Count();
    TZqDatSAggregateGroup *G = nullptr;
    for (int I = 0; I < N; ++I) {
        if (!G || (Grouped() && !SameGroup(I, I - 1))) {
            G = StartGroup(I);
        } else {
            R->SetValue(I, FSlot, G);
        }
    }
    if (N > 0) Accumulate(0, N - 1, -1);
    FState |= asComputed;
}

void TZqDatSAggregate::Accumulate(int AFirst, int ALast, int ASkip) {
    TZqDatSAggregateExpressionDS *DS = FDS.Get();
    try {
        for (int I = AFirst; I <= ALast; ++I) {
            if (I == ASkip) continue;
            TZqDatSAggregateGroup *G = GroupAt(I);
            DS->PointAt(I);
            for (size_t F = 0; F < FFuncs.size(); ++F) {
                const TFunc &Fn = FFuncs[F];
                rtl::Variant X;
                FEvaluator->EvaluateSubAggregate(int(F), X);
                if (X.IsClear()) continue;
                rtl::Variant &V = G->Sub[size_t(Fn.ValueIndex)];
                switch (Fn.Kind) {
                case 0: case 1:
                    if (V.IsClear()) V = X; else ZqVarAdd(V, X, V);
                    break;
                case 2: V = V.IsClear() ? rtl::Variant(1) : rtl::Variant(V.AsInteger() + 1); break;
                case 3: if (V.IsClear() || X < V) V = X; break;
                case 4: if (V.IsClear() || X > V) V = X; break;
                case 5: if (V.IsClear()) V = X; break;
                case 6: V = X; break;
                }
                if (Fn.CountIndex >= 0) {
                    rtl::Variant &C = G->Sub[size_t(Fn.CountIndex)];
                    C = C.IsClear() ? rtl::Variant(1) : rtl::Variant(C.AsInteger() + 1);
                }
            }
        }
        TZqDatSAggregateGroup *Prev = nullptr;
        for (int I = AFirst; I <= ALast; ++I) {
            if (I == ASkip) continue;
            TZqDatSAggregateGroup *G = GroupAt(I);
            if (G == Prev) continue;
            Prev = G;
            EvaluateGroup(I);
        }
    } catch (...) {
        DS->PointAt(-1);
        throw;
    }
    DS->PointAt(-1);
}

void TZqDatSAggregate::EvaluateGroup(int AIndex) {
    TZqDatSAggregateGroup *G = GroupAt(AIndex);
    FDS->PointAt(AIndex);
    rtl::Variant V;
    FEvaluator->Evaluate(V);
    G->Value = V;
}

void TZqDatSAggregate::Reaccumulate(int AFirst, int ALast, TZqDatSAggregateGroup *AGroup, int ASkip) {
    AGroup->Reset();
    Accumulate(AFirst, ALast, ASkip);
}

TZqDatSAggregateGroup *TZqDatSAggregate::StartGroup(int AIndex) {
    auto New = TZqDatSRef<TZqDatSAggregateGroup>::Adopt(new TZqDatSAggregateGroup(FValueCount));
    Rows()->SetValue(AIndex, FSlot, New.Get());
    return New.Get();
}

// The row at AIndex (without a group) joins its neighbour's group when it
// belongs to it, else starts its own.
void TZqDatSAggregate::Join(int AIndex) {
    TZqDatSViewRowList *R = Rows();
    int N = R->Count();
    TZqDatSAggregateGroup *G = nullptr;
    if (AIndex > 0 && SameGroup(AIndex, AIndex - 1))
        G = GroupAt(AIndex - 1);
    else if (AIndex + 1 < N && SameGroup(AIndex, AIndex + 1))
        G = GroupAt(AIndex + 1);
    if (!G) {
        StartGroup(AIndex);
        Accumulate(AIndex, AIndex, -1);
        return;
    }
    R->SetValue(AIndex, FSlot, G);
    if (FOrderDependent) {
        int First = AIndex, Last = AIndex;
        while (First > 0 && GroupAt(First - 1) == G) --First;
        while (Last + 1 < N && GroupAt(Last + 1) == G) ++Last;
        Reaccumulate(First, Last, G, -1);
    } else {
        Accumulate(AIndex, AIndex, -1);
    }
}

void TZqDatSAggregate::RowInserted(int AIndex) {
    RefreshActual();
    if (!FActualActive) {
        FState &= uint8_t(~asComputed);
        return;
    }
    Join(AIndex);
}

void TZqDatSAggregate::RowRemoving(int AIndex) {
    RefreshActual();
    if (!FActualActive) {
        FState &= uint8_t(~asComputed);
        return;
    }
    TZqDatSViewRowList *R = Rows();
    TZqDatSAggregateGroup *G = GroupAt(AIndex);
    if (!G) return;
    if (G->RefCount() > 1) {
        int N = R->Count();
        int First = AIndex, Last = AIndex;
        while (First > 0 && GroupAt(First - 1) == G) --First;
        while (Last + 1 < N && GroupAt(Last + 1) == G) ++Last;
        // The group is accumulated afresh without the row rather than
        // undone by its values: a row leaving through an edit (out of a
        // filtered view) or a deletion no longer shows the values it was
        // counted with.
        Reaccumulate(First, Last, G, AIndex);
    }
    R->ClearValue(AIndex, FSlot);
}

void TZqDatSAggregate::RowMoved(int AFrom, int ATo) {
    RefreshActual();
    if (!FActualActive) {
        FState &= uint8_t(~asComputed);
        return;
    }
    // The moved row (now at ATo) first leaves its old group, whose other
    // rows are re-accumulated without it; then it joins the group where it
    // now stands. The row's old values are gone, so its old group cannot be
    // undone arithmetically.
    TZqDatSViewRowList *R = Rows();
    TZqDatSAggregateGroup *Old = GroupAt(ATo);
    if (Old && Old->RefCount() > 1) {
        int N = R->Count();
        int At = -1;
        for (int I : {AFrom - 1, AFrom, AFrom + 1})
            if (I >= 0 && I < N && I != ATo && GroupAt(I) == Old) {
                At = I;
                break;
            }
        if (At >= 0) {
            // The old group's rows run on both sides of the row when it
            // stayed among them.
            int First = At, Last = At;
            while (First > 0 && GroupAt(First - 1) == Old) --First;
            while (Last + 1 < N && GroupAt(Last + 1) == Old) ++Last;
            Reaccumulate(First, Last, Old, ATo);
        }
    }
    R->ClearValue(ATo, FSlot);
    Join(ATo);
}

void TZqDatSAggregate::Recalc() {
    RefreshActual();
    if (FActualActive && (FState & asPrepared)) Compute();
}

void TZqDatSAggregate::HandleNotification(TZqDatSNotification &N) {
    TZqDatSAggregateBase::HandleNotification(N);
    RefreshActual();
}

void TZqDatSAggregate::Assign(TZqDatSObject *ASource) {
    auto *S = dynamic_cast<TZqDatSAggregate *>(ASource);
    if (!S) return;
    TZqDatSAggregateBase::Assign(S);
    SetExpression(S->FExpression);
    SetGroupingLevel(S->FGroupingLevel);
    SetActive(S->FActive);
}

bool TZqDatSAggregate::IsEqual(TZqDatSObject *AOther) {
    auto *O = dynamic_cast<TZqDatSAggregate *>(AOther);
    return O && TZqDatSAggregateBase::IsEqual(O) && FExpression == O->FExpression &&
           FGroupingLevel == O->FGroupingLevel && FActive == O->FActive;
}

} // namespace dats
