// The dataset model against the tests' array dataset: navigation, editing
// and their event order, locate, bookmarks, filters, calculated fields and
// the data-source notifications.
#include <gtest/gtest.h>

#include "platform/dataset/TDataSource.h"
#include "tests/support/ArrayDataSet.h"

using rtl::Variant;

namespace {

using Defs = std::vector<std::tuple<std::string, rtl::TFieldType, int>>;

class DataSetFixture : public ::testing::Test {
protected:
    DataSetFixture()
        : Events(), DS(Defs{{"ID_Cruise", rtl::ftInteger, 0}, {"ID_Cast", rtl::ftInteger, 0},
                  {"Name", rtl::ftString, 10}, {"Pres", rtl::ftFloat, 0}})
    {
        DS.AddRow({17, 4711, "alpha", 10.25});
        DS.AddRow({17, 4712, "Beta", 20.5});
        DS.AddRow({18, 4711, "gamma", 30.0});
        DS.AddRow({18, 4713, Variant(), Variant()});
    }

    void Trace()
    {
        auto Log = [this](const char *N) { return [this, N](TDataSet *) { Events.push_back(N); }; };
        DS.BeforeOpen = Log("BeforeOpen");
        DS.AfterOpen = Log("AfterOpen");
        DS.BeforeClose = Log("BeforeClose");
        DS.AfterClose = Log("AfterClose");
        DS.BeforeInsert = Log("BeforeInsert");
        DS.AfterInsert = Log("AfterInsert");
        DS.BeforeEdit = Log("BeforeEdit");
        DS.AfterEdit = Log("AfterEdit");
        DS.BeforePost = Log("BeforePost");
        DS.AfterPost = Log("AfterPost");
        DS.BeforeCancel = Log("BeforeCancel");
        DS.AfterCancel = Log("AfterCancel");
        DS.BeforeDelete = Log("BeforeDelete");
        DS.AfterDelete = Log("AfterDelete");
        DS.BeforeScroll = Log("BeforeScroll");
        DS.AfterScroll = Log("AfterScroll");
        DS.OnNewRecord = Log("OnNewRecord");
    }

    std::string Names()
    {
        std::string R;
        for (DS.First(); !DS.Eof(); DS.Next())
            R += DS.FieldByName("Name")->AsString() + ",";
        return R;
    }

    // Declared first: the dataset's close on destruction still reports.
    std::vector<std::string> Events;
    TArrayDataSet DS;
};

using Strings = std::vector<std::string>;

} // namespace

TEST_F(DataSetFixture, OpenWalkAndCountFollowTheRecords)
{
    Trace();
    DS.Open();
    EXPECT_EQ(Events, (Strings{"BeforeOpen", "AfterOpen", "AfterScroll"}));
    EXPECT_EQ(DS.State(), dsBrowse);
    EXPECT_TRUE(DS.Bof());
    EXPECT_EQ(DS.RecordCount(), 4);
    EXPECT_EQ(DS.RecNo(), 1);
    Events.clear();
    DS.Next();
    DS.Next();
    EXPECT_EQ(DS.RecNo(), 3);
    EXPECT_EQ(DS.FieldByName("name")->AsString(), "gamma");
    EXPECT_EQ(Events, (Strings{"BeforeScroll", "AfterScroll", "BeforeScroll", "AfterScroll"}));
    DS.Next();
    DS.Next(); // past the last: Eof, the last record stays current
    EXPECT_TRUE(DS.Eof());
    EXPECT_EQ(DS.RecNo(), 4);
    Events.clear();
    DS.Next(); // at Eof nothing moves and nothing fires
    EXPECT_TRUE(Events.empty());
    DS.Prior();
    EXPECT_FALSE(DS.Eof());
    EXPECT_EQ(DS.FieldByName("ID_Cast")->AsInteger(), 4711);
    DS.Last();
    EXPECT_TRUE(DS.Eof());
    EXPECT_EQ(DS.RecNo(), 4);
    DS.First();
    EXPECT_TRUE(DS.Bof());
    DS.Prior();
    EXPECT_TRUE(DS.Bof());
    EXPECT_EQ(DS.RecNo(), 1);
    DS.SetRecNoValue(3);
    EXPECT_EQ(DS.FieldByName("ID_Cruise")->AsInteger(), 18);
    Events.clear();
    DS.Close();
    EXPECT_EQ(Events, (Strings{"BeforeClose", "AfterClose"}));
    EXPECT_EQ(DS.State(), dsInactive);
}

