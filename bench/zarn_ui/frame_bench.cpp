// Paints a 1280x800 frame of 60 text runs and 40 rounded cards, the load of a busy window.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <string>
#include <vector>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/surfaces.h"
#include "platform/zarn_ui/text_renderer.h"
#include "platform/zarn_ui/theme.h"

namespace {

using namespace zarn_ui;

constexpr int kWidth = 1280;
constexpr int kHeight = 800;

std::vector<std::string> text_runs() {
  std::vector<std::string> runs;
  for (int i = 0; i < 60; ++i) {
    runs.push_back("Row " + std::to_string(i) +
                   ": the quick brown fox jumps over the lazy dog \xF0\x9F\x98\x80 " +
                   std::string(static_cast<std::size_t>(i % 7) * 4, 'x'));
  }
  return runs;
}

enum Parts { kClear = 1, kCards = 2, kText = 4, kAll = 7 };

void paint_frame(cairo_t* cr, TextRenderer& text, const Theme& theme,
                 const std::vector<std::string>& runs, double scale, int parts = kAll) {
  Painter p(cr, scale, text);
  if (parts & kClear) p.clear(theme.surface_base);
  for (int i = 0; i < 40 && (parts & kCards); ++i) {
    double x = 16 + (i % 5) * 250.0;
    double y = 16 + (i / 5) * 96.0;
    surfaces::card(p, Rect::from_xywh(x, y, 232, 80), theme);
  }
  TextStyle style{theme.body_size, FontWeight::Regular, theme.text_strong};
  TextLayoutOptions wrap{.wrap_width = 220.0, .ellipsize = Ellipsize::End, .max_lines = 2};
  for (int i = 0; i < 60 && (parts & kText); ++i) {
    double x = 24 + (i % 5) * 250.0;
    double y = 24 + (i / 5) * 64.0;
    p.draw_text(runs[static_cast<std::size_t>(i)], {x, y}, style, wrap);
  }
}

void BM_Frame(benchmark::State& state, double scale) {
  const int w = static_cast<int>(kWidth * scale);
  const int h = static_cast<int>(kHeight * scale);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  cairo_t* cr = cairo_create(surface);
  TextRenderer text;
  Theme theme = Theme::dark();
  auto runs = text_runs();
  for (auto _ : state) {
    paint_frame(cr, text, theme, runs, scale);
    cairo_surface_flush(surface);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(surface));
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

// Same frame with an empty layout cache every iteration: every run is shaped again.
void BM_FrameColdText(benchmark::State& state) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  TextRenderer text;
  Theme theme = Theme::dark();
  auto runs = text_runs();
  for (auto _ : state) {
    text.clear_cache();
    paint_frame(cr, text, theme, runs, 1.0);
    cairo_surface_flush(surface);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

// One part of the frame alone, to see where the time goes.
void BM_FramePart(benchmark::State& state) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  TextRenderer text;
  Theme theme = Theme::dark();
  auto runs = text_runs();
  for (auto _ : state) {
    paint_frame(cr, text, theme, runs, 1.0, static_cast<int>(state.range(0)));
    cairo_surface_flush(surface);
  }
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
}

BENCHMARK_CAPTURE(BM_Frame, scale1, 1.0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Frame, scale2, 2.0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FrameColdText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FramePart)->Arg(kClear)->Arg(kCards)->Arg(kText)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
