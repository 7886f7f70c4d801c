#include "site/qt/SiteDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

#include "archive/Archive.h"
#include "classify/ClassifyText.h"
#include "pgstore/Stores.h"
#include "site/RegisterJson.h"

namespace oront::site {
namespace {

using classify::Occupancy;
using classify::Standard;

constexpr Standard kStandards[] = {Standard::Iso2015, Standard::Iso1999, Standard::Gmp2022};
constexpr Occupancy kStates[] = {Occupancy::AsBuilt, Occupancy::AtRest, Occupancy::Operational};
constexpr char kGrades[] = {'A', 'B', 'C', 'D'};

const QColor kBrokenFill(255, 205, 205);
const QColor kBrokenText(170, 0, 0);
const QColor kKeptText(0, 110, 0);

QString U(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string S(const QString& text) {
    return text.toUtf8().toStdString();
}

QDate DateOf(Day day) {
    return QDate(day / 10000, day / 100 % 100, day % 100);
}

Day DayOf(const QDate& date) {
    return date.year() * 10000 + date.month() * 100 + date.day();
}

// A number as a person writes it: no exponent, no trailing zeros, a point.
QString Num(double value) {
    return QString::number(value, 'g', 12);
}

// Resets the flag that keeps the handlers from writing while the forms are
// filled, when the filling is done.
class Filling {
public:
    explicit Filling(bool& flag) : m_flag(flag), m_was(flag) { m_flag = true; }
    ~Filling() { m_flag = m_was; }
    Filling(const Filling&) = delete;
    Filling& operator=(const Filling&) = delete;

private:
    bool& m_flag;
    bool m_was;
};

// A number entry that reads and shows numbers the same in any locale: a
// decimal point, no thousands separators, no trailing zeros; a comma typed
// becomes the decimal point.
class CNumberBox : public QDoubleSpinBox {
public:
    CNumberBox(QWidget* parent, const char* name, double low, double high, int decimals) : QDoubleSpinBox(parent) {
        QLocale c = QLocale::c();
        c.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
        setLocale(c);
        setObjectName(QLatin1String(name));
        setDecimals(decimals);
        setRange(low, high);
        setAccelerated(true);
    }

    QValidator::State validate(QString& input, int& pos) const override {
        input.replace(QLatin1Char(','), QLatin1Char('.'));
        return QDoubleSpinBox::validate(input, pos);
    }

    double valueFromText(const QString& text) const override {
        QString copy = text;
        copy.replace(QLatin1Char(','), QLatin1Char('.'));
        return QDoubleSpinBox::valueFromText(copy);
    }

    QString textFromValue(double value) const override {
        QString text = QString::number(value == 0.0 ? 0.0 : value, 'f', decimals());
        if (text.contains(QLatin1Char('.'))) {
            while (text.endsWith(QLatin1Char('0'))) text.chop(1);
            if (text.endsWith(QLatin1Char('.'))) text.chop(1);
        }
        return text;
    }
};

QSpinBox* NewIntBox(QWidget* parent, const char* name, int low, int high) {
    auto* box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(low, high);
    return box;
}

QDateEdit* NewDateEdit(QWidget* parent, const char* name) {
    auto* date = new QDateEdit(parent);
    date->setObjectName(QLatin1String(name));
    date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    date->setCalendarPopup(true);
    date->setDateRange(QDate(2000, 1, 1), QDate(2099, 12, 31));
    return date;
}

QLineEdit* NewLineEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QPushButton* NewButton(QWidget* parent, const QString& text, const char* name) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

// A list of items, one a row, numbered in the vertical header as the
// messages number them; `stretch` is the column that takes the spare width.
QTableWidget* NewTable(QWidget* parent, const char* name, const QStringList& headers, int stretch) {
    auto* table = new QTableWidget(0, static_cast<int>(headers.size()), parent);
    table->setObjectName(QLatin1String(name));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 6);
    for (int column = 0; column < headers.size(); ++column)
        table->horizontalHeader()->setSectionResizeMode(
            column, column == stretch ? QHeaderView::Stretch : QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::SingleSelection);
    table->setTabKeyNavigation(false);
    return table;
}

void SetCell(QTableWidget* table, int row, int column, const QString& text, bool number = false) {
    QTableWidgetItem* item = table->item(row, column);
    if (item == nullptr) {
        item = new QTableWidgetItem;
        item->setTextAlignment(Qt::AlignVCenter | (number ? Qt::AlignRight : Qt::AlignLeft));
        table->setItem(row, column, item);
    }
    if (item->text() != text) item->setText(text);
}

int SelectedRow(const QTableWidget* table) {
    const QList<QTableWidgetItem*> items = table->selectedItems();
    return items.isEmpty() ? -1 : items.first()->row();
}

void SelectRow(QTableWidget* table, int row) {
    if (row < 0 || row >= table->rowCount()) {
        table->clearSelection();
        return;
    }
    table->setCurrentCell(row, 0);
    table->selectRow(row);
}

void TintRow(QTableWidget* table, int row, const QBrush& brush) {
    for (int column = 0; column < table->columnCount(); ++column)
        if (QTableWidgetItem* item = table->item(row, column)) item->setBackground(brush);
}

QString RoomText(const Room& room) {
    const QString id = room.id.empty() ? QStringLiteral("(no id)") : U(room.id);
    return room.name.empty() ? id : id + QString::fromUtf8(" \u2013 ") + U(room.name);
}

// The item a broken rule is about, from the path that starts its message:
// "rooms[1].limits[0]: the alert limit is above the action limit".
struct Broken {
    enum Kind { kNone, kRoom, kLocation, kLimit, kInstrument };
    Kind kind = kNone;
    int index = -1;  // of the room or instrument
    int item = -1;   // of the location or limit in the room
    QString reason;
};

Broken ParseBroken(const std::string& error) {
    static const QRegularExpression kRoom(QStringLiteral("^rooms\\[(\\d+)\\](?:\\.(locations|limits)\\[(\\d+)\\])?: "));
    static const QRegularExpression kInstrument(QStringLiteral("^instruments\\[(\\d+)\\]: "));
    Broken broken;
    const QString text = U(error);
    if (const QRegularExpressionMatch m = kRoom.match(text); m.hasMatch()) {
        broken.index = m.captured(1).toInt();
        broken.kind = m.captured(2).isEmpty()                       ? Broken::kRoom
                      : m.captured(2) == QLatin1String("locations") ? Broken::kLocation
                                                                    : Broken::kLimit;
        if (broken.kind != Broken::kRoom) broken.item = m.captured(3).toInt();
        broken.reason = text.mid(m.capturedLength());
    } else if (const QRegularExpressionMatch i = kInstrument.match(text); i.hasMatch()) {
        broken.kind = Broken::kInstrument;
        broken.index = i.captured(1).toInt();
        broken.reason = text.mid(i.capturedLength());
    } else {
        broken.reason = text;
    }
    return broken;
}

QString Counted(std::size_t n, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(n).arg(QLatin1String(n == 1 ? one : many));
}

QString Summary(const Register& reg) {
    std::size_t locations = 0, limits = 0;
    for (const Room& room : reg.rooms) {
        locations += room.locations.size();
        limits += room.limits.size();
    }
    return QStringLiteral("%1, %2, %3, %4")
        .arg(Counted(reg.rooms.size(), "room", "rooms"), Counted(locations, "location", "locations"),
             Counted(limits, "limit", "limits"), Counted(reg.instruments.size(), "instrument", "instruments"));
}

}  // namespace

// ---------------------------------------------------------------------------
// The plan of a room.

namespace {
constexpr double kPlanMargin = 24.0;   // pixels around the room, for the numbers
constexpr double kPlanLegend = 18.0;   // pixels below it, for the legend
constexpr double kDotRadius = 5.0;     // pixels
constexpr double kDotReach = 10.0;     // pixels from a dot's centre that click it
constexpr double kGridSpacing = 24.0;  // the fewest pixels between grid lines
const QColor kDotColour(30, 90, 180);
const QColor kCriticalColour(200, 30, 30);
const QColor kSelectedColour(240, 150, 0);

void DrawMarker(QPainter& painter, const QPointF& at, bool critical) {
    painter.setPen(QPen(Qt::white, 1.0));
    if (critical) {
        const double r = kDotRadius + 1.5;
        const QPointF diamond[] = {at + QPointF(0, -r), at + QPointF(r, 0), at + QPointF(0, r), at + QPointF(-r, 0)};
        painter.setBrush(kCriticalColour);
        painter.drawPolygon(diamond, 4);
    } else {
        painter.setBrush(kDotColour);
        painter.drawEllipse(at, kDotRadius, kDotRadius);
    }
}
}  // namespace

CSitePlan::CSitePlan(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("plan"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setToolTip(QStringLiteral("The room's locations at their x and y positions; click one to select it."));
}

QSize CSitePlan::sizeHint() const {
    return {280, 240};
}

QSize CSitePlan::minimumSizeHint() const {
    return {160, 140};
}

void CSitePlan::SetLocations(std::vector<Location> locations, int selected) {
    m_locations = std::move(locations);
    m_selected = selected;
    update();
}

void CSitePlan::SetSelected(int index) {
    m_selected = index;
    update();
}

QPointF CSitePlan::Scale::At(double xM, double yM) const {
    return topLeft + QPointF((xM - minX) * pixelsPerM, (maxY - yM) * pixelsPerM);
}

CSitePlan::Scale CSitePlan::Layout() const {
    // The room as far as its locations and the origin reach, at least a
    // metre each way, at one scale for both axes.
    Scale s;
    s.minX = s.maxX = s.minY = s.maxY = 0.0;
    for (const Location& loc : m_locations) {
        s.minX = std::min(s.minX, loc.xM);
        s.maxX = std::max(s.maxX, loc.xM);
        s.minY = std::min(s.minY, loc.yM);
        s.maxY = std::max(s.maxY, loc.yM);
    }
    s.maxX = std::max(s.maxX, s.minX + 1.0);
    s.maxY = std::max(s.maxY, s.minY + 1.0);
    const double width = std::max(1.0, this->width() - 2 * kPlanMargin);
    const double height = std::max(1.0, this->height() - 2 * kPlanMargin - kPlanLegend);
    s.pixelsPerM = std::min(width / (s.maxX - s.minX), height / (s.maxY - s.minY));
    s.topLeft = QPointF(kPlanMargin + (width - (s.maxX - s.minX) * s.pixelsPerM) / 2,
                        kPlanMargin + (height - (s.maxY - s.minY) * s.pixelsPerM) / 2);
    return s;
}

QPointF CSitePlan::DotCentre(int index) const {
    if (index < 0 || index >= static_cast<int>(m_locations.size())) return {};
    const Location& loc = m_locations[static_cast<std::size_t>(index)];
    return Layout().At(loc.xM, loc.yM);
}

int CSitePlan::LocationAt(const QPointF& point) const {
    const Scale s = Layout();
    int nearest = -1;
    double best = kDotReach;
    for (std::size_t i = 0; i < m_locations.size(); ++i) {
        const QPointF d = s.At(m_locations[i].xM, m_locations[i].yM) - point;
        const double distance = std::hypot(d.x(), d.y());
        if (distance <= best) {
            best = distance;
            nearest = static_cast<int>(i);
        }
    }
    return nearest;
}

void CSitePlan::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    const int index = LocationAt(event->position());
    if (index < 0) return;
    SetSelected(index);
    if (locationClicked) locationClicked(index);
}

void CSitePlan::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.fillRect(rect(), palette().base());
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));

    const Scale s = Layout();
    const QRectF room(s.At(s.minX, s.maxY), s.At(s.maxX, s.minY));
    painter.fillRect(room, QColor(244, 247, 250));

    // A grid of round metres, its lines at least kGridSpacing apart.
    double step = 0.1;
    for (const double next : {0.2, 0.5, 1.0, 2.0, 5.0, 10.0, 20.0, 50.0, 100.0, 200.0, 500.0, 1000.0, 2000.0}) {
        if (step * s.pixelsPerM >= kGridSpacing) break;
        step = next;
    }
    painter.setPen(QPen(QColor(222, 228, 234), 1.0));
    for (double x = std::ceil(s.minX / step) * step; x <= s.maxX + 1e-9; x += step)
        painter.drawLine(s.At(x, s.minY), s.At(x, s.maxY));
    for (double y = std::ceil(s.minY / step) * step; y <= s.maxY + 1e-9; y += step)
        painter.drawLine(s.At(s.minX, y), s.At(s.maxX, y));
    painter.setPen(QPen(QColor(160, 170, 180), 1.0));
    painter.drawLine(s.At(0, s.minY), s.At(0, s.maxY));
    painter.drawLine(s.At(s.minX, 0), s.At(s.maxX, 0));
    painter.setPen(QPen(QColor(120, 130, 140), 1.0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(room);

    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() * 0.85));
    painter.setFont(small);
    const QFontMetricsF metrics(small);
    const double legendY = height() - kPlanLegend / 2 - 4;
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QPointF(s.At(0, 0).x() - metrics.horizontalAdvance(QStringLiteral("0")) / 2,
                             s.At(0, s.minY).y() + metrics.ascent() + 2),
                     QStringLiteral("0"));
    // The room's extent along each axis.
    const QString across = QStringLiteral("%1 m").arg(Num(s.maxX));
    const QString up = QStringLiteral("%1 m").arg(Num(s.maxY));
    painter.drawText(QPointF(room.right() - metrics.horizontalAdvance(across), room.bottom() + metrics.ascent() + 2),
                     across);
    painter.drawText(QPointF(room.left(), room.top() - metrics.descent() - 2), up);

    if (m_locations.empty()) {
        painter.drawText(room, Qt::AlignCenter | Qt::TextWordWrap, QStringLiteral("No locations yet"));
    }
    QFont bold = small;
    bold.setBold(true);
    painter.setFont(bold);
    for (std::size_t i = 0; i < m_locations.size(); ++i) {
        const Location& loc = m_locations[i];
        const QPointF at = s.At(loc.xM, loc.yM);
        if (static_cast<int>(i) == m_selected) {
            painter.setPen(QPen(kSelectedColour, 2.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(at, kDotRadius + 4.5, kDotRadius + 4.5);
        }
        DrawMarker(painter, at, loc.critical);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(at + QPointF(kDotRadius + 4, -kDotRadius - 1), QString::number(loc.number));
    }

    // The legend: the markers, and the grid's step.
    painter.setFont(small);
    double x = 10;
    DrawMarker(painter, QPointF(x, legendY), false);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QPointF(x + 9, legendY + metrics.ascent() / 2 - 1), QStringLiteral("location"));
    x += 18 + metrics.horizontalAdvance(QStringLiteral("location")) + 12;
    DrawMarker(painter, QPointF(x, legendY), true);
    painter.setPen(palette().color(QPalette::Text));
    painter.drawText(QPointF(x + 9, legendY + metrics.ascent() / 2 - 1), QStringLiteral("critical"));
    const QString grid = QStringLiteral("grid %1 m").arg(Num(step));
    painter.drawText(QPointF(width() - 10 - metrics.horizontalAdvance(grid), legendY + metrics.ascent() / 2 - 1), grid);
}

