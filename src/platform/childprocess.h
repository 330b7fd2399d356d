// Running a helper program of ours (one that reads untrusted files, so that a
// crash in it cannot take the program down) and taking its standard output
// as it comes. The call returns when the child ends or a bound is reached;
// meanwhile the windows stay painted and the user's input is dropped as
// LongWork (platform/longwork.h) says. The child never outlives the call,
// whatever way it is left. Use it from the user-interface thread.
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
        TooLong,     // still running at the end of the whole-run limit; killed
        Stopped,     // the output handler asked to stop; killed
        NotStarted,  // could not be started
    };
    End end = NotStarted;
    int exitCode = -1;
    QByteArray standardError;  // its last 4 KiB at most
};

struct ChildLimits {
    std::chrono::milliseconds silence;  // the longest stretch without output
    std::chrono::milliseconds whole;    // the longest run
};

// Runs program with arguments (no shell). onOutput receives each piece of
// standard output in order, on this thread, and returns false to stop the child.
ChildResult RunChild(const QString& program, const QStringList& arguments, ChildLimits limits,
                     const std::function<bool(const QByteArray&)>& onOutput);

// The path of a helper program: in the helper folder, which is the running
// program's own folder unless SetHelperFolder named another (tests do).
// Nothing else is searched: whoever could write to another place could
// choose what runs.
QString HelperProgram(const QString& name);
// An empty folder goes back to the running program's.
void SetHelperFolder(const QString& folder);

}  // namespace platform
