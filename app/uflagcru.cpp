// The write-back's cruise choice, built in code.
#include "app/uflagcru.h"

#include "platform/dataset/TDataSet.h"
#include "platform/dataset/TField.h"
#include "platform/localdb/LocalEngine.h"
#include "platform/localdb/TQuery.h"
#include "platform/rtl/Classes.h"
#include "platform/toolkit/TCheckListBox.h"
#include "platform/toolkit/TDialogs.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

TIntArr FlagCruiseIds;

Tfmflagcru::Tfmflagcru(QWidget *AOwner) : TForm(AOwner, "fmflagcru"), Query1(std::make_unique<TQuery>())
{
    setWindowTitle(QStringLiteral("Cruises"));
    auto *Layout = new QVBoxLayout(this); // owned by the form
    auto *Tools = new QHBoxLayout;         // owned by the form's layout
    struct TTool {
        QToolButton *&Button;
        const char *Name;
        const char *Text;
        const char *Hint;
        void (*Routine)(TCheckListBox &);
    };
    const TTool ToolDefs[] = {
        {SpeedButton21, "SpeedButton21", "All", "Select all", CheckListCheckAll},
        {SpeedButton22, "SpeedButton22", "None", "Unselect all", CheckListUncheckAll},
        {SpeedButton23, "SpeedButton23", "Inv", "Invert selection", CheckListInvert},
        {SpeedButton24, "SpeedButton24", "+Sel", "Select highlighted", CheckListCheckSelected},
        {SpeedButton25, "SpeedButton25", "-Sel", "Unselect highlighted", CheckListUncheckSelected},
    };
    CheckListBox1 = MakeControl<TCheckListBox>(this, "CheckListBox1");
    CheckListBox1->SetMultiSelect(true);
    for (const TTool &T : ToolDefs) {
        T.Button = MakeControl<QToolButton>(this, T.Name);
        T.Button->setText(QString::fromLatin1(T.Text));
        T.Button->setToolTip(QString::fromLatin1(T.Hint));
        auto *Routine = T.Routine;
        connect(T.Button, &QToolButton::clicked, this, [this, Routine] { Routine(*CheckListBox1); });
        Tools->addWidget(T.Button);
    }
    Tools->addStretch();
    Layout->addLayout(Tools);
    Layout->addWidget(CheckListBox1);

    auto *Buttons = new QHBoxLayout; // owned by the form's layout
    BitBtn1 = MakeControl<QPushButton>(this, "BitBtn1", QStringLiteral("OK"));
    BitBtn2 = MakeControl<QPushButton>(this, "BitBtn2", QStringLiteral("Cancel"));
    BitBtn1->setDefault(true);
    SetCancelButton(BitBtn2);
    Buttons->addStretch();
    Buttons->addWidget(BitBtn1);
    Buttons->addWidget(BitBtn2);
    Layout->addLayout(Buttons);
    connect(BitBtn1, &QPushButton::clicked, this, [this] { SetModalResult(mrOk); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { SetModalResult(mrCancel); });
    resize(320, 420);
}

Tfmflagcru::~Tfmflagcru() = default;

void Tfmflagcru::FillCruises(TDataSet &ACruiseTbl, const std::string &ALocalDbDir, const std::string &ACastFlagTable)
{
    Query1->Close();
    Query1->SQL().Clear();
    Query1->SetDatabaseName(ALocalDbDir);
    Query1->SQL().Add("Select Distinct ID_Cruise from " + LocalQuoteName(ACastFlagTable));
    Query1->Open();
    CheckListBox1->Clear();
    FCruiseIds.clear();
    for (Query1->First(); !Query1->Eof(); Query1->Next()) {
        const int Id = Query1->FieldByName("ID_Cruise")->AsInteger();
        // Cruises outside the run's table are not offered.
        if (ACruiseTbl.Locate("ID_Cruise", rtl::Variant(Id))) {
            CheckListBox1->AddItem(ACruiseTbl.FieldByName("Cruise_Name")->AsString());
            FCruiseIds.push_back(Id);
        }
    }
    Query1->Close();
}

int Tfmflagcru::CruiseIdOf(int AIndex) const
{
    return AIndex >= 0 && AIndex < int(FCruiseIds.size()) ? FCruiseIds[size_t(AIndex)] : 0;
}

void Tfmflagcru::FormClose(rtl::TStringList &AList, TIntArr &AIds) const
{
    AList.Clear();
    AIds.clear();
    for (int I = 0; I < CheckListBox1->Count(); ++I)
        if (CheckListBox1->Checked(I)) {
            AList.Add(CheckListBox1->ItemText(I));
            AIds.push_back(CruiseIdOf(I));
        }
}
