#include "print/qt/PrintPreViewParent.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QPrinter>
#include <QScreen>
#include <QToolButton>
#include <algorithm>

#include "base/Messages.h"
#include "controls/qt/Resources.h"
#include "print/qt/PrintDialogs.h"
#include "print/qt/ReportPrinter.h"
#include "records/CFormat.h"

namespace oront {

namespace {
const QColor kFrameBackground(60, 70, 100);
}  // namespace

void OnDataPrint(const RecordStore& store, QWidget* mainWindow) {
    if (store.m_nRecordCount <= 0) return;
    PrintRequest request;
    request.nRowCount = store.m_nReportLineCount;
    request.nCurrentPage = 1;
    request.nMode = 0;
    request.hOwnerWnd = mainWindow;
    CPrintPreViewParent frame(request, MakeReportCallback(store), mainWindow);
    frame.exec();
}

CPrintPreViewParent::CPrintPreViewParent(const PrintRequest& request, ReportCallbackFn callback, QWidget* parent)
    : QDialog(parent), m_request(request), m_pfnCallback(std::move(callback)) {
    setObjectName(QStringLiteral("164"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                   Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);

    // Opening: A4 landscape, page count, first page.
    g_nPageWidthMM = kDefaultPageWidthMM;
    g_nPageHeightMM = kDefaultPageHeightMM;
    m_nRowsPerPage = FitReportToPage(g_nPageWidthMM, g_nPageHeightMM).rowsPerPage;
    m_request.nRowsPerPage = m_nRowsPerPage;
    m_nRowCount = m_request.nRowCount;
    m_nPageCount = ReportPageCount(m_nRowCount, m_nRowsPerPage);
    m_request.nPageCount = m_nPageCount;
    m_request.nEndPage = m_nPageCount;
    m_request.nStartPage = 1;

    OnInitDialog();
}

CPrintPreViewParent::~CPrintPreViewParent() = default;

void CPrintPreViewParent::OnInitDialog() {
    // The hidden list box holds the focus while nothing else has it.
    m_wndFocusList = new QListWidget(this);
    m_wndFocusList->setObjectName(QStringLiteral("1007"));
    m_wndFocusList->setGeometry(-500, -1000, 10, 10);
    m_wndFocusList->installEventFilter(this);

    m_wndSeparator = new QFrame(this);
    m_wndSeparator->setObjectName(QStringLiteral("1029"));
    m_wndSeparator->setFrameStyle(QFrame::Box | QFrame::Sunken);
    m_wndSeparator->setAutoFillBackground(true);
    QPalette black = m_wndSeparator->palette();
    black.setColor(QPalette::Window, Qt::black);
    black.setColor(QPalette::WindowText, Qt::black);
    m_wndSeparator->setPalette(black);

    setWindowIcon(ResourceIcon(res::kIconPrintPreview));

    // Placement from the screen's resolution and size; kept on the screen
    // when the page is wider than it.
    QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) {
        const QRect sg = screen->geometry();
        const int px = static_cast<int>(screen->logicalDotsPerInchX());
        const int py = static_cast<int>(screen->logicalDotsPerInchY());
        FrameRect r = PlaceFrameWindow(px, py, sg.width(), sg.height(), g_nPageWidthMM, g_nPageHeightMM);
        r.width = std::clamp(r.width, 200, sg.width());
        r.height = std::clamp(r.height, 150, sg.height());
        r.x = std::clamp(r.x, 0, std::max(0, sg.width() - r.width));
        move(sg.left() + r.x, sg.top() + r.y);
        resize(r.width, r.height);
    }

    m_wndToolBar = new CPrintToolBar(this);
    if (!m_wndToolBar->Create(m_nPageCount)) {
        delete m_wndToolBar;
        m_wndToolBar = nullptr;
        PrintUi().Message(this, QStringLiteral("Failed to create toolbars!"), QStringLiteral("Error"),
                          CPrintUi::Icon::Error);
        return;
    }
    connect(m_wndToolBar, &CPrintToolBar::commandTriggered, this, &CPrintPreViewParent::OnCommand);
    connect(m_wndToolBar->m_wndGotoPage, &QComboBox::activated, this, &CPrintPreViewParent::OnGotoPage);
    m_wndToolBar->show();
    m_nToolBarHeight = m_wndToolBar->sizeHint().height();

    m_pView = new CPreView(this);
    m_pView->SetRequest(m_request, m_pfnCallback);
    connect(m_pView, &CPreView::zoomChanged, m_wndToolBar, &CPrintToolBar::SetZoom);
    m_pView->show();
    ApplyLayout();

    connect(m_wndToolBar->m_wndStartPage, &QLineEdit::textChanged, this, [this] { OnPageFieldChanged(true); });
    connect(m_wndToolBar->m_wndEndPage, &QLineEdit::textChanged, this, [this] { OnPageFieldChanged(false); });

    // Enter and Escape are the frame's wherever the focus is.
    for (QWidget* w : findChildren<QWidget*>()) w->installEventFilter(this);

    const bool more = m_nRowCount > m_nRowsPerPage;
    SetNavigation(false, more);
    m_wndFocusList->setFocus();
}

void CPrintPreViewParent::ApplyLayout() {
    const QRect c = rect();
    const int h = m_nToolBarHeight;
    if (m_wndToolBar != nullptr) m_wndToolBar->setGeometry(c.left(), c.top(), c.width(), h);
    if (m_wndSeparator != nullptr) m_wndSeparator->setGeometry(0, h, c.width(), 2);
    if (m_pView != nullptr) m_pView->setGeometry(c.left(), h + 2, c.width(), std::max(0, c.height() - h - 2));
}

void CPrintPreViewParent::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    ApplyLayout();
}