TEST_F(DataSetFixture, EmptyDataSetIsBofAndEof)
{
    TArrayDataSet Empty(Defs{{"A", rtl::ftInteger, 0}});
    Empty.Open();
    EXPECT_TRUE(Empty.IsEmpty());
    EXPECT_TRUE(Empty.Bof());
    EXPECT_TRUE(Empty.Eof());
    EXPECT_EQ(Empty.RecordCount(), 0);
    EXPECT_EQ(Empty.RecNo(), 0);
    EXPECT_TRUE(Empty.FieldByName("A")->IsNull());
    EXPECT_THROW(Empty.Delete(), EDatabaseError);
}

TEST_F(DataSetFixture, FieldByNameIsCaseInsensitiveAndReportsUnknownNames)
{
    DS.Open();
    EXPECT_EQ(DS.FieldByName("id_cast"), DS.FieldByName("ID_CAST"));
    EXPECT_EQ(DS.FindField("nope"), nullptr);
    try {
        DS.FieldByName("nope");
        FAIL();
    } catch (EDatabaseError &E) {
        EXPECT_EQ(E.Message(), "Field 'nope' not found");
    }
    EXPECT_EQ(DS.FieldCount(), 4);
    EXPECT_EQ(DS.Fields()[2]->FieldName(), "Name");
}