// ---------------------------------------------------------------------------
// The dialog.

CSiteDlg::CSiteDlg(std::string archivePath, QWidget* parent) : QDialog(parent), m_archivePath(std::move(archivePath)) {
    setObjectName(QStringLiteral("site"));
    setWindowTitle(QStringLiteral("Site[*]"));
    // Numbers and dates read and show the same in any locale.
    setLocale(QLocale::c());
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    setSizeGripEnabled(true);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_tabs = new QTabWidget(this);
    m_tabs->setObjectName(QStringLiteral("tabs"));
    auto* organisation = new QWidget(m_tabs);
    organisation->setObjectName(QStringLiteral("organisationTab"));
    BuildOrganisationTab(organisation);
    auto* rooms = new QWidget(m_tabs);
    rooms->setObjectName(QStringLiteral("roomsTab"));
    BuildRoomsTab(rooms);
    auto* instruments = new QWidget(m_tabs);
    instruments->setObjectName(QStringLiteral("instrumentsTab"));
    BuildInstrumentsTab(instruments);
    m_tabs->addTab(organisation, QStringLiteral("&Organisation"));
    m_tabs->addTab(rooms, QStringLiteral("&Rooms"));
    m_tabs->addTab(instruments, QStringLiteral("&Instruments"));
    m_tabs->setCurrentWidget(rooms);

    m_validationLabel = new QLabel(this);
    m_validationLabel->setObjectName(QStringLiteral("validation"));
    m_validationLabel->setWordWrap(true);
    m_validationLabel->setTextFormat(Qt::RichText);
    connect(m_validationLabel, &QLabel::linkActivated, this, [this] { ShowBrokenItem(); });

    auto* buttons = new QDialogButtonBox(this);
    m_save = buttons->addButton(QStringLiteral("&Save"), QDialogButtonBox::ActionRole);
    m_save->setObjectName(QStringLiteral("save"));
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("close"));
    // Enter in a field neither saves nor closes.
    for (QPushButton* button : {m_save, close}) button->setAutoDefault(false);
    connect(m_save, &QPushButton::clicked, this, [this] { Save(); });
    connect(buttons, &QDialogButtonBox::rejected, this, &CSiteDlg::reject);

    // Why the register changes: kept in the audit trail with the change.
    m_reason = NewLineEdit(this, "reason");
    m_reason->setPlaceholderText(QStringLiteral("Reason for the change (kept in the audit trail)"));
    m_reason->setMinimumWidth(260);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_validationLabel, 1);
    bottom->addWidget(m_reason, 0, Qt::AlignBottom);
    bottom->addWidget(buttons, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_status);
    layout->addWidget(m_tabs, 1);
    layout->addLayout(bottom);
    resize(900, 620);

    Connect();
    Load();
}

