// The list grid's office-file tests: scratch files, and Python scripts of
// the fixture writers and readers run on them.
#pragma once

#include "../scratch_files.h"
#include "grid/listgrid.h"

#include <QProcess>

using namespace grid;

class GridOffice : public ScratchFiles {
protected:
    // Runs a Python script with the scratch folder as its argument.
    std::string python(const char* script)
    {
        QProcess p;
        p.start("/usr/bin/python3", {"-c", script, scratch.path()});
        EXPECT_TRUE(p.waitForFinished(60000) && p.exitCode() == 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput().trimmed().toStdString();
    }
    static void shape(RIvuZuvuzoZuvu& g)
    {
        g.SetColCountEx(2);
        g.SetRowCountEx(2);
        g.SetFixedCols(1);
        g.SetFixedRows(1);
    }
};

