// Skinned buttons and message dialogs.
//
//   ShadeFaces/build     building both faces of a 108 x 30 button (once per
//                        button at dialog start)
//   ShadeButton/paint    one full paint of a hovered skinned button with icon
//                        and two-line caption
//   MessageDlg2/open     creating a CMessageDlg2 and painting it once, with
//                        the artwork already loaded
// Run offscreen: QT_QPA_PLATFORM=offscreen ./bench_buttons
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>

#include "app/qt/MessageDlg.h"
#include "base/Messages.h"
#include "controls/CeXDib.h"
#include "controls/qt/Resources.h"
#include "controls/qt/ShadeButtonST.h"

namespace {

using namespace oront;

void ShadeFacesBuild(benchmark::State& state) {
    CCeXDib normal, hover;
    for (auto _ : state) {
        BuildShadeFaces(108, 30, MakeRgb(255, 255, 255), MakeRgb(240, 240, 240), MakeRgb(160, 160, 160), normal, hover);
        benchmark::DoNotOptimize(hover.Block());
    }
}
BENCHMARK(ShadeFacesBuild)->Name("ShadeFaces/build")->Unit(benchmark::kMicrosecond);

void ShadeButtonPaint(benchmark::State& state) {
    CShadeButtonST button(QStringLiteral("Read Records"));
    button.setGeometry(0, 0, 108, 30);
    button.SetButtonIcon(ResourceIcon(res::kIconReadRecords));
    button.BuildShadeImages();
    button.SetFlatFocus(true);
    QImage target(108, 30, QImage::Format_RGB32);
    for (auto _ : state) {
        button.render(&target);
        benchmark::DoNotOptimize(target.bits());
    }
}
BENCHMARK(ShadeButtonPaint)->Name("ShadeButton/paint")->Unit(benchmark::kMicrosecond);

void MessageDialogOpen(benchmark::State& state) {
    g_strMessage = msg::kDeleteAsk2;
    ResourceBitmap(res::kBitmapBackground);  // artwork loaded once per process
    QImage target(400, 160, QImage::Format_RGB32);
    for (auto _ : state) {
        CMessageDlg2 dialog;
        dialog.render(&target);
        benchmark::DoNotOptimize(target.bits());
    }
}
BENCHMARK(MessageDialogOpen)->Name("MessageDlg2/open")->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
