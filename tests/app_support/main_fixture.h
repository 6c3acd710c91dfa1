// The main window on a private installation: made, set up and taken down
// per test, with a scripted dialog seam of its own.
#pragma once

#include "app/uQCMain.h"
#include "platform/toolkit/TDialogs.h"
#include "tests/app_support/AppTestSupport.h"

#include <gtest/gtest.h>

#include <QWidget>

#include <memory>
#include <string>

class TTable;

namespace maintest {

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes the main window and runs its set-up; the answer of FormCreate.
    bool Start();
    // Takes the window down as closing the program does (a second Start
    // makes a new one on the same installation).
    void Stop();

    template <class T = QWidget> T *Control(const char *AName) const
    {
        T *Found = Form->findChild<T *>(QString::fromLatin1(AName));
        EXPECT_NE(Found, nullptr) << AName;
        return Found;
    }
    // Rows of a work table of the installation, read through the local
    // table engine: "ID_Cruise|Cruise_Name|..." per record, in key order.
    std::vector<std::string> WorkRows(const std::string &ATable, const std::vector<std::string> &AFields);

    std::unique_ptr<apptest::TTestInstallation> Install;
    std::unique_ptr<TScriptedDialogs> Dialogs;
    std::unique_ptr<TForm1> Form;
};

} // namespace maintest
