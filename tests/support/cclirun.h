#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>

// tessaray-cli run to its end in a process of its own, as a shell runs it.
struct CCliRun
{
    int exitCode = -1; // -1: it crashed, or was killed after a minute
    QByteArray out;
    QString err;

    static QString program()
    {
        return qEnvironmentVariable("TESSARAY_BINARY_DIR") + QStringLiteral("/cli/tessaray-cli");
    }

    // Ends a helper process the test started: asked first, then made to.
    static void end(QProcess& process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        process.terminate();
        if (!process.waitForFinished(5000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }

    static CCliRun run(const QStringList& arguments, const QByteArray& input = QByteArray(),
                       const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
    {
        CCliRun run;
        QProcess process;
        process.setProcessEnvironment(environment);
        process.start(program(), arguments);
        if (!process.waitForStarted())
            return run;
        process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000)) {
            process.kill();
            process.waitForFinished();
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = process.readAllStandardOutput();
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }
};
