// What the window tests of this folder share: a fresh database opened in a
// scratch folder that is the current one, and every print job written as a
// PDF file there. A fixture sets `pdfSetup` (resolution, margins) in its
// constructor; the folder is filled in at SetUp.
#pragma once

#include "appcore/schema.h"
#include "platform/dialogs.h"
#include "platform/printer.h"
#include "printing/pdf_pages.h"

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

    // The longest run of dark pixels along one row of page 1 of job `job`, as
    // a share of the page's width: a rule across the page comes near 1.
    double longestDarkRow(int job) const
    {
        const QImage page = PdfPageImage(printer->JobFile(job), 1, 100, scratch);
        int longest = 0;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0, run = 0; x < page.width(); ++x) {
                run = qGray(page.pixel(x, y)) < 160 ? run + 1 : 0;
                longest = std::max(longest, run);
            }
        return page.isNull() ? 1.0 : double(longest) / page.width();
    }
    platform::PdfPrinterSetup pdfSetup;
    QTemporaryDir scratch;
    QString previous;
    platform::PdfPrinter* printer = nullptr;
    platform::ScriptedDialogs dialogs;
};
