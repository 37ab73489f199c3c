#include "platform/zarn_ui/i18n_manager.h"

#include <atomic>
#include <mutex>

namespace zarn_ui {
namespace {

struct LocaleState {
  std::mutex mu;
  std::string locale;
  std::atomic<std::uint64_t> revision{1};
};

LocaleState& state() {
  static LocaleState s;
  return s;
}

}  // namespace

std::uint64_t I18nManager::revision() {
  return state().revision.load(std::memory_order_acquire);
}

std::string I18nManager::active_locale() {
  LocaleState& s = state();
  std::lock_guard lock(s.mu);
  return s.locale;
}

void I18nManager::set_active_locale(std::string locale) {
  LocaleState& s = state();
  std::lock_guard lock(s.mu);
  if (s.locale == locale) return;
  s.locale = std::move(locale);
  s.revision.fetch_add(1, std::memory_order_acq_rel);
}

void I18nManager::catalog_changed() {
  state().revision.fetch_add(1, std::memory_order_acq_rel);
}

}  // namespace zarn_ui
