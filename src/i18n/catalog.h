// The application's user-facing strings that can be translated, and the one lookup every view
// goes through. The en-US Fluent source is compiled in; the catalogue descriptor is constant.
// Any thread.
#pragma once

#include <string>
#include <string_view>

#include "platform/zarn_ui/embedded_catalog.h"

namespace chat::i18n {

// The en-US catalogue source, byte for byte as shipped.
std::string_view en_us_source();

const zarn_ui::EmbeddedCatalog& catalog();

// The text for a catalogue key in the active locale (the key itself when nothing defines it).
std::string t(std::string_view key);

}  // namespace chat::i18n
