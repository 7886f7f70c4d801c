#include "archive/qt/TrendDlg.h"

#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRubberBand>
#include <QSettings>
#include <QShortcut>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <utility>

#include "classify/ClassifyText.h"
#include "classify/Standards.h"
#include "controls/qt/FilterRow.h"
#include "pgstore/Stores.h"

namespace oront::archive {
namespace {

constexpr double kWheelZoom = 1.25;
constexpr double kPointerReach = 8.0;  // pixels

constexpr char kHowToZoom[] = "Drag to zoom, wheel to zoom at the pointer, right-drag to pan, Home to fit.";

constexpr char kLocationKey[] = "Trend/location";
constexpr char kSizeKey[] = "Trend/size";
constexpr char kFromKey[] = "Trend/from";
constexpr char kToKey[] = "Trend/to";
constexpr char kToArchiveEndKey[] = "Trend/toArchiveEnd";
constexpr char kLimitKey[] = "Trend/limit";

QString Utf8(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QDate DateOfKey(std::int64_t key) {
    return QDate(2000 + static_cast<int>(key >> 40), static_cast<int>((key >> 32) & 0xFF),
                 static_cast<int>((key >> 24) & 0xFF));
}

// A limit of the list: a class (tenths) or a grade with its state.
struct LimitChoice {
    const char* text;
    int classTenths;
    char grade;
    classify::Occupancy state;
};
constexpr LimitChoice kLimits[] = {
    {"No limit", 0, 0, classify::Occupancy::AtRest},
    {"ISO 1", 10, 0, classify::Occupancy::AtRest},
    {"ISO 2", 20, 0, classify::Occupancy::AtRest},
    {"ISO 3", 30, 0, classify::Occupancy::AtRest},
    {"ISO 4", 40, 0, classify::Occupancy::AtRest},
    {"ISO 5", 50, 0, classify::Occupancy::AtRest},
    {"ISO 6", 60, 0, classify::Occupancy::AtRest},
    {"ISO 7", 70, 0, classify::Occupancy::AtRest},
    {"ISO 8", 80, 0, classify::Occupancy::AtRest},
    {"ISO 9", 90, 0, classify::Occupancy::AtRest},
    {"Grade A", 0, 'A', classify::Occupancy::AtRest},
    {"Grade B at rest", 0, 'B', classify::Occupancy::AtRest},
    {"Grade B in operation", 0, 'B', classify::Occupancy::Operational},
    {"Grade C at rest", 0, 'C', classify::Occupancy::AtRest},
    {"Grade C in operation", 0, 'C', classify::Occupancy::Operational},
    {"Grade D at rest", 0, 'D', classify::Occupancy::AtRest},
};

}  // namespace

CTrendView::CTrendView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

CTrendView::~CTrendView() = default;

void CTrendView::SetChart(std::unique_ptr<TrendChart> chart) {
    m_chart = std::move(chart);
    if (m_chart) m_chart->Resize(size());
    update();
}

void CTrendView::ZoomAt(const QPointF& at, double factor) {
    if (!m_chart || factor <= 0.0) return;
    const QRectF plot = m_chart->PlotArea();
    const QPointF anchor(std::clamp(at.x(), plot.left(), plot.right()), std::clamp(at.y(), plot.top(), plot.bottom()));
    const double width = plot.width() / factor;
    const double height = plot.height() / factor;
    const double left = anchor.x() - (anchor.x() - plot.left()) / factor;
    const double top = anchor.y() - (anchor.y() - plot.top()) / factor;
    m_chart->ZoomIn(QRectF(left, top, width, height));
    update();
}

void CTrendView::ZoomReset() {
    if (!m_chart) return;
    m_chart->ZoomReset();
    update();
}

void CTrendView::Scroll(qreal dx, qreal dy) {
    if (!m_chart) return;
    m_chart->Scroll(dx, dy);
    update();
}

void CTrendView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_chart)
        m_chart->Paint(painter);
    else
        painter.fillRect(rect(), Qt::white);
}

void CTrendView::resizeEvent(QResizeEvent*) {
    if (m_chart) m_chart->Resize(size());
}

void CTrendView::wheelEvent(QWheelEvent* event) {
    const int steps = event->angleDelta().y() / 120;
    if (steps == 0) return;
    ZoomAt(event->position(), steps > 0 ? kWheelZoom : 1.0 / kWheelZoom);
    event->accept();
}

