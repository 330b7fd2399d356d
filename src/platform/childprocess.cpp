#include "platform/childprocess.h"

#include "platform/longwork.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

namespace platform {

namespace {

constexpr qsizetype kKeptErrorBytes = 4096;
constexpr int kWaitSliceMs = 20;  // the windows are painted between the waits

QString& helperFolder()
{
    static QString folder;
    return folder;
}

// Kills the child when the run is left early, also by an exception.
struct Reaper {
    QProcess& process;
    ~Reaper()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(-1);
        }
    }
};

void keepErrorTail(QProcess& process, QByteArray& kept)
{
    kept += process.readAllStandardError();
    if (kept.size() > kKeptErrorBytes)
        kept.remove(0, kept.size() - kKeptErrorBytes);
}

}  // namespace

ChildResult RunChild(const QString& program, const QStringList& arguments, ChildLimits limits,
                     const std::function<bool(const QByteArray&)>& onOutput)
{
    ChildResult result;
    LongWork busy;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setInputChannelMode(QProcess::ManagedInputChannel);
    process.start(QIODevice::ReadOnly);
    Reaper reaper{process};
    if (!process.waitForStarted(-1)) {
        result.standardError = process.errorString().toUtf8();
        return result;
    }
    QElapsedTimer quiet, running;
    quiet.start();
    running.start();
    for (;;) {
        if (process.bytesAvailable() == 0 && !process.waitForReadyRead(kWaitSliceMs)) {
            keepErrorTail(process, result.standardError);
            if (process.state() == QProcess::NotRunning)
                break;
            if (quiet.elapsed() >= limits.silence.count() || running.elapsed() >= limits.whole.count()) {
                result.end = quiet.elapsed() >= limits.silence.count() ? ChildResult::Silent : ChildResult::TooLong;
                return result;
            }
            busy.Pump();
            continue;
        }
        quiet.restart();
        keepErrorTail(process, result.standardError);
        if (!onOutput(process.readAllStandardOutput())) {
            keepErrorTail(process, result.standardError);
            result.end = ChildResult::Stopped;
            return result;
        }
        if (running.elapsed() >= limits.whole.count()) {
            result.end = ChildResult::TooLong;
            return result;
        }
        busy.Pump();
    }
    process.waitForFinished(-1);
    keepErrorTail(process, result.standardError);
    const QByteArray rest = process.readAllStandardOutput();
    if (!rest.isEmpty() && !onOutput(rest)) {
        result.end = ChildResult::Stopped;
        return result;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        result.end = ChildResult::Crashed;
    } else {
        result.end = ChildResult::Finished;
        result.exitCode = process.exitCode();
    }
    return result;
}

QString HelperProgram(const QString& name)
{
    const QString folder = helperFolder().isEmpty() ? QCoreApplication::applicationDirPath() : helperFolder();
    return folder + "/" + name;
}

void SetHelperFolder(const QString& folder) { helperFolder() = folder; }

}  // namespace platform