void CSiteDlg::BuildOrganisationTab(QWidget* page) {
    m_orgName = NewLineEdit(page, "organisationName");
    m_orgAddress = new QPlainTextEdit(page);
    m_orgAddress->setObjectName(QStringLiteral("organisationAddress"));
    m_orgAddress->setTabChangesFocus(true);
    m_orgAddress->setMaximumHeight(m_orgAddress->fontMetrics().height() * 6);
    auto* nameLabel = new QLabel(QStringLiteral("&Name:"), page);
    nameLabel->setBuddy(m_orgName);
    auto* addressLabel = new QLabel(QStringLiteral("&Address:"), page);
    addressLabel->setBuddy(m_orgAddress);
    auto* grid = new QGridLayout(page);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(m_orgName, 0, 1);
    grid->addWidget(addressLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(m_orgAddress, 1, 1);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(1, 1);
}

void CSiteDlg::BuildRoomsTab(QWidget* page) {
    auto* splitter = new QSplitter(Qt::Horizontal, page);
    splitter->setObjectName(QStringLiteral("roomsSplitter"));
    splitter->setChildrenCollapsible(false);

    auto* left = new QWidget(splitter);
    m_rooms = new QListWidget(left);
    m_rooms->setObjectName(QStringLiteral("rooms"));
    QPushButton* add = NewButton(left, QStringLiteral("A&dd room"), "addRoom");
    m_removeRoom = NewButton(left, QStringLiteral("Remove"), "removeRoom");
    auto* leftButtons = new QHBoxLayout;
    leftButtons->addWidget(add);
    leftButtons->addWidget(m_removeRoom);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(m_rooms, 1);
    leftLayout->addLayout(leftButtons);
    connect(add, &QPushButton::clicked, this, [this] {
        Room room;
        for (int n = static_cast<int>(m_reg.rooms.size()) + 1;; ++n) {
            room.id = "R" + std::to_string(n);
            if (std::none_of(m_reg.rooms.begin(), m_reg.rooms.end(), [&](const Room& r) { return r.id == room.id; }))
                break;
        }
        room.classTenths = 70;
        m_reg.rooms.push_back(std::move(room));
        m_room = static_cast<int>(m_reg.rooms.size()) - 1;
        m_location = m_limit = -1;
        ShowRegister();
        m_roomTabs->setCurrentIndex(0);
        m_roomId->setFocus();
        m_roomId->selectAll();
    });
    connect(m_removeRoom, &QPushButton::clicked, this, [this] {
        if (EditedRoom() == nullptr) return;
        m_reg.rooms.erase(m_reg.rooms.begin() + m_room);
        m_room = std::min(m_room, static_cast<int>(m_reg.rooms.size()) - 1);
        m_location = m_limit = 0;
        ShowRegister();
    });

    m_roomTabs = new QTabWidget(splitter);
    m_roomTabs->setObjectName(QStringLiteral("roomTabs"));
    m_roomTabs->addTab(BuildRoomPage(), QStringLiteral("Room"));
    m_roomTabs->addTab(BuildLocationsPage(), QStringLiteral("Locations"));
    m_roomTabs->addTab(BuildLimitsPage(), QStringLiteral("Limits"));

    splitter->addWidget(left);
    splitter->addWidget(m_roomTabs);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({170, 710});
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(splitter);
}

QWidget* CSiteDlg::BuildRoomPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("roomPage"));
    m_roomId = NewLineEdit(page, "roomId");
    m_roomName = NewLineEdit(page, "roomName");
    m_roomArea = new CNumberBox(page, "roomArea", 0.0, 1e6, 2);
    m_roomArea->setSuffix(QString::fromUtf8(" m²"));
    m_roomStandard = new QComboBox(page);
    m_roomStandard->setObjectName(QStringLiteral("roomStandard"));
    for (const Standard s : kStandards) m_roomStandard->addItem(QString::fromLatin1(classify::StandardName(s)));
    m_roomClass = new CNumberBox(page, "roomClass", 1.0, 9.0, 1);
    m_roomClass->setSingleStep(0.1);
    m_roomClass->setPrefix(QStringLiteral("ISO "));
    m_roomGrade = new QComboBox(page);
    m_roomGrade->setObjectName(QStringLiteral("roomGrade"));
    for (const char g : kGrades) m_roomGrade->addItem(QStringLiteral("grade %1").arg(QLatin1Char(g)), int(g));
    m_roomState = new QComboBox(page);
    m_roomState->setObjectName(QStringLiteral("roomState"));
    for (const Occupancy o : kStates) m_roomState->addItem(QString::fromLatin1(classify::StateName(o)));
    m_roomAdverseRun = NewIntBox(page, "roomAdverseRun", 2, 100);
    m_roomAdverseRun->setSuffix(QStringLiteral(" records in a row above the alert limit"));
    m_roomNotes = new QPlainTextEdit(page);
    m_roomNotes->setObjectName(QStringLiteral("roomNotes"));
    m_roomNotes->setTabChangesFocus(true);

    auto* grid = new QGridLayout(page);
    const auto label = [page](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, page);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(QStringLiteral("I&d:"), m_roomId), 0, 0);
    grid->addWidget(m_roomId, 0, 1);
    grid->addWidget(label(QStringLiteral("S&tandard:"), m_roomStandard), 0, 2);
    grid->addWidget(m_roomStandard, 0, 3);
    grid->addWidget(label(QStringLiteral("&Name:"), m_roomName), 1, 0);
    grid->addWidget(m_roomName, 1, 1);
    m_roomClassLabel = label(QStringLiteral("C&lass:"), m_roomClass);
    m_roomGradeLabel = label(QStringLiteral("&Grade:"), m_roomGrade);
    grid->addWidget(m_roomClassLabel, 1, 2);
    grid->addWidget(m_roomClass, 1, 3);
    grid->addWidget(m_roomGradeLabel, 2, 2);
    grid->addWidget(m_roomGrade, 2, 3);
    grid->addWidget(label(QStringLiteral("&Area:"), m_roomArea), 2, 0);
    grid->addWidget(m_roomArea, 2, 1);
    grid->addWidget(label(QStringLiteral("&Occupancy state:"), m_roomState), 3, 2);
    grid->addWidget(m_roomState, 3, 3);
    grid->addWidget(label(QStringLiteral("Ad&verse trend:"), m_roomAdverseRun), 4, 0);
    grid->addWidget(m_roomAdverseRun, 4, 1, 1, 3);
    grid->addWidget(label(QStringLiteral("Not&es:"), m_roomNotes), 5, 0, Qt::AlignTop);
    grid->addWidget(m_roomNotes, 5, 1, 1, 3);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setRowStretch(5, 1);
    return page;
}

