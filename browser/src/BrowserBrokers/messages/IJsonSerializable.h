#pragma once

#include <string>
#include <string_view>

#include "json/Value.h"
#include "protect/CWipingArena.h"

namespace browser_extensions {

// Turns a message object into JSON text and back. Objects are owned as their own class (through
// std::shared_ptr), never deleted through this interface, so the destructor is protected.
class IJsonSerializable {
  public:
    // Adds this object's members to `object`, replacing members of the same key.
    virtual void Serialize(json::Object& object) const = 0;
    // Reads this object's members out of `object`, which it owns: strings are moved rather than
    // copied, as an inbound text may be megabytes long.
    virtual void Deserialize(json::Object&& object) = 0;

    // Compact JSON text of the members that Serialize writes. Errors pass to the caller.
    std::wstring ToJsonString() const;
    // Reads `text` as far as it is readable and, when it is an object, deserializes from it.
    // Never throws: an error's text goes to the debugger output. The tree is made in `arena`
    // (without one, on the heap), and what this object takes out of it stays there: this object
    // must be gone before the arena is reset.
    void FromJsonString(std::wstring_view text, CWipingArena* arena = nullptr);

  protected:
    IJsonSerializable() = default;
    IJsonSerializable(const IJsonSerializable&) = default;
    IJsonSerializable& operator=(const IJsonSerializable&) = default;
    ~IJsonSerializable() = default;
};

}  // namespace browser_extensions
