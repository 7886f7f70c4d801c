#include "print/qt/QtReportSurface.h"

#include <QPagedPaintDevice>
#include <QPrinter>
#include <algorithm>
#include <cstdlib>

namespace oront {

namespace {
QPen DefaultPen() {
    return QPen(QBrush(Qt::black), 1, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin);
}
}  // namespace

QtReportSurface::QtReportSurface(QPainter& painter, int dpiX, int dpiY)
    : m_painter(&painter), m_dpiX(dpiX), m_dpiY(dpiY) {
    m_fonts.emplace_back(painter.font());
    m_pens.emplace_back(DefaultPen());
    m_painter->setPen(DefaultPen());
    m_painter->setBrush(Qt::white);
}

QtReportSurface::QtReportSurface(QPagedPaintDevice* device, QPrinter* printer) : m_device(device), m_printer(printer) {
    if (device != nullptr) {
        m_dpiX = device->logicalDpiX();
        m_dpiY = device->logicalDpiY();
    }
    m_fonts.emplace_back(QFont());
    m_pens.emplace_back(DefaultPen());
}

QtReportSurface::~QtReportSurface() {
    if (m_ownPainter && m_ownPainter->isActive()) m_ownPainter->end();
}

bool QtReportSurface::HasOutputDevice() const {
    if (m_printer != nullptr) return m_printer->isValid();
    return m_painter != nullptr || m_device != nullptr;
}

ReportSurface::FontId QtReportSurface::CreateFont(int height, int weight, std::string_view face, int /*quality*/,
                                                  int pitchAndFamily) {
    QFont font(QString::fromLatin1(face.data(), static_cast<qsizetype>(face.size())));
    font.setPixelSize(std::max(1, std::abs(height)));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(weight == 0 ? 400 : weight, 1, 1000)));
    if ((pitchAndFamily & 0xF0) == kFontFamilySwiss) font.setStyleHint(QFont::SansSerif);
    m_fonts.emplace_back(font);
    return static_cast<FontId>(m_fonts.size() - 1);
}

ReportSurface::FontId QtReportSurface::SelectFont(FontId font) {
    const FontId old = m_curFont;
    if (font >= 0 && static_cast<std::size_t>(font) < m_fonts.size() && m_fonts[static_cast<std::size_t>(font)].live) {
        m_curFont = font;
        ApplyFont();
    }
    return old;
}

void QtReportSurface::DeleteFont(FontId font) {
    if (font > 0 && static_cast<std::size_t>(font) < m_fonts.size()) {
        FontSlot& slot = m_fonts[static_cast<std::size_t>(font)];
        slot.live = false;
        slot.metrics.reset();
        slot.widths.clear();
    }
}

