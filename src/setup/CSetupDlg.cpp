#include "setup/CSetupDlg.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QShowEvent>

#include "setup/CAboutDlg.h"
#include "setup/CBitmapButton.h"
#include "setup/SetupPlatform.h"
#include "setup/SetupResources.h"

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace {

struct PictureButton {
    int nId;
    const char* pszCaption;
    int x, y;  // dialog units
    const char* pszNormal;
    const char* pszPressed;
    QSize size;  // pixels
};

// Template order: the buttons take the focus in this order.
constexpr PictureButton kButtons[] = {
    {CSetupDlg::IDC_INSTALL_DRIVER, "Install Custom Usb Device", 166, 121, setup::kBitmap132, setup::kBitmap137,
     QSize(207, 42)},
    {CSetupDlg::IDC_EXIT, "Exit", 212, 167, setup::kBitmap133, setup::kBitmap135, QSize(207, 41)},
    {CSetupDlg::IDC_INSTALL_APP, "Install Oront V208 Software", 120, 76, setup::kBitmap131, setup::kBitmap136,
     QSize(207, 42)},
};

}  // namespace

CSetupDlg::CSetupDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_fnStartProgram(setup::StartWithDefaultOpener),
      m_fnShowMessage(
          [this](const QString& strText) { QMessageBox::information(this, QStringLiteral("Installer"), strText); }),
      m_fnSystemIs64Bit(setup::SystemIs64Bit),
