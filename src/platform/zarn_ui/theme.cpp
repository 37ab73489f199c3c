#include "platform/zarn_ui/theme.h"

namespace zarn_ui {

namespace {

// Distinct, mid-luminance hues that stay legible on both dark and light surfaces.
constexpr unsigned kPersonHues[8] = {0xE5736B, 0xE8A350, 0xC9B83F, 0x5DBB7A,
                                     0x4CB3C4, 0x5B8DEF, 0x9B7BE8, 0xD96FB5};

std::array<Color, 8> person_palette() {
  std::array<Color, 8> out;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = Color::rgb(kPersonHues[i]);
  return out;
}

}  // namespace

Theme Theme::dark() {
  Theme t;
  t.surface_base = Color::rgb(0x16181D);
  t.surface_raised = Color::rgb(0x1F2229);
  t.surface_sunken = Color::rgb(0x111317);
  t.surface_overlay = Color::rgb(0x282C35);
  t.text_strong = Color::rgb(0xEDEFF3);
  t.text_muted = Color::rgb(0xA6ACB8);
  t.text_faint = Color::rgb(0x6C7280);
  t.accent = Color::rgb(0x5B8DEF);
  t.accent_text = Color::rgb(0xFFFFFF);
  t.danger = Color::rgb(0xE5534B);
  t.success = Color::rgb(0x3FB950);
  t.warning = Color::rgb(0xD29922);
  t.focus = Color::rgb(0x8AB4FF);
  t.edge = Color::rgb(0xFFFFFF, 0.10);
  t.scrim = Color::rgb(0x000000, 0.45);
  t.presence_online = Color::rgb(0x3FB950);
  t.presence_idle = Color::rgb(0xD29922);
  t.presence_dnd = Color::rgb(0xE5534B);
  t.presence_offline = Color::rgb(0x6C7280);
  t.person_colors = person_palette();
  return t;
}

Theme Theme::light() {
  Theme t = dark();
  t.surface_base = Color::rgb(0xF6F7F9);
  t.surface_raised = Color::rgb(0xFFFFFF);
  t.surface_sunken = Color::rgb(0xECEEF2);
  t.surface_overlay = Color::rgb(0xFFFFFF);
  t.text_strong = Color::rgb(0x1B1F27);
  t.text_muted = Color::rgb(0x555D6B);
  t.text_faint = Color::rgb(0x8B93A1);
  t.accent = Color::rgb(0x2F6FE4);
  t.focus = Color::rgb(0x2F6FE4);
  t.edge = Color::rgb(0x000000, 0.12);
  t.scrim = Color::rgb(0x000000, 0.30);
  return t;
}

double Theme::header_height() const {
  return header.top_pad + header.title_height + header.title_gap + header.subtitle_height +
         header.bottom_pad;
}

std::chrono::milliseconds Theme::effective_motion() const {
  return reduced_motion ? std::chrono::milliseconds{0} : motion_duration;
}

const Color& Theme::person_color(std::size_t index) const {
  return person_colors[index % person_colors.size()];
}

}  // namespace zarn_ui
