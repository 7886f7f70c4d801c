// A drawing surface that records what the renderers draw, in device dots.
//
// Used by the tests and the layout benchmark: it keeps every text with its
// rectangle, alignment, font height and weight, every line with its pen width, and
// the document calls of a print run. StartDoc and StartPage can be told to
// fail.
#pragma once

#include <string>
#include <vector>

#include "print/ReportLayout.h"

namespace oront {

class RecordingSurface : public ReportSurface {
public:
    enum class Op { Text, Line, Rectangle, StartDoc, EndDoc, StartPage, EndPage, AbortDoc, ErrorBox };

    struct Entry {
        Op op = Op::Text;
        std::string text;     // text drawn, document name, or message text
        std::string caption;  // ErrorBox caption
        DeviceRect rect;      // text rectangle, rectangle, or line from (left, top) to (right, bottom)
        TextAlign align = TextAlign::Center;
        int fontHeight = 0;     // height of the current font (0: stock font)
        int fontWeight = 0;     // weight of the current font (0: stock font)
        int penWidth = 1;       // width of the current pen
        void* owner = nullptr;  // ErrorBox owner
    };

    RecordingSurface(int dpiX, int dpiY, bool isPrinter) : m_dpiX(dpiX), m_dpiY(dpiY), m_printer(isPrinter) {}

    // Settings of the fake device.
    bool hasOutputDevice = true;
    bool recordOps = true;    // false: only count (benchmarks)
    int failStartDoc = 0;     // StartDoc returns this when negative
    int failStartPageAt = 0;  // the n-th StartPage (1-based) fails; 0: never

    std::vector<Entry> entries;
    long long opCount = 0;

    [[nodiscard]] bool HasOutputDevice() const override { return hasOutputDevice; }
    [[nodiscard]] int DpiX() const override { return m_dpiX; }
    [[nodiscard]] int DpiY() const override { return m_dpiY; }

    FontId CreateFont(int height, int weight, std::string_view face, int quality, int pitchAndFamily) override;
    FontId SelectFont(FontId font) override;
    void DeleteFont(FontId font) override;
    PenId CreatePen(int width) override;
    PenId SelectPen(PenId pen) override;
    void DeletePen(PenId pen) override;

    void DrawText(std::string_view text, const DeviceRect& rect, TextAlign align) override;
    void MoveTo(int x, int y) override;
    void LineTo(int x, int y) override;
    void Rectangle(const DeviceRect& rect) override;

    int StartDoc(std::string_view docName) override;
    int EndDoc() override;
    int StartPage() override;
    int EndPage() override;
    int AbortDoc() override;
    void ErrorBox(void* owner, std::string_view text, std::string_view caption) override;

    // Fonts and pens created and not yet deleted (should be 0 after a call).
    [[nodiscard]] int LiveObjects() const { return m_live; }
    [[nodiscard]] FontId CurrentFont() const { return m_curFont; }
    [[nodiscard]] PenId CurrentPen() const { return m_curPen; }

    // Queries on the recording.
    [[nodiscard]] std::vector<Entry> Texts() const { return Filter(Op::Text); }
    [[nodiscard]] std::vector<Entry> Lines() const { return Filter(Op::Line); }
    [[nodiscard]] std::vector<Entry> Filter(Op op) const;
    [[nodiscard]] const Entry* FindText(std::string_view text) const;
    [[nodiscard]] int Count(Op op) const;

private:
    struct Obj {
        bool font = false;
        int size = 0;  // font height or pen width
        bool live = false;
        int weight = 0;
    };
    void Add(Entry e);
    void AddOp(Op op);
    [[nodiscard]] int CurrentFontHeight() const;
    [[nodiscard]] int CurrentFontWeight() const;
    [[nodiscard]] int CurrentPenWidth() const;

    int m_dpiX;
    int m_dpiY;
    bool m_printer;
    std::vector<Obj> m_objects{Obj{}};  // id 0: stock objects
    int m_live = 0;
    FontId m_curFont = 0;
    PenId m_curPen = 0;
    int m_posX = 0;
    int m_posY = 0;
    int m_startPages = 0;
};

}  // namespace oront
