// A generic JSON picture of a whole document, for tests and diagnostics: maps as objects in
// key order, lists as arrays, texts as strings, scalars as themselves (counters and timestamps
// as their integer values). Reads only; UI thread (the document's owner).
#pragma once

#include "document/strict_json.h"
#include "platform/crdt/document.h"

namespace chat::document {

Json dump_document(const crdt::Document& doc);
Json dump_object(const crdt::Document& doc, const crdt::ObjId& obj);

}  // namespace chat::document
