#include "PrintTestSupport.h"

#include <QDir>
#include <QProcess>

namespace oront::test {

QString TestOutputDir() {
    QString dir = qEnvironmentVariable("ORONT_TEST_OUTPUT");
    if (dir.isEmpty()) dir = QDir::tempPath() + QStringLiteral("/oront-test-output");
    QDir().mkpath(dir);
    return dir;
}

std::string RunAndRead(const QString& program, const QStringList& args, int* exitCode) {
    QProcess process;
    process.start(program, args);
    if (!process.waitForStarted(10000)) {
        if (exitCode != nullptr) *exitCode = -1;
        return {};
    }
    process.waitForFinished(60000);
    if (exitCode != nullptr) *exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return process.readAllStandardOutput().toStdString();
}

}  // namespace oront::test
