// Platform services of the installer launcher: the dialog-unit conversion of
// its templates, the paths of the installers it starts, the word-size test and
// the start of a program through the platform's default opener.
#pragma once

#include <QFontMetrics>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <string_view>

namespace setup {

// Programs started by the launcher, relative to its current folder, written
// with backslashes as the Windows shell expects them.
inline constexpr const char* kAppInstallerPath = ".\\Oront V208 Software\\setup.exe";
inline constexpr const char* kDriverInstaller32Path = ".\\Custom USB Device\\dpinst.exe";
inline constexpr const char* kDriverInstaller64Path = ".\\Custom USB Device\\dpinst64.exe";

// What the buttons say where the Windows installers do not apply.
inline constexpr const char* kPackageHint =
    "On Linux, Oront V208 Software is installed as a package, which brings the program, its menu entry, "
    "the command-line tool and the rule that gives access to the instrument:\n\n"
    "    sudo apt install ./oront-v208_<version>_amd64.deb\n\n"
    "The README of the sources says how the package is built.";
inline constexpr const char* kNoDriverHint =
    "On Linux the instrument needs no driver. The udev rule that the package installs "
    "(70-oront-v208.rules) gives the user at the computer access to it; plug the instrument in again "
    "after installing the package.";

// The driver installer for the operating system's word size.
inline const char* DriverInstallerPath(bool bSystemIs64Bit) {
    return bSystemIs64Bit ? kDriverInstaller64Path : kDriverInstaller32Path;
}

// Turns a relative installer path into an absolute path below the process's
// current folder, with the platform's separators.
QString ResolveBelowCurrentFolder(const QString& strRelativePath);

// The application installer to start: kAppInstallerPath below the current
// folder where the media carry it; otherwise the release's own installer,
// oront-v208-<version>-setup.exe, in the launcher's folder (the highest
// version when there are several); otherwise kAppInstallerPath again, so
// that the message names where it belongs. Absolute, native separators.
QString AppInstallerPath(const QString& strLauncherFolder);

// Starts a program through the platform's default opener (the shell's default
// verb on Windows), without waiting. Returns why it could not (the file is
// missing, or the system refused to start it), or an empty text.
QString StartWithDefaultOpener(const QString& strAbsolutePath);

// Dialog units of a window template: horizontal units are a quarter of the
// font's average character width, vertical units an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFontMetrics& fm);
    DialogUnits(int nBaseX, int nBaseY) : m_baseX(nBaseX), m_baseY(nBaseY) {}

    int X(int nDlu) const { return MulDivRound(nDlu, m_baseX, 4); }
    int Y(int nDlu) const { return MulDivRound(nDlu, m_baseY, 8); }
    QPoint Point(int x, int y) const { return {X(x), Y(y)}; }
    QSize Size(int cx, int cy) const { return {X(cx), Y(cy)}; }
    QRect Rect(int x, int y, int cx, int cy) const { return {Point(x, y), Size(cx, cy)}; }
    int BaseX() const { return m_baseX; }
    int BaseY() const { return m_baseY; }

private:
    static int MulDivRound(int a, int b, int c) { return (a * b + c / 2) / c; }
    int m_baseX;
    int m_baseY;
};

// The word-size test of a 32-bit Windows build: whether the process runs under
// the 32-bit layer of a 64-bit system. `cache` holds the looked-up query and
// stays empty while the look-up finds nothing, so a later call looks again.
// `call(query, bWow64)` returns false when the query itself fails. A missing
// or failing query counts as "no".
template <typename Query, typename Lookup, typename Call>
bool RunsUnder32BitLayer(Query& cache, Lookup&& lookup, Call&& call) {
    bool bAnswer = false;
    if (!cache) cache = lookup();
    if (cache) {
        bool bWow64 = false;
        if (call(cache, bWow64) && bWow64) bAnswer = true;
    }
    return bAnswer;
}

// Whether a machine name as uname(2) reports it names a 64-bit architecture.
bool IsMachine64Bit(std::string_view machine);

// Whether the running operating system is a 64-bit system: the test of this
// build's word size (see RunsUnder32BitLayer for 32-bit Windows builds).
bool SystemIs64Bit();

}  // namespace setup