void CPrintPreViewParent::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), kFrameBackground);
}

void CPrintPreViewParent::SetNavigation(bool topPre, bool nextLast) {
    if (m_wndToolBar == nullptr) return;
    m_wndToolBar->Action(cmd::kTopPage)->setEnabled(topPre);
    m_wndToolBar->Action(cmd::kPrePage)->setEnabled(topPre);
    m_wndToolBar->Action(cmd::kNextPage)->setEnabled(nextLast);
    m_wndToolBar->Action(cmd::kLastPage)->setEnabled(nextLast);
}

void CPrintPreViewParent::ShowPage() {
    if (m_pView != nullptr) {
        m_pView->m_nPageCount = m_nPageCount;
        m_pView->m_nCurPage = m_nCurPage;
    }
    if (m_wndToolBar != nullptr) m_wndToolBar->m_wndGotoPage->setCurrentIndex(m_nCurPage - 1);
    if (m_pView != nullptr) m_pView->viewport()->update();
}

void CPrintPreViewParent::GoFirstPage() {
    m_nCurPage = 1;
    SetNavigation(false, true);
    ShowPage();
}

void CPrintPreViewParent::GoPreviousPage() {
    m_nCurPage = std::max(1, m_nCurPage - 1);
    SetNavigation(m_nCurPage > 1, true);
    ShowPage();
}

void CPrintPreViewParent::GoNextPage() {
    m_nCurPage = std::min(m_nCurPage + 1, m_nPageCount);
    SetNavigation(true, m_nRowCount - m_nRowsPerPage * m_nCurPage > 0);
    ShowPage();
}

void CPrintPreViewParent::GoLastPage() {
    m_nCurPage = m_nPageCount;
    SetNavigation(true, false);
    ShowPage();
}

void CPrintPreViewParent::OnGotoPage(int index) {
    if (m_pView == nullptr) return;
    if (m_nPageCount <= 1) {
        m_pView->setFocus();
        return;
    }
    const int page = index + 1;
    m_nCurPage = page;
    m_pView->m_nCurPage = page;
    if (page > 1 && page < m_nPageCount) SetNavigation(true, true);
    if (page == 1) GoFirstPage();
    if (page == m_nPageCount) GoLastPage();
    m_pView->setFocus();
    m_pView->viewport()->update();
}

