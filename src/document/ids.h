// Minted ids: a fixed prefix ("m_", "c_", "cat_") and a fresh random version-4 UUID written as
// 32 lower-case hexadecimal digits without hyphens. Any thread.
#pragma once

#include <string>
#include <string_view>

namespace chat::document {

std::string mint_id(std::string_view prefix);

}  // namespace chat::document
