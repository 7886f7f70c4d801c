// The launcher window: a fixed-size picture dialog with three picture buttons
// that start the application installer, start the driver installer for the
// system's word size, or end the launcher.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QString>
#include <array>
#include <functional>

class QAction;
class QLabel;
class CBitmapButton;

class CSetupDlg : public QDialog {
    Q_OBJECT
public:
    enum { IDD = 102 };
    enum : int {
        IDC_INSTALL_DRIVER = 1002,
        IDC_EXIT = 1003,
        IDC_INSTALL_APP = 1006,
        IDM_ABOUTBOX = 16,
        kEndCodeOk = 1,
        kEndCodeCancel = 2,
    };

    explicit CSetupDlg(QWidget* parent = nullptr);
    ~CSetupDlg() override;

    // Starts a program given by its absolute path without waiting for it;
    // returns why it could not, or an empty text. Replaced by tests so that
    // nothing is started.
    std::function<QString(const QString& strAbsolutePath)> m_fnStartProgram;
    // Shows a message to the user (a failed start, what to do on Linux);
    // replaced by tests so that no modal box waits.
    std::function<void(const QString& strText)> m_fnShowMessage;
    // Answers whether the operating system is a 64-bit system.
    std::function<bool()> m_fnSystemIs64Bit;
    // Whether the buttons start the Windows installers beside the launcher.
    // Elsewhere the program comes as a package and needs no driver, and the
    // buttons say so.
    bool m_bStartsInstallers;
    // The folder the release's own installer is looked for in where the
    // media's is missing: the launcher's folder.
    QString m_strLauncherFolder;

    CBitmapButton* Button(int nId) const;
    // The "About Setup(&A)..." entry of the window menu (context menu and F1
    // where the platform has no system menu to extend); null on Windows.
    QAction* AboutAction() const { return m_pActAbout; }

    void OnInstallApp();
    void OnInstallDriver();
    void OnExit();
    void OnAbout();

    // Escape, the close box and Exit all end the window with end code 2.
    void reject() override;

protected:
    // Enter is the dialog's OK command: it ends the window with end code 1,
    // as the picture buttons are no push buttons that could take it.
    void keyPressEvent(QKeyEvent* event) override;
#if defined(Q_OS_WIN)
    void showEvent(QShowEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
#endif

private:
    void StartInstaller(const char* pszRelativePath);
    void StartProgram(const QString& strPath);

    QIcon m_hIcon;
    QLabel* m_pPicture = nullptr;
    // The picture buttons 1006, 1002 and 1003.
    std::array<CBitmapButton*, 3> m_btnPicture{};
    QAction* m_pActAbout = nullptr;
#if defined(Q_OS_WIN)
    bool m_bSystemMenuExtended = false;
#endif
};