TEST_F(DataSetFixture, EditPostFiresInOrderAndStores)
{
    DS.Open();
    DS.Next();
    Trace();
    DS.Edit();
    EXPECT_EQ(DS.State(), dsEdit);
    DS.FieldByName("Name")->SetAsString("changed");
    EXPECT_TRUE(DS.Modified());
    DS.Post();
    EXPECT_EQ(Events, (Strings{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost"}));
    EXPECT_EQ(DS.State(), dsBrowse);
    EXPECT_EQ(DS.RecNo(), 2);
    EXPECT_EQ(Names(), "alpha,changed,gamma,,");
}

TEST_F(DataSetFixture, CancelRestoresTheRecord)
{
    DS.Open();
    Trace();
    DS.Edit();
    DS.FieldByName("Pres")->SetAsFloat(99);
    DS.Cancel();
    EXPECT_EQ(Events, (Strings{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel"}));
    EXPECT_DOUBLE_EQ(DS.FieldByName("Pres")->AsFloat(), 10.25);
}

TEST_F(DataSetFixture, MovingPostsAModifiedRecordAndCancelsAnUntouchedOne)
{
    DS.Open();
    Trace();
    DS.Edit();
    DS.FieldByName("Name")->SetAsString("moved");
    DS.Next();
    EXPECT_EQ(Events, (Strings{"BeforeEdit", "AfterEdit", "BeforePost", "AfterPost", "BeforeScroll",
                               "AfterScroll"}));
    EXPECT_EQ(DS.RecNo(), 2);
    Events.clear();
    DS.Edit();
    DS.Prior();
    EXPECT_EQ(Events, (Strings{"BeforeEdit", "AfterEdit", "BeforeCancel", "AfterCancel",
                               "BeforeScroll", "AfterScroll"}));
    EXPECT_EQ(Names(), "moved,Beta,gamma,,");
}

TEST_F(DataSetFixture, InsertPlacesBeforeCurrentAppendAtEnd)
{
    DS.Open();
    DS.Next();
    Trace();
    DS.Insert();
    EXPECT_EQ(DS.State(), dsInsert);
    DS.FieldByName("Name")->SetAsString("ins");
    DS.Post();
    EXPECT_EQ(Events, (Strings{"BeforeInsert", "BeforeScroll", "OnNewRecord", "AfterInsert",
                               "AfterScroll", "BeforePost", "AfterPost"}));
    EXPECT_EQ(DS.RecNo(), 2);
    EXPECT_EQ(DS.FieldByName("Name")->AsString(), "ins");
    Events.clear();
    DS.Append();
    DS.FieldByName("Name")->SetAsString("app");
    DS.Post();
    EXPECT_EQ(DS.RecNo(), 6);
    EXPECT_EQ(DS.RecordCount(), 6);
    EXPECT_EQ(Names(), "alpha,ins,Beta,gamma,,app,");
}

TEST_F(DataSetFixture, NewRecordDefaultsAndCancelledInsertLeaveNoRow)
{
    DS.Open();
    DS.OnNewRecord = [](TDataSet *D) { D->FieldByName("ID_Cruise")->SetAsInteger(99); };
    DS.Append();
    EXPECT_EQ(DS.FieldByName("ID_Cruise")->AsInteger(), 99);
    EXPECT_FALSE(DS.Modified()); // defaults of a new record do not count as a change
    DS.Next(); // an untouched new record is dropped
    EXPECT_EQ(DS.RecordCount(), 4);
    DS.Insert();
    DS.Cancel();
    EXPECT_EQ(DS.RecordCount(), 4);
    EXPECT_EQ(DS.State(), dsBrowse);
}

TEST_F(DataSetFixture, DeleteFiresInOrderAndMovesToTheNext)
{
    DS.Open();
    DS.Next();
    Trace();
    DS.Delete();
    EXPECT_EQ(Events, (Strings{"BeforeDelete", "BeforeScroll", "AfterDelete", "AfterScroll"}));
    EXPECT_EQ(DS.FieldByName("Name")->AsString(), "gamma");
    EXPECT_EQ(DS.RecordCount(), 3);
    DS.Last();
    DS.Delete(); // the last one: the new last becomes current
    EXPECT_EQ(DS.FieldByName("Name")->AsString(), "gamma");
}

TEST_F(DataSetFixture, RequiredFieldRefusesThePost)
{
    DS.Open();
    DS.FieldByName("Name")->SetRequired(true);
    DS.Append();
    DS.FieldByName("ID_Cast")->SetAsInteger(1);
    try {
        DS.Post();
        FAIL();
    } catch (EDatabaseError &E) {
        EXPECT_EQ(E.Message(), "Field 'Name' must have a value");
    }
    EXPECT_EQ(DS.State(), dsInsert);
    DS.Cancel();
    EXPECT_THROW(DS.FieldByName("Name")->SetAsString("x"), EDatabaseError); // not editing
}

TEST_F(DataSetFixture, LocateOneAndTwoKeyFields)
{
    DS.Open();
    EXPECT_TRUE(DS.Locate("ID_Cast", 4713));
    EXPECT_EQ(DS.RecNo(), 4);
    EXPECT_TRUE(DS.Locate("ID_Cruise;ID_Cast", rtl::VarArrayOf({18, 4711})));
    EXPECT_EQ(DS.RecNo(), 3);
    // Not found: false, the current record stays.
    EXPECT_FALSE(DS.Locate("ID_Cruise;ID_Cast", rtl::VarArrayOf({17, 4713})));
    EXPECT_EQ(DS.RecNo(), 3);
    EXPECT_FALSE(DS.Locate("Name", "BETA"));
    EXPECT_TRUE(DS.Locate("Name", "BETA", loCaseInsensitive));
    EXPECT_EQ(DS.RecNo(), 2);
    EXPECT_TRUE(DS.Locate("Name", "gam", loPartialKey));
    EXPECT_EQ(DS.RecNo(), 3);
    EXPECT_TRUE(DS.Locate("Pres", 10.25));
    EXPECT_EQ(DS.RecNo(), 1);
    EXPECT_TRUE(DS.Locate("Name", Variant::Null()));
    EXPECT_EQ(DS.RecNo(), 4);
    // Lookup reads without moving.
    EXPECT_EQ(DS.Lookup("ID_Cast", 4712, "Name").AsString(), "Beta");
    EXPECT_EQ(DS.RecNo(), 4);
    EXPECT_TRUE(DS.Lookup("ID_Cast", 1, "Name").IsNull());
}

TEST_F(DataSetFixture, BookmarksReturnToTheRecord)
{
    DS.Open();
    DS.Next();
    DS.Next();
    TBookmark B = DS.GetBookmark();
    DS.First();
    EXPECT_TRUE(DS.BookmarkValid(B));
    DS.GotoBookmark(B);
    EXPECT_EQ(DS.FieldByName("Name")->AsString(), "gamma");
    DS.Delete();
    EXPECT_FALSE(DS.BookmarkValid(B));
    EXPECT_THROW(DS.GotoBookmark(B), EDatabaseError);
}

TEST_F(DataSetFixture, FilterAndCalculatedFields)
{
    auto *Calc = new TFloatField(&DS);
    Calc->SetFieldName("Deep");
    Calc->SetFieldKind(fkCalculated);
    Calc->SetDataSet(&DS);
    // Persistent data fields for the rest (a dataset with any field creates
    // no default fields).
    for (auto [N, T] : {std::pair<const char *, rtl::TFieldType>{"ID_Cruise", rtl::ftInteger},
                        {"ID_Cast", rtl::ftInteger}, {"Pres", rtl::ftFloat}}) {
        TField *F = DefaultFieldClass(T)(&DS, T);
        F->SetFieldName(N);
        F->SetDataSet(&DS);
    }
    DS.OnCalcFields = [](TDataSet *D) {
        D->FieldByName("Deep")->SetAsFloat(D->FieldByName("Pres")->AsFloat() * 2);
    };
    DS.SetOnFilterRecord([](TDataSet *D, bool &Accept) { Accept = D->FieldByName("ID_Cruise")->AsInteger() == 18; });
    DS.Open();
    EXPECT_DOUBLE_EQ(DS.FieldByName("Deep")->AsFloat(), 20.5);
    DS.SetFiltered(true);
    std::vector<int> Casts;
    for (DS.First(); !DS.Eof(); DS.Next())
        Casts.push_back(DS.FieldByName("ID_Cast")->AsInteger());
    EXPECT_EQ(Casts, (std::vector<int>{4711, 4713}));
    DS.First();
    EXPECT_DOUBLE_EQ(DS.FieldByName("Deep")->AsFloat(), 60.0);
    EXPECT_FALSE(DS.Locate("ID_Cast", 4712)); // filtered out
    DS.Close();
}

TEST_F(DataSetFixture, FieldValidationSeesTheNewValue)
{
    DS.Open();
    DS.FieldByName("ID_Cast")->OnValidate = [](TField *F) {
        if (F->AsInteger() < 0)
            DatabaseError("negative");
    };
    DS.Edit();
    EXPECT_THROW(DS.FieldByName("ID_Cast")->SetAsInteger(-5), EDatabaseError);
    EXPECT_EQ(DS.FieldByName("ID_Cast")->AsInteger(), 4711);
    DS.FieldByName("ID_Cast")->SetAsInteger(5);
    DS.Post();
    EXPECT_EQ(DS.FieldByName("ID_Cast")->AsInteger(), 5);
}

TEST_F(DataSetFixture, DisableControlsHoldsNotificationsBack)
{
    TDataSource Src;
    int Changes = 0;
    Src.OnDataChange = [&](TDataSource *, TField *) { ++Changes; };
    Src.SetDataSet(&DS);
    DS.Open();
    EXPECT_EQ(Changes, 1); // a source starting to show a dataset
    DS.Next();
    EXPECT_EQ(Changes, 2);
    DS.DisableControls();
    DS.Next();
    DS.Next();
    DS.Edit();
    DS.FieldByName("Name")->SetAsString("quiet");
    DS.Post();
    EXPECT_EQ(Changes, 2);
    DS.EnableControls();
    EXPECT_EQ(Changes, 3); // one change for everything missed
    EXPECT_EQ(Src.State(), dsBrowse);
    DS.Edit();
    EXPECT_EQ(Src.State(), dsEdit);
    DS.Cancel();
}

namespace {

class TRecordingLink : public TDataLink {
public:
    int Scrolls = 0, Changes = 0;

protected:
    void DataSetScrolled(int) override { ++Scrolls; }
    void DataSetChanged() override { ++Changes; }
};

} // namespace

TEST_F(DataSetFixture, DataLinkWindowReadsRecordsWithoutMovingTheCursor)
{
    TDataSource Src;
    Src.SetDataSet(&DS);
    TRecordingLink Link;
    Link.SetDataSource(&Src);
    Link.SetBufferCount(3);
    Trace();
    DS.Open();
    EXPECT_EQ(Link.RecordCount(), 3);
    Events.clear();
    // Read the three buffered records the way a grid paints them.
    std::vector<std::string> Painted;
    int Old = Link.ActiveRecord();
    for (int I = 0; I < Link.RecordCount(); ++I) {
        Link.SetActiveRecord(I);
        Painted.push_back(DS.FieldByName("Name")->AsString());
    }
    Link.SetActiveRecord(Old);
    EXPECT_EQ(Painted, (Strings{"alpha", "Beta", "gamma"}));
    EXPECT_TRUE(Events.empty());
    EXPECT_EQ(DS.RecNo(), 1);
    // Scrolling past the window shifts it by one record.
    DS.Next();
    DS.Next();
    DS.Next();
    EXPECT_EQ(DS.RecNo(), 4);
    EXPECT_EQ(Link.ActiveRecord(), 2);
    Link.SetActiveRecord(0);
    EXPECT_EQ(DS.FieldByName("Name")->AsString(), "Beta");
    Link.SetActiveRecord(2);
    EXPECT_GE(Link.Scrolls, 1);
}

TEST_F(DataSetFixture, MasterLinkFollowsTheMastersKeyFields)
{
    TArrayDataSet Detail(Defs{{"ID_Cast", rtl::ftInteger, 0}});
    Detail.AddRow({4711});
    Detail.Open();
    TDataSource MasterSrc;
    MasterSrc.SetDataSet(&DS);
    TMasterDataLink Link(&Detail);
    std::vector<int> Seen;
    int Disabled = 0;
    Link.OnMasterChange = [&](TMasterDataLink *L) { Seen.push_back(L->Fields()[0]->AsInteger()); };
    Link.OnMasterDisable = [&](TMasterDataLink *) { ++Disabled; };
    Link.SetFieldNames("ID_Cast");
    Link.SetDataSource(&MasterSrc);
    DS.Open();
    DS.Next();
    DS.Edit();
    DS.FieldByName("Name")->SetAsString("x"); // not a link field: no change
    DS.FieldByName("ID_Cast")->SetAsInteger(1);
    DS.Cancel();
    DS.Close();
    // Open, scroll, edit start, the key field's change, cancel.
    EXPECT_EQ(Seen, (std::vector<int>{4711, 4712, 4712, 1, 4712}));
    EXPECT_EQ(Disabled, 2); // naming the fields without a master, and the close

}

TEST(DataSetLifetime, ADataSetGoesBeforeItsDataSource)
{
    TDataSource Src;
    int States = 0;
    Src.OnStateChange = [&](TDataSource *) { ++States; };
    {
        TArrayDataSet DS({{"A", rtl::ftInteger, 0}});
        DS.AddRow({1});
        Src.SetDataSet(&DS);
        DS.Open();
    }
    EXPECT_EQ(Src.DataSet(), nullptr);
    EXPECT_EQ(Src.State(), dsInactive);
    EXPECT_EQ(States, 2);
}

TEST_F(DataSetFixture, AFieldWhoseNameIsTakenIsRefusedByNameAndFreed)
{
    auto *Cast = new TIntegerField(&DS);
    Cast->SetFieldName("ID_Cast");
    Cast->SetDataSet(&DS);
    // The second one is handed over: refused, it goes, and the message still
    // names it (it was read from a freed field before).
    auto *Again = new TIntegerField(&DS);
    Again->SetFieldName("id_cast");
    try {
        Again->SetDataSet(&DS);
        ADD_FAILURE() << "a duplicate field name was accepted";
    } catch (const EDatabaseError &E) {
        EXPECT_NE(std::string(E.what()).find("'id_cast'"), std::string::npos) << E.what();
    }
    EXPECT_EQ(DS.Fields().Count(), 1);
    EXPECT_EQ(DS.FindField("ID_CAST"), Cast);
}