QWidget* CSiteDlg::BuildLocationsPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("locationsPage"));
    m_locations =
        NewTable(page, "locations",
                 {QStringLiteral("Number"), QStringLiteral("Name"), QStringLiteral("X (m)"), QStringLiteral("Y (m)"),
                  QStringLiteral("Critical"), QStringLiteral("Valid from"), QStringLiteral("Valid to")},
                 1);
    QPushButton* add = NewButton(page, QStringLiteral("Add &location"), "addLocation");
    m_removeLocation = NewButton(page, QStringLiteral("Remove"), "removeLocation");
    m_plan = new CSitePlan(page);

    m_locationForm = new QWidget(page);
    m_locationForm->setObjectName(QStringLiteral("locationForm"));
    m_locationNumber = NewIntBox(m_locationForm, "locationNumber", 0, 255);
    m_locationNumber->setToolTip(QStringLiteral("The location number the instrument records, 0 to 255"));
    m_locationName = NewLineEdit(m_locationForm, "locationName");
    m_locationX = new CNumberBox(m_locationForm, "locationX", -10000.0, 10000.0, 2);
    m_locationY = new CNumberBox(m_locationForm, "locationY", -10000.0, 10000.0, 2);
    for (QDoubleSpinBox* box : {m_locationX, m_locationY}) {
        box->setSuffix(QStringLiteral(" m"));
        box->setSingleStep(0.5);
    }
    m_locationCritical = new QCheckBox(QStringLiteral("C&ritical"), m_locationForm);
    m_locationCritical->setObjectName(QStringLiteral("locationCritical"));
    m_locationFromSet = new QCheckBox(QStringLiteral("Valid &from:"), m_locationForm);
    m_locationFromSet->setObjectName(QStringLiteral("locationFromSet"));
    m_locationFrom = NewDateEdit(m_locationForm, "locationFrom");
    m_locationToSet = new QCheckBox(QStringLiteral("Valid &to:"), m_locationForm);
    m_locationToSet->setObjectName(QStringLiteral("locationToSet"));
    m_locationTo = NewDateEdit(m_locationForm, "locationTo");

    auto* form = new QGridLayout(m_locationForm);
    form->setContentsMargins(0, 0, 0, 0);
    const auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, m_locationForm);
        l->setBuddy(buddy);
        return l;
    };
    form->addWidget(label(QStringLiteral("N&umber:"), m_locationNumber), 0, 0);
    form->addWidget(m_locationNumber, 0, 1);
    form->addWidget(m_locationCritical, 0, 2, 1, 2);
    form->addWidget(label(QStringLiteral("&Name:"), m_locationName), 1, 0);
    form->addWidget(m_locationName, 1, 1, 1, 3);
    form->addWidget(label(QStringLiteral("&X:"), m_locationX), 2, 0);
    form->addWidget(m_locationX, 2, 1);
    form->addWidget(label(QStringLiteral("&Y:"), m_locationY), 2, 2);
    form->addWidget(m_locationY, 2, 3);
    form->addWidget(m_locationFromSet, 3, 0);
    form->addWidget(m_locationFrom, 3, 1);
    form->addWidget(m_locationToSet, 4, 0);
    form->addWidget(m_locationTo, 4, 1);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);
    form->setRowStretch(5, 1);

    // The list above; the selected location's fields and the plan below.
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(m_removeLocation);
    listButtons->addStretch();
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_locationForm, 1);
    bottom->addWidget(m_plan, 1);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_locations, 1);
    layout->addLayout(listButtons);
    layout->addLayout(bottom, 1);

    connect(add, &QPushButton::clicked, this, [this] {
        Room* room = EditedRoom();
        if (room == nullptr) return;
        // The lowest number no room uses yet.
        Location loc;
        for (int n = 1; n <= 255; ++n) {
            const bool used = std::any_of(m_reg.rooms.begin(), m_reg.rooms.end(), [n](const Room& r) {
                return std::any_of(r.locations.begin(), r.locations.end(),
                                   [n](const Location& l) { return l.number == n; });
            });
            if (!used) {
                loc.number = n;
                break;
            }
        }
        room->locations.push_back(loc);
        m_location = static_cast<int>(room->locations.size()) - 1;
        ShowRegister();
        m_locationNumber->setFocus();
        m_locationNumber->selectAll();
    });
    connect(m_removeLocation, &QPushButton::clicked, this, [this] {
        if (EditedLocation() == nullptr) return;
        Room& room = m_reg.rooms[static_cast<std::size_t>(m_room)];
        room.locations.erase(room.locations.begin() + m_location);
        m_location = std::min(m_location, static_cast<int>(room.locations.size()) - 1);
        ShowRegister();
    });
    return page;
}

QWidget* CSiteDlg::BuildLimitsPage() {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("limitsPage"));
    m_limits = NewTable(page, "limits",
                        {QStringLiteral("Size"), QString::fromUtf8("Alert (/m³)"), QString::fromUtf8("Action (/m³)"),
                         QStringLiteral("Location")},
                        3);
    QPushButton* add = NewButton(page, QStringLiteral("Add li&mit"), "addLimit");
    m_removeLimit = NewButton(page, QStringLiteral("Remove"), "removeLimit");

    m_limitForm = new QWidget(page);
    m_limitForm->setObjectName(QStringLiteral("limitForm"));
    m_limitSize = new QComboBox(m_limitForm);
    m_limitSize->setObjectName(QStringLiteral("limitSize"));
    for (const int tenths : classify::kSizes) m_limitSize->addItem(U(classify::SizeText(tenths)), tenths);
    m_limitAlert = new CNumberBox(m_limitForm, "limitAlert", 0.0, 1e12, 3);
    m_limitAction = new CNumberBox(m_limitForm, "limitAction", 0.0, 1e12, 3);
    for (QDoubleSpinBox* box : {m_limitAlert, m_limitAction}) box->setSuffix(QString::fromUtf8(" /m³"));
    m_limitLocation = new QComboBox(m_limitForm);
    m_limitLocation->setObjectName(QStringLiteral("limitLocation"));

    auto* form = new QGridLayout(m_limitForm);
    form->setContentsMargins(0, 0, 0, 0);
    const auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, m_limitForm);
        l->setBuddy(buddy);
        return l;
    };
    form->addWidget(label(QStringLiteral("Si&ze:"), m_limitSize), 0, 0);
    form->addWidget(m_limitSize, 0, 1);
    form->addWidget(label(QStringLiteral("L&ocation:"), m_limitLocation), 0, 2);
    form->addWidget(m_limitLocation, 0, 3);
    form->addWidget(label(QStringLiteral("Ale&rt limit:"), m_limitAlert), 1, 0);
    form->addWidget(m_limitAlert, 1, 1);
    form->addWidget(label(QStringLiteral("Actio&n limit:"), m_limitAction), 1, 2);
    form->addWidget(m_limitAction, 1, 3);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);
    auto* note = new QLabel(QStringLiteral("A limit at one location replaces the room's limit of the same size there."),
                            m_limitForm);
    note->setWordWrap(true);
    form->addWidget(note, 2, 0, 1, 4);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(m_removeLimit);
    listButtons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_limits, 1);
    layout->addLayout(listButtons);
    layout->addWidget(m_limitForm);

    connect(add, &QPushButton::clicked, this, [this] {
        Room* room = EditedRoom();
        if (room == nullptr) return;
        // The first size without a limit for the whole room.
        Limit limit;
        limit.sizeTenths = 5;
        for (const int tenths : classify::kSizes) {
            if (std::none_of(room->limits.begin(), room->limits.end(),
                             [tenths](const Limit& l) { return l.sizeTenths == tenths && !l.location; })) {
                limit.sizeTenths = tenths;
                break;
            }
        }
        room->limits.push_back(limit);
        m_limit = static_cast<int>(room->limits.size()) - 1;
        ShowRegister();
        m_limitSize->setFocus();
    });
    connect(m_removeLimit, &QPushButton::clicked, this, [this] {
        if (EditedLimit() == nullptr) return;
        Room& room = m_reg.rooms[static_cast<std::size_t>(m_room)];
        room.limits.erase(room.limits.begin() + m_limit);
        m_limit = std::min(m_limit, static_cast<int>(room.limits.size()) - 1);
        ShowRegister();
    });
    return page;
}

