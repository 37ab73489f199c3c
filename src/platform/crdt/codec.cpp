#include "platform/crdt/detail/codec.h"

#include <zlib.h>

namespace crdt::detail {

Bytes deflate_bytes(ByteView in) {
  uLongf cap = compressBound(static_cast<uLong>(in.size()));
  Bytes out(cap);
  if (compress2(out.data(), &cap, in.data(), static_cast<uLong>(in.size()), 6) != Z_OK) return {};
  out.resize(cap);
  return out;
}

zarn::Result<Bytes> inflate_bytes(ByteView in, std::size_t expected) {
  Bytes out(expected);
  uLongf len = static_cast<uLongf>(expected);
  uLong src_len = static_cast<uLong>(in.size());
  int rc = uncompress2(out.data(), &len, in.data(), &src_len);
  if (rc != Z_OK || len != expected || src_len != in.size())
    return zarn::make_error("compressed column is corrupt");
  return out;
}

zarn::Result<void> utf8_take(ByteView& in, std::size_t n, std::u32string& out) {
  out.reserve(out.size() + n);
  std::size_t i = 0;
  for (; n > 0; --n) {
    if (i < in.size() && in[i] < 0x80) {
      out.push_back(in[i++]);
      continue;
    }
    std::size_t len = i >= in.size()           ? 0
                      : (in[i] & 0xe0) == 0xc0 ? 2
                      : (in[i] & 0xf0) == 0xe0 ? 3
                      : (in[i] & 0xf8) == 0xf0 ? 4
                                               : 1;
    if (len > in.size() - i || i >= in.size())
      return zarn::make_error("text ends inside a character");
    auto one = utf8_decode(std::string_view(reinterpret_cast<const char*>(in.data() + i), len));
    if (!one) return std::move(one).take_error();
    out += *one;
    i += len;
  }
  in = in.subspan(i);
  return zarn::ok();
}

zarn::Result<std::u32string> utf8_decode(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  for (std::size_t i = 0; i < n;) {
    unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra;
    char32_t c;
    char32_t min;
    if ((b & 0xe0) == 0xc0) {
      extra = 1, c = b & 0x1f, min = 0x80;
    } else if ((b & 0xf0) == 0xe0) {
      extra = 2, c = b & 0x0f, min = 0x800;
    } else if ((b & 0xf8) == 0xf0) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      return zarn::make_error("invalid UTF-8 lead byte at offset " + std::to_string(i));
    }
    if (n - i <= static_cast<std::size_t>(extra))
      return zarn::make_error("truncated UTF-8 sequence at offset " + std::to_string(i));
    for (int k = 1; k <= extra; ++k) {
      if ((p[i + k] & 0xc0) != 0x80)
        return zarn::make_error("invalid UTF-8 continuation at offset " + std::to_string(i));
      c = (c << 6) | (p[i + k] & 0x3f);
    }
    if (c < min || c > 0x10ffff || (c >= 0xd800 && c <= 0xdfff))
      return zarn::make_error("invalid UTF-8 scalar at offset " + std::to_string(i));
    out.push_back(c);
    i += extra + 1;
  }
  return out;
}

void utf8_append(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xc0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xe0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
  } else {
    out.push_back(static_cast<char>(0xf0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3f)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3f)));
  }
}

}  // namespace crdt::detail
