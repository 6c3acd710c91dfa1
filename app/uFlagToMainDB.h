// TfmFlagToMainDB: the confirmation that opens the flag write-back. Only Yes
// goes on; No and Help leave the main database as it is.
#pragma once

#include "platform/toolkit/TForm.h"

class QLabel;
class QPushButton;

class TfmFlagToMainDB : public TForm {
public:
    explicit TfmFlagToMainDB(QWidget *AOwner);

    QLabel *Label1;
    QLabel *Label2;
    QPushButton *BitBtn1; // Yes
    QPushButton *BitBtn2; // No
    QPushButton *BitBtn3; // Help
};
