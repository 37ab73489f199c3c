// Text updates that keep concurrent edits: only the stretch between the common prefix and the
// common suffix of the old and new content is spliced, so a peer's edit elsewhere in the same
// text survives a merge. UI thread (whoever owns the document).
#pragma once

#include <string_view>

#include "platform/base/result.h"
#include "platform/crdt/document.h"

namespace zarn_ui::doc {

// Makes `text` read `new_content`. Positions are compared by Unicode scalar value, never
// splitting a code point. Writes nothing when the content is already equal.
zarn::Result<void> splice_text_diffed(crdt::Document& doc, const crdt::ObjId& text,
                                      std::string_view new_content);

}  // namespace zarn_ui::doc
