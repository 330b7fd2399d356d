// A private CUPS scheduler for tests: cupsd in the foreground with its own
// configuration in a temporary folder, listening on a socket there, with raw
// queues whose jobs a small back-end of ours copies into that folder (the
// scheduler's own file device needs filters this machine does not have).
// CUPS_SERVER names the socket from construction on: build it before the
// first printer query. The daemon is ended by its pid on destruction.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <sys/types.h>
#include <sys/wait.h>

class PrivateCups {
public:
    PrivateCups()
    {
        dir_.setAutoRemove(true);
        const QString d = dir_.path();
        QFile::setPermissions(d, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        for (const char* sub : {"state", "cache", "spool", "tmp", "out", "bin/backend"})
            QDir(d).mkpath(sub);
        const auto everyone = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                              QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther |
                              QFile::ExeOther;
        QFile::setPermissions(d + "/out", everyone);
        QFile::setPermissions(d + "/tmp", everyone);
        QFile::link("/usr/lib/cups/daemon", d + "/bin/daemon");
        QFile::link("/usr/lib/cups/notifier", d + "/bin/notifier");
        write("bin/backend/capture",
              "#!/bin/sh\n"
              "# Copies each job's document to <device path>-<job id>, its options to .options.\n"
              "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Job capture\"'; exit 0; fi\n"
              "out=\"${DEVICE_URI#capture:}-$1\"\n"
              "echo \"$5\" > \"$out.options\"\n"
              "if [ -n \"$6\" ]; then cat \"$6\" > \"$out.part\"; else cat > \"$out.part\"; fi || exit 1\n"
              "chmod 644 \"$out.part\" && mv \"$out.part\" \"$out\"\n");
        QFile::setPermissions(d + "/bin/backend/capture", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                              QFile::ReadGroup | QFile::ExeGroup |
                                                              QFile::ReadOther | QFile::ExeOther);
        write("cupsd.conf", QString("Listen %1\nLogLevel warn\nWebInterface No\nBrowsing Off\n"
                                    "DefaultAuthType None\n<Location />\n  Order allow,deny\n  Allow all\n"
                                    "</Location>\n<Policy default>\n  <Limit All>\n    Order deny,allow\n"
                                    "  </Limit>\n</Policy>\n")
                                .arg(socket()));
        write("cups-files.conf",
              QString("FileDevice Yes\nUser lp\nGroup lp\nSystemGroup root\nServerRoot %1\nStateDir %1/state\n"
                      "CacheDir %1/cache\nRequestRoot %1/spool\nTempDir %1/tmp\nServerBin %1/bin\n"
                      "DataDir /usr/share/cups\nAccessLog %1/access_log\nErrorLog %1/error_log\n"
                      "PageLog %1/page_log\nSandboxing Relaxed\n")
                  .arg(d));
        qputenv("CUPS_SERVER", socket().toUtf8());
        Start();
    }

    ~PrivateCups() { Stop(); }

    // Starts the scheduler (again); true once it listens. Its queues are kept
    // in the folder across a Stop and Start.
    bool Start()
    {
        const QString d = dir_.path();
        daemon_.setProgram("cupsd");
        daemon_.setArguments({"-f", "-c", d + "/cupsd.conf", "-s", d + "/cups-files.conf"});
        daemon_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        daemon_.start();
        if (!daemon_.waitForStarted(10000))
            return false;
        for (int i = 0; i < 100 && !QFile::exists(socket()); ++i)
            QThread::msleep(50);
        running_ = QFile::exists(socket());
        return running_;
    }
    // Ends the scheduler by its pid, as a restart of the system's would.
    void Stop()
    {
        if (daemon_.state() != QProcess::NotRunning && daemon_.processId() > 0) {
            ::kill(pid_t(daemon_.processId()), SIGTERM);
            daemon_.waitForFinished(10000);
        }
        QFile::remove(socket());
        running_ = false;
    }

    bool Running() const { return running_; }
    QString socket() const { return dir_.path() + "/cups.sock"; }
    QString Folder() const { return dir_.path(); }

    // A queue whose jobs land in JobFile(queue, id): raw, or described by a
    // PPD text (which should take PDF as it is: *cupsFilter: "application/pdf 0 -").
    bool AddQueue(const QString& queue, const QString& ppd = {})
    {
        QStringList args{"-p", queue, "-E", "-v", "capture:" + prefix(queue)};
        if (!ppd.isEmpty()) {
            write(queue + ".ppd", ppd);
            args << "-P" << dir_.path() + "/" + queue + ".ppd";
        }
        return admin("lpadmin", args);
    }
    QString JobFile(const QString& queue, int job) const { return prefix(queue) + "-" + QString::number(job); }
    // The options the queue handed to the device with the job.
    QString JobOptions(const QString& queue, int job) const
    {
        QFile f(JobFile(queue, job) + ".options");
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // The files of the jobs a queue has written so far.
    QStringList JobFiles(const QString& queue) const
    {
        const QRegularExpression job("^" + QRegularExpression::escape(queue) + "-\\d+$");
        return QDir(dir_.path() + "/out").entryList(QDir::Files).filter(job);
    }
    // Waits until a queue has written `count` jobs.
    bool WaitForJobs(const QString& queue, int count) const
    {
        for (int i = 0; i < 200 && JobFiles(queue).size() < count; ++i)
            QThread::msleep(50);
        return JobFiles(queue).size() >= count;
    }
    // Waits until the job's file is there (the scheduler runs jobs in the background).
    bool WaitForJob(const QString& queue, int job) const
    {
        for (int i = 0; i < 200 && !QFile::exists(JobFile(queue, job)); ++i)
            QThread::msleep(50);
        return QFile::exists(JobFile(queue, job));
    }
    // Runs one of the CUPS admin tools (cupsreject, cupsdisable, ...) against this scheduler.
    bool admin(const QString& tool, const QStringList& args) const
    {
        QProcess p;
        p.start(tool, args);
        return p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    }

private:
    QString prefix(const QString& queue) const { return dir_.path() + "/out/" + queue; }
    void write(const QString& name, const QString& text)
    {
        QFile f(dir_.path() + "/" + name);
        if (f.open(QIODevice::WriteOnly))
            f.write(text.toUtf8());
    }

    QTemporaryDir dir_;
    QProcess daemon_;
    bool running_ = false;
};
