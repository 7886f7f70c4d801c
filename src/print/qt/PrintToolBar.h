// CPrintToolBar: the preview's toolbar. Buttons carry their command ids as
// object names; the Goto Page list, the two labels and the two page fields
// sit in their own slots. After Exit come the zoom buttons with the zoom
// shown between them, and Export PDF. Exit also answers Ctrl+W and the
// platform's Close key.
#pragma once

#include <QLabel>
#include <QToolBar>
#include <map>

#include "controls/qt/LimitEdit.h"

class QAction;
class QComboBox;
class QToolButton;

namespace oront {

namespace cmd {
inline constexpr int kTopPage = 32772;
inline constexpr int kPrePage = 32773;
inline constexpr int kGotoPage = 32774;
inline constexpr int kNextPage = 32775;
inline constexpr int kLastPage = 32776;
inline constexpr int kExit = 32777;
inline constexpr int kPrint = 32778;
inline constexpr int kStartPage = 32781;
inline constexpr int kEndPage = 32782;
inline constexpr int kStartLabel = 32783;
inline constexpr int kEndLabel = 32784;
inline constexpr int kPrintSetup = 32786;
// Zoom and PDF export, after Exit.
inline constexpr int kZoomOut = 32787;
inline constexpr int kZoomIn = 32788;
inline constexpr int kZoomLabel = 32789;
inline constexpr int kFitPage = 32790;
inline constexpr int kFitWidth = 32791;
inline constexpr int kExportPdf = 32792;
}  // namespace cmd

// The string table entry of a command: its prompt, a line break and the
// tooltip ("Top Page\nTop Page").
QString CommandString(int id);
// The part after the first line break, or an empty text.
QString ToolTipOf(const QString& commandString);

class CPrintToolBar : public QToolBar {
    Q_OBJECT
public:
    explicit CPrintToolBar(QWidget* parent = nullptr);

    // Builds the buttons and the hosted controls; false when a control
    // cannot be made.
    bool Create(int pageCount);
    // A report of pageCount pages: the Goto Page list anew on its first
    // entry, the page fields 1 and the page count.
    void SetPageCount(int pageCount);

    [[nodiscard]] QAction* Action(int id) const;
    [[nodiscard]] QToolButton* Button(int id) const;

    QComboBox* m_wndGotoPage = nullptr;
    QLabel* m_wndStartLabel = nullptr;
    CLimitEdit* m_wndStartPage = nullptr;
    QLabel* m_wndEndLabel = nullptr;
    CLimitEdit* m_wndEndPage = nullptr;
    QLabel* m_wndZoom = nullptr;  // the zoom in percent

    // Shows the zoom factor as a percentage ("125%").
    void SetZoom(double zoom);

    static constexpr int kGotoWidth = 80;
    static constexpr int kZoomWidth = 44;
    static constexpr int kLabelWidth = 68;
    static constexpr int kEditWidth = 40;
    static constexpr int kEditLimit = 3;

signals:
    void commandTriggered(int id);

private:
    QAction* AddButton(int id, int image);
    void FillGotoPage(int pageCount);
    std::map<int, QAction*> m_actions;
};

}  // namespace oront
