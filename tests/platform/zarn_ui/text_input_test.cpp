#include "platform/zarn_ui/text_input.h"

#include <cairo.h>
#include <glib.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/zarn_ui/painter.h"
#include "platform/zarn_ui/theme.h"
#include "platform/zarn_ui/widget.h"

namespace zarn_ui {
namespace {

Event key(Key k, Modifiers mods = {}) {
  return KeyEvent{k, KeyState::Pressed, mods, false};
}
Event text(std::string t) {
  return TextEvent{std::move(t)};
}
Event button(ButtonState state, Point p, int clicks = 1) {
  ButtonEvent e;
  e.state = state;
  e.pos = p;
  e.clicks = clicks;
  return e;
}
Event move(Point p) {
  PointerMoveEvent e;
  e.pos = p;
  return e;
}
constexpr Modifiers kShift{.shift = true};
constexpr Modifiers kCtrl{.ctrl = true};
constexpr Modifiers kCtrlShift{.shift = true, .ctrl = true};

// "👨‍👩‍👧": three people joined by zero-width joiners, one grapheme of 18 bytes.
const std::string kFamily =
    "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";
const std::string kFlag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";   // 🇫🇷, two regional indicators
const std::string kThumb = "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";  // 👍🏽, emoji + skin tone
const std::string kEAcute = "e\xCC\x81";                        // e + combining acute

struct EditCase {
  const char* name;
  std::string initial;
  std::size_t anchor;
  std::size_t cursor;
  std::vector<Event> events;
  std::string clipboard;
  std::string want_text;
  std::size_t want_cursor;
  std::optional<TextEdit> want_dirty;
};

class TextInputTest : public ::testing::Test {
 protected:
  TextInputTest() : ctx(host) { input.set_focused(true); }

