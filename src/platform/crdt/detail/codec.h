// Byte-level building blocks of the change and snapshot formats: LEB128 varints, tagged
// values and zlib-deflated columns. Readers never trust their input: every read checks the
// bytes that remain and fails with a message instead of reading past the end.
// Pure functions and small value types; any thread.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/base/result.h"
#include "platform/crdt/document.h"

namespace crdt::detail {

class Writer {
 public:
  void u8(std::uint8_t v) { out_.push_back(v); }
  void uleb(std::uint64_t v) {
    while (v >= 0x80) {
      out_.push_back(static_cast<std::uint8_t>(v | 0x80));
      v >>= 7;
    }
    out_.push_back(static_cast<std::uint8_t>(v));
  }
  void sleb(std::int64_t v) {
    bool more = true;
    while (more) {
      std::uint8_t b = v & 0x7f;
      v >>= 7;  // arithmetic shift keeps the sign
      if ((v == 0 && !(b & 0x40)) || (v == -1 && (b & 0x40)))
        more = false;
      else
        b |= 0x80;
      out_.push_back(b);
    }
  }
  void raw(const void* p, std::size_t n) {
    auto* b = static_cast<const std::uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void str(std::string_view s) {
    uleb(s.size());
    raw(s.data(), s.size());
  }
  void f64(double d) {
    std::uint64_t bits;
    std::memcpy(&bits, &d, 8);
    for (int i = 0; i < 8; ++i) out_.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
  }
  Bytes& bytes() { return out_; }
  std::size_t size() const { return out_.size(); }

 private:
  Bytes out_;
};

class Reader {
 public:
  explicit Reader(ByteView in) : in_(in) {}
  std::size_t remaining() const { return in_.size() - pos_; }
  bool done() const { return pos_ == in_.size(); }
  // The next byte without consuming it; 0xff at the end.
  std::uint8_t peek() const { return pos_ < in_.size() ? in_[pos_] : 0xff; }
  std::size_t pos() const { return pos_; }

  zarn::Result<std::uint8_t> u8() {
    if (pos_ >= in_.size()) return fail("unexpected end of data");
    return in_[pos_++];
  }
  zarn::Result<std::uint64_t> uleb() {
    std::uint64_t v = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (pos_ >= in_.size()) return fail("unexpected end of data in varint");
      std::uint8_t b = in_[pos_++];
      if (shift == 63 && (b & 0x7e)) return fail("varint overflows 64 bits");
      v |= std::uint64_t(b & 0x7f) << shift;
      if (!(b & 0x80)) return v;
    }
    return fail("varint too long");
  }
  zarn::Result<std::int64_t> sleb() {
    std::uint64_t v = 0;
    int shift = 0;
    std::uint8_t b = 0;
    do {
      if (pos_ >= in_.size()) return fail("unexpected end of data in varint");
      if (shift >= 64) return fail("varint too long");
      b = in_[pos_++];
      if (shift == 63 && b != 0 && b != 0x7f) return fail("varint overflows 64 bits");
      v |= std::uint64_t(b & 0x7f) << shift;
      shift += 7;
    } while (b & 0x80);
    if (shift < 64 && (b & 0x40)) v |= ~std::uint64_t{0} << shift;
    return static_cast<std::int64_t>(v);
  }
  // A count that must be coverable by the remaining input at `min_bytes_each` per item.
  zarn::Result<std::uint64_t> count(std::size_t min_bytes_each) {
    auto n = uleb();
    if (!n) return n;
    if (min_bytes_each > 0 && *n > remaining() / min_bytes_each)
      return fail("count exceeds the remaining data");
    return n;
  }
  zarn::Result<ByteView> take(std::uint64_t n) {
    if (n > remaining()) return fail("length exceeds the remaining data");
    ByteView v = in_.subspan(pos_, n);
    pos_ += n;
    return v;
  }
  zarn::Result<std::string> str() {
    auto n = uleb();
    if (!n) return std::move(n).take_error();
    auto v = take(*n);
    if (!v) return std::move(v).take_error();
    return std::string(reinterpret_cast<const char*>(v->data()), v->size());
  }
  zarn::Result<double> f64() {
    auto v = take(8);
    if (!v) return std::move(v).take_error();
    std::uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= std::uint64_t((*v)[i]) << (8 * i);
    double d;
    std::memcpy(&d, &bits, 8);
    return d;
  }

 private:
  static zarn::Error fail(const char* what) { return zarn::make_error(what); }
  ByteView in_;
  std::size_t pos_ = 0;
};

// Unwraps a Result into `var` or returns its error from the enclosing function.
#define CRDT_READ(var, expr)                                          \
  auto var##_r_ = (expr);                                             \
  if (!var##_r_.has_value()) return std::move(var##_r_).take_error(); \
  auto var = std::move(var##_r_.value())

// Value tags shared by both formats.
enum class Tag : std::uint8_t {
  Null = 0,
  Str,
  Int,
  Uint,
  F64,
  False,
  True,
  Counter,
  Timestamp,
  MakeMap,
  MakeList,
  MakeText,
};

// zlib deflate/inflate. Inflate refuses output beyond `expected` bytes.
Bytes deflate_bytes(ByteView in);
zarn::Result<Bytes> inflate_bytes(ByteView in, std::size_t expected);

// UTF-8 <-> Unicode scalar values. Decoding rejects overlongs, surrogates and values past
// U+10FFFF.
zarn::Result<std::u32string> utf8_decode(std::string_view s);
void utf8_append(std::string& out, char32_t c);
// Decodes exactly `n` scalar values from the front of `in`, advancing it.
zarn::Result<void> utf8_take(ByteView& in, std::size_t n, std::u32string& out);

}  // namespace crdt::detail