ReportSurface::PenId QtReportSurface::CreatePen(int width) {
    m_pens.emplace_back(QPen(QBrush(Qt::black), std::max(1, width), Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    return static_cast<PenId>(m_pens.size() - 1);
}

ReportSurface::PenId QtReportSurface::SelectPen(PenId pen) {
    const PenId old = m_curPen;
    if (pen >= 0 && static_cast<std::size_t>(pen) < m_pens.size() && m_pens[static_cast<std::size_t>(pen)]) {
        m_curPen = pen;
        if (m_painter != nullptr) m_painter->setPen(*m_pens[static_cast<std::size_t>(pen)]);
    }
    return old;
}

void QtReportSurface::DeletePen(PenId pen) {
    if (pen > 0 && static_cast<std::size_t>(pen) < m_pens.size()) m_pens[static_cast<std::size_t>(pen)].reset();
}

void QtReportSurface::ApplyFont() {
    if (m_painter != nullptr) m_painter->setFont(m_fonts[static_cast<std::size_t>(m_curFont)].font);
}

const QFontMetricsF& QtReportSurface::Metrics() {
    FontSlot& slot = m_fonts[static_cast<std::size_t>(m_curFont)];
    if (!slot.metrics) {
        QPaintDevice* device = m_painter != nullptr ? m_painter->device() : m_device;
        if (device != nullptr)
            slot.metrics.emplace(slot.font, device);
        else
            slot.metrics.emplace(slot.font);
    }
    return *slot.metrics;
}

qreal QtReportSurface::TextWidth(std::string_view text, const QString& s) {
    constexpr std::size_t kMaxCached = 4096;
    auto& widths = m_fonts[static_cast<std::size_t>(m_curFont)].widths;
    const std::string key(text);
    if (const auto it = widths.find(key); it != widths.end()) return it->second;
    const qreal width = Metrics().horizontalAdvance(s);
    if (widths.size() >= kMaxCached) widths.clear();
    widths.emplace(key, width);
    return width;
}

void QtReportSurface::DrawText(std::string_view text, const DeviceRect& rect, TextAlign align) {
    if (m_painter == nullptr || text.empty()) return;
    const QString s = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetricsF& fm = Metrics();
    const qreal width = TextWidth(text, s);
    const qreal height = fm.height();
    const QRectF r(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
    qreal x = r.left();
    if (align == TextAlign::Right)
        x = r.right() - width;
    else if (align == TextAlign::Center)
        x = r.left() + (r.width() - width) / 2;
    const qreal y = r.top() + (r.height() - height) / 2 + fm.ascent();
    // Drawing at a point is much cheaper than a laid-out rectangle; the clip
    // is only set up when the text would leave its rectangle.
    const bool fits = x >= r.left() && x + width <= r.right() && height <= r.height();
    if (fits) {
        m_painter->drawText(QPointF(x, y), s);
        return;
    }
    m_painter->save();
    m_painter->setClipRect(r, Qt::IntersectClip);
    m_painter->drawText(QPointF(x, y), s);
    m_painter->restore();
}

void QtReportSurface::MoveTo(int x, int y) {
    m_pos = QPoint(x, y);
}

void QtReportSurface::LineTo(int x, int y) {
    if (m_painter != nullptr) m_painter->drawLine(m_pos, QPoint(x, y));
    m_pos = QPoint(x, y);
}

void QtReportSurface::Rectangle(const DeviceRect& rect) {
    if (m_painter == nullptr) return;
    // The outline runs along the rectangle's inner edge, right and bottom
    // excluded, as on a Windows device context.
    m_painter->setBrush(Qt::white);
    m_painter->drawRect(QRect(rect.left, rect.top, rect.right - rect.left - 1, rect.bottom - rect.top - 1));
}

int QtReportSurface::StartDoc(std::string_view docName) {
    if (m_device == nullptr || m_docOpen) return -1;
    if (m_printer != nullptr)
        m_printer->setDocName(QString::fromLatin1(docName.data(), static_cast<qsizetype>(docName.size())));
    m_ownPainter = std::make_unique<QPainter>();
    if (!m_ownPainter->begin(m_device)) {
        m_ownPainter.reset();
        return -1;
    }
    m_painter = m_ownPainter.get();
    m_fonts[0].font = m_painter->font();
    m_painter->setPen(*m_pens[static_cast<std::size_t>(m_curPen)]);
    m_painter->setBrush(Qt::white);
    ApplyFont();
    m_docOpen = true;
    m_pages = 0;
    return 1;
}

int QtReportSurface::StartPage() {
    if (!m_docOpen) return -1;
    ++m_pages;
    // The device opens with its first page; every further page is a new one.
    if (m_pages == 1) return 1;
    return m_device->newPage() ? 1 : -1;
}

int QtReportSurface::EndPage() {
    return m_docOpen ? 1 : -1;
}

int QtReportSurface::EndDoc() {
    if (!m_docOpen) return -1;
    m_docOpen = false;
    const bool ok = m_ownPainter->end();
    m_painter = nullptr;
    m_endDocFailed = !ok;
    return ok ? 1 : -1;
}

int QtReportSurface::AbortDoc() {
    if (!m_docOpen) return -1;
    m_docOpen = false;
    const bool aborted = m_printer != nullptr && m_printer->abort();
    if (m_ownPainter->isActive()) m_ownPainter->end();
    m_painter = nullptr;
    return aborted ? 1 : -1;
}

void QtReportSurface::ErrorBox(void* owner, std::string_view text, std::string_view caption) {
    if (m_errorBox) m_errorBox(owner, text, caption);
}

}  // namespace oront
