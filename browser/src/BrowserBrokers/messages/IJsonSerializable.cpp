#include "messages/IJsonSerializable.h"

#include <exception>
#include <utility>

#include "json/Reader.h"
#include "json/Tree.h"
#include "json/Writer.h"
#include "platform/DebugOutput.h"

namespace browser_extensions {

std::wstring IJsonSerializable::ToJsonString() const {
    json::Object object;
    Serialize(object);
    return json::Write(json::Value(std::move(object)));
}

void IJsonSerializable::FromJsonString(std::wstring_view text, CWipingArena* arena) {
    try {
        json::Tree tree(arena);
        // The verdict does not matter: whatever was read before an error is used.
        json::Read(text, tree.Root(), tree.Memory());
        Deserialize(std::move(tree.Root().AsObject()));
    } catch (const std::exception& error) {
        platform::DebugOutputA(error.what());
    } catch (...) {
        // Nothing but the message's own fields tells the caller what arrived.
    }
}

}  // namespace browser_extensions