void CSiteDlg::BuildInstrumentsTab(QWidget* page) {
    m_instruments = NewTable(page, "instruments",
                             {QStringLiteral("Serial"), QStringLiteral("Model"), QStringLiteral("Calibrated"),
                              QStringLiteral("Due"), QStringLiteral("Certificate"), QStringLiteral("Flow (L/min)")},
                             1);
    QPushButton* add = NewButton(page, QStringLiteral("Add instr&ument"), "addInstrument");
    m_removeInstrument = NewButton(page, QStringLiteral("Remove"), "removeInstrument");

    m_instrumentForm = new QWidget(page);
    m_instrumentForm->setObjectName(QStringLiteral("instrumentForm"));
    m_instrumentSerial = new CNumberBox(m_instrumentForm, "instrumentSerial", 0.0, 4294967295.0, 0);
    m_instrumentModel = NewLineEdit(m_instrumentForm, "instrumentModel");
    m_instrumentCalibrated = NewDateEdit(m_instrumentForm, "instrumentCalibrated");
    m_instrumentDue = NewDateEdit(m_instrumentForm, "instrumentDue");
    m_instrumentCertificate = NewLineEdit(m_instrumentForm, "instrumentCertificate");
    m_instrumentFlow = new CNumberBox(m_instrumentForm, "instrumentFlow", 0.0, 1000.0, 3);
    m_instrumentFlow->setSuffix(QStringLiteral(" L/min"));
    m_instrumentFlow->setSingleStep(0.01);

    auto* form = new QGridLayout(m_instrumentForm);
    form->setContentsMargins(0, 0, 0, 0);
    const auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, m_instrumentForm);
        l->setBuddy(buddy);
        return l;
    };
    form->addWidget(label(QStringLiteral("S&erial number:"), m_instrumentSerial), 0, 0);
    form->addWidget(m_instrumentSerial, 0, 1);
    form->addWidget(label(QStringLiteral("Mo&del:"), m_instrumentModel), 0, 2);
    form->addWidget(m_instrumentModel, 0, 3);
    form->addWidget(label(QStringLiteral("&Calibrated on:"), m_instrumentCalibrated), 1, 0);
    form->addWidget(m_instrumentCalibrated, 1, 1);
    form->addWidget(label(QStringLiteral("Calibration d&ue:"), m_instrumentDue), 1, 2);
    form->addWidget(m_instrumentDue, 1, 3);
    form->addWidget(label(QStringLiteral("Cer&tificate:"), m_instrumentCertificate), 2, 0);
    form->addWidget(m_instrumentCertificate, 2, 1);
    form->addWidget(label(QStringLiteral("&Flow rate:"), m_instrumentFlow), 2, 2);
    form->addWidget(m_instrumentFlow, 2, 3);
    form->setColumnStretch(1, 1);
    form->setColumnStretch(3, 1);

    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(m_removeInstrument);
    listButtons->addStretch();
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_instruments, 1);
    layout->addLayout(listButtons);
    layout->addWidget(m_instrumentForm);

    connect(add, &QPushButton::clicked, this, [this] {
        Instrument ins;
        for (const Instrument& other : m_reg.instruments) ins.serial = std::max(ins.serial, other.serial + 1);
        const QDate today = std::clamp(QDate::currentDate(), QDate(2000, 1, 1), QDate(2098, 12, 31));
        ins.calibratedOn = DayOf(today);
        ins.calibrationDue = DayOf(today.addYears(1));
        m_reg.instruments.push_back(ins);
        m_instrument = static_cast<int>(m_reg.instruments.size()) - 1;
        ShowRegister();
        m_instrumentSerial->setFocus();
        m_instrumentSerial->selectAll();
    });
    connect(m_removeInstrument, &QPushButton::clicked, this, [this] {
        if (EditedInstrument() == nullptr) return;
        m_reg.instruments.erase(m_reg.instruments.begin() + m_instrument);
        m_instrument = std::min(m_instrument, static_cast<int>(m_reg.instruments.size()) - 1);
        ShowRegister();
    });
}

// Every field writes its value into the register as it is typed.
void CSiteDlg::Connect() {
    connect(m_orgName, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (m_filling) return;
        m_reg.organisation.name = S(text);
        Changed();
    });
    connect(m_orgAddress, &QPlainTextEdit::textChanged, this, [this] {
        if (m_filling) return;
        m_reg.organisation.address = S(m_orgAddress->toPlainText());
        Changed();
    });

    connect(m_rooms, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_filling) SelectRoom(row);
    });
    const auto room = [this](auto write) {
        return [this, write](auto value) {
            if (Room* r = EditedRoom()) {
                write(*r, value);
                Changed();
            }
        };
    };
    connect(m_roomId, &QLineEdit::textChanged, this, room([](Room& r, const QString& t) { r.id = S(t); }));
    connect(m_roomName, &QLineEdit::textChanged, this, room([](Room& r, const QString& t) { r.name = S(t); }));
    connect(m_roomArea, &QDoubleSpinBox::valueChanged, this, room([](Room& r, double v) { r.areaM2 = v; }));
    connect(m_roomClass, &QDoubleSpinBox::valueChanged, this,
            room([](Room& r, double v) { r.classTenths = static_cast<int>(std::lround(v * 10)); }));
    connect(m_roomGrade, &QComboBox::currentIndexChanged, this,
            room([](Room& r, int index) { r.grade = kGrades[std::clamp(index, 0, 3)]; }));
    connect(m_roomState, &QComboBox::currentIndexChanged, this,
            room([](Room& r, int index) { r.state = kStates[std::clamp(index, 0, 2)]; }));
    connect(m_roomAdverseRun, &QSpinBox::valueChanged, this, room([](Room& r, int v) { r.adverseRun = v; }));
    connect(m_roomNotes, &QPlainTextEdit::textChanged, this, [this] {
        if (Room* r = EditedRoom()) {
            r->notes = S(m_roomNotes->toPlainText());
            Changed();
        }
    });
    // A room has a class or a grade, as its standard takes; EU GMP Annex 1
    // knows no as-built state.
    connect(m_roomStandard, &QComboBox::currentIndexChanged, this, [this](int index) {
        Room* r = EditedRoom();
        if (r == nullptr) return;
        r->standard = kStandards[std::clamp(index, 0, 2)];
        if (r->standard == Standard::Gmp2022) {
            r->classTenths = 0;
            r->grade = kGrades[std::clamp(m_roomGrade->currentIndex(), 0, 3)];
            if (r->state == Occupancy::AsBuilt) r->state = Occupancy::AtRest;
        } else {
            r->grade = 0;
            r->classTenths = static_cast<int>(std::lround(m_roomClass->value() * 10));
        }
        {
            Filling filling(m_filling);
            m_roomState->setCurrentIndex(static_cast<int>(r->state));
        }
        ShowStandardControls();
        Changed();
    });

    connect(m_locations, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!m_filling) SelectLocation(SelectedRow(m_locations));
    });
    m_plan->locationClicked = [this](int index) {
        SelectLocation(index);
        Filling filling(m_filling);
        SelectRow(m_locations, m_location);
    };
    const auto location = [this](auto write) {
        return [this, write](auto value) {
            if (Location* l = EditedLocation()) {
                write(*l, value);
                Changed();
            }
        };
    };
    connect(m_locationNumber, &QSpinBox::valueChanged, this, location([](Location& l, int v) { l.number = v; }));
    connect(m_locationName, &QLineEdit::textChanged, this,
            location([](Location& l, const QString& t) { l.name = S(t); }));
    connect(m_locationX, &QDoubleSpinBox::valueChanged, this, location([](Location& l, double v) { l.xM = v; }));
    connect(m_locationY, &QDoubleSpinBox::valueChanged, this, location([](Location& l, double v) { l.yM = v; }));
    connect(m_locationCritical, &QCheckBox::toggled, this, location([](Location& l, bool on) { l.critical = on; }));
    connect(m_locationFromSet, &QCheckBox::toggled, this, location([this](Location& l, bool on) {
                m_locationFrom->setEnabled(on);
                l.from = on ? std::optional<Day>(DayOf(m_locationFrom->date())) : std::nullopt;
            }));
    connect(m_locationFrom, &QDateEdit::dateChanged, this, location([](Location& l, const QDate& d) {
                if (l.from) l.from = DayOf(d);
            }));
    connect(m_locationToSet, &QCheckBox::toggled, this, location([this](Location& l, bool on) {
                m_locationTo->setEnabled(on);
                l.to = on ? std::optional<Day>(DayOf(m_locationTo->date())) : std::nullopt;
            }));
    connect(m_locationTo, &QDateEdit::dateChanged, this, location([](Location& l, const QDate& d) {
                if (l.to) l.to = DayOf(d);
            }));

    connect(m_limits, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!m_filling) SelectLimit(SelectedRow(m_limits));
    });
    const auto limit = [this](auto write) {
        return [this, write](auto value) {
            if (Limit* l = EditedLimit()) {
                write(*l, value);
                Changed();
            }
        };
    };
    connect(m_limitSize, &QComboBox::currentIndexChanged, this,
            limit([this](Limit& l, int) { l.sizeTenths = m_limitSize->currentData().toInt(); }));
    connect(m_limitAlert, &QDoubleSpinBox::valueChanged, this, limit([](Limit& l, double v) { l.alertPerM3 = v; }));
    connect(m_limitAction, &QDoubleSpinBox::valueChanged, this, limit([](Limit& l, double v) { l.actionPerM3 = v; }));
    connect(m_limitLocation, &QComboBox::currentIndexChanged, this, limit([this](Limit& l, int) {
                const int number = m_limitLocation->currentData().toInt();
                l.location = number < 0 ? std::nullopt : std::optional<int>(number);
            }));

    connect(m_instruments, &QTableWidget::itemSelectionChanged, this, [this] {
        if (!m_filling) SelectInstrument(SelectedRow(m_instruments));
    });
    const auto instrument = [this](auto write) {
        return [this, write](auto value) {
            if (Instrument* i = EditedInstrument()) {
                write(*i, value);
                Changed();
            }
        };
    };
    connect(m_instrumentSerial, &QDoubleSpinBox::valueChanged, this,
            instrument([](Instrument& i, double v) { i.serial = static_cast<std::uint32_t>(std::llround(v)); }));
    connect(m_instrumentModel, &QLineEdit::textChanged, this,
            instrument([](Instrument& i, const QString& t) { i.model = S(t); }));
    connect(m_instrumentCalibrated, &QDateEdit::dateChanged, this,
            instrument([](Instrument& i, const QDate& d) { i.calibratedOn = DayOf(d); }));
    connect(m_instrumentDue, &QDateEdit::dateChanged, this,
            instrument([](Instrument& i, const QDate& d) { i.calibrationDue = DayOf(d); }));
    connect(m_instrumentCertificate, &QLineEdit::textChanged, this,
            instrument([](Instrument& i, const QString& t) { i.certificate = S(t); }));
    connect(m_instrumentFlow, &QDoubleSpinBox::valueChanged, this,
            instrument([](Instrument& i, double v) { i.flowLPerMin = v; }));
}

