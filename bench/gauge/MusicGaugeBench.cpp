// SPDX-License-Identifier: MIT
// What one gauge costs per measured pass: the main window sets two of them each pass and
// every assignment repaints at once.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <memory>

#include "gauge/MusicGauge.h"

namespace sonavik {
namespace {

void MeterSettings(TMusicGauge& g) {
  g.resize(33, 209);
  g.SetZoneAB(90.0);
  g.SetZoneBC(60.0);
  g.SetPeakHoldTime(50);
  g.SetPeakThreshold(50.0);
  g.SetMaxValue(0);
  g.SetMinValue(-400);
}

// The image alone: mask, hold line, zones, AND, frame.
void BM_Paint(benchmark::State& state) {
  TMusicGauge g;
  MeterSettings(g);
  g.SetProgress(-120);
  for (auto _ : state) {
    g.Paint();
    benchmark::DoNotOptimize(g.Image().constBits());
  }
}
BENCHMARK(BM_Paint);

// The whole assignment on a gauge that is on screen: Paint, paint event, copy into the
// window's backing store and its flush, as the main window's two gauges sit in their window.
void BM_SetProgressShown(benchmark::State& state) {
  QWidget window;
  window.resize(217, 401);
  auto* g = new TMusicGauge(&window);
  MeterSettings(*g);
  g->move(8, 32);
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    state.SkipWithError("window not exposed");
    return;
  }
  std::int32_t value = -120;
  for (auto _ : state) {
    g->SetProgress(value);
    value = value == -120 ? -200 : -120;
  }
}
BENCHMARK(BM_SetProgressShown);

}  // namespace
}  // namespace sonavik

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
