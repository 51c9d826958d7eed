#pragma once

#include <string>

#include "json/Value.h"

namespace browser_extensions {

// Member readers used by every Deserialize: a missing key or a member of another JSON type gives
// the default (empty, or 0). They return copies, never references into the object.
std::wstring JsonGetString(const json::Object& object, const std::wstring& key);
// The integer's low 32 bits; a real number gives 0.
int JsonGetInt(const json::Object& object, const std::wstring& key);
json::Object JsonGetObject(const json::Object& object, const std::wstring& key);
json::Array JsonGetArray(const json::Object& object, const std::wstring& key);

// Views where a copy is not needed: the member named `key` when it has the type, else null.
const json::Object* JsonFindObject(const json::Object& object, const std::wstring& key);
const std::wstring* JsonFindString(const json::Object& object, const std::wstring& key);

}  // namespace browser_extensions
