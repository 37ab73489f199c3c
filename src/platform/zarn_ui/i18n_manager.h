// I18nManager: the process's active locale and a revision number that changes whenever the
// active catalogue does, so views can cache measured labels and re-measure only on a change.
// The locale is one setting for the whole process, like the environment it usually comes
// from; it is guarded, and every member may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace zarn_ui {

class I18nManager {
 public:
  I18nManager() = delete;

  static std::uint64_t revision();
  // Empty means each catalogue's default locale.
  static std::string active_locale();
  // Bumps the revision when the locale actually changes.
  static void set_active_locale(std::string locale);
  // For a catalogue whose text changed under the same locale.
  static void catalog_changed();
};

}  // namespace zarn_ui
