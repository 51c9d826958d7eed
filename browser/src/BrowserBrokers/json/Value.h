#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory_resource>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "protect/SecretText.h"

namespace browser_extensions::json {

// The numbers are part of the error texts that reach the debugger output.
enum class Type { kObject = 0, kArray = 1, kString = 2, kBool = 3, kInt = 4, kReal = 5, kNull = 6 };

class Value;

// Orders keys by their UTF-16 code units taken as unsigned numbers. Transparent, so a member can
// be looked up by a view of its key (a literal) without making a string first.
struct KeyLess {
    using is_transparent = void;
    bool operator()(std::wstring_view left, std::wstring_view right) const noexcept {
        const std::size_t common = std::min(left.size(), right.size());
        for (std::size_t i = 0; i < common; ++i) {
            if (left[i] != right[i]) {
                return static_cast<std::uint32_t>(left[i]) < static_cast<std::uint32_t>(right[i]);
            }
        }
        return left.size() < right.size();
    }
};

// Strings, keys and containers take their memory from a memory resource: the reader builds a
// message's tree in an arena (protect/CWipingArena.h); otherwise containers are on the heap and
// strings in the wiping heap. A copy is made there; a move keeps the memory it came with. Strings
// and keys wipe their characters when they end or are moved from.
using String = SecretWString;
using Object = std::pmr::map<String, Value, KeyLess>;
using Array = std::pmr::vector<Value>;

// One JSON value. Copying, assigning and destroying walk the tree with an explicit stack, so a
// tree of any depth can be handled without exhausting the call stack.
class Value {
  public:
    Value() = default;
    Value(const Object& object) : m_data(object) {}
    Value(Object&& object) : m_data(std::move(object)) {}
    Value(const Array& array) : m_data(array) {}
    Value(Array&& array) : m_data(std::move(array)) {}
    Value(const String& text) : m_data(text) {}
    Value(String&& text) : m_data(std::move(text)) {}
    // Out of line: inlined with a literal, GCC 12 at -O3 warns falsely of a copy past the short
    // string's buffer.
    Value(std::wstring_view text);
    // An empty object or array made in `memory`.
    Value(std::in_place_type_t<Object>, std::pmr::memory_resource* memory)
        : m_data(std::in_place_type<Object>, memory) {}
    Value(std::in_place_type_t<Array>, std::pmr::memory_resource* memory)
        : m_data(std::in_place_type<Array>, memory) {}
    // A string made in `memory`.
    Value(std::wstring_view text, std::pmr::memory_resource* memory)
        : m_data(std::in_place_type<String>, text, String::allocator_type(memory)) {}
    Value(const std::wstring& text) : Value(std::wstring_view(text)) {}
    Value(const wchar_t* text) : Value(std::wstring_view(text)) {}
    Value(const char*) = delete;  // would silently become a bool
    Value(bool flag) : m_data(flag) {}
    Value(double real) : m_data(real) {}
    Value(std::nullptr_t) {}
    // Every integer type: signed ones are held as int64, unsigned ones as uint64.
    template <typename T,
              std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>, int> = 0>
    Value(T integer) {
        if constexpr (std::is_signed_v<T>) {
            m_data = static_cast<std::int64_t>(integer);
        } else {
            m_data = static_cast<std::uint64_t>(integer);
        }
    }

    Value(const Value& other);
    Value(Value&& other) noexcept;
    Value& operator=(const Value& other);
    Value& operator=(Value&& other) noexcept;
    ~Value() {
        if (m_data.index() <= 1) {
            ReleaseContainer(0);
        }
    }

    Type type() const {
        // Alternatives in the order of the variant below; both integer kinds are kInt.
        constexpr Type kTypes[] = {Type::kObject, Type::kArray, Type::kString, Type::kBool,
                                   Type::kInt,    Type::kInt,   Type::kReal,   Type::kNull};
        const std::size_t index = m_data.index();
        return index < sizeof(kTypes) / sizeof(kTypes[0]) ? kTypes[index] : Type::kNull;
    }
    bool IsUnsigned() const { return std::holds_alternative<std::uint64_t>(m_data); }
    bool IsNull() const { return std::holds_alternative<Null>(m_data); }

    // Typed getters: throw std::runtime_error("value type is A not B") on another type.
    const Object& AsObject() const { return Get<Object>(Type::kObject); }
    Object& AsObject() { return Get<Object>(Type::kObject); }
    const Array& AsArray() const { return Get<Array>(Type::kArray); }
    Array& AsArray() { return Get<Array>(Type::kArray); }
    const String& AsString() const { return Get<String>(Type::kString); }
    String& AsString() { return Get<String>(Type::kString); }
    bool AsBool() const { return Get<bool>(Type::kBool); }
    std::int64_t AsInt64() const;    // an unsigned value converts
    std::uint64_t AsUInt64() const;  // a signed value converts
    double AsReal() const;           // an integer converts

    friend bool operator==(const Value& left, const Value& right);
    friend bool operator!=(const Value& left, const Value& right) { return !(left == right); }

  private:
    struct Null {
        friend bool operator==(Null, Null) { return true; }
    };
    using Data =
        std::variant<Object, Array, String, bool, std::int64_t, std::uint64_t, double, Null>;

    // Releases the children of a tree of any depth with neither recursion nor memory of its own
    // (see Value.cpp); leaves this value null.
    void ReleaseChildren() noexcept;
    // Leaves this value null or a container without grandchildren; `depth` is its own below the
    // first container released.
    void ReleaseContainer(int depth) noexcept;
    void CopyTreeFrom(const Value& other);
    [[noreturn]] void ThrowTypeMismatch(Type requested) const;

    template <typename Content>
    const Content& Get(Type requested) const {
        if (const Content* content = std::get_if<Content>(&m_data)) {
            return *content;
        }
        ThrowTypeMismatch(requested);
    }
    template <typename Content>
    Content& Get(Type requested) {
        if (Content* content = std::get_if<Content>(&m_data)) {
            return *content;
        }
        ThrowTypeMismatch(requested);
    }

    Data m_data{Null{}};
};

}  // namespace browser_extensions::json