void CSiteDlg::Load() {
    const QString where = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(m_archivePath)));
    std::string error;
    const auto archive =
        archive::OpenStore(m_archivePath, archive::OpenMode::ReadOnly, audit::CurrentIdentity(), error);
    if (!archive || !archive->LoadRegister(m_reg, error)) {
        m_reg = Register{};
        m_editable = false;
        m_tabs->setEnabled(false);
        m_status->setText(QStringLiteral("The site register cannot be read, so it cannot be edited: %1").arg(U(error)));
    } else if (m_reg.Empty()) {
        m_status->setText(
            QStringLiteral("No site register is kept in %1 yet: Save keeps what you enter here.").arg(where));
    } else {
        m_status->setText(QStringLiteral("The site register of %1: %2.").arg(where, Summary(m_reg)));
    }
    // Only an administrator of the archive changes the register.
    if (std::string refusal; m_editable && !archive->Check(audit::Action::EditRegister, refusal)) {
        m_editable = false;
        m_tabs->setEnabled(false);
        m_reason->setEnabled(false);
        m_save->setToolTip(U(refusal));
        m_status->setText(m_status->text() + QStringLiteral(" It cannot be changed: %1.").arg(U(refusal)));
    }
    m_savedJson = RegisterJson(m_reg);
    m_room = m_reg.rooms.empty() ? -1 : 0;
    m_location = m_limit = 0;
    m_instrument = m_reg.instruments.empty() ? -1 : 0;
    ShowRegister();
}

bool CSiteDlg::Modified() const {
    return RegisterJson(m_reg) != m_savedJson;
}

QString CSiteDlg::StatusText() const {
    return m_status->text();
}

Room* CSiteDlg::EditedRoom() {
    if (m_filling || m_room < 0 || m_room >= static_cast<int>(m_reg.rooms.size())) return nullptr;
    return &m_reg.rooms[static_cast<std::size_t>(m_room)];
}

Location* CSiteDlg::EditedLocation() {
    Room* room = EditedRoom();
    if (room == nullptr || m_location < 0 || m_location >= static_cast<int>(room->locations.size())) return nullptr;
    return &room->locations[static_cast<std::size_t>(m_location)];
}

Limit* CSiteDlg::EditedLimit() {
    Room* room = EditedRoom();
    if (room == nullptr || m_limit < 0 || m_limit >= static_cast<int>(room->limits.size())) return nullptr;
    return &room->limits[static_cast<std::size_t>(m_limit)];
}

Instrument* CSiteDlg::EditedInstrument() {
    if (m_filling || m_instrument < 0 || m_instrument >= static_cast<int>(m_reg.instruments.size())) return nullptr;
    return &m_reg.instruments[static_cast<std::size_t>(m_instrument)];
}

// Shows the whole register anew: the lists, the selections and the forms.
void CSiteDlg::ShowRegister() {
    const auto clampIndex = [](int& index, std::size_t size) {
        index = size == 0 ? -1 : std::clamp(index, 0, static_cast<int>(size) - 1);
    };
    clampIndex(m_room, m_reg.rooms.size());
    const Room* room = m_room < 0 ? nullptr : &m_reg.rooms[static_cast<std::size_t>(m_room)];
    clampIndex(m_location, room ? room->locations.size() : 0);
    clampIndex(m_limit, room ? room->limits.size() : 0);
    clampIndex(m_instrument, m_reg.instruments.size());
    {
        Filling filling(m_filling);
        if (m_orgName->text() != U(m_reg.organisation.name)) m_orgName->setText(U(m_reg.organisation.name));
        if (m_orgAddress->toPlainText() != U(m_reg.organisation.address))
            m_orgAddress->setPlainText(U(m_reg.organisation.address));
        RefreshRows();
        m_rooms->setCurrentRow(m_room);
        SelectRow(m_locations, m_location);
        SelectRow(m_limits, m_limit);
        SelectRow(m_instruments, m_instrument);
        ShowRoomForm();
        ShowLocationForm();
        ShowLimitForm();
        ShowInstrumentForm();
        FillLimitLocations();
    }
    Revalidate();
}

void CSiteDlg::SelectRoom(int index) {
    m_room = index;
    m_location = m_limit = 0;
    ShowRegister();
}

void CSiteDlg::SelectLocation(int index) {
    m_location = index;
    {
        Filling filling(m_filling);
        ShowLocationForm();
        m_plan->SetSelected(index);
    }
    Revalidate();
}

void CSiteDlg::SelectLimit(int index) {
    m_limit = index;
    {
        Filling filling(m_filling);
        ShowLimitForm();
    }
    Revalidate();
}

void CSiteDlg::SelectInstrument(int index) {
    m_instrument = index;
    {
        Filling filling(m_filling);
        ShowInstrumentForm();
    }
    Revalidate();
}

void CSiteDlg::ShowRoomForm() {
    const bool any = m_room >= 0;
    m_roomTabs->setEnabled(any);
    m_removeRoom->setEnabled(any);
    const Room room = any ? m_reg.rooms[static_cast<std::size_t>(m_room)] : Room{};
    m_roomId->setText(U(room.id));
    m_roomName->setText(U(room.name));
    m_roomArea->setValue(room.areaM2);
    m_roomStandard->setCurrentIndex(static_cast<int>(room.standard));
    if (room.classTenths != 0) m_roomClass->setValue(room.classTenths / 10.0);
    if (room.grade != 0) m_roomGrade->setCurrentIndex(std::max(0, m_roomGrade->findData(int(room.grade))));
    m_roomState->setCurrentIndex(static_cast<int>(room.state));
    m_roomAdverseRun->setValue(room.adverseRun);
    if (m_roomNotes->toPlainText() != U(room.notes)) m_roomNotes->setPlainText(U(room.notes));
    ShowStandardControls();
}

