// CPrintPreViewParent: the modal print preview frame ("Print Preview") with
// its toolbar and page window, and OnDataPrint, which the main window's
// "Data Print" button runs.
#pragma once

#include <QDialog>

#include "print/ReportLayout.h"
#include "print/qt/PreView.h"
#include "print/qt/PrintToolBar.h"

class QFrame;
class QListWidget;

namespace oront {

// Opens the preview of the store's report over `mainWindow` and returns when
// it closes. Nothing happens when no records were read.
void OnDataPrint(const RecordStore& store, QWidget* mainWindow);

class CPrintPreViewParent : public QDialog {
    Q_OBJECT
public:
    // Takes the caller's request (nRowCount, hOwnerWnd) and completes it.
    CPrintPreViewParent(const PrintRequest& request, ReportCallbackFn callback, QWidget* parent = nullptr);
    ~CPrintPreViewParent() override;

    // Toolbar and keyboard commands (32772..32786).
    void OnCommand(int id);
    void GoFirstPage();
    void GoPreviousPage();
    void GoNextPage();
    void GoLastPage();
    void OnGotoPage(int index);
    // The page range check, then the print job; without a printer, the
    // offer to export the pages as a PDF file instead.
    void OnPrintCommand();
    void OnPrintSetup();
    // Writes the pages of the page fields as a PDF file the user names,
    // as `oront-v208-cli report` writes them.
    void OnExportPdf();

    [[nodiscard]] CPrintToolBar* ToolBar() const { return m_wndToolBar; }
    [[nodiscard]] CPreView* View() const { return m_pView; }
    [[nodiscard]] const PrintRequest& Request() const { return m_request; }

    PrintRequest m_request;
    ReportCallbackFn m_pfnCallback;
    int m_nRowCount = 0;
    int m_nPageCount = 1;
    int m_nRowsPerPage = kRowsPerPage;
    int m_nCurPage = 1;
    int m_nStartPage = 1;
    int m_nEndPage = 1;
    int m_nToolBarHeight = 0;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void OnInitDialog();
    void ApplyLayout();
    void SetNavigation(bool topPre, bool nextLast);
    void ShowPage();
    void LayOutPages();
    // The page fields as Print reads them; false (after the message) when
    // the end lies before the start.
    bool ReadPageRange(int& start, int& end);
    // Export PDF of pages start..end: the save dialog, then the file.
    void ExportPdf(int start, int end);
    void OnPageFieldChanged(bool start);
    [[nodiscard]] bool IsOurKeyTarget(QObject* watched) const;

    CPrintToolBar* m_wndToolBar = nullptr;
    CPreView* m_pView = nullptr;
    QListWidget* m_wndFocusList = nullptr;  // 1007: keeps the focus, routes the wheel
    QFrame* m_wndSeparator = nullptr;       // 1029
};

}  // namespace oront
