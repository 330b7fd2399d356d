// The scanner library's "test" backend, configured for one test: a private
// folder holding a dll.conf that names only "test" (no network discovery) and
// a test.conf with the backend's defaults plus the options given, made the
// library's configuration folder through SANE_CONFIG_DIR. The library is
// loaded under its usual name. The backend reads its settings when the
// library is started (OpenSourceManager), so Configure between sessions.
#pragma once

#include "platform/sharedlibrary.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

#include <map>
#include <string>

class SaneTestBackend {
public:
    using Options = std::map<std::string, std::string>;

    explicit SaneTestBackend(const Options& options = {})
    {
        platform::SetScannerLibraryName("libsane.so.1");
        SetBackends("test\n");
        Configure(options);
        qputenv("SANE_CONFIG_DIR", dir_.path().toLocal8Bit());
    }
    ~SaneTestBackend() { qunsetenv("SANE_CONFIG_DIR"); }

    // Text values go in quotes, e.g. {"test-picture", "\"Color pattern\""}.
    void Configure(const Options& options)
    {
        Options all = {{"number_of_devices", "2"}, {"mode", "Gray"}, {"depth", "8"},
                       {"hand-scanner", "false"}, {"three-pass", "false"}, {"three-pass-order", "RGB"},
                       {"resolution", "50.0"}, {"test-picture", "\"Solid black\""}, {"read-limit", "false"},
                       {"read-delay", "false"}, {"read-status-code", "\"Default\""}, {"tl_x", "0.0"},
                       {"tl_y", "0.0"}, {"br_x", "80.0"}, {"br_y", "100.0"}};
        for (const auto& [key, value] : options) all[key] = value;
        std::string text;
        for (const auto& [key, value] : all) text += key + " " + value + "\n";
        write("test.conf", QByteArray::fromStdString(text));
    }

    // The backends the library loads, one a line (empty: no scanner at all).
    void SetBackends(const QByteArray& names) { write("dll.conf", names); }

private:
    void write(const QString& name, const QByteArray& bytes)
    {
        QFile f(dir_.filePath(name));
        if (f.open(QIODevice::WriteOnly)) f.write(bytes);
    }
    QTemporaryDir dir_;
};
