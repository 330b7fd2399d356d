// What the benchmarks that drive windows share: an application object on the
// offscreen platform, and the program's database opened in a scratch folder
// that is the working directory for the rest of the run (or left for the
// main window to open there).
#pragma once

#include "appcore/schema.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

#include <memory>

struct BenchApplication {
    std::unique_ptr<QApplication> app;
    QTemporaryDir dir;

    explicit BenchApplication(bool openDatabase = true)
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char arg0[] = "bench";
        static char* argv[] = {arg0, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        QDir::setCurrent(dir.path());
        if (openDatabase)
            database.open("Quillet");
    }
};
