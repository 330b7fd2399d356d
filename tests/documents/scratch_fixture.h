// What the window tests of this folder share: a fresh database opened in a
// scratch folder that is the current one, and every print job written as a
// PDF file there. A fixture sets `pdfSetup` (resolution, margins) in its
// constructor; the folder is filled in at SetUp.
#pragma once

#include "appcore/schema.h"
#include "platform/dialogs.h"
#include "platform/printer.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class ScratchDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = QDir::currentPath();
        QDir::setCurrent(scratch.path());
        ASSERT_TRUE(database.open("Quillet"));
        pdfSetup.folder = scratch.path();
        printer = &platform::UsePdfPrinter(pdfSetup);
    }
    void TearDown() override
    {
        database.close();
        platform::UseNoPrinter();
        QDir::setCurrent(previous);
    }

    platform::PdfPrinterSetup pdfSetup;
    QTemporaryDir scratch;
    QString previous;
    platform::PdfPrinter* printer = nullptr;
    platform::ScriptedDialogs dialogs;
};
