#include "platform/childprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>

namespace platform {

namespace {

constexpr qsizetype kKeptErrorBytes = 4096;

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

ChildResult RunChild(const QString& program, const QStringList& arguments, std::chrono::milliseconds silence,
                     const std::function<bool(const QByteArray&)>& onOutput)
{
    ChildResult result;
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
    QElapsedTimer quiet;
    quiet.start();
    for (;;) {
        const qint64 left = silence.count() - quiet.elapsed();
        if (process.bytesAvailable() == 0 && !process.waitForReadyRead(static_cast<int>(std::max<qint64>(left, 0)))) {
            keepErrorTail(process, result.standardError);
            if (process.state() == QProcess::NotRunning)
                break;
            if (quiet.elapsed() >= silence.count()) {
                result.end = ChildResult::Silent;
                return result;
            }
            continue;
        }
        quiet.restart();
        keepErrorTail(process, result.standardError);
        if (!onOutput(process.readAllStandardOutput())) {
            keepErrorTail(process, result.standardError);
            result.end = ChildResult::Stopped;
            return result;
        }
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
    const QString beside = QCoreApplication::applicationDirPath() + "/" + name;
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStringLiteral(QUILLET_HELPER_DIR "/") + name;
}

}  // namespace platform