void CPrintPreViewParent::OnPageFieldChanged(bool start) {
    if (m_pView == nullptr || m_wndToolBar == nullptr) return;
    CLimitEdit* field = start ? m_wndToolBar->m_wndStartPage : m_wndToolBar->m_wndEndPage;
    int value = CAtoi(field->text().toStdString());
    if (value > m_nPageCount) {
        value = m_nPageCount;
        field->setText(QString::fromLatin1(FormatInt(m_nPageCount).str()));
    }
    if (start) {
        m_nStartPage = value;
        m_pView->m_nStartPage = value;
    } else {
        m_nEndPage = value;
        m_pView->m_nEndPage = value;
    }
}

bool CPrintPreViewParent::ReadPageRange(int& start, int& end) {
    auto readField = [](CLimitEdit* field) {
        const QString text = field->text();
        if (text.isEmpty() || text == QLatin1String("0") || text == QLatin1String("00") ||
            text == QLatin1String("000")) {
            field->setText(QStringLiteral("1"));
            return 1;
        }
        return CAtoi(text.toStdString());
    };
    start = readField(m_wndToolBar->m_wndStartPage);
    end = readField(m_wndToolBar->m_wndEndPage);
    if (end < start) {
        PrintUi().Message(this, QStringLiteral("The startpage number should not be greater than the endpage number."),
                          QString::fromLatin1(msg::kAppTitle), CPrintUi::Icon::None);
        return false;
    }
    return true;
}

void CPrintPreViewParent::OnPrintCommand() {
    if (m_pView == nullptr || m_wndToolBar == nullptr) return;
    int start = 1;
    int end = 1;
    if (!ReadPageRange(start, end)) return;
    if (PrintUi().Printers().isEmpty()) {
        // Without a printer the printer dialog has nothing to offer (on
        // Windows it does not even open): say so and offer the PDF file.
        const QString text = QString::fromLatin1("No printer is installed.\nExport pages " + FormatInt(start) + " to " +
                                                 FormatInt(end) + " as a PDF file instead?");
        if (PrintUi().AskOkCancel(this, text, QString::fromLatin1(msg::kAppTitle))) ExportPdf(start, end);
        return;
    }
    m_pView->m_nStartPage = start;
    m_pView->m_nEndPage = end;
    m_pView->PrintJob();
}

void CPrintPreViewParent::OnExportPdf() {
    if (m_pView == nullptr || m_wndToolBar == nullptr) return;
    int start = 1;
    int end = 1;
    if (!ReadPageRange(start, end)) return;
    ExportPdf(start, end);
}

void CPrintPreViewParent::ExportPdf(int start, int end) {
    QString path;
    if (!PrintUi().SaveFileDialog(this, QStringLiteral("Export PDF"),
                                  QString::fromLatin1(report::kDocName) + QStringLiteral(".pdf"),
                                  QStringLiteral("PDF file (*.pdf)"), QStringLiteral("pdf"), path))
        return;
    // The command-line tool's report: the same drawing, page rules and
    // file writer (OutputFile), on the report's paper.
    ReportPrintOptions options;
    options.outPdf = QFile::encodeName(path).toStdString();
    options.firstPage = start;
    options.lastPage = end;
    std::string error;
    if (!PrintReportToDevice(m_pfnCallback, m_nRowCount, options, error))
        PrintUi().Message(this, QString::fromLocal8Bit(error), QString::fromLatin1(report::kErrorCaption),
                          CPrintUi::Icon::Error);
}

void CPrintPreViewParent::OnPrintSetup() {
    // The dialog starts from the report's paper and orientation.
    QPrinter printer(QPrinter::HighResolution);
    SetReportPaper(printer);
    CPrintUi::DialogResult result = PrintUi().PageSetupDialog(printer, this);
    if (result == CPrintUi::DialogResult::Error) {
        PrintUi().Message(this, QStringLiteral("Failed to read the printer information, please select manually!"),
                          QString(), CPrintUi::Icon::None);
        result = PrintUi().PageSetupDialog(printer, this);
    }
    if (result == CPrintUi::DialogResult::Ok) {
        const QPageLayout layout = printer.pageLayout();
        ApplyPrinterPaper(PaperCodeFromPageSizeId(layout.pageSize().id()),
                          layout.orientation() == QPageLayout::Landscape ? paper::kLandscape : paper::kPortrait);
        LayOutPages();
    }
    if (m_pView != nullptr) m_pView->viewport()->update();
    update();
}

