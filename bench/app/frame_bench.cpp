// One application frame (sync, layout, draw) at 1280x800 on an off-screen frame, the way the
// window runs it: the demonstration content idle, a frame after each new message, and a
// channel holding 10k messages, at the newest message and scrolled back.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "actions/apply.h"
#include "actions/chat_action.h"
#include "app/chat_app.h"
#include "document/messages.h"
#include "platform/crdt/document.h"
#include "platform/zarn_ui/launch.h"
#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/shot_frame.h"
#include "platform/zarn_ui/text_renderer.h"
#include "platform/zarn_ui/widget.h"

namespace {

constexpr std::uint32_t kWidth = 1280;
constexpr std::uint32_t kHeight = 800;
constexpr int kBigChannelMessages = 10000;

const char* const kWords[] = {"render", "layout", "pixel",  "merge",  "review", "deploy",
                              "theme",  "shadow", "kernel", "socket", "frame",  "buffer",
                              "audio",  "camera", "thread", "cursor", "design", "sprint"};

std::string sentence(int seed, int words) {
  std::string text;
  unsigned x = static_cast<unsigned>(seed) * 2654435761u + 1;
  for (int w = 0; w < words; ++w) {
    x = x * 1103515245u + 12345u;
    if (w) text += ' ';
    text += kWords[(x >> 16) % std::size(kWords)];
  }
  return text;
}

// A seeded demonstration document with a window-sized frame that has drawn once.
struct Rig {
  crdt::Document doc;
  std::unique_ptr<chat::app::ChatApp> app = std::make_unique<chat::app::ChatApp>();
  zarn_ui::launch::ShotFrame frame;

  Rig() : frame(make_frame()) { run_frame(); }

  static zarn_ui::launch::ShotFrame make_frame() {
    auto f = zarn_ui::launch::ShotFrame::create(kWidth, kHeight, zarn_ui::launch::shot_theme({}));
    if (!f) std::abort();
    return std::move(f).value();
  }

  void run_frame() {
    frame.sync(*app, doc);
    if (!frame.layout(*app)) std::abort();
    frame.draw(*app);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(frame.surface()));
  }

  // The window loop's frame: the same calls without the shot frame's accessibility snapshot,
  // which only screenshots and assistive technology ask for.
  void run_window_frame() {
    if (!window_surface) {
      window_surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
      host.doc = &doc;
      host.theme_value = zarn_ui::launch::shot_theme({});
    }
    host.time = std::chrono::steady_clock::now();
    zarn_ui::FrameCtx ctx(host);
    app->sync(ctx);
    const zarn_ui::Size size{kWidth, kHeight};
    (void)app->build_layout(zarn_ui::Constraints::tight(size), ctx);
    app->apply_layout({0, 0, size.width, size.height}, ctx);
    cairo_t* cr = cairo_create(window_surface);
    {
      zarn_ui::Painter painter(cr, 1, text);
      painter.clear(host.theme_value.surface_base);
      app->draw_with_presence(painter, ctx, zarn_ui::PresenceCtx{});
    }
    cairo_destroy(cr);
    benchmark::DoNotOptimize(cairo_image_surface_get_data(window_surface));
  }

  ~Rig() {
    if (window_surface) cairo_surface_destroy(window_surface);
  }

  const std::string& channel() const { return app->model().current_channel; }

  zarn_ui::BasicHost host;
  zarn_ui::TextRenderer text;
  cairo_surface_t* window_surface = nullptr;
};

// Writes 10k messages into the current channel, every tenth a thread reply, and scrolls back
// `offset` logical pixels from the newest (0 follows it).
void fill_big_channel(Rig& rig, double offset) {
  const std::string channel = rig.channel();
  chat::document::MessageIdIndex index;
  for (int i = 0; i < kBigChannelMessages; ++i) {
    chat::document::MessageRecord m;
    m.id = "m_big_" + std::to_string(i);
    m.author = (i % 3 == 0) ? "u_me" : (i % 3 == 1) ? "u_lena" : "u_owen";
    m.ts = 1782400000 + i * 30;
    m.text = sentence(i, 6 + i % 20);
    if (i % 10 == 9) m.parent = "m_big_" + std::to_string(i - 1);
    (void)chat::document::write_message(rig.doc, channel, m, index);
  }
  rig.doc.commit();
  rig.app->view().follow_latest = offset == 0;
  rig.app->view().scroll_offset = offset;
}

void report(benchmark::State& state, const Rig& rig) {
  state.counters["messages"] = static_cast<double>(rig.app->model().messages.size());
  state.counters["regions"] = static_cast<double>(rig.app->regions().size());
}

void BM_FrameDemoIdle(benchmark::State& state) {
  Rig rig;
  for (auto _ : state) rig.run_frame();
  report(state, rig);
}
BENCHMARK(BM_FrameDemoIdle)->Unit(benchmark::kMillisecond);

// Every frame follows a SendMessage applied and committed, so the read model is rebuilt.
void BM_FrameAfterNewMessage(benchmark::State& state) {
  Rig rig;
  int n = 0;
  for (auto _ : state) {
    chat::actions::SendMessage send;
    send.channel = rig.channel();
    send.id = "m_bench_" + std::to_string(n);
    send.author = "u_me";
    send.ts = 1782480000 + n;
    send.text = sentence(n, 14);
    ++n;
    chat::actions::apply(rig.doc, chat::actions::ChatAction{send});
    rig.doc.commit();
    rig.run_frame();
  }
  report(state, rig);
}
BENCHMARK(BM_FrameAfterNewMessage)->Unit(benchmark::kMillisecond);

// 10k messages in the current channel, every tenth a thread reply; arg 0 follows the newest
// message, other args are the scroll offset back from it in logical pixels.
void BM_FrameBigChannelIdle(benchmark::State& state) {
  Rig rig;
  fill_big_channel(rig, static_cast<double>(state.range(0)));
  rig.run_frame();
  for (auto _ : state) rig.run_frame();
  report(state, rig);
}
BENCHMARK(BM_FrameBigChannelIdle)->Arg(0)->Arg(1500)->Arg(20000)->Unit(benchmark::kMillisecond);

// The same channels drawn the way the window loop draws them (no accessibility snapshot).
void BM_WindowFrameDemoIdle(benchmark::State& state) {
  Rig rig;
  rig.run_window_frame();
  for (auto _ : state) rig.run_window_frame();
  report(state, rig);
}
BENCHMARK(BM_WindowFrameDemoIdle)->Unit(benchmark::kMillisecond);

void BM_WindowFrameBigChannel(benchmark::State& state) {
  Rig rig;
  fill_big_channel(rig, static_cast<double>(state.range(0)));
  rig.run_window_frame();
  for (auto _ : state) rig.run_window_frame();
  report(state, rig);
}
BENCHMARK(BM_WindowFrameBigChannel)->Arg(0)->Arg(1500)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
