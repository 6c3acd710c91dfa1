// Field values and texts: empty values, native date forms, display and edit
// formats, conversions and their errors.
#include <gtest/gtest.h>

#include "tests/support/ArrayDataSet.h"

using rtl::Variant;

namespace {

class FieldFormats : public ::testing::Test {
protected:
    FieldFormats()
        : DS({{"Pres", rtl::ftFloat, 0},
              {"Flag", rtl::ftSmallint, 0},
              {"Name", rtl::ftString, 10},
              {"Date_Cast", rtl::ftDate, 0},
              {"Time_Cast", rtl::ftTime, 0},
              {"Moment", rtl::ftDateTime, 0},
              {"QC", rtl::ftBoolean, 0},
              {"ID", rtl::ftInteger, 0}})
    {
        rtl::FormatSettings.DecimalSeparator = '.';
        rtl::FormatSettings.ShortDateFormat = "MM/dd/yyyy";
        rtl::FormatSettings.LongTimeFormat = "hh:mm:ss";
        DS.AddRow({});
        DS.Open();
        DS.Edit();
    }
    TField *F(const char *N) { return DS.FieldByName(N); }
    TArrayDataSet DS;
};

} // namespace

TEST_F(FieldFormats, EmptyValuesReadAsEmptyTextAndZero)
{
    for (const char *N : {"Pres", "Flag", "Name", "Date_Cast", "Moment", "QC", "ID"}) {
        EXPECT_TRUE(F(N)->IsNull()) << N;
        EXPECT_EQ(F(N)->AsString(), "") << N;
        EXPECT_EQ(F(N)->DisplayText(), "") << N;
        EXPECT_TRUE(F(N)->AsVariant().IsNull()) << N;
    }
    EXPECT_EQ(F("Pres")->AsFloat(), 0.0);
    EXPECT_EQ(F("Flag")->AsInteger(), 0);
    EXPECT_EQ(F("ID")->AsInteger(), 0);
    EXPECT_FALSE(F("QC")->AsBoolean());
    EXPECT_EQ(F("Moment")->AsDateTime(), 0.0);
}

TEST_F(FieldFormats, NegativeDateKeepsDayAndTime)
{
    // 1899-12-29 06:00 is -1.25 (the day counts back, the time forward).
    F("Moment")->SetAsDateTime(-1.25);
    EXPECT_DOUBLE_EQ(F("Moment")->AsDateTime(), -1.25);
    EXPECT_EQ(F("Moment")->AsString(), "12/29/1899 06:00:00");
    F("Date_Cast")->SetAsDateTime(-1.25);
    EXPECT_DOUBLE_EQ(F("Date_Cast")->AsDateTime(), -1.0);
    EXPECT_EQ(F("Date_Cast")->AsString(), "12/29/1899");
    // The native form of a date is the day number with 0001-01-01 as day 1.
    int32_t Day = 0;
    ASSERT_TRUE(F("Date_Cast")->GetData(&Day));
    EXPECT_EQ(Day, 693593);
}

TEST_F(FieldFormats, TimeOfDayOnDayZero)
{
    double T = (14 * 60 + 30) / 1440.0; // 14:30 on 1899-12-30
    F("Time_Cast")->SetAsDateTime(T);
    EXPECT_EQ(F("Time_Cast")->AsString(), "14:30:00");
    static_cast<TDateTimeField *>(F("Time_Cast"))->SetDisplayFormat("hh:mm");
    EXPECT_EQ(F("Time_Cast")->DisplayText(), "14:30");
    EXPECT_EQ(F("Time_Cast")->Text(), "14:30:00"); // the edit text ignores the display format
    int32_t Ms = 0;
    ASSERT_TRUE(F("Time_Cast")->GetData(&Ms));
    EXPECT_EQ(Ms, 52200000);
    // A date-time field shows the date of day zero with the time.
    F("Moment")->SetAsDateTime(T);
    EXPECT_EQ(F("Moment")->DisplayText(), "12/30/1899 14:30:00");
    // Midnight shows the date alone.
    F("Moment")->SetAsDateTime(35000);
    EXPECT_EQ(F("Moment")->DisplayText(), "10/28/1995");
}

TEST_F(FieldFormats, FloatFormats)
{
    F("Pres")->SetAsFloat(30.5 - 0.05);
    EXPECT_EQ(F("Pres")->AsString(), "30.45");
    auto *P = static_cast<TFloatField *>(F("Pres"));
    P->SetDisplayFormat("00.000");
    F("Pres")->SetAsFloat(3.14159);
    EXPECT_EQ(F("Pres")->DisplayText(), "03.142");
    EXPECT_EQ(F("Pres")->Text(), "03.142"); // without an edit format the display format edits too
    P->SetEditFormat("0.00000");
    EXPECT_EQ(F("Pres")->Text(), "3.14159");
    P->SetEditFormat("");
    P->SetDisplayFormat("#0.0");
    F("Pres")->SetAsFloat(12.36);
    EXPECT_EQ(F("Pres")->DisplayText(), "12.4");
    F("Pres")->SetAsString(" 7.25 ");
    EXPECT_DOUBLE_EQ(F("Pres")->AsFloat(), 7.25);
    EXPECT_EQ(F("Pres")->AsInteger(), 7);
    F("Pres")->SetAsString("");
    EXPECT_TRUE(F("Pres")->IsNull());
    try {
        F("Pres")->SetAsString("x1");
        FAIL();
    } catch (EDatabaseError &E) {
        EXPECT_EQ(E.Message(), "'x1' is not a valid floating point value for field 'Pres'");
    }
}

