#include "messages/JsonMembers.h"

#include <cstdint>
#include <utility>

namespace browser_extensions {
namespace {

// The member named `key` when it is of `type`, else null: one search of the object.
template <typename Object>
auto* FindTyped(Object& object, std::wstring_view key, json::Type type) {
    const auto member = object.lower_bound(key);
    const bool found = member != object.end() && std::wstring_view(member->first) == key &&
                       member->second.type() == type;
    return found ? &member->second : nullptr;
}

}  // namespace

json::String JsonGetString(json::Object& object, std::wstring_view key) {
    json::Value* value = FindTyped(object, key, json::Type::kString);
    return value != nullptr ? std::move(value->AsString())
                            : json::String(object.get_allocator().resource());
}

std::wstring JsonCopyString(const json::Object& object, std::wstring_view key) {
    const json::String* text = JsonFindString(object, key);
    return text != nullptr ? std::wstring(*text) : std::wstring();
}

int JsonGetInt(const json::Object& object, std::wstring_view key) {
    const json::Value* value = FindTyped(object, key, json::Type::kInt);
    return value != nullptr ? static_cast<int>(static_cast<std::uint32_t>(value->AsInt64())) : 0;
}

json::Object JsonGetObject(json::Object& object, std::wstring_view key) {
    json::Value* value = FindTyped(object, key, json::Type::kObject);
    return value != nullptr ? std::move(value->AsObject()) : json::Object();
}

json::Array JsonGetArray(json::Object& object, std::wstring_view key) {
    json::Value* value = FindTyped(object, key, json::Type::kArray);
    return value != nullptr ? std::move(value->AsArray()) : json::Array();
}

json::Object* JsonFindObject(json::Object& object, std::wstring_view key) {
    json::Value* value = FindTyped(object, key, json::Type::kObject);
    return value != nullptr ? &value->AsObject() : nullptr;
}

const json::String* JsonFindString(const json::Object& object, std::wstring_view key) {
    const json::Value* value = FindTyped(object, key, json::Type::kString);
    return value != nullptr ? &value->AsString() : nullptr;
}

}  // namespace browser_extensions
