// Holding views, tables and managers through their reference count: the
// holder counts itself in and out, the last one out frees the object, and
// moving, re-holding the same object or holding an uncounted one frees
// nothing on the way.
#include <gtest/gtest.h>

#include <utility>

#include "dataaccess/dats/qxZqDatSColumn.h"
#include "dataaccess/dats/qxZqDatSManager.h"
#include "dataaccess/dats/qxZqDatSTable.h"
#include "dataaccess/dats/qxZqDatSView.h"

using namespace dats;

namespace {

// A view counted from AInitial, in its table's view list until it is freed.
TZqDatSView *CountedView(TZqDatSTable &ATable, int AInitial)
{
    TZqDatSView *V = ATable.Select("", "I");
    V->CountRef(AInitial);
    return V;
}

} // namespace

TEST(DatSRef, TheLastHolderOutFreesTheView)
{
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    TZqDatSView *V = CountedView(T, 0);
    {
        TZqDatSRef<TZqDatSView> A(V);
        TZqDatSRef<TZqDatSView> B = A;
        TZqDatSRef<TZqDatSView> C;
        C = B;
        A.Reset();
        B.Reset();
        EXPECT_EQ(T.Views()->Count(), 1);
        EXPECT_EQ(C.Get(), V);
    }
    EXPECT_EQ(T.Views()->Count(), 0);
}

TEST(DatSRef, AdoptedReferencesMovesAndReholdingCountNothingTwice)
{
    TZqDatSTable T("T");
    T.Columns()->AddColumn("I", dtInt32);
    auto A = TZqDatSRef<TZqDatSView>::Adopt(CountedView(T, 1));
    A.Reset(A.Get()); // the same view again: still held once
    A = A;
    TZqDatSRef<TZqDatSView> B(std::move(A));
    EXPECT_EQ(A.Get(), nullptr);
    TZqDatSRef<TZqDatSView> C;
    C = std::move(B);
    EXPECT_EQ(T.Views()->Count(), 1);

    // Holding another view lets go of the first.
    TZqDatSView *W = CountedView(T, 0);
    C.Reset(W);
    EXPECT_EQ(T.Views()->Count(), 1);
    EXPECT_EQ(T.Views()->GetItem(0), W);

    // A detached view is the caller's to release.
    TZqDatSView *D = C.Detach();
    EXPECT_EQ(C.Get(), nullptr);
    D->AddRef();
    D->Release();
    EXPECT_EQ(T.Views()->Count(), 1);
}

TEST(DatSRef, AnObjectWhoseCountNeverStartedIsOnlyPointedAt)
{
    TZqDatSTable T("T");
    {
        TZqDatSRef<TZqDatSTable> A(&T);
        TZqDatSRef<TZqDatSTable> B = A;
        EXPECT_EQ(B->Name(), "T");
    }
    EXPECT_EQ(T.Name(), "T"); // still there: the stack owns it

    auto *M = new TZqDatSManager();
    M->CountRef(0);
    TZqDatSRef<TZqDatSManager> Holder(M);
    TZqDatSRef<TZqDatSManager> Other(M);
    Holder.Reset();
    EXPECT_EQ(Other.Get(), M); // freed by Other's destructor, under ASan's eye
}