void CTrendView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton) {
        m_panning = true;
        m_panFrom = event->position();
        setCursor(Qt::ClosedHandCursor);
    } else if (event->button() == Qt::LeftButton && m_chart) {
        // A rectangle dragged within the plot zooms into what it covers.
        m_bandFrom = event->position().toPoint();
        if (m_band == nullptr) m_band = new QRubberBand(QRubberBand::Rectangle, this);
        m_band->setGeometry(QRect(m_bandFrom, QSize()));
        m_band->show();
    }
    event->accept();
}

void CTrendView::mouseMoveEvent(QMouseEvent* event) {
    if (m_panning) {
        const QPointF delta = event->position() - m_panFrom;
        m_panFrom = event->position();
        Scroll(-delta.x(), delta.y());
    }
    if (m_band != nullptr && m_band->isVisible() && m_chart) {
        const QRect plot = m_chart->PlotArea().toAlignedRect();
        m_band->setGeometry(QRect(m_bandFrom, event->position().toPoint()).normalized().intersected(plot));
    }
    if (pointerMoved) pointerMoved(event->position());
    event->accept();
}

void CTrendView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_panning && (event->button() == Qt::RightButton || event->button() == Qt::MiddleButton)) {
        m_panning = false;
        unsetCursor();
    } else if (event->button() == Qt::LeftButton && m_band != nullptr && m_band->isVisible()) {
        m_band->hide();
        const QRect area = m_band->geometry();
        // A click, or a rectangle too thin to mean one, zooms nowhere.
        if (m_chart && area.width() > 4 && area.height() > 4) {
            m_chart->ZoomIn(area);
            update();
        }
    }
    event->accept();
}

void CTrendView::keyPressEvent(QKeyEvent* event) {
    if (!m_chart) return;
    const QRectF plot = m_chart->PlotArea();
    switch (event->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            ZoomAt(plot.center(), kWheelZoom);
            break;
        case Qt::Key_Minus:
            ZoomAt(plot.center(), 1.0 / kWheelZoom);
            break;
        case Qt::Key_Left:
            Scroll(-plot.width() / 10, 0);
            break;
        case Qt::Key_Right:
            Scroll(plot.width() / 10, 0);
            break;
        case Qt::Key_Up:
            Scroll(0, plot.height() / 10);
            break;
        case Qt::Key_Down:
            Scroll(0, -plot.height() / 10);
            break;
        case Qt::Key_Home:
            ZoomReset();
            break;
        default:
            QWidget::keyPressEvent(event);
            return;
    }
    event->accept();
}

void CTrendView::leaveEvent(QEvent* event) {
    if (pointerLeft) pointerLeft();
    QWidget::leaveEvent(event);
}

CTrendDlg::CTrendDlg(std::string archivePath, QSettings& settings, QWidget* parent)
    : CTrendDlg(&settings, std::move(archivePath), parent) {}

CTrendDlg::CTrendDlg(std::string archivePath, QWidget* parent) : CTrendDlg(nullptr, std::move(archivePath), parent) {}

CTrendDlg::CTrendDlg(QSettings* settings, std::string archivePath, QWidget* parent)
    : QDialog(parent), m_archivePath(std::move(archivePath)), m_settings(settings) {
    setWindowTitle(QStringLiteral("Trend"));
    // The dates typed read and show the same in any locale.
    setLocale(QLocale::c());
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);
    resize(960, 620);

    m_location = new QComboBox(this);
    m_location->setObjectName(QStringLiteral("location"));
    m_size = new QComboBox(this);
    m_size->setObjectName(QStringLiteral("size"));
    m_size->addItem(QStringLiteral("Smallest measured"), 0);
    for (int tenths : classify::kSizes) m_size->addItem(Utf8(classify::SizeText(tenths)), tenths);
    m_from = NewDayEdit(this, "from");
    m_to = NewDayEdit(this, "to");
    m_limit = new QComboBox(this);
    m_limit->setObjectName(QStringLiteral("limit"));
    for (const LimitChoice& choice : kLimits) m_limit->addItem(QString::fromLatin1(choice.text));

    auto* controls = new QHBoxLayout;
    const auto labelled = [this, controls](const char* text, QWidget* field) {
        AddLabelled(controls, this, text, field);
    };
    labelled("&Location", m_location);
    labelled("&Size", m_size);
    labelled("&From", m_from);
    labelled("&To", m_to);
    labelled("L&imit", m_limit);
    controls->addStretch(1);

    m_view = new CTrendView(this);
    m_view->setObjectName(QStringLiteral("chart"));
    m_view->pointerMoved = [this](const QPointF& position) { ShowPointer(position); };
    m_view->pointerLeft = [this] { ClearPointer(); };

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* fit = new QPushButton(QStringLiteral("Fi&t"), this);
    fit->setObjectName(QStringLiteral("fit"));
    fit->setToolTip(QStringLiteral("Show the whole trend again (Home)"));
    m_export = new QPushButton(QStringLiteral("&Export..."), this);
    m_export->setObjectName(QStringLiteral("export"));
    auto* close = new QPushButton(QStringLiteral("Close"), this);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_status, 1);
    bottom->addWidget(fit);
    bottom->addWidget(m_export);
    bottom->addWidget(close);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(m_view, 1);
    layout->addLayout(bottom);

    connect(fit, &QPushButton::clicked, m_view, &CTrendView::ZoomReset);
    connect(m_export, &QPushButton::clicked, this, &CTrendDlg::OnExport);
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
    auto* exportKey = new QShortcut(QKeySequence::Save, this);
    connect(exportKey, &QShortcut::activated, this, &CTrendDlg::OnExport);

    LoadArchive();
    LoadSettings();
    for (QComboBox* box : {m_location, m_size, m_limit})
        connect(box, &QComboBox::currentIndexChanged, this, &CTrendDlg::Redraw);
    for (QDateEdit* date : {m_from, m_to}) connect(date, &QDateEdit::dateChanged, this, &CTrendDlg::Redraw);
    Redraw();
    m_view->setFocus();
}

