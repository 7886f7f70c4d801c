#include "setup/CSetupApp.h"

#include "setup/CSetupDlg.h"

CSetupApp::CSetupApp(int& argc, char** argv) : QApplication(argc, argv) {}

bool CSetupApp::InitInstance() {
    // The launcher stores no settings; the organisation name only names the
    // place where the framework would keep them.
    setOrganizationName(QStringLiteral("Oront Technology"));
    setApplicationName(QStringLiteral("Setup"));
    setApplicationVersion(QStringLiteral("2.61"));

    CSetupDlg dlg;
    dlg.exec();
    return false;
}
