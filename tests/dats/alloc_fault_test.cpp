// Allocation failures inside the engine's constructors and makers: every
// allocation of an operation is made to fail in turn, and each failure must
// leave nothing behind (no live allocation made by the operation, no
// half-made object in a list) and leave the objects around usable. The
// sanitizer tree checks the same at exit through its leak detector.
//
// The binary replaces the global operator new/delete (on malloc/free) so
// that a test can arm a countdown; unarmed, they only allocate.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "dataaccess/dats/qxZqDatSAggregates.h"
#include "dataaccess/dats/qxZqDatSConstraints.h"
#include "dataaccess/dats/qxZqDatSMech.h"
#include "dataaccess/dats/qxZqDatSView.h"
#include "dataaccess/stan/qxZqStanExpr.h"
#include "tests/support/dats_test_util.h"

using namespace dats;
using namespace datstest;

namespace {

// Armed: the allocation that brings GCountdown to 0 fails, and every block
// allocated while armed is remembered until it is freed.
bool GArmed = false;
long GCountdown = -1;
constexpr int CMaxLive = 1 << 14;
void *GLive[CMaxLive];
int GLiveCount = 0;
bool GLiveOverflow = false;

void *Allocate(std::size_t ASize)
{
    if (GArmed && GCountdown > 0 && --GCountdown == 0)
        throw std::bad_alloc();
    void *P = std::malloc(ASize ? ASize : 1);
    if (!P)
        throw std::bad_alloc();
    if (GArmed) {
        if (GLiveCount < CMaxLive)
            GLive[GLiveCount++] = P;
        else
            GLiveOverflow = true;
    }
    return P;
}

void Deallocate(void *P) noexcept
{
    if (!P)
        return;
    for (int I = GLiveCount - 1; I >= 0; --I)
        if (GLive[I] == P) {
            GLive[I] = GLive[--GLiveCount];
            break;
        }
    std::free(P);
}

} // namespace

