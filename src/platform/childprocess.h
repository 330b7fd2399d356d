// Running a helper program of ours (one that reads untrusted files, so that a
// crash in it cannot take the program down) and taking its standard output
// as it comes. The call blocks until the child ends; the child never
// outlives it, whatever way it is left.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>

namespace platform {

struct ChildResult {
    enum End {
        Finished,    // ended by itself; exitCode holds its code
        Crashed,     // killed by a signal or crashed
        Silent,      // wrote nothing for the silence limit and was killed
        Stopped,     // the output handler asked to stop; killed
        NotStarted,  // could not be started
    };
    End end = NotStarted;
    int exitCode = -1;
    QByteArray standardError;  // its last 4 KiB at most
};

// Runs program with arguments (no shell). onOutput receives each piece of
// standard output in order and returns false to stop the child.
ChildResult RunChild(const QString& program, const QStringList& arguments, std::chrono::milliseconds silence,
                     const std::function<bool(const QByteArray&)>& onOutput);

// The path of a helper program: beside the running program, else in the
// folder the build put it in.
QString HelperProgram(const QString& name);

}  // namespace platform
