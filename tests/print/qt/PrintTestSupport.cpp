#include "PrintTestSupport.h"

#include <QProcess>

#include "support/TestEnvironment.h"

namespace oront::test {

QString TestOutputDir() {
    return QString::fromStdString(TestOutputFolder().string());
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
