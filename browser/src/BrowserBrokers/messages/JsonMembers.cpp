#include "messages/JsonMembers.h"

#include <cstdint>
#include <stdexcept>
#include <utility>

namespace browser_extensions {
namespace {

// Whether two keys are the same, unit by unit: most keys are a few units long.
bool SameKey(std::wstring_view left, std::wstring_view right) {
    if (left.size() != right.size()) {
        return false;
    }
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i] != right[i]) {
            return false;
        }
    }
    return true;
}

// The member named `key`, or the end: one search of the object, and the key compared whole once.
template <typename Object>
auto FindMember(Object& object, std::wstring_view key) {
    const auto member = object.lower_bound(key);
    return member != object.end() && SameKey(member->first, key) ? member : object.end();
}

// Calls `get` on the member named `key`; a missing member or a type mismatch gives the default.
// Only the type mismatch is caught: anything else (such as running out of memory) passes.
template <typename Result, typename Object, typename Getter>
Result GetMember(Object& object, std::wstring_view key, Getter get) {
    const auto member = FindMember(object, key);
    if (member == object.end()) {
        return Result();
    }
    try {
        return get(member->second);
    } catch (const std::runtime_error&) {
        return Result();
    }
}

}  // namespace

json::String JsonGetString(json::Object& object, std::wstring_view key) {
    const auto member = FindMember(object, key);
    if (member == object.end() || member->second.type() != json::Type::kString) {
        return json::String(object.get_allocator().resource());
    }
    return std::move(member->second.AsString());
}

std::wstring JsonCopyString(const json::Object& object, std::wstring_view key) {
    const json::String* text = JsonFindString(object, key);
    return text != nullptr ? std::wstring(*text) : std::wstring();
}

int JsonGetInt(const json::Object& object, std::wstring_view key) {
    return GetMember<int>(object, key, [](const json::Value& v) {
        return static_cast<int>(static_cast<std::uint32_t>(v.AsInt64()));
    });
}

json::Object JsonGetObject(json::Object& object, std::wstring_view key) {
    return GetMember<json::Object>(object, key,
                                   [](json::Value& v) { return std::move(v.AsObject()); });
}

json::Array JsonGetArray(json::Object& object, std::wstring_view key) {
    return GetMember<json::Array>(object, key,
                                  [](json::Value& v) { return std::move(v.AsArray()); });
}

json::Object* JsonFindObject(json::Object& object, std::wstring_view key) {
    const auto member = FindMember(object, key);
    if (member == object.end() || member->second.type() != json::Type::kObject) {
        return nullptr;
    }
    return &member->second.AsObject();
}

const json::String* JsonFindString(const json::Object& object, std::wstring_view key) {
    const auto member = FindMember(object, key);
    if (member == object.end() || member->second.type() != json::Type::kString) {
        return nullptr;
    }
    return &member->second.AsString();
}

}  // namespace browser_extensions
