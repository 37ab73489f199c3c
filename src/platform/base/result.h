// Result<T>: a value or an error text. Failures cross module boundaries as values, never as
// exceptions. std::optional means "absent"; Result means "may fail, and says why".
// Header-only; any thread.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace zarn {

struct Error {
  std::string message;
};

inline Error make_error(std::string message) { return Error{std::move(message)}; }

template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}
  Result(Error error) : v_(std::in_place_index<1>, std::move(error)) {}

  bool has_value() const { return v_.index() == 0; }
  explicit operator bool() const { return has_value(); }

  T& value() & { return std::get<0>(v_); }
  const T& value() const& { return std::get<0>(v_); }
  T&& value() && { return std::get<0>(std::move(v_)); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }

  const std::string& error() const { return std::get<1>(v_).message; }
  Error take_error() && { return std::get<1>(std::move(v_)); }

  // Calls f(value) when there is one; passes the error through otherwise.
  template <typename F>
  auto and_then(F&& f) && -> std::invoke_result_t<F, T&&> {
    if (has_value()) return std::forward<F>(f)(std::get<0>(std::move(v_)));
    return std::get<1>(std::move(v_));
  }

 private:
  std::variant<T, Error> v_;
};

template <>
class [[nodiscard]] Result<void> {
 public:
  Result() = default;
  Result(Error error) : error_(std::move(error.message)), failed_(true) {}

  bool has_value() const { return !failed_; }
  explicit operator bool() const { return has_value(); }
  void value() const {}
  const std::string& error() const { return error_; }
  Error take_error() && { return Error{std::move(error_)}; }

  template <typename F>
  auto and_then(F&& f) && -> std::invoke_result_t<F> {
    if (has_value()) return std::forward<F>(f)();
    return Error{std::move(error_)};
  }

 private:
  std::string error_;
  bool failed_ = false;
};

inline Result<void> ok() { return {}; }

}  // namespace zarn

// Returns early with the error of a failed Result expression.
#define ZARN_TRY(expr)                                          \
  do {                                                          \
    auto&& zarn_try_result_ = (expr);                           \
    if (!zarn_try_result_.has_value())                          \
      return ::zarn::Error{zarn_try_result_.error()};           \
  } while (0)