#if defined(Q_OS_WIN)
      m_bStartsInstallers(true) {
#else
      m_bStartsInstallers(false) {
#endif
    InitSetupResources();
    m_strLauncherFolder = QCoreApplication::applicationDirPath();
    m_hIcon = QIcon(QString::fromLatin1(setup::kIcon128));
    setObjectName(QString::number(IDD));
    setWindowTitle(QStringLiteral("Installer"));
    setWindowIcon(m_hIcon);

    const setup::DialogUnits dlu(fontMetrics());
    setFixedSize(dlu.Size(343, 227));

    // The background picture is fitted over the whole client area (the
    // template's picture control is one unit shorter, which would leave a
    // seam of window colour at the bottom with fonts other than its own).
    m_pPicture = new QLabel(this);
    m_pPicture->setGeometry(rect());
    m_pPicture->setPixmap(
        RenderSvgPicture(QString::fromLatin1(setup::kBitmap129), m_pPicture->size(), devicePixelRatioF()));
    m_pPicture->setFocusPolicy(Qt::NoFocus);

    for (const PictureButton& def : kButtons) {
        auto* pButton = new CBitmapButton(this);
        pButton->setObjectName(QString::number(def.nId));
        pButton->setText(QString::fromLatin1(def.pszCaption));
        pButton->setAccessibleName(pButton->text());
        pButton->move(dlu.Point(def.x, def.y));
        const QString strNormal = QString::fromLatin1(def.pszNormal);
        const QString strPressed = QString::fromLatin1(def.pszPressed);
        pButton->LoadBitmaps(strNormal, strPressed, strNormal, strPressed, def.size);
        pButton->SizeToContent();
        switch (def.nId) {
            case IDC_INSTALL_APP:
                m_btnPicture[0] = pButton;
                connect(pButton, &QAbstractButton::clicked, this, &CSetupDlg::OnInstallApp);
                break;
            case IDC_INSTALL_DRIVER:
                m_btnPicture[1] = pButton;
                connect(pButton, &QAbstractButton::clicked, this, &CSetupDlg::OnInstallDriver);
                break;
            default:
                m_btnPicture[2] = pButton;
                connect(pButton, &QAbstractButton::clicked, this, &CSetupDlg::OnExit);
                break;
        }
    }

#if !defined(Q_OS_WIN)
    // Without a system menu to extend, the About entry lives on the window's
    // context menu and on F1.
    m_pActAbout = new QAction(QString::fromLatin1(setup::kAboutMenuText), this);
    m_pActAbout->setObjectName(QString::number(IDM_ABOUTBOX));
    m_pActAbout->setShortcut(QKeySequence(Qt::Key_F1));
    m_pActAbout->setShortcutContext(Qt::WindowShortcut);
    connect(m_pActAbout, &QAction::triggered, this, &CSetupDlg::OnAbout);
    addAction(m_pActAbout);
    setContextMenuPolicy(Qt::ActionsContextMenu);
#endif
}

CSetupDlg::~CSetupDlg() = default;

CBitmapButton* CSetupDlg::Button(int nId) const {
    switch (nId) {
        case IDC_INSTALL_APP:
            return m_btnPicture[0];
        case IDC_INSTALL_DRIVER:
            return m_btnPicture[1];
        case IDC_EXIT:
            return m_btnPicture[2];
        default:
            return nullptr;
    }
}

void CSetupDlg::StartInstaller(const char* pszRelativePath) {
    // Resolved at each press, so the launcher's current folder at that moment
    // applies, as with a shell start without a working folder of its own.
    if (!m_fnStartProgram) return;
    StartProgram(setup::ResolveBelowCurrentFolder(QString::fromLatin1(pszRelativePath)));
}

void CSetupDlg::StartProgram(const QString& strPath) {
    if (!m_fnStartProgram) return;
    const QString strWhy = m_fnStartProgram(strPath);
    if (!strWhy.isEmpty() && m_fnShowMessage) m_fnShowMessage(strWhy);
}

void CSetupDlg::OnInstallApp() {
    if (!m_bStartsInstallers) {
        if (m_fnShowMessage) m_fnShowMessage(QString::fromLatin1(setup::kPackageHint));
        return;
    }
    StartProgram(setup::AppInstallerPath(m_strLauncherFolder));
}

void CSetupDlg::OnInstallDriver() {
    if (!m_bStartsInstallers) {
        if (m_fnShowMessage) m_fnShowMessage(QString::fromLatin1(setup::kNoDriverHint));
        return;
    }
    const bool bSystemIs64Bit = m_fnSystemIs64Bit ? m_fnSystemIs64Bit() : false;
    StartInstaller(setup::DriverInstallerPath(bSystemIs64Bit));
}

void CSetupDlg::OnExit() {
    done(kEndCodeCancel);
}

void CSetupDlg::reject() {
    done(kEndCodeCancel);
}

void CSetupDlg::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            done(kEndCodeOk);
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void CSetupDlg::OnAbout() {
    CAboutDlg dlgAbout(this);
    dlgAbout.exec();
}

#if defined(Q_OS_WIN)
void CSetupDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_bSystemMenuExtended) return;
    m_bSystemMenuExtended = true;
    const QString strAboutMenu = QString::fromLatin1(setup::kAboutMenuText);
    HMENU hSysMenu = GetSystemMenu(reinterpret_cast<HWND>(winId()), FALSE);
    if (hSysMenu != nullptr && !strAboutMenu.isEmpty()) {
        AppendMenuW(hSysMenu, MF_SEPARATOR, 0, nullptr);
        AppendMenuW(hSysMenu, MF_STRING, IDM_ABOUTBOX, reinterpret_cast<LPCWSTR>(strAboutMenu.utf16()));
    }
}

bool CSetupDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    if (eventType == "windows_generic_MSG") {
        const MSG* pMsg = static_cast<const MSG*>(message);
        if (pMsg->message == WM_SYSCOMMAND && (pMsg->wParam & 0xFFF0) == IDM_ABOUTBOX) {
            // Open the box after the native handler has returned.
            QMetaObject::invokeMethod(this, &CSetupDlg::OnAbout, Qt::QueuedConnection);
            *result = 0;
            return true;
        }
    }
    return QDialog::nativeEvent(eventType, message, result);
}
#endif