TrendChart* CTrendDlg::Chart() const {
    return m_view->Chart();
}

QString CTrendDlg::StatusText() const {
    return m_status->text();
}

void CTrendDlg::LoadArchive() {
    std::string error;
    std::vector<int> locations;
    std::optional<std::pair<std::int64_t, std::int64_t>> span;
    site::Register reg;
    m_archive = OpenStore(m_archivePath, OpenMode::ReadOnly, audit::CurrentIdentity(), error);
    if (!m_archive) m_archive = std::make_unique<Archive>();
    if (!error.empty() || !m_archive->Locations(locations, error) || !m_archive->TimeSpan(span, error) ||
        !m_archive->LoadRegister(reg, error)) {
        m_archiveError = Utf8(error);
    } else if (locations.empty() || !span) {
        m_archiveError = QStringLiteral("The archive holds no records yet: %1").arg(Utf8(m_archivePath));
    }
    // A location's records lie all over the file: the view keeps the pages
    // it has read for the next trend.
    if (auto* file = dynamic_cast<Archive*>(m_archive.get())) file->SetCacheKiB(32768);
    // Each location as the register names it: "3 – beside the filling needle".
    for (int location : locations) {
        const std::string name = RegisterLocationName(reg, location);
        m_location->addItem(QString::number(location) + (name.empty() ? QString() : QStringLiteral(" – ") + Utf8(name)),
                            location);
    }
    if (span) {
        const QDate first = DateOfKey(span->first);
        const QDate last = DateOfKey(span->second);
        m_from->setDate(first.isValid() ? first : m_from->minimumDate());
        m_to->setDate(last.isValid() ? last : m_to->maximumDate());
        m_archiveLast = m_to->date();
    }
    const bool usable = m_archiveError.isEmpty();
    for (QWidget* w : std::initializer_list<QWidget*>{m_location, m_size, m_from, m_to, m_limit, m_export})
        w->setEnabled(usable);
}

void CTrendDlg::LoadSettings() {
    if (m_settings == nullptr || !m_archiveError.isEmpty()) return;
    const auto pick = [this](QComboBox* box, const char* key) {
        if (!m_settings->contains(QLatin1String(key))) return;
        const int index = box->findData(m_settings->value(QLatin1String(key)).toInt());
        if (index >= 0) box->setCurrentIndex(index);
    };
    pick(m_location, kLocationKey);
    pick(m_size, kSizeKey);
    const int limit = m_limit->findText(m_settings->value(QLatin1String(kLimitKey)).toString());
    if (limit >= 0) m_limit->setCurrentIndex(limit);
    const QDate from = QDate::fromString(m_settings->value(QLatin1String(kFromKey)).toString(), Qt::ISODate);
    const QDate to = QDate::fromString(m_settings->value(QLatin1String(kToKey)).toString(), Qt::ISODate);
    if (from.isValid()) m_from->setDate(from);
    if (to.isValid() && !m_settings->value(QLatin1String(kToArchiveEndKey), true).toBool()) m_to->setDate(to);
}

void CTrendDlg::SaveSettings() {
    // An archive that cannot be read leaves the settings of the last one.
    if (m_settings == nullptr || !m_archiveError.isEmpty()) return;
    m_settings->setValue(QLatin1String(kLocationKey), m_location->currentData().toInt());
    m_settings->setValue(QLatin1String(kSizeKey), m_size->currentData().toInt());
    m_settings->setValue(QLatin1String(kLimitKey), m_limit->currentText());
    m_settings->setValue(QLatin1String(kFromKey), m_from->date().toString(Qt::ISODate));
    m_settings->setValue(QLatin1String(kToKey), m_to->date().toString(Qt::ISODate));
    m_settings->setValue(QLatin1String(kToArchiveEndKey), m_to->date() == m_archiveLast);
    m_settings->sync();
}

