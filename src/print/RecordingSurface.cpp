#include "print/RecordingSurface.h"

namespace oront {

ReportSurface::FontId RecordingSurface::CreateFont(int height, int weight, std::string_view, int, int) {
    m_objects.push_back({true, height, true, weight});
    ++m_live;
    return static_cast<FontId>(m_objects.size() - 1);
}

ReportSurface::FontId RecordingSurface::SelectFont(FontId font) {
    const FontId old = m_curFont;
    m_curFont = font;
    return old;
}

void RecordingSurface::DeleteFont(FontId font) {
    if (font > 0 && static_cast<std::size_t>(font) < m_objects.size() && m_objects[font].live) {
        m_objects[font].live = false;
        --m_live;
    }
}

ReportSurface::PenId RecordingSurface::CreatePen(int width) {
    m_objects.push_back({false, width, true, 0});
    ++m_live;
    return static_cast<PenId>(m_objects.size() - 1);
}

ReportSurface::PenId RecordingSurface::SelectPen(PenId pen) {
    const PenId old = m_curPen;
    m_curPen = pen;
    return old;
}

void RecordingSurface::DeletePen(PenId pen) {
    DeleteFont(pen);
}

int RecordingSurface::CurrentFontHeight() const {
    return m_curFont > 0 && static_cast<std::size_t>(m_curFont) < m_objects.size() ? m_objects[m_curFont].size : 0;
}

int RecordingSurface::CurrentFontWeight() const {
    return m_curFont > 0 && static_cast<std::size_t>(m_curFont) < m_objects.size() ? m_objects[m_curFont].weight : 0;
}

int RecordingSurface::CurrentPenWidth() const {
    return m_curPen > 0 && static_cast<std::size_t>(m_curPen) < m_objects.size() ? m_objects[m_curPen].size : 1;
}

void RecordingSurface::AddOp(Op op) {
    Entry e;
    e.op = op;
    Add(std::move(e));
}

void RecordingSurface::Add(Entry e) {
    ++opCount;
    if (recordOps) entries.push_back(std::move(e));
}

void RecordingSurface::DrawText(std::string_view text, const DeviceRect& rect, TextAlign align) {
    Entry e;
    e.op = Op::Text;
    if (recordOps) e.text.assign(text);
    e.rect = rect;
    e.align = align;
    e.fontHeight = CurrentFontHeight();
    e.fontWeight = CurrentFontWeight();
    e.penWidth = CurrentPenWidth();
    Add(std::move(e));
}

void RecordingSurface::MoveTo(int x, int y) {
    m_posX = x;
    m_posY = y;
}

void RecordingSurface::LineTo(int x, int y) {
    Entry e;
    e.op = Op::Line;
    e.rect = {m_posX, m_posY, x, y};
    e.penWidth = CurrentPenWidth();
    Add(std::move(e));
    m_posX = x;
    m_posY = y;
}

void RecordingSurface::Rectangle(const DeviceRect& rect) {
    Entry e;
    e.op = Op::Rectangle;
    e.rect = rect;
    e.penWidth = CurrentPenWidth();
    Add(std::move(e));
}

int RecordingSurface::StartDoc(std::string_view docName) {
    if (!m_printer) return -1;
    Entry e;
    e.op = Op::StartDoc;
    e.text.assign(docName);
    Add(std::move(e));
    return failStartDoc < 0 ? failStartDoc : 1;
}

int RecordingSurface::EndDoc() {
    AddOp(Op::EndDoc);
    return m_printer ? 1 : -1;
}

int RecordingSurface::StartPage() {
    AddOp(Op::StartPage);
    ++m_startPages;
    if (!m_printer || (failStartPageAt > 0 && m_startPages == failStartPageAt)) return -1;
    return 1;
}

int RecordingSurface::EndPage() {
    AddOp(Op::EndPage);
    return m_printer ? 1 : -1;
}

int RecordingSurface::AbortDoc() {
    AddOp(Op::AbortDoc);
    return m_printer ? 1 : -1;
}

void RecordingSurface::ErrorBox(void* owner, std::string_view text, std::string_view caption) {
    Entry e;
    e.op = Op::ErrorBox;
    e.text.assign(text);
    e.caption.assign(caption);
    e.owner = owner;
    Add(std::move(e));
}

std::vector<RecordingSurface::Entry> RecordingSurface::Filter(Op op) const {
    std::vector<Entry> out;
    for (const Entry& e : entries)
        if (e.op == op) out.push_back(e);
    return out;
}

const RecordingSurface::Entry* RecordingSurface::FindText(std::string_view text) const {
    for (const Entry& e : entries)
        if (e.op == Op::Text && e.text == text) return &e;
    return nullptr;
}

int RecordingSurface::Count(Op op) const {
    int n = 0;
    for (const Entry& e : entries)
        if (e.op == op) ++n;
    return n;
}

}  // namespace oront
