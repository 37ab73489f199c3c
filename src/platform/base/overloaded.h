// Overloaded: a visitor built from lambdas, one per alternative of a std::variant. Header only;
// usable from any thread.
#pragma once

namespace zarn {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace zarn
