#pragma once

#include <string>
#include <string_view>

#include "json/Value.h"

namespace browser_extensions {

// Member readers used by every Deserialize, which owns the object it reads: strings, objects and
// arrays are moved out of it rather than copied (an inbound text may be megabytes long), keeping
// the memory they are in, so each member is read once. A missing key or a member of another JSON
// type gives the default (empty, or 0).
json::String JsonGetString(json::Object& object, std::wstring_view key);
// A copy of a string member on the heap, for the envelope's own short fields; the object keeps
// (and wipes) its string.
std::wstring JsonCopyString(const json::Object& object, std::wstring_view key);
// The integer's low 32 bits; a real number gives 0.
int JsonGetInt(const json::Object& object, std::wstring_view key);
json::Object JsonGetObject(json::Object& object, std::wstring_view key);
json::Array JsonGetArray(json::Object& object, std::wstring_view key);

// Views where nothing needs taking: the member named `key` when it has the type, else null.
json::Object* JsonFindObject(json::Object& object, std::wstring_view key);
const json::String* JsonFindString(const json::Object& object, std::wstring_view key);

}  // namespace browser_extensions