void CTrendDlg::Redraw() {
    SaveSettings();
    TrendQuery query;
    query.location = m_location->currentData().toInt();
    query.sizeTenths = m_size->currentData().toInt();
    const QDate from = m_from->date();
    const QDate to = m_to->date();
    query.from = TimeKey(from.year() - 2000, from.month(), from.day(), 0, 0, 0);
    query.to = TimeKey(to.year() - 2000, to.month(), to.day(), 23, 59, 59);
    const LimitChoice& limit = kLimits[std::max(0, m_limit->currentIndex())];
    query.target.classTenths = limit.classTenths;
    query.target.grade = limit.grade;
    query.target.state = limit.state;

    QString problem = m_archiveError;
    m_trend = Trend{};
    m_trend.location = query.location;
    if (problem.isEmpty()) {
        std::string error;
        if (!BuildTrend(*m_archive, query, m_trend, error))
            problem = Utf8(error);
        else if (!m_trend.error.empty())
            problem = Utf8(m_trend.error);
    }
    m_view->SetChart(std::make_unique<TrendChart>(m_trend, std::nullopt, m_view->size()));
    m_export->setEnabled(problem.isEmpty());
    m_idleText = problem.isEmpty() ? QString::fromLatin1(kHowToZoom) : problem;
    m_status->setText(m_idleText);
    m_showingPoint = false;
}

TrendRange CTrendDlg::ShownRange() const {
    return Chart() != nullptr ? Chart()->Range() : TrendRange{};
}

bool CTrendDlg::ExportTo(const QString& path, QString& error) const {
    // The writer takes the name as the file system's bytes.
    std::string why;
    if (ExportTrendChart(m_trend, ShownRange(), QFile::encodeName(path).toStdString(), why)) return true;
    error = QFile::decodeName(QByteArray::fromStdString(why));
    return false;
}

void CTrendDlg::OnExport() {
    if (!m_export->isEnabled()) return;
    QString path;
    if (chooseExportFile) {
        path = chooseExportFile();
    } else {
        path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export Trend"), QStringLiteral("trend-location-%1.png").arg(m_trend.location),
            QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)"));
    }
    if (path.isEmpty()) return;
    QString error;
    if (ExportTo(path, error)) {
        m_status->setText(QStringLiteral("Exported to %1").arg(QDir::toNativeSeparators(path)));
        m_showingPoint = false;
    } else {
        QMessageBox::warning(
            this, windowTitle(),
            QStringLiteral("The trend cannot be exported to %1:\n%2").arg(QDir::toNativeSeparators(path), error));
    }
}

void CTrendDlg::ShowPointer(const QPointF& position) {
    const TrendChart* chart = Chart();
    if (chart == nullptr || m_trend.points.empty() || !chart->PlotArea().contains(position)) {
        ClearPointer();
        return;
    }
    // The nearest cycle or mean within reach of the pointer, in pixels.
    double best = kPointerReach;
    QString text;
    const double left = chart->MapToValue(position - QPointF(kPointerReach, 0)).x();
    const double right = chart->MapToValue(position + QPointF(kPointerReach, 0)).x();
    for (const TrendChart::Series& series : chart->AllSeries()) {
        if (series.kind == TrendChart::Kind::Limit) continue;
        // The points lie in time order: only those within reach in time.
        auto it = std::lower_bound(series.points.begin(), series.points.end(), left,
                                   [](const QPointF& p, double x) { return p.x() < x; });
        for (; it != series.points.end() && it->x() <= right; ++it) {
            const QPointF onScreen = chart->MapToPosition(*it);
            const double distance = std::hypot(onScreen.x() - position.x(), onScreen.y() - position.y());
            if (distance >= best) continue;  // of equally near points, the first
            best = distance;
            const QString when = QDateTime::fromMSecsSinceEpoch(std::llround(it->x()), Qt::UTC)
                                     .toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
            text = QStringLiteral("%1  %2: %3 per m³").arg(when, series.name, GroupedNumber(it->y()));
        }
    }
    if (text.isEmpty()) {
        ClearPointer();
        return;
    }
    m_status->setText(text);
    m_showingPoint = true;
}

void CTrendDlg::ClearPointer() {
    if (!m_showingPoint) return;  // an export's result stays
    m_status->setText(m_idleText);
    m_showingPoint = false;
}

}  // namespace oront::archive
