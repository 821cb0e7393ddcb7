// The idle player's drawing cost: one display panel composition (one 450 ms timer tick, the
// title moving one step) and one full redraw of all nine transport buttons, per layout.

#include "ui/DisplayPanel.h"
#include "ui/GlyphPainters.h"
#include "ui/Layout.h"
#include "ui/TransportButton.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <array>
#include <memory>

namespace {

void BM_PanelTick(benchmark::State& state)
{
    const int layout = static_cast<int>(state.range(0));
    const CSize frame = kFrameSizes[layout];
    QImage view(frame.cx, frame.cy, QImage::Format_RGB32);
    view.fill(Qt::white);
    CDC viewDC(&view);
    CDisplayPanel panel;
    panel.SetLayout(layout, viewDC.GetDeviceCaps(LOGPIXELSY));
    panel.SetColors(0, 0xE7FFF7);
    panel.RefreshTitle("ファイル名 sample.mid  3:27");
    int seconds = 0;
    for (auto _ : state) {
        panel.Compose(&viewDC, 1, 1, {DEVICE_MIDI, 0, seconds / 60, seconds % 60});
        seconds = (seconds + 1) % 3600;
    }
    benchmark::DoNotOptimize(view.constBits());
}
BENCHMARK(BM_PanelTick)
    ->Arg(LAYOUT_GRID)
    ->Arg(LAYOUT_VERTICAL)
    ->Arg(LAYOUT_HORIZONTAL)
    ->Unit(benchmark::kMicrosecond);

void BM_NineButtonsRedraw(benchmark::State& state)
{
    const int layout = static_cast<int>(state.range(0));
    QWidget view;
    view.resize(kFrameSizes[layout].cx, kFrameSizes[layout].cy);
    std::array<CTransportButton*, BUTTON_COUNT> buttons{};
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        buttons[static_cast<std::size_t>(i)] = new CTransportButton;
        CTransportButton* button = buttons[static_cast<std::size_t>(i)];
        button->Create("open", WS_VISIBLE | BS_OWNERDRAW, ButtonRect(layout, i), &view, 2000 + i);
        button->SetGlyphPainter(kGlyphPainters[i]);
        // As while nothing is open: play, stop, previous, pause and next disabled.
        button->setEnabled(i == 0 || i >= 6);
    }
    for (auto _ : state)
        for (CTransportButton* button : buttons)
            button->Invalidate();
    QApplication::processEvents();
}
BENCHMARK(BM_NineButtonsRedraw)
    ->Arg(LAYOUT_GRID)
    ->Arg(LAYOUT_VERTICAL)
    ->Arg(LAYOUT_HORIZONTAL)
    ->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
