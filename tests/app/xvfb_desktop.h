#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A private X display (Xvfb) for tests that drive the real program with
// xdotool, stopped with the object.
namespace testing_support {

class XvfbDesktop {
public:
    bool Start() {
        xvfb_.start(QStringLiteral("Xvfb"),
                    {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1024x768x24"});
        if (!xvfb_.waitForStarted(10000)) return false;
        QDeadlineTimer deadline(20000);
        while (!xvfb_.canReadLine() && !deadline.hasExpired()) xvfb_.waitForReadyRead(200);
        const QString number = QString::fromLatin1(xvfb_.readLine()).trimmed();
        if (number.isEmpty()) return false;
        display_ = QLatin1Char(':') + number;
        return true;
    }
    ~XvfbDesktop() {
        xvfb_.terminate();
        xvfb_.waitForFinished(5000);
    }
    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("DISPLAY"), display_);
        env.insert(QStringLiteral("QT_FONT_DPI"), QStringLiteral("96"));
        return env;
    }
    // Runs xdotool on this display; its output, trimmed.
    QString Xdotool(const QStringList& arguments) const {
        QProcess tool;
        tool.setProcessEnvironment(Environment());
        tool.start(QStringLiteral("xdotool"), arguments);
        tool.waitForFinished(20000);
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

private:
    QProcess xvfb_;
    QString display_;
};

}  // namespace testing_support