void CSiteDlg::ShowStandardControls() {
    const bool gmp = m_roomStandard->currentIndex() == static_cast<int>(Standard::Gmp2022);
    m_roomClassLabel->setVisible(!gmp);
    m_roomClass->setVisible(!gmp);
    m_roomGradeLabel->setVisible(gmp);
    m_roomGrade->setVisible(gmp);
    if (auto* model = qobject_cast<QStandardItemModel*>(m_roomState->model()))
        model->item(static_cast<int>(Occupancy::AsBuilt))->setEnabled(!gmp);
}

void CSiteDlg::ShowLocationForm() {
    const Room* room = m_room < 0 ? nullptr : &m_reg.rooms[static_cast<std::size_t>(m_room)];
    const bool any = room != nullptr && m_location >= 0;
    m_locationForm->setEnabled(any);
    m_removeLocation->setEnabled(any);
    const Location loc = any ? room->locations[static_cast<std::size_t>(m_location)] : Location{};
    m_locationNumber->setValue(loc.number);
    m_locationName->setText(U(loc.name));
    m_locationX->setValue(loc.xM);
    m_locationY->setValue(loc.yM);
    m_locationCritical->setChecked(loc.critical);
    m_locationFromSet->setChecked(loc.from.has_value());
    m_locationFrom->setEnabled(loc.from.has_value());
    // An open end shows today, the day a new period most likely starts.
    const QDate today = QDate::currentDate();
    m_locationFrom->setDate(loc.from ? DateOf(*loc.from) : today);
    m_locationToSet->setChecked(loc.to.has_value());
    m_locationTo->setEnabled(loc.to.has_value());
    m_locationTo->setDate(loc.to ? DateOf(*loc.to) : today);
}

void CSiteDlg::ShowLimitForm() {
    const Room* room = m_room < 0 ? nullptr : &m_reg.rooms[static_cast<std::size_t>(m_room)];
    const bool any = room != nullptr && m_limit >= 0;
    m_limitForm->setEnabled(any);
    m_removeLimit->setEnabled(any);
    const Limit limit = any ? room->limits[static_cast<std::size_t>(m_limit)] : Limit{};
    m_limitSize->setCurrentIndex(std::max(0, m_limitSize->findData(limit.sizeTenths)));
    m_limitAlert->setValue(limit.alertPerM3);
    m_limitAction->setValue(limit.actionPerM3);
    FillLimitLocations();
}

// The choices of a limit's location: the whole room and each location
// number of the room; a number the room no longer has stays shown, so that
// the rule it breaks can be seen and mended.
void CSiteDlg::FillLimitLocations() {
    Filling filling(m_filling);
    const Room* room = m_room < 0 ? nullptr : &m_reg.rooms[static_cast<std::size_t>(m_room)];
    const Limit* limit = room != nullptr && m_limit >= 0 ? &room->limits[static_cast<std::size_t>(m_limit)] : nullptr;
    std::vector<std::pair<QString, int>> choices{{QStringLiteral("whole room"), -1}};
    const auto listed = [&choices](int number) {
        return std::any_of(choices.begin(), choices.end(), [number](const auto& c) { return c.second == number; });
    };
    if (room != nullptr) {
        for (const Location& loc : room->locations) {
            if (listed(loc.number)) continue;
            choices.emplace_back(loc.name.empty() ? QString::number(loc.number)
                                                  : QStringLiteral("%1 \u2013 %2").arg(loc.number).arg(U(loc.name)),
                                 loc.number);
        }
    }
    if (limit != nullptr && limit->location && !listed(*limit->location))
        choices.emplace_back(QStringLiteral("%1 (not in the room)").arg(*limit->location), *limit->location);
    // Rebuilt only when the choices change, so that a choice being made is
    // not taken from under the pointer.
    bool same = m_limitLocation->count() == static_cast<int>(choices.size());
    for (int i = 0; same && i < m_limitLocation->count(); ++i) {
        const auto& [text, number] = choices[static_cast<std::size_t>(i)];
        same = m_limitLocation->itemText(i) == text && m_limitLocation->itemData(i).toInt() == number;
    }
    if (!same) {
        m_limitLocation->clear();
        for (const auto& [text, number] : choices) m_limitLocation->addItem(text, number);
    }
    const int current = limit != nullptr && limit->location ? m_limitLocation->findData(*limit->location) : 0;
    if (m_limitLocation->currentIndex() != current) m_limitLocation->setCurrentIndex(current);
}

void CSiteDlg::ShowInstrumentForm() {
    const bool any = m_instrument >= 0;
    m_instrumentForm->setEnabled(any);
    m_removeInstrument->setEnabled(any);
    Instrument ins = any ? m_reg.instruments[static_cast<std::size_t>(m_instrument)] : Instrument{};
    m_instrumentSerial->setValue(static_cast<double>(ins.serial));
    m_instrumentModel->setText(U(ins.model));
    if (ins.calibratedOn != 0) m_instrumentCalibrated->setDate(DateOf(ins.calibratedOn));
    if (ins.calibrationDue != 0) m_instrumentDue->setDate(DateOf(ins.calibrationDue));
    m_instrumentCertificate->setText(U(ins.certificate));
    m_instrumentFlow->setValue(ins.flowLPerMin);
}

void CSiteDlg::Changed() {
    {
        Filling filling(m_filling);
        RefreshRows();
        FillLimitLocations();
    }
    Revalidate();
}

// The rows of every list as the register has them now, and the plan.
void CSiteDlg::RefreshRows() {
    while (m_rooms->count() > static_cast<int>(m_reg.rooms.size())) delete m_rooms->takeItem(m_rooms->count() - 1);
    while (m_rooms->count() < static_cast<int>(m_reg.rooms.size())) m_rooms->addItem(QString());
    for (int row = 0; row < m_rooms->count(); ++row) {
        const QString text = RoomText(m_reg.rooms[static_cast<std::size_t>(row)]);
        if (m_rooms->item(row)->text() != text) m_rooms->item(row)->setText(text);
    }

    const Room* room = m_room < 0 ? nullptr : &m_reg.rooms[static_cast<std::size_t>(m_room)];
    const std::vector<Location> none;
    const std::vector<Location>& locations = room ? room->locations : none;
    m_locations->setRowCount(static_cast<int>(locations.size()));
    for (int row = 0; row < m_locations->rowCount(); ++row) {
        const Location& loc = locations[static_cast<std::size_t>(row)];
        SetCell(m_locations, row, 0, QString::number(loc.number), true);
        SetCell(m_locations, row, 1, U(loc.name));
        SetCell(m_locations, row, 2, Num(loc.xM), true);
        SetCell(m_locations, row, 3, Num(loc.yM), true);
        SetCell(m_locations, row, 4, loc.critical ? QStringLiteral("critical") : QString());
        SetCell(m_locations, row, 5, loc.from ? U(DayText(*loc.from)) : QString());
        SetCell(m_locations, row, 6, loc.to ? U(DayText(*loc.to)) : QString());
    }
    m_plan->SetLocations(locations, m_location);
    m_roomTabs->setTabText(1, QStringLiteral("Locations (%1)").arg(locations.size()));

    const int limits = room ? static_cast<int>(room->limits.size()) : 0;
    m_limits->setRowCount(limits);
    m_roomTabs->setTabText(2, QStringLiteral("Limits (%1)").arg(limits));
    for (int row = 0; row < limits; ++row) {
        const Limit& limit = room->limits[static_cast<std::size_t>(row)];
        SetCell(m_limits, row, 0, U(classify::SizeText(limit.sizeTenths)));
        SetCell(m_limits, row, 1, Num(limit.alertPerM3), true);
        SetCell(m_limits, row, 2, Num(limit.actionPerM3), true);
        SetCell(m_limits, row, 3, limit.location ? QString::number(*limit.location) : QStringLiteral("whole room"));
    }

    m_instruments->setRowCount(static_cast<int>(m_reg.instruments.size()));
    for (int row = 0; row < m_instruments->rowCount(); ++row) {
        const Instrument& ins = m_reg.instruments[static_cast<std::size_t>(row)];
        SetCell(m_instruments, row, 0, QString::number(ins.serial), true);
        SetCell(m_instruments, row, 1, U(ins.model));
        SetCell(m_instruments, row, 2, U(DayText(ins.calibratedOn)));
        SetCell(m_instruments, row, 3, U(DayText(ins.calibrationDue)));
        SetCell(m_instruments, row, 4, U(ins.certificate));
        SetCell(m_instruments, row, 5, Num(ins.flowLPerMin), true);
    }
}