TEST_F(FieldFormats, IntegerRangesAndTexts)
{
    F("Flag")->SetAsInteger(-3);
    EXPECT_EQ(F("Flag")->AsInteger(), -3);
    EXPECT_EQ(F("Flag")->AsString(), "-3");
    EXPECT_THROW(F("Flag")->SetAsInteger(40000), EDatabaseError); // beyond a small integer
    F("Flag")->SetAsFloat(2.5);                                  // halves go to even
    EXPECT_EQ(F("Flag")->AsInteger(), 2);
    F("ID")->SetAsString("4711");
    EXPECT_EQ(F("ID")->AsFloat(), 4711.0);
    EXPECT_THROW(F("ID")->SetAsString("47x"), EDatabaseError);
    F("ID")->SetValue(Variant(12));
    EXPECT_EQ(F("ID")->AsVariant().AsInteger(), 12);
    F("ID")->SetValue(Variant::Null());
    EXPECT_TRUE(F("ID")->IsNull());
}

TEST_F(FieldFormats, StringsAndBooleans)
{
    F("Name")->SetAsString("12");
    EXPECT_EQ(F("Name")->AsInteger(), 12);
    F("QC")->SetAsBoolean(true);
    EXPECT_EQ(F("QC")->AsString(), "True");
    EXPECT_EQ(F("QC")->AsInteger(), 1);
    F("QC")->SetAsString("f");
    EXPECT_FALSE(F("QC")->AsBoolean());
    EXPECT_FALSE(F("QC")->IsNull());
    static_cast<TBooleanField *>(F("QC"))->SetDisplayValues("Yes;No");
    EXPECT_EQ(F("QC")->DisplayText(), "No");
    EXPECT_THROW(F("QC")->SetAsString("maybe"), EDatabaseError);
    EXPECT_THROW(F("QC")->AsDateTime(), EDatabaseError); // no such reading
}

// Ten characters are ten characters in every alphabet of the Black Sea and
// the Mediterranean; one more is refused and the field keeps its value.
TEST_F(FieldFormats, ATextFieldHoldsItsSizeInCharactersOfAnyAlphabet)
{
    for (const std::string &Name : {std::string("Севастопол"), std::string("Θεσσαλονίκ"),
                                    std::string("Çanakkale "), std::string("0123456789")}) {
        F("Name")->SetAsString(Name);
        EXPECT_EQ(F("Name")->AsString(), Name);
        EXPECT_EQ(F("Name")->AsVariant().AsString(), Name);
    }
    F("Name")->SetAsString("Керчь");
    for (const std::string &TooLong : {std::string("Севастополь"), std::string("Θεσσαλονίκη"),
                                       std::string("Boğaziçi Kö"), std::string("0123456789A")}) {
        try {
            F("Name")->SetAsString(TooLong);
            ADD_FAILURE() << TooLong << " was taken";
        } catch (const EDatabaseError &E) {
            EXPECT_NE(std::string(E.what()).find("'Name' is too long: 11"), std::string::npos) << E.what();
        }
        EXPECT_EQ(F("Name")->AsString(), "Керчь");
    }
    // A character outside the 16-bit plane counts twice, as the station
    // driver's columns count it.
    EXPECT_THROW(F("Name")->SetAsString("🌊123456789"), EDatabaseError);
    F("Name")->SetAsString("🌊12345678");
    EXPECT_EQ(F("Name")->AsString(), "🌊12345678");
    EXPECT_EQ(TextCharCount("🌊"), 2);
    EXPECT_EQ(TextCharCount("Çanakkale Boğazı"), 16);
}

TEST(WideTextField, HoldsItsSizeInCharactersAndRefusesMore)
{
    TArrayDataSet DS({{"Name", rtl::ftWideString, 5}});
    DS.AddRow({});
    DS.Open();
    DS.Edit();
    TField *F = DS.FieldByName("Name");
    F->SetAsString("Ήλιος");
    EXPECT_EQ(F->AsString(), "Ήλιος");
    EXPECT_THROW(F->SetAsString("Ηλιούπολη"), EDatabaseError);
    EXPECT_EQ(F->AsString(), "Ήλιος");
}

TEST_F(FieldFormats, GetTextEventOverridesTheText)
{
    F("ID")->SetAsInteger(5);
    F("ID")->OnGetText = [](TField *Fl, std::string &T, bool Display) {
        T = (Display ? "#" : "=") + Fl->AsString();
    };
    EXPECT_EQ(F("ID")->DisplayText(), "#5");
    EXPECT_EQ(F("ID")->Text(), "=5");
    F("ID")->OnSetText = [](TField *Fl, const std::string &T) { Fl->SetAsInteger(int(T.size())); };
    F("ID")->SetText("abc");
    EXPECT_EQ(F("ID")->AsInteger(), 3);
}