void CPrintPreViewParent::LayOutPages() {
    // Lines a page and page count for the paper; the page showing the first
    // line of the page shown before is shown, and the page fields cover the
    // whole report again.
    const int firstRow = m_nRowsPerPage * (m_nCurPage - 1) + 1;
    m_nRowsPerPage = FitReportToPage(g_nPageWidthMM, g_nPageHeightMM).rowsPerPage;
    m_nPageCount = ReportPageCount(m_nRowCount, m_nRowsPerPage);
    m_nCurPage = std::clamp((firstRow - 1) / m_nRowsPerPage + 1, 1, m_nPageCount);
    m_nStartPage = 1;
    m_nEndPage = m_nPageCount;
    m_request.nRowsPerPage = m_nRowsPerPage;
    m_request.nPageCount = m_nPageCount;
    m_request.nStartPage = m_nStartPage;
    m_request.nEndPage = m_nEndPage;
    m_request.nCurrentPage = m_nCurPage;
    if (m_pView == nullptr || m_wndToolBar == nullptr) return;
    m_pView->SetRequest(m_request, m_pfnCallback);
    m_wndToolBar->SetPageCount(m_nPageCount);
    SetNavigation(m_nCurPage > 1, m_nCurPage < m_nPageCount);
    ShowPage();
    m_pView->PageSizeChanged();
}

void CPrintPreViewParent::OnCommand(int id) {
    switch (id) {
        case cmd::kTopPage:
            GoFirstPage();
            break;
        case cmd::kPrePage:
            GoPreviousPage();
            break;
        case cmd::kNextPage:
            GoNextPage();
            break;
        case cmd::kLastPage:
            GoLastPage();
            break;
        case cmd::kExit:
            close();
            break;
        case cmd::kPrint:
            OnPrintCommand();
            break;
        case cmd::kPrintSetup:
            OnPrintSetup();
            break;
        case cmd::kZoomOut:
            if (m_pView != nullptr) m_pView->ZoomOut();
            break;
        case cmd::kZoomIn:
            if (m_pView != nullptr) m_pView->ZoomIn();
            break;
        case cmd::kFitPage:
            if (m_pView != nullptr) m_pView->FitPage();
            break;
        case cmd::kFitWidth:
            if (m_pView != nullptr) m_pView->FitWidth();
            break;
        case cmd::kExportPdf:
            OnExportPdf();
            break;
        default:
            break;
    }
}

bool CPrintPreViewParent::IsOurKeyTarget(QObject* watched) const {
    auto* w = qobject_cast<QWidget*>(watched);
    return w != nullptr && w->window() == this;
}

bool CPrintPreViewParent::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress && IsOurKeyTarget(watched)) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (m_pView != nullptr) m_pView->setFocus();
            return true;
        }
        if (key == Qt::Key_Escape) {
            OnCommand(cmd::kExit);
            return true;
        }
    }
    // The focus holder passes the wheel to the page window when the pointer
    // is over it.
    if (event->type() == QEvent::Wheel && watched == m_wndFocusList && m_pView != nullptr) {
        const QRect viewRect(m_pView->mapToGlobal(QPoint(0, 0)), m_pView->size());
        if (viewRect.contains(QCursor::pos())) {
            QApplication::sendEvent(m_pView->viewport(), event);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CPrintPreViewParent::keyPressEvent(QKeyEvent* event) {
    // Enter never closes the frame; Escape closes it as Exit does.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            if (m_pView != nullptr) m_pView->setFocus();
            event->accept();
            return;
        case Qt::Key_Escape:
            event->accept();
            OnCommand(cmd::kExit);
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

bool CPrintPreViewParent::focusNextPrevChild(bool /*next*/) {
    // Tab only moves between the two page fields, and is used up either way.
    if (m_wndToolBar != nullptr) {
        QWidget* focus = QApplication::focusWidget();
        if (focus == m_wndToolBar->m_wndStartPage)
            m_wndToolBar->m_wndEndPage->setFocus(Qt::TabFocusReason);
        else if (focus == m_wndToolBar->m_wndEndPage)
            m_wndToolBar->m_wndStartPage->setFocus(Qt::TabFocusReason);
    }
    return true;
}

}  // namespace oront
