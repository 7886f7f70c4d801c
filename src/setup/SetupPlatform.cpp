#include "setup/SetupPlatform.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <QVersionNumber>
#include <array>

#include "setup/SetupResources.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/utsname.h>
#endif

namespace setup {

QString ResolveBelowCurrentFolder(const QString& strRelativePath) {
    QString strPath = strRelativePath;
    strPath.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return QDir::toNativeSeparators(QDir::cleanPath(QDir::current().absoluteFilePath(strPath)));
}

QString AppInstallerPath(const QString& strLauncherFolder) {
    const QString strMedia = ResolveBelowCurrentFolder(QString::fromLatin1(kAppInstallerPath));
    if (QFileInfo::exists(QDir::fromNativeSeparators(strMedia))) return strMedia;
    static const QRegularExpression re(QStringLiteral("^oront-v208-([0-9]+(?:\\.[0-9]+)*)-setup\\.exe$"),
                                       QRegularExpression::CaseInsensitiveOption);
    QString strBest;
    QVersionNumber best;
    const QStringList names = QDir(strLauncherFolder).entryList(QDir::Files);
    for (const QString& strName : names) {
        const QRegularExpressionMatch match = re.match(strName);
        if (!match.hasMatch()) continue;
        const QVersionNumber version = QVersionNumber::fromString(match.captured(1));
        if (strBest.isEmpty() || version > best) {
            strBest = strName;
            best = version;
        }
    }
    if (strBest.isEmpty()) return strMedia;
    return QDir::toNativeSeparators(QDir(strLauncherFolder).absoluteFilePath(strBest));
}

QString StartWithDefaultOpener(const QString& strAbsolutePath) {
    // A failure is told, and changes nothing else: the user can put the
    // installer in place and press the button again.
    const QString strFile = QDir::fromNativeSeparators(strAbsolutePath);
    const QString strShown = QDir::toNativeSeparators(strAbsolutePath);
    if (!QFileInfo::exists(strFile)) return QStringLiteral("The installer %1 is missing.").arg(strShown);
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(strFile)))
        return QStringLiteral("The system could not start %1.").arg(strShown);
    return {};
}

DialogUnits::DialogUnits(const QFontMetrics& fm) {
    // The average width of the Latin letters, rounded as Windows does for the
    // dialog base unit, and the full line height of the font.
    const QString strLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_baseX = (fm.horizontalAdvance(strLetters) / 26 + 1) / 2;
    m_baseY = fm.height();
    if (m_baseX < 1) m_baseX = 1;
    if (m_baseY < 1) m_baseY = 1;
}

bool IsMachine64Bit(std::string_view machine) {
    static constexpr std::array<std::string_view, 12> k64BitMachines = {"x86_64", "amd64",   "aarch64",     "arm64",
                                                                        "ppc64",  "ppc64le", "s390x",       "riscv64",
                                                                        "mips64", "sparc64", "loongarch64", "alpha"};
    for (std::string_view name : k64BitMachines) {
        if (machine == name) return true;
    }
    return false;
}

#if defined(_WIN32) && !defined(_WIN64)
namespace {
using LPFN_ISWOW64PROCESS = BOOL(WINAPI*)(HANDLE, PBOOL);
// Looked up at the first press of the driver button; older systems lack it.
LPFN_ISWOW64PROCESS g_fnIsWow64Process = nullptr;
}  // namespace
#endif

bool SystemIs64Bit() {
#if defined(_WIN64)
    return true;  // a 64-bit program runs only on a 64-bit system
#elif defined(_WIN32)
    return RunsUnder32BitLayer(
        g_fnIsWow64Process,
        [] {
            HMODULE hKernel = GetModuleHandleA("kernel32");
            return hKernel ? reinterpret_cast<LPFN_ISWOW64PROCESS>(
                                 reinterpret_cast<void*>(GetProcAddress(hKernel, "IsWow64Process")))
                           : nullptr;
        },
        [](LPFN_ISWOW64PROCESS fn, bool& bWow64) {
            BOOL bIsWow64 = FALSE;
            if (!fn(GetCurrentProcess(), &bIsWow64)) return false;
            bWow64 = bIsWow64 != FALSE;
            return true;
        });
#else
    if constexpr (sizeof(void*) >= 8) {
        return true;
    } else {
        struct utsname name {};
        if (uname(&name) != 0) return false;
        return IsMachine64Bit(name.machine);
    }
#endif
}

}  // namespace setup

void InitSetupResources() {
    static const bool bRegistered = [] {
        Q_INIT_RESOURCE(setup);
        return true;
    }();
    (void)bRegistered;
}
