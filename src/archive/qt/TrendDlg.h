// The Trend view: the concentration per m³ of one location and size over a
// chosen time span, read from the download archive and drawn by TrendChart.
// Drag a rectangle to zoom into it, turn the wheel to zoom at the pointer,
// drag with the right or middle button (or press the arrow keys) to pan,
// Home or "Fit" to see everything again; the value under the pointer shows
// below the chart while the pointer is on it. "Export..." writes what is
// shown as PNG, SVG or PDF. The location, size, time span and limit are kept
// in the settings, when the dialog is given them. With a site register in the
// archive, the locations show their names in the register and the chart the
// room's alert and action limits.
#pragma once

#include <QDate>
#include <QDialog>
#include <functional>
#include <memory>
#include <string>

#include "archive/Trend.h"
#include "archive/qt/TrendChart.h"

QT_BEGIN_NAMESPACE
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QRubberBand;
class QSettings;
QT_END_NAMESPACE

namespace oront::archive {

// The chart's view: drag a rectangle to zoom into it; zoom and pan by
// wheel, right or middle drag and keys.
class CTrendView : public QWidget {
public:
    explicit CTrendView(QWidget* parent = nullptr);
    ~CTrendView() override;
    // Shows `chart` (none: nothing drawn).
    void SetChart(std::unique_ptr<TrendChart> chart);
    [[nodiscard]] TrendChart* Chart() const { return m_chart.get(); }
    // Told the pointer's position over the view as it moves.
    std::function<void(const QPointF&)> pointerMoved;
    // Told when the pointer leaves the chart.
    std::function<void()> pointerLeft;
    // Zooms by `factor` (above 1: in) keeping the value at `at` in place.
    void ZoomAt(const QPointF& at, double factor);
    void ZoomReset();
    [[nodiscard]] QSize sizeHint() const override { return {800, 480}; }
    [[nodiscard]] QSize minimumSizeHint() const override { return {320, 220}; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void Scroll(qreal dx, qreal dy);

    std::unique_ptr<TrendChart> m_chart;
    bool m_panning = false;
    QPointF m_panFrom;
    QRubberBand* m_band = nullptr;  // shown while a rectangle is dragged
    QPoint m_bandFrom;
};

class CTrendDlg : public QDialog {
    Q_OBJECT
public:
    // Reads the location, size, time span and limit from `settings` at once
    // and writes them there whenever one changes. A span that ended on the
    // archive's last day ends on its last day again, new records included.
    CTrendDlg(std::string archivePath, QSettings& settings, QWidget* parent = nullptr);
    // Keeps no settings.
    explicit CTrendDlg(std::string archivePath, QWidget* parent = nullptr);

    [[nodiscard]] const Trend& CurrentTrend() const { return m_trend; }
    [[nodiscard]] TrendChart* Chart() const;
    [[nodiscard]] CTrendView* View() const { return m_view; }
    // The line below the chart: the value under the pointer, or how to zoom
    // and pan, or why nothing is drawn.
    [[nodiscard]] QString StatusText() const;
    // The part of the axes shown now.
    [[nodiscard]] TrendRange ShownRange() const;
    // Writes what is shown into `path` (.png, .svg or .pdf).
    bool ExportTo(const QString& path, QString& error) const;

    // For tests: picks the file "Export..." writes, instead of a file dialog.
    std::function<QString()> chooseExportFile;

private:
    CTrendDlg(QSettings* settings, std::string archivePath, QWidget* parent);
    void LoadArchive();
    void LoadSettings();
    void SaveSettings();
    void Redraw();
    void OnExport();
    void ShowPointer(const QPointF& position);
    void ClearPointer();

    std::string m_archivePath;
    QSettings* m_settings = nullptr;          // none: nothing kept
    std::unique_ptr<ArchiveStore> m_archive;  // open for reading while the view is
    Trend m_trend;
    QComboBox* m_location = nullptr;
    QComboBox* m_size = nullptr;
    QComboBox* m_limit = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    CTrendView* m_view = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_export = nullptr;
    QString m_archiveError;
    QDate m_archiveLast;  // the day of the archive's last record
    QString m_idleText;   // the status without a point under the pointer
    bool m_showingPoint = false;
};

}  // namespace oront::archive
