#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace testing_support {

struct Finished {
    int status = -1;
    QString out;
    QString err;
    QByteArray outBytes;
};

// Runs the real program with no display at all, as from a terminal on a
// machine without one, and waits for it to end by itself.
inline Finished RunLeverans(const QStringList& arguments, const QString& folder = QString(),
                            const QProcessEnvironment& extra = QProcessEnvironment()) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    for (const QString& key : extra.keys()) env.insert(key, extra.value(key));
    process.setProcessEnvironment(env);
    if (!folder.isEmpty()) process.setWorkingDirectory(folder);
    process.start(QStringLiteral(LEVERANS_BINARY), arguments);
    Finished done;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return done;
    }
    done.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    done.outBytes = process.readAllStandardOutput();
    done.out = QString::fromUtf8(done.outBytes);
    done.err = QString::fromUtf8(process.readAllStandardError());
    return done;
}

}  // namespace testing_support
