// Text shaping and drawing over Pango: TextRenderer measures and draws styled runs through an
// LRU cache of shaped layouts; RichTextLayout is one shaped paragraph an editor can hit-test.
// Indexes are byte offsets into the shaped text (always on UTF-8 boundaries); invalid UTF-8 is
// replaced by U+FFFD before shaping. Sizes are logical pixels. UI thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/zarn_ui/geometry.h"

typedef struct _PangoLayout PangoLayout;
typedef struct _PangoContext PangoContext;
typedef struct _PangoFontMap PangoFontMap;

namespace zarn_ui {

class Painter;

enum class FontWeight : std::uint8_t { Regular, Medium, Semibold, Bold };
enum class TextAlign : std::uint8_t { Start, Center, End };
enum class Ellipsize : std::uint8_t { None, Start, Middle, End };

struct TextStyle {
  double size = 14;  // logical pixels
  FontWeight weight = FontWeight::Regular;
  Color color{1, 1, 1, 1};
  bool italic = false;
  bool monospace = false;
};

// Overrides for bytes [start, end) of the text; unset fields keep the base style.
struct TextSpan {
  std::size_t start = 0;
  std::size_t end = 0;
  std::optional<Color> color{};
  std::optional<FontWeight> weight{};
  std::optional<double> size{};
  std::optional<Color> background{};
  bool italic = false;
  bool monospace = false;
  bool underline = false;
  bool strikethrough = false;
};

struct TextLayoutOptions {
  std::optional<double> wrap_width{};     // none: one line per paragraph
  Ellipsize ellipsize = Ellipsize::None;  // applies with wrap_width (or max_lines)
  TextAlign align = TextAlign::Start;
  int max_lines = 0;  // 0: unlimited; >0 ellipsizes after that many lines
};

class TextRenderer;

// One shaped paragraph. Cheap to copy (the shaped layout is shared and never changes).
class RichTextLayout {
 public:
  RichTextLayout() = default;
  RichTextLayout(const RichTextLayout& other);
  RichTextLayout& operator=(const RichTextLayout& other);
  RichTextLayout(RichTextLayout&& other) noexcept;
  RichTextLayout& operator=(RichTextLayout&& other) noexcept;
  ~RichTextLayout();

  static RichTextLayout shape(TextRenderer& renderer, std::string_view text, const TextStyle& base,
                              std::span<const TextSpan> spans = {},
                              const TextLayoutOptions& options = {});

  bool empty() const { return layout_ == nullptr; }
  const std::string& text() const { return text_; }
  Size size() const;
  double width() const { return size().width; }
  double height() const { return size().height; }
  double baseline() const;  // first line, from the top
  int line_count() const;
  bool is_ellipsized() const;

  // Nearest caret position to a point relative to the layout's top-left (clamped inside).
  std::size_t hit_test(Point p) const;
  // Caret at a byte index, relative to the top-left; zero width, one line high.
  Rect caret_rect(std::size_t index) const;
  // Grapheme-aware caret movement; stays put at the ends.
  std::size_t next_cursor(std::size_t index) const;
  std::size_t prev_cursor(std::size_t index) const;
  // Word boundaries for Ctrl+arrow movement.
  std::size_t next_word(std::size_t index) const;
  std::size_t prev_word(std::size_t index) const;
  // Caret one line up (-1) or down (+1), keeping `x` (or the caret's x when absent).
  std::size_t move_line(std::size_t index, int delta, std::optional<double> x = {}) const;
  // Start and end byte index of the visual line holding `index`.
  std::pair<std::size_t, std::size_t> line_bounds(std::size_t index) const;
  // Highlight rectangles for the bytes [start, end), one or more per line.
  std::vector<Rect> selection_rects(std::size_t start, std::size_t end) const;

  void draw(Painter& painter, Point origin) const;
  PangoLayout* pango_layout() const { return layout_; }

 private:
  friend class TextRenderer;
  RichTextLayout(PangoLayout* layout, std::string text, Color base_color);
  std::size_t clamp_index(std::size_t index) const;

  PangoLayout* layout_ = nullptr;  // owned reference
  std::string text_{};
  Color base_color_{};
};

class TextRenderer {
 public:
  static constexpr std::size_t kDefaultCacheCapacity = 1024;

  explicit TextRenderer(std::size_t cache_capacity = kDefaultCacheCapacity);
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  Size measure(std::string_view text, const TextStyle& style,
               const TextLayoutOptions& options = {});
  Size measure_rich(std::string_view text, std::span<const TextSpan> spans, const TextStyle& base,
                    const TextLayoutOptions& options = {});
  // Height of one line of text in this style.
  double line_height(const TextStyle& style);

  Size draw(Painter& painter, std::string_view text, Point origin, const TextStyle& style,
            const TextLayoutOptions& options = {});
  Size draw_rich(Painter& painter, std::string_view text, std::span<const TextSpan> spans,
                 Point origin, const TextStyle& base, const TextLayoutOptions& options = {});

  // A shaped layout from the cache (shaped on a miss).
  RichTextLayout layout(std::string_view text, std::span<const TextSpan> spans,
                        const TextStyle& base, const TextLayoutOptions& options = {});

  struct CacheStats {
    std::size_t entries = 0;
    std::size_t hits = 0;
    std::size_t misses = 0;
  };
  CacheStats cache_stats() const { return stats_; }
  void clear_cache();

  PangoContext* pango_context() const { return context_; }

 private:
  friend class RichTextLayout;
  RichTextLayout shape_uncached(std::string_view text, std::span<const TextSpan> spans,
                                const TextStyle& base, const TextLayoutOptions& options);

  PangoFontMap* font_map_ = nullptr;
  PangoContext* context_ = nullptr;
  std::size_t capacity_{};
  // LRU: front is most recent.
  std::list<std::pair<std::string, RichTextLayout>> lru_{};
  std::unordered_map<std::string, std::list<std::pair<std::string, RichTextLayout>>::iterator>
      index_;
  CacheStats stats_{};
};

}  // namespace zarn_ui
