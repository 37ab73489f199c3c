#include <benchmark/benchmark.h>
#include <cairo.h>
#include "views/conversation.h"
#include "views/people.h"

using namespace chat;
using namespace chat::views;

namespace {
const char* kWords[] = {"the", "release", "build", "is", "green", "again", "after", "we", "fixed",
                        "flaky", "network", "test", "please", "review", "my", "patch", "today",
                        "thanks", "looks", "good"};

struct World {
  zarn_ui::Theme theme = zarn_ui::Theme::dark();
  document::ReadModel model;
  ViewState state;
  std::vector<HitRegion> regions;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1280, 800);
  cairo_t* cr = cairo_create(surface);
  zarn_ui::TextRenderer text;
  int next = 0;

  explicit World(int n) {
    state.local = {"u_me", "Mira", "MI", 2};
    state.layout.bounds = {0, 0, 1280, 800};
    state.layout.scale = 1;
    state.layout.panes.conversation_left = 316;
    state.layout.panes.conversation_right = 1280;
    state.layout.panes.heading = {316, 0, 1280, 60};
    model.workspaces.push_back({"ws", "North", "N", 0, 0});
    document::Channel c;
    c.id = "c";
    c.workspace = "ws";
    c.name = "general";
    model.channels.push_back(c);
    model.current_channel = "c";
    for (const char* id : {"u_me", "u_ann", "u_bob", "u_cy"}) {
      document::Person p;
      p.id = id;
      p.name = id + 2;
      model.users.push_back(p);
      model.people.push_back(p);
    }
    model.messages.reserve(n + 1000);
    for (int i = 0; i < n; ++i) add();
  }
  ~World() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  void add() {
    document::Message m;
    const int i = next++;
    m.id = "m" + std::to_string(i);
    m.author = model.people[static_cast<std::size_t>(i / 3 % 4)].id;
    m.ts = 1782400000 + i * 40;
    m.text = "#" + std::to_string(i);
    for (int w = 0; w < 20; ++w) {
      m.text += ' ';
      m.text += kWords[(i * 7 + w * 3 + w * w * (i % 13)) % 20];
    }
    if (i % 10 == 0) m.reactions.push_back({"👍", {"u_ann", "u_me"}});
    if (i % 17 == 0) m.mentions.push_back({"u_me", 0, 3, false});
    m.channel = "c";
    model.messages.push_back(std::move(m));
  }
  void frame() {
    regions.clear();
    zarn_ui::Painter painter(cr, 1, text);
    ViewFrame f{painter, theme, model, state, regions, nullptr, {}};
    draw_conversation(f);
  }
};

void BM_FirstFrame10k(benchmark::State& s) {
  World w(10000);
  for (auto _ : s) {
    w.state.conversation_cache.reset();
    w.frame();
  }
}
BENCHMARK(BM_FirstFrame10k)->Unit(benchmark::kMillisecond)->Iterations(5);

// The frame's fixed cost: heading, day label and composer, no rows.
void BM_EmptyChannelFrame(benchmark::State& s) {
  World w(0);
  w.frame();
  for (auto _ : s) w.frame();
}
BENCHMARK(BM_EmptyChannelFrame)->Unit(benchmark::kMillisecond);

void BM_IdleFrame10k(benchmark::State& s) {
  World w(10000);
  w.frame();
  for (auto _ : s) w.frame();
}
BENCHMARK(BM_IdleFrame10k)->Unit(benchmark::kMillisecond);

void BM_ScrolledFrame10k(benchmark::State& s) {
  World w(10000);
  w.frame();
  w.state.follow_latest = false;
  w.state.scroll_offset = 200000;
  w.frame();
  for (auto _ : s) w.frame();
}
BENCHMARK(BM_ScrolledFrame10k)->Unit(benchmark::kMillisecond);

// Scrolling back 300 px a frame from the bottom: each frame brings rows not shaped yet into
// view (restarting at the bottom whenever the top is reached).
void BM_ScrollBackStep10k(benchmark::State& s) {
  World w(10000);
  w.frame();
  for (auto _ : s) {
    const double before = w.state.scroll_offset;
    w.state.follow_latest = false;
    w.state.scroll_offset += 300;
    w.frame();
    if (w.state.scroll_offset < before + 299) {
      s.PauseTiming();
      w.state.conversation_cache.reset();
      w.state.follow_latest = true;
      w.state.scroll_offset = 0;
      w.frame();
      s.ResumeTiming();
    }
  }
}
BENCHMARK(BM_ScrollBackStep10k)->Unit(benchmark::kMillisecond);

void BM_NewMessageFrame10k(benchmark::State& s) {
  World w(10000);
  w.frame();
  for (auto _ : s) {
    w.add();
    w.frame();
  }
}
BENCHMARK(BM_NewMessageFrame10k)->Unit(benchmark::kMillisecond)->Iterations(200);
}  // namespace

BENCHMARK_MAIN();
