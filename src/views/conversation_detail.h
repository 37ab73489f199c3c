// Internals of the conversation view: one row of the message list (measuring its height and
// painting it walk the same steps, so a cached height always matches what is drawn) and the
// main composer card. UI thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "views/frame.h"

namespace chat::views::conversation_detail {

// Replies to one top-level message.
struct ThreadSummary {
  std::size_t count = 0;
  std::vector<std::string_view> repliers;  // distinct, at most three, in reply order
  std::int64_t last_ts = 0;
};
using ThreadMap = std::unordered_map<std::string_view, ThreadSummary>;

// Summaries for every message that has replies; views point into `messages`.
ThreadMap summarize_threads(const std::vector<document::Message>& messages);

// Column geometry shared by every row of one frame.
struct RowColumns {
  double left = 0;   // conversation left edge
  double right = 0;  // conversation right edge
  double text_x = 0;
  double wrap = 0;
};
RowColumns row_columns(double left, double right);

struct RowInput {
  const document::Message* message = nullptr;
  bool header = false;  // first message of its group
  const ThreadSummary* thread = nullptr;
};

// Everything the height depends on, hashed; rows being edited are never cached.
std::uint64_t row_key(const ViewFrame& frame, const RowColumns& cols, const RowInput& row);
bool row_is_editing(const ViewFrame& frame, const RowInput& row);

double measure_row(ViewFrame& frame, const RowColumns& cols, const RowInput& row);

// Cheap stand-in for measure_row: body lines from character counts and mean glyph advance,
// reaction chips from label lengths; every fixed part (header, attachment card, thread card)
// is exact. Built once per frame with a few shaping calls.
struct RowEstimator {
  double line_height = 20;
  double glyph_width = 7.5;
  double chip_glyph_width = 6.5;
  double chip_height = 26;

  static RowEstimator for_frame(ViewFrame& frame);
  double body_height(std::string_view text, double wrap) const;
  // Bottom of the reaction chips laid out from `y`.
  double chips_bottom(const document::Message& m, double wrap, double y) const;
};
double estimate_row(ViewFrame& frame, const RowColumns& cols, const RowInput& row,
                    const RowEstimator& guess);
// Paints a row of the given (measured) height at `top`, registering its regions clipped to
// `clip`.
void paint_row(ViewFrame& frame, const RowColumns& cols, const RowInput& row, double top,
               double height, const zarn_ui::Rect& clip);

// The composer card (or the view-only card) filling `card`.
void draw_main_composer(ViewFrame& frame, const zarn_ui::Rect& card);

}  // namespace chat::views::conversation_detail