  BasicHost host;
  EventCtx ctx;
  TextInput input;
};

TEST_F(TextInputTest, EditingTable) {
  const std::string fam = "x" + kFamily;
  const std::vector<EditCase> cases = {
      {"insert multibyte", "ab", 1, 1, {text("é")}, "", "aéb", 3, TextEdit{1, 1, "é"}},
      {"typing run merges",
       "",
       0,
       0,
       {text("h"), text("i"), text("!")},
       "",
       "hi!",
       3,
       TextEdit{0, 0, "hi!"}},
      {"backspace over two-byte char",
       "aéb",
       3,
       3,
       {key(Key::Backspace)},
       "",
       "ab",
       1,
       TextEdit{1, 3, ""}},
      {"backspace over zwj emoji",
       fam,
       fam.size(),
       fam.size(),
       {key(Key::Backspace)},
       "",
       "x",
       1,
       TextEdit{1, fam.size(), ""}},
      {"backspace over flag",
       "a" + kFlag,
       9,
       9,
       {key(Key::Backspace)},
       "",
       "a",
       1,
       TextEdit{1, 9, ""}},
      {"backspace over combining mark",
       "a" + kEAcute,
       4,
       4,
       {key(Key::Backspace)},
       "",
       "a",
       1,
       TextEdit{1, 4, ""}},
      {"delete over skin-tone emoji",
       kThumb + "z",
       0,
       0,
       {key(Key::Delete)},
       "",
       "z",
       0,
       TextEdit{0, 8, ""}},
      {"delete at end does nothing", "ab", 2, 2, {key(Key::Delete)}, "", "ab", 2, std::nullopt},
      {"backspace at start does nothing",
       "ab",
       0,
       0,
       {key(Key::Backspace)},
       "",
       "ab",
       0,
       std::nullopt},
      {"selection replaced by typing",
       "hello world",
       0,
       5,
       {text("bye")},
       "",
       "bye world",
       3,
       TextEdit{0, 5, "bye"}},
      {"backwards selection deleted",
       "hello world",
       11,
       5,
       {key(Key::Backspace)},
       "",
       "hello",
       5,
       TextEdit{5, 11, ""}},
      {"ctrl+left twice",
       "one two three",
       13,
       13,
       {key(Key::Left, kCtrl), key(Key::Left, kCtrl)},
       "",
       "one two three",
       4,
       std::nullopt},
      {"ctrl+right",
       "one two three",
       0,
       0,
       {key(Key::Right, kCtrl), key(Key::Right, kCtrl)},
       "",
       "one two three",
       7,
       std::nullopt},
      {"ctrl+backspace deletes word",
       "one two",
       7,
       7,
       {key(Key::Backspace, kCtrl)},
       "",
       "one ",
       4,
       TextEdit{4, 7, ""}},
      {"shift+ctrl+left then type",
       "one two",
       7,
       7,
       {key(Key::Left, kCtrlShift), text("2")},
       "",
       "one 2",
       5,
       TextEdit{4, 7, "2"}},
      {"left collapses selection to its start",
       "abcd",
       1,
       3,
       {key(Key::Left)},
       "",
       "abcd",
       1,
       std::nullopt},
      {"right steps over emoji",
       "a" + kFamily,
       1,
       1,
       {key(Key::Right), text("!")},
       "",
       "a" + kFamily + "!",
       20,
       TextEdit{19, 19, "!"}},
      {"home and end on a line",
       "ab\ncd\nef",
       4,
       4,
       {key(Key::Home), text("<"), key(Key::End), text(">")},
       "",
       "ab\n<cd>\nef",
       7,
       TextEdit{3, 5, "<cd>"}},
      {"ctrl+home and ctrl+end",
       "ab\ncd",
       4,
       4,
       {key(Key::Home, kCtrl), text("["), key(Key::End, kCtrl), text("]")},
       "",
       "[ab\ncd]",
       7,
       TextEdit{0, 5, "[ab\ncd]"}},
      {"shift+end selects to line end",
       "ab\ncd",
       0,
       0,
       {key(Key::End, kShift), text("x")},
       "",
       "x\ncd",
       1,
       TextEdit{0, 2, "x"}},
      {"down and up keep the grapheme column",
       "abc\ndef",
       1,
       1,
       {key(Key::Down), text("1"), key(Key::Up), text("2")},
       "",
       "ab2c\nd1ef",
       3,
       TextEdit{2, 5, "2c\nd1"}},
      {"up on first line goes to start",
       "abc\ndef",
       2,
       2,
       {key(Key::Up), text("^")},
       "",
       "^abc\ndef",
       1,
       TextEdit{0, 0, "^"}},
      {"shift+enter inserts a line break",
       "ab",
       1,
       1,
       {key(Key::Enter, kShift)},
       "",
       "a\nb",
       2,
       TextEdit{1, 1, "\n"}},
      {"enter does not edit", "ab", 1, 1, {key(Key::Enter)}, "", "ab", 1, std::nullopt},
      {"paste normalises breaks and drops controls",
       "ab",
       1,
       1,
       {key(Key::V, kCtrl)},
       "X\r\nY\rZ\x01\x1b",
       "aX\nY\nZb",
       6,
       TextEdit{1, 1, "X\nY\nZ"}},
      {"paste replaces selection",
       "hello",
       0,
       5,
       {key(Key::V, kCtrl)},
       "bye",
       "bye",
       3,
       TextEdit{0, 5, "bye"}},
      {"cut removes selection",
       "hello world",
       5,
       11,
       {key(Key::X, kCtrl)},
       "",
       "hello",
       5,
       TextEdit{5, 11, ""}},
      {"select all then type",
       "abc",
       1,
       1,
       {key(Key::A, kCtrl), text("z")},
       "",
       "z",
       1,
       TextEdit{0, 3, "z"}},
      {"invalid utf-8 becomes replacement char",
       "",
       0,
       0,
       {text("a\xFF")},
       "",
       "a\xEF\xBF\xBD",
       4,
       TextEdit{0, 0, "a\xEF\xBF\xBD"}},
      {"edits far apart merge into one range",
       "hello world",
       11,
       11,
       {text("!"), key(Key::Home), text(">")},
       "",
       ">hello world!",
       1,
       TextEdit{0, 11, ">hello world!"}},
      {"typed then erased reports nothing",
       "ab",
       1,
       1,
       {text("x"), key(Key::Backspace)},
       "",
       "ab",
       1,
       std::nullopt},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    TextInput in;
    in.set_focused(true);
    in.set_text(c.initial);
    in.select(c.anchor, c.cursor);
    host.clipboard = c.clipboard;
    for (const Event& e : c.events) in.handle_event(e, ctx);
    EXPECT_EQ(in.text(), c.want_text);
    EXPECT_EQ(in.cursor_pos(), c.want_cursor);
    EXPECT_FALSE(in.has_selection());
    const std::optional<TextEdit> dirty = in.take_dirty();
    EXPECT_EQ(dirty, c.want_dirty);
    EXPECT_EQ(in.take_dirty(), std::nullopt) << "a take clears the report";
  }
}

TEST_F(TextInputTest, SubmitFlagIsTakenOnce) {
  input.set_text("hi");
  EXPECT_FALSE(input.take_submit());
  EXPECT_TRUE(input.handle_event(key(Key::Enter), ctx));
  EXPECT_TRUE(ctx.handled());
  EXPECT_TRUE(input.take_submit());
  EXPECT_FALSE(input.take_submit());
  EXPECT_EQ(input.text(), "hi");
}

TEST_F(TextInputTest, SingleLineFlattensBreaksAndSubmitsOnShiftEnter) {
  input.set_line_mode(LineMode::Single);
  input.insert_at_cursor("a\nb\r\nc");
  EXPECT_EQ(input.text(), "a b c");
  input.handle_event(key(Key::Enter, kShift), ctx);
  EXPECT_TRUE(input.take_submit());
  EXPECT_EQ(input.text(), "a b c");
  EXPECT_FALSE(input.handle_event(key(Key::Up), ctx)) << "Up is left to the host";
}

TEST_F(TextInputTest, CopyLeavesTextAndFillsClipboard) {
  input.set_text("hello world");
  input.select(6, 11);
  input.handle_event(key(Key::C, kCtrl), ctx);
  EXPECT_EQ(host.clipboard, "world");
  EXPECT_EQ(input.text(), "hello world");
  EXPECT_EQ(input.take_dirty(), std::nullopt);
}

TEST_F(TextInputTest, UnfocusedInputIgnoresEverything) {
  input.set_focused(false);
  input.set_text("a");
  EXPECT_FALSE(input.handle_event(text("b"), ctx));
  EXPECT_FALSE(input.handle_event(key(Key::Backspace), ctx));
  EXPECT_FALSE(ctx.handled());
  EXPECT_EQ(input.text(), "a");
}

TEST_F(TextInputTest, HostSetTextIsNotReportedAndDropsPendingEdits) {
  input.handle_event(text("typed"), ctx);
  input.set_text("from the draft store");
  EXPECT_EQ(input.take_dirty(), std::nullopt);
  EXPECT_FALSE(input.undo()) << "history belongs to the replaced text";
  // The caret keeps its offset where the new text allows.
  EXPECT_EQ(input.cursor_pos(), 5u);
}

TEST_F(TextInputTest, MirroringTheSameTextKeepsHistoryAndReport) {
  // A host that copies its stored draft back after every splice must not wipe undo.
  input.handle_event(text("a"), ctx);
  const auto edit = input.take_dirty();
  ASSERT_TRUE(edit);
  input.set_text("a");
  input.handle_event(text("b"), ctx);
  input.set_text("ab");
  EXPECT_EQ(input.take_dirty(), (TextEdit{1, 1, "b"}));
  EXPECT_TRUE(input.undo());
  EXPECT_EQ(input.text(), "");
}

TEST_F(TextInputTest, AccessNodeCarriesTheText) {
  input.set_text("draft");
  input.set_placeholder("Reply…");
  const AccessNode multi = input.access_node("composer", "Message composer");
  EXPECT_EQ(multi.role, AccessRole::TextArea);
  EXPECT_EQ(multi.value, "draft");
  EXPECT_TRUE(multi.focused);
  input.set_line_mode(LineMode::Single);
  EXPECT_EQ(input.access_node("rename", "Rename field").role, AccessRole::TextField);
}

TEST_F(TextInputTest, CaretIsPulledOntoGraphemeBoundaries) {
  input.set_text("a" + kFamily + "b");
  for (std::size_t inside : {2u, 5u, 8u, 18u}) {
    SCOPED_TRACE(inside);
    input.set_cursor_pos(inside);
    EXPECT_EQ(input.cursor_pos(), 1u);
  }
  input.set_cursor_pos(1000);
  EXPECT_EQ(input.cursor_pos(), input.text().size());
  input.select(3, 0);
  EXPECT_EQ(input.selection(), std::make_pair(std::size_t{0}, std::size_t{1}));
}

TEST_F(TextInputTest, CompositionIsShownButNotCommittedUntilText) {
  input.set_text("ab");
  input.set_cursor_pos(1);
  input.handle_event(CompositionEvent{"に", 1}, ctx);
  EXPECT_EQ(input.composition(), "に");
  EXPECT_EQ(input.text(), "ab");
  EXPECT_EQ(input.take_dirty(), std::nullopt);
  input.handle_event(text("日本"), ctx);
  EXPECT_EQ(input.composition(), "");
  EXPECT_EQ(input.text(), "a日本b");
  EXPECT_EQ(input.take_dirty(), (TextEdit{1, 1, "日本"}));
  input.handle_event(CompositionEvent{"x", 0}, ctx);
  input.handle_event(CompositionEvent{"", 0}, ctx);
  EXPECT_EQ(input.composition(), "");
}

TEST_F(TextInputTest, UndoAndRedoAreReportedAsEdits) {
  input.handle_event(text("a"), ctx);
  input.handle_event(text("b"), ctx);
  input.handle_event(key(Key::Left), ctx);  // breaks the typing run
  input.handle_event(text("c"), ctx);
  ASSERT_EQ(input.text(), "acb");
  (void)input.take_dirty();

  input.handle_event(key(Key::Z, kCtrl), ctx);
  EXPECT_EQ(input.text(), "ab");
  EXPECT_EQ(input.cursor_pos(), 1u);
  EXPECT_EQ(input.take_dirty(), (TextEdit{1, 2, ""}));
  input.handle_event(key(Key::Z, kCtrl), ctx);
  EXPECT_EQ(input.text(), "") << "the run 'ab' is one step";
  input.handle_event(key(Key::Z, kCtrlShift), ctx);
  input.handle_event(key(Key::Z, kCtrlShift), ctx);
  EXPECT_EQ(input.text(), "acb");
  EXPECT_EQ(input.take_dirty(), (TextEdit{0, 2, "acb"})) << "relative to 'ab' at the last take";
  EXPECT_FALSE(input.redo());
}

TEST_F(TextInputTest, SemanticActions) {
  EXPECT_TRUE(input.perform_action("blur"));
  EXPECT_FALSE(input.is_focused());
  EXPECT_TRUE(input.perform_action("focus"));
  EXPECT_TRUE(input.is_focused());

  input.set_text("hello world");
  EXPECT_TRUE(input.perform_action("set-value", "hello there world"));
  EXPECT_EQ(input.text(), "hello there world");
  EXPECT_EQ(input.cursor_pos(), input.text().size());
  EXPECT_EQ(input.take_dirty(), (TextEdit{6, 6, "there "})) << "only the differing middle";

  // A common prefix that ends inside a multi-byte character must not split it.
  input.set_text("aé");
  EXPECT_TRUE(input.perform_action(SemanticAction{SemanticActionKind::SetValue, "aè"}));
  EXPECT_EQ(input.take_dirty(), (TextEdit{1, 3, "è"}));

  EXPECT_TRUE(input.perform_action(SemanticAction{SemanticActionKind::ReplaceSelection, "!"}));
  EXPECT_EQ(input.text(), "aè!");
  EXPECT_TRUE(input.perform_action("submit"));
  EXPECT_TRUE(input.take_submit());
  EXPECT_FALSE(input.perform_action("explode"));
  EXPECT_EQ(input.local_author(), "");
  input.set_local_author("someone");
  EXPECT_EQ(input.local_author(), "someone");
}

// Random edits, replayed through the reported ranges onto a mirror, must rebuild the text,
// whatever the mix of multi-byte input, selections, undo and clipboard.
TEST_F(TextInputTest, ReportedEditsRebuildTheText) {
  std::mt19937 rng(1234);
  const std::vector<std::string> pieces = {"a", "é",  "日本",  kFamily, kFlag,
                                           " ", "\n", "word ", kEAcute, "\xFF"};
  const std::vector<Key> keys = {Key::Left, Key::Right, Key::Up,        Key::Down,
                                 Key::Home, Key::End,   Key::Backspace, Key::Delete,
                                 Key::Z,    Key::X,     Key::V,         Key::A};
  std::string mirror;
  for (int step = 0; step < 3000; ++step) {
    const int what = static_cast<int>(rng() % 10);
    if (what < 4) {
      input.handle_event(text(pieces[rng() % pieces.size()]), ctx);
    } else {
      Modifiers mods;
      mods.shift = rng() % 3 == 0;
      mods.ctrl = rng() % 3 == 0;
      host.clipboard = pieces[rng() % pieces.size()];
      input.handle_event(key(keys[rng() % keys.size()], mods), ctx);
    }
    if (rng() % 4 == 0) {
      if (auto edit = input.take_dirty()) {
        ASSERT_LE(edit->start, edit->end);
        ASSERT_LE(edit->end, mirror.size());
        mirror.replace(edit->start, edit->end - edit->start, edit->text);
      }
      ASSERT_EQ(mirror, input.text()) << "step " << step;
    }
    const std::string& t = input.text();
    ASSERT_TRUE(g_utf8_validate(t.data(), static_cast<gssize>(t.size()), nullptr));
    ASSERT_LE(input.cursor_pos(), t.size());
    if (input.cursor_pos() < t.size()) {
      ASSERT_NE(static_cast<unsigned char>(t[input.cursor_pos()]) & 0xC0, 0x80);
    }
  }
}

// Pointer and line movement need the geometry of a drawn layout.
class DrawnTextInputTest : public TextInputTest {
 protected:
  DrawnTextInputTest()
      : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 300, 200)),
        cr(cairo_create(surface)) {}
  ~DrawnTextInputTest() override {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  void draw(const Rect& r) {
    Painter painter(cr, 1, renderer);
    input.draw(painter, r, host.theme_value);
  }

  cairo_surface_t* surface;
  cairo_t* cr;
  TextRenderer renderer;
};

TEST_F(DrawnTextInputTest, ClickPlacesCaretAndDragSelects) {
  input.set_text("hello world");
  const Rect box = Rect::from_xywh(10, 10, 280, 40);
  draw(box);
  host.scale = 2;  // events arrive in platform pixels
  const double mid_y = box.center().y * 2;
  input.handle_event(button(ButtonState::Pressed, {box.x0 * 2, mid_y}), ctx);
  EXPECT_EQ(input.cursor_pos(), 0u);
  input.handle_event(move({box.x1 * 2 - 2, mid_y}), ctx);
  input.handle_event(button(ButtonState::Released, {box.x1 * 2, mid_y}), ctx);
  EXPECT_EQ(input.selection(), std::make_pair(std::size_t{0}, input.text().size()));
  // Moving after release no longer extends.
  input.handle_event(move({box.x0 * 2, mid_y}), ctx);
  EXPECT_EQ(input.selection().second, input.text().size());

  input.handle_event(button(ButtonState::Pressed, {box.x1 * 2 - 2, mid_y}, 2), ctx);
  EXPECT_EQ(input.selected_text(), "world");

  // A press outside the box is not the input's.
  EXPECT_FALSE(input.handle_event(button(ButtonState::Pressed, {0, 0}), ctx));
}

TEST_F(DrawnTextInputTest, UpDownFollowWrappedLines) {
  // Narrow enough that the text wraps into several visual lines without any '\n'.
  input.set_text("alpha beta gamma delta epsilon zeta eta theta");
  input.set_cursor_pos(0);
  draw(Rect::from_xywh(0, 0, 90, 150));
  input.handle_event(key(Key::Down), ctx);
  const std::size_t second_line = input.cursor_pos();
  EXPECT_GT(second_line, 0u);
  EXPECT_LT(second_line, input.text().size());
  input.handle_event(key(Key::Up), ctx);
  EXPECT_EQ(input.cursor_pos(), 0u);
  input.handle_event(key(Key::End), ctx);
  EXPECT_GT(input.cursor_pos(), 0u);
  EXPECT_LT(input.cursor_pos(), second_line) << "End stays on the first visual line";
}

// Counts painted pixels inside and outside a rectangle of the surface.
std::pair<int, int> painted(cairo_surface_t* surface, const Rect& r) {
  cairo_surface_flush(surface);
  const int w = cairo_image_surface_get_width(surface);
  const int h = cairo_image_surface_get_height(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  int inside = 0;
  int outside = 0;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const auto* px = reinterpret_cast<const std::uint32_t*>(data + y * stride) + x;
      if (*px == 0) continue;
      (r.contains({x + 0.5, y + 0.5}) ? inside : outside) += 1;
    }
  }
  return {inside, outside};
}

TEST_F(DrawnTextInputTest, PaintsOnlyInsideItsBox) {
  const Rect box = Rect::from_xywh(20, 20, 120, 30);
  input.set_placeholder("Say something rather long that will not fit");
  draw(box);
  auto [inside, outside] = painted(surface, box);
  EXPECT_GT(inside, 20) << "placeholder drawn";
  EXPECT_EQ(outside, 0);

  // A long single line scrolls to keep the caret (at the end) in view, still clipped.
  input.set_line_mode(LineMode::Single);
  input.set_text(std::string(200, 'w'));
  input.set_cursor_pos(200);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  draw(box);
  std::tie(inside, outside) = painted(surface, box);
  EXPECT_EQ(outside, 0);
  const Rect right_edge{box.x1 - 6, box.y0, box.x1, box.y1};
  EXPECT_GT(painted(surface, right_edge).first, 0) << "caret and text reach the right edge";
}

}  // namespace
}  // namespace zarn_ui
