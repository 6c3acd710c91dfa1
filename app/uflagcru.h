// Tfmflagcru: the choice of cruises whose new level flags go to the main
// database. It offers every cruise of the run's cruise table that has new
// station flags in the per-database cast-flag table.
#pragma once

#include "app/Globals.h"
#include "platform/toolkit/TForm.h"

#include <memory>
#include <string>

class QPushButton;
class QToolButton;
class TCheckListBox;
class TDataSet;
class TQuery;

namespace rtl {
class TStringList;
}

// The cruise identities of FlagCruiseList's names, in step with them: the
// write-back finds its cruises by identity, as names need not be unique.
extern TIntArr FlagCruiseIds;

class Tfmflagcru : public TForm {
public:
    explicit Tfmflagcru(QWidget *AOwner);
    ~Tfmflagcru() override;

    // Lists the cruises of ACastFlagTable (a per-database table of the work
    // folder ALocalDbDir) that ACruiseTbl holds, by name, in the order the
    // query gives them. ACruiseTbl's current record moves.
    void FillCruises(TDataSet &ACruiseTbl, const std::string &ALocalDbDir, const std::string &ACastFlagTable);
    // The cruise of each list item: names need not be unique, identities are.
    int CruiseIdOf(int AIndex) const;

    // Called when the form closes, whatever the button: AList := the names of
    // the ticked items, AIds := their cruise identities, both in list order.
    void FormClose(rtl::TStringList &AList, TIntArr &AIds) const;

    TCheckListBox *CheckListBox1;
    QToolButton *SpeedButton21; // tick all
    QToolButton *SpeedButton22; // untick all
    QToolButton *SpeedButton23; // invert
    QToolButton *SpeedButton24; // tick the highlighted
    QToolButton *SpeedButton25; // untick the highlighted
    QPushButton *BitBtn1;       // OK
    QPushButton *BitBtn2;       // Cancel
    std::unique_ptr<TQuery> Query1;

private:
    TIntArr FCruiseIds;
};