void *operator new(std::size_t ASize) { return Allocate(ASize); }
void *operator new[](std::size_t ASize) { return Allocate(ASize); }
void *operator new(std::size_t ASize, const std::nothrow_t &) noexcept
{
    try {
        return Allocate(ASize);
    } catch (...) {
        return nullptr;
    }
}
void *operator new[](std::size_t ASize, const std::nothrow_t &) noexcept
{
    try {
        return Allocate(ASize);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void *P) noexcept { Deallocate(P); }
void operator delete[](void *P) noexcept { Deallocate(P); }
void operator delete(void *P, std::size_t) noexcept { Deallocate(P); }
void operator delete[](void *P, std::size_t) noexcept { Deallocate(P); }
void operator delete(void *P, const std::nothrow_t &) noexcept { Deallocate(P); }
void operator delete[](void *P, const std::nothrow_t &) noexcept { Deallocate(P); }

namespace {

struct TFaultRun {
    int Failures = 0;    // runs in which an allocation failed (raised or not)
    int LeakingRuns = 0; // failed runs that left allocations behind
};

// Runs AOp with its 1st, 2nd, ... allocation failing until it completes
// without a failure; AUndo takes back what a completed run made (run while
// armed, so that what it frees is forgotten too).
TFaultRun FailEachAllocation(const std::function<void()> &AOp, const std::function<void()> &AUndo = {})
{
    TFaultRun R;
    for (long K = 1; K < 100000; ++K) {
        GLiveCount = 0;
        GLiveOverflow = false;
        GCountdown = K;
        GArmed = true;
        bool Failed = false;
        try {
            AOp();
        } catch (...) {
            Failed = true;
        }
        // The countdown never reached its mark: the operation is complete.
        bool Completed = GCountdown > 0;
        GCountdown = 0; // no more failures, but still following blocks
        if (!Failed && AUndo)
            AUndo();
        GArmed = false;
        GCountdown = -1;
        if (GLiveOverflow)
            ADD_FAILURE() << "too many live blocks to follow at allocation " << K;
        // A failure the operation swallowed must not leak either.
        if (!Completed) {
            ++R.Failures;
            if (GLiveCount != 0) {
                ++R.LeakingRuns;
                ADD_FAILURE() << GLiveCount << " block(s) left behind when allocation " << K << " failed";
            }
        }
        if (Completed) {
            if (Failed)
                ADD_FAILURE() << "the operation fails with every allocation granted";
            break;
        }
    }
    GLiveCount = 0;
    return R;
}

// A table of five rows over three key values; its view list has room, so
// that adding and removing a view keeps no storage of its own.
void FillTable(TZqDatSTable &T)
{
    T.Columns()->AddColumn("I", dtInt32);
    T.Columns()->AddColumn("S", dtAnsiString, 20);
    for (int I = 0; I < 5; ++I) {
        TZqDatSRow *R = T.NewRow();
        SetInt(R, 0, I % 3);
        SetStr(R, 1, "STN" + std::to_string(I));
        T.Rows()->Add(R);
    }
    TZqDatSView::CreateForTable(&T, "", "I", 0)->Free();
}

} // namespace

TEST(DatSAllocFault, FailingTableAndManagerConstructorsLeaveNothing)
{
    TFaultRun Table = FailEachAllocation([] { delete new TZqDatSTable("STATION"); });
    EXPECT_GE(Table.Failures, 5); // the table and each of its parts
    EXPECT_EQ(Table.LeakingRuns, 0);

    TFaultRun Manager = FailEachAllocation([] { delete new TZqDatSManager(); });
    EXPECT_GE(Manager.Failures, 4);
    EXPECT_EQ(Manager.LeakingRuns, 0);

    // A table made inside a manager: a failure leaves the manager's list as
    // it was.
    TZqDatSManager M;
    M.Tables()->AddTable("WARM")->Free();
    TFaultRun Add = FailEachAllocation([&] { M.Tables()->AddTable("CAST"); },
                                       [&] { M.Tables()->TableByName("CAST")->Free(); });
    EXPECT_GT(Add.Failures, 0);
    EXPECT_EQ(Add.LeakingRuns, 0);
    EXPECT_EQ(M.Tables()->Count(), 0);
}

TEST(DatSAllocFault, FailingViewMakersLeaveTheTableAsItWas)
{
    RegisterStanExpr();
    TZqDatSTable T("T");
    FillTable(T);
    // Sort, filter and row states: each maker allocates several parts.
    TFaultRun R = FailEachAllocation([&] { TZqDatSView::CreateForTable(&T, "I > 0", "S;I", 0); },
                                     [&] { T.Views()->GetItem(T.Views()->Count() - 1)->Free(); });
    EXPECT_GT(R.Failures, 5);
    EXPECT_EQ(R.LeakingRuns, 0);
    EXPECT_EQ(T.Views()->Count(), 0);

    TFaultRun Ex = FailEachAllocation([&] { TZqDatSView::CreateEx(&T, "_V", 0, true)->Release(); });
    EXPECT_GT(Ex.Failures, 0);
    EXPECT_EQ(Ex.LeakingRuns, 0);
    EXPECT_EQ(T.Views()->Count(), 0);
    // The name index forgot the views that never made it into the list.
    int I = -1;
    EXPECT_EQ(T.Views()->FindByName("_V", I), nullptr);

    // The table still works: a view over it sees every row.
    TZqDatSView *V = TZqDatSView::CreateForTable(&T, "", "I", 0);
    EXPECT_EQ(V->Rows()->Count(), 5);
}

TEST(DatSAllocFault, FailingAggregatesAndConstraintsLeaveNoHalfMadeItem)
{
    RegisterStanExpr();
    TZqDatSTable T("T");
    FillTable(T);
    TZqDatSView *V = TZqDatSView::CreateForTable(&T, "", "I", 0);
    // A grouped aggregate allocates its expression, its slot arrays and one
    // shared value per group.
    TZqDatSAggregate *Warm = V->Aggregates()->AddAggregate("W", "SUM(I)", 1);
    Warm->Free();
    TFaultRun A = FailEachAllocation([&] { V->Aggregates()->AddAggregate("A", "SUM(I)", 1); },
                                     [&] { V->Aggregates()->GetItem(0)->Free(); });
    EXPECT_GT(A.Failures, 3);
    EXPECT_EQ(A.LeakingRuns, 0);
    EXPECT_EQ(V->Aggregates()->Count(), 0);

    ZqAddUnique(T.Constraints(), "W", "I;S", false)->Free(); // room in the list
    TFaultRun C = FailEachAllocation([&] { ZqAddUnique(T.Constraints(), "U", "I;S", false); },
                                     [&] { T.Constraints()->GetItem(0)->Free(); });
    EXPECT_GT(C.Failures, 0);
    EXPECT_EQ(C.LeakingRuns, 0);
    EXPECT_EQ(T.Constraints()->Count(), 0);

    // What is left still counts the rows per group.
    TZqDatSAggregate *N = V->Aggregates()->AddAggregate("N", "COUNT(I)", 1);
    rtl::Variant X;
    N->GetValue(0, X);
    EXPECT_EQ(X.AsInteger(), 2);
}

TEST(DatSAllocFault, FailingNewRowsAndLayoutsLeaveNothing)
{
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    T.Columns()->AddColumn("S", dtAnsiString, 400); // out of line
    // The first row computes the layout as well.
    TFaultRun R = FailEachAllocation([&] { delete T.NewRow(); });
    EXPECT_GT(R.Failures, 0);
    EXPECT_EQ(R.LeakingRuns, 0);
    TZqDatSRow *Row = T.NewRow();
    SetStr(Row, 1, std::string(300, 'x'));
    T.Rows()->Add(Row);
    EXPECT_EQ(GetStr(T.Rows()->GetItem(0), 1).size(), 300u);
}
