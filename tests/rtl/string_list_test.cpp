// TStringList: sorting, name=value look-ups and the delimited texts.
#include <gtest/gtest.h>

#include "platform/rtl/Classes.h"

using namespace rtl;

TEST(StringList, CaseInsensitiveByDefault)
{
    TStringList L;
    L.Add("Alpha");
    L.Add("beta");
    EXPECT_EQ(L.IndexOf("ALPHA"), 0);
    EXPECT_EQ(L.IndexOf("Beta"), 1);
    L.SetCaseSensitive(true);
    EXPECT_EQ(L.IndexOf("ALPHA"), -1);
}

TEST(StringList, SortedFindAndDuplicates)
{
    TStringList L;
    L.SetSorted(true);
    L.Add("delta");
    L.Add("Alpha");
    L.Add("charlie");
    L.Add("BRAVO");
    EXPECT_EQ(L.CommaText(), "Alpha,BRAVO,charlie,delta");
    EXPECT_EQ(L.Add("alpha"), 0); // dupIgnore: the existing index
    EXPECT_EQ(L.Count(), 4);
    int I;
    EXPECT_FALSE(L.Find("beta", I));
    EXPECT_EQ(I, 1);
    L.SetDuplicates(dupError);
    EXPECT_THROW(L.Add("DELTA"), EStringListError);
    EXPECT_THROW(L.Insert(0, "x"), EStringListError);
    L.SetDuplicates(dupAccept);
    L.Add("Charlie");
    EXPECT_EQ(L.Count(), 5);
}

TEST(StringList, NamesAndValues)
{
    TStringList L;
    L.SetText("DriverID=MSAcc\r\nDatabase=c:\\x.mdb\nnovalue\n");
    EXPECT_EQ(L.Count(), 3);
    EXPECT_EQ(L.Values("driverid"), "MSAcc");
    EXPECT_EQ(L.Names(1), "Database");
    EXPECT_EQ(L.Names(2), "");
    EXPECT_EQ(L.ValueFromIndex(-1), "");
    L.SetValue("DATABASE", "d.mdb");
    EXPECT_EQ(L[1], "DATABASE=d.mdb");
    L.SetValue("DriverID", "");
    EXPECT_EQ(L.Count(), 2);
    L.SetValue("User_Name", "sa");
    EXPECT_EQ(L.Text(), "DATABASE=d.mdb\nnovalue\nUser_Name=sa\n");
}

TEST(StringList, CommaTextQuotesAndBlanks)
{
    TStringList L;
    L.Add("plain");
    L.Add("two words");
    L.Add("say \"hi\"");
    L.Add("");
    L.Add("a,b");
    EXPECT_EQ(L.CommaText(), "plain,\"two words\",\"say \"\"hi\"\"\",,\"a,b\"");
    TStringList R;
    R.SetCommaText(L.CommaText());
    EXPECT_TRUE(R.Equals(L));
    R.SetCommaText("a b, c");
    EXPECT_EQ(R.Count(), 3); // blanks separate unquoted items
    R.SetCommaText("x,");
    EXPECT_EQ(R.Count(), 2);
    R.Clear();
    R.Add("");
    EXPECT_EQ(R.CommaText(), "\"\"");
}

TEST(StringList, StrictDelimitedText)
{
    TStringList L;
    L.SetDelimiter(';');
    L.SetStrictDelimiter(true);
    L.SetDelimitedText("a b;\"c;d\";e");
    ASSERT_EQ(L.Count(), 3);
    EXPECT_EQ(L[0], "a b");
    EXPECT_EQ(L[1], "c;d");
    EXPECT_EQ(L.DelimitedText(), "a b;\"c;d\";e");
}

TEST(StringList, ChangeEventsAndOwnedObjects)
{
    static int Freed;
    Freed = 0; // the destructor below can only reach a static
    struct TTracked : TObject {
        ~TTracked() override { ++Freed; }
    };
    int Changes = 0;
    {
        TStringList L(true);
        L.OnChange = [&](TObject *) { ++Changes; };
        L.BeginUpdate();
        L.AddObject("a", new TTracked);
        L.AddObject("b", new TTracked);
        L.EndUpdate();
        EXPECT_EQ(Changes, 1);
        L.Move(1, 0); // moving keeps the object alive
        EXPECT_EQ(Freed, 0);
        EXPECT_EQ(L[0], "b");
        L.Delete(0);
        EXPECT_EQ(Freed, 1);
    }
    EXPECT_EQ(Freed, 2);
    // A sorted list that ignores a duplicate keeps the first line's object.
    TTracked First, Second;
    TStringList S;
    S.SetSorted(true);
    S.AddObject("x", &First);
    EXPECT_EQ(S.AddObject("X", &Second), 0);
    EXPECT_EQ(S.Objects(0), &First);
}

TEST(Collection, ItemsKnowTheirIndexAndAssignCopies)
{
    struct TItem : TCollectionItem {
        std::string Value;
        void Assign(const TPersistent &Source) override { Value = dynamic_cast<const TItem &>(Source).Value; }
    };
    TCollection C([] { return std::make_unique<TItem>(); });
    static_cast<TItem *>(C.Add())->Value = "one";
    static_cast<TItem *>(C.Add())->Value = "two";
    EXPECT_EQ(C.Items(1)->Index(), 1);
    C.Items(1)->SetIndex(0);
    EXPECT_EQ(static_cast<TItem *>(C.Items(0))->Value, "two");
    TCollection D([] { return std::make_unique<TItem>(); });
    D.Assign(C);
    ASSERT_EQ(D.Count(), 2);
    EXPECT_EQ(static_cast<TItem *>(D.Items(1))->Value, "one");
    EXPECT_NE(D.Items(0), C.Items(0));
}

TEST(Component, OwnerFreesAndNotifies)
{
    static std::vector<std::string> Log;
    Log.clear(); // the destructor below can only reach a static
    struct TLogged : TComponent {
        using TComponent::TComponent;
        ~TLogged() override { Log.push_back(Name()); }
        void Notification(TComponent *C, TOperation Op) override
        {
            if (Op == opRemove) Log.push_back(Name() + " sees " + C->Name() + " go");
        }
    };
    auto *Owner = new TLogged(nullptr);
    Owner->SetName("owner");
    auto *A = new TLogged(Owner);
    A->SetName("a");
    auto *Watcher = new TLogged(nullptr);
    Watcher->SetName("w");
    A->FreeNotification(Watcher);
    EXPECT_EQ(Owner->FindComponent("A"), A);
    delete Owner;
    delete Watcher;
        // Each class's own destructor runs first, then the component base
    // tells the watchers and frees what it owns.
    EXPECT_EQ(Log, (std::vector<std::string>{"owner", "a", "w sees a go", "w"}));
}

namespace rtltest {
class TMyBase : public TComponent {
public:
    using TComponent::TComponent;
};
class TMyDerived : public TMyBase {
public:
    using TMyBase::TMyBase;
};
} // namespace rtltest

TEST(ObjectNames, ClassNameAndAncestorsByName)
{
    rtltest::TMyDerived D(nullptr);
    EXPECT_EQ(D.ClassName(), "TMyDerived");
    EXPECT_TRUE(D.InheritsFromName("TMyBase"));
    EXPECT_TRUE(D.InheritsFromName("tcomponent"));
    EXPECT_TRUE(D.InheritsFromName("TObject"));
    EXPECT_FALSE(D.InheritsFromName("TApplication"));
    TStringList L;
    EXPECT_EQ(L.ClassName(), "TStringList");
    EXPECT_TRUE(L.InheritsFromName("TStrings"));
}