// Checks the register against its rules: says the first broken one, tints
// its item's row and, when that item is the one shown, its field; Save
// only for a register that keeps every rule and differs from the saved one.
void CSiteDlg::Revalidate() {
    for (QWidget* widget : m_marked) {
        widget->setPalette(QPalette());
        widget->setProperty("invalid", false);
    }
    m_marked.clear();
    for (int row = 0; row < m_rooms->count(); ++row) m_rooms->item(row)->setBackground(QBrush());
    for (QTableWidget* table : {m_locations, m_limits, m_instruments})
        for (int row = 0; row < table->rowCount(); ++row) TintRow(table, row, QBrush());

    const std::string error = ValidationError(m_reg);
    const Broken broken = ParseBroken(error);
    m_brokenPath = U(error.substr(0, error.find(": ")));
    QPalette palette = m_validationLabel->palette();
    if (error.empty()) {
        m_validation.clear();
        palette.setColor(QPalette::WindowText, kKeptText);
        m_validationLabel->setText(m_reg.Empty() ? QString() : QStringLiteral("The register keeps every rule."));
    } else {
        QString where;
        const auto roomName = [this](int index) {
            const Room& room = m_reg.rooms[static_cast<std::size_t>(index)];
            return room.id.empty() ? QStringLiteral("Room %1").arg(index + 1)
                                   : QStringLiteral("Room %1").arg(U(room.id));
        };
        switch (broken.kind) {
            case Broken::kRoom:
                where = roomName(broken.index);
                break;
            case Broken::kLocation:
                where = QStringLiteral("%1, location %2").arg(roomName(broken.index)).arg(broken.item + 1);
                break;
            case Broken::kLimit:
                where = QStringLiteral("%1, limit %2").arg(roomName(broken.index)).arg(broken.item + 1);
                break;
            case Broken::kInstrument:
                where = QStringLiteral("Instrument %1").arg(broken.index + 1);
                break;
            case Broken::kNone:
                break;
        }
        m_validation = where.isEmpty() ? broken.reason : where + QStringLiteral(": ") + broken.reason;
        palette.setColor(QPalette::WindowText, kBrokenText);
        m_validationLabel->setText(QStringLiteral("%1 <a href=\"show\">Show</a>").arg(m_validation.toHtmlEscaped()));

        // The row of the item, and the fields the rule is about.
        std::vector<QWidget*> fields;
        const QString& why = broken.reason;
        const auto says = [&why](const char* words) { return why.contains(QLatin1String(words)); };
        if (broken.kind == Broken::kInstrument) {
            TintRow(m_instruments, broken.index, kBrokenFill);
            if (broken.index == m_instrument) {
                if (says("serial")) fields.push_back(m_instrumentSerial);
                if (says("calibration_due")) fields.push_back(m_instrumentDue);
                if (says("flow")) fields.push_back(m_instrumentFlow);
            }
        } else if (broken.kind != Broken::kNone) {
            if (QListWidgetItem* item = m_rooms->item(broken.index)) item->setBackground(kBrokenFill);
            if (broken.index == m_room && broken.kind == Broken::kRoom) {
                if (says("no id") || says("room id")) fields.push_back(m_roomId);
                if (says("area")) fields.push_back(m_roomArea);
                if (says("grade")) fields.push_back(m_roomGrade);
                if (says("class")) fields.push_back(m_roomClass);
                if (says("as-built")) fields.push_back(m_roomState);
                if (says("adverse_run")) fields.push_back(m_roomAdverseRun);
            }
            if (broken.index == m_room && broken.kind == Broken::kLocation) {
                TintRow(m_locations, broken.item, kBrokenFill);
                if (broken.item == m_location) {
                    if (says("location number")) fields.push_back(m_locationNumber);
                    if (says("x_m")) fields.insert(fields.end(), {m_locationX, m_locationY});
                    if (says("from is after to")) fields.insert(fields.end(), {m_locationFrom, m_locationTo});
                }
            }
            if (broken.index == m_room && broken.kind == Broken::kLimit) {
                TintRow(m_limits, broken.item, kBrokenFill);
                if (broken.item == m_limit) {
                    if (says("size")) fields.push_back(m_limitSize);
                    if (says("alert limit") || says("numbers")) fields.push_back(m_limitAlert);
                    if (says("action limit")) fields.push_back(m_limitAction);
                    if (says("no location")) fields.push_back(m_limitLocation);
                }
            }
        }
        for (QWidget* field : fields) {
            QPalette tinted = field->palette();
            tinted.setColor(QPalette::Base, kBrokenFill);
            tinted.setColor(QPalette::Button, kBrokenFill);
            field->setPalette(tinted);
            field->setProperty("invalid", true);
            m_marked.push_back(field);
        }
    }
    m_validationLabel->setPalette(palette);
    const bool modified = Modified();
    m_save->setEnabled(m_editable && error.empty() && modified);
    setWindowModified(modified);
}

// The link of the message: shows the item the broken rule is about, and
// puts the cursor into its first tinted field.
void CSiteDlg::ShowBrokenItem() {
    const Broken broken = ParseBroken(S(m_brokenPath) + ": ");
    if (broken.kind == Broken::kInstrument) {
        m_tabs->setCurrentIndex(2);
        SelectInstrument(broken.index);
        Filling filling(m_filling);
        SelectRow(m_instruments, m_instrument);
    } else if (broken.kind != Broken::kNone) {
        m_tabs->setCurrentIndex(1);
        if (broken.index != m_room) SelectRoom(broken.index);
        if (broken.kind == Broken::kRoom) m_roomTabs->setCurrentIndex(0);
        if (broken.kind == Broken::kLocation) {
            m_roomTabs->setCurrentIndex(1);
            SelectLocation(broken.item);
            Filling filling(m_filling);
            SelectRow(m_locations, m_location);
        }
        if (broken.kind == Broken::kLimit) {
            m_roomTabs->setCurrentIndex(2);
            SelectLimit(broken.item);
            Filling filling(m_filling);
            SelectRow(m_limits, m_limit);
        }
    }
    if (!m_marked.empty()) m_marked.front()->setFocus(Qt::OtherFocusReason);
}

bool CSiteDlg::Save() {
    if (!m_editable || !ValidationError(m_reg).empty()) return false;
    const QString where = QDir::toNativeSeparators(QFile::decodeName(QByteArray::fromStdString(m_archivePath)));
    if (m_reason->text().trimmed().isEmpty()) {
        m_status->setText(QStringLiteral("Give the reason for the change: the audit trail keeps it with the change."));
        m_reason->setFocus(Qt::OtherFocusReason);
        return false;
    }
    std::string error;
    const auto archive =
        archive::OpenStore(m_archivePath, archive::OpenMode::ReadWrite, audit::CurrentIdentity(), error);
    if (!archive || !archive->StoreRegister(m_reg, error, S(m_reason->text().trimmed()))) {
        m_status->setText(QStringLiteral("The site register was not saved: %1").arg(U(error)));
        return false;
    }
    m_savedJson = RegisterJson(m_reg);
    m_saved = true;
    m_reason->clear();
    m_status->setText(QStringLiteral("Saved the site register in %1: %2.").arg(where, Summary(m_reg)));
    Revalidate();
    return true;
}

void CSiteDlg::reject() {
    if (m_editable && Modified()) {
        const bool keepsRules = ValidationError(m_reg).empty();
        QMessageBox::StandardButton answer = QMessageBox::Cancel;
        if (askUnsaved) {
            answer = askUnsaved();
        } else {
            QMessageBox box(
                QMessageBox::Question, windowTitle().remove(QStringLiteral("[*]")),
                QStringLiteral("The site register has changes that are not saved."),
                (keepsRules ? QMessageBox::Save : QMessageBox::NoButton) | QMessageBox::Discard | QMessageBox::Cancel,
                this);
            box.setInformativeText(keepsRules ? QStringLiteral("Save them in the archive before closing?")
                                              : QStringLiteral("They break a rule, so they cannot be saved as they "
                                                               "are: %1")
                                                    .arg(m_validation));
            box.setDefaultButton(QMessageBox::Cancel);
            answer = static_cast<QMessageBox::StandardButton>(box.exec());
        }
        if (answer == QMessageBox::Save) {
            if (!Save()) return;
        } else if (answer != QMessageBox::Discard) {
            return;
        }
    }
    QDialog::reject();
}

}  // namespace oront::site
