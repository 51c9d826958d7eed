#include "json/Value.h"

#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>

namespace browser_extensions::json {
namespace {

// Whether `test` holds for any child of a container; false for a scalar.
template <typename V, typename Test>
bool AnyChild(V& value, Test test) {
    if (value.type() == Type::kObject) {
        for (auto& member : value.AsObject()) {
            if (test(member.second)) {
                return true;
            }
        }
    } else if (value.type() == Type::kArray) {
        for (auto& element : value.AsArray()) {
            if (test(element)) {
                return true;
            }
        }
    }
    return false;
}

bool IsNonEmptyContainer(const Value& value) {
    return AnyChild(value, [](const Value&) { return true; });
}

// An empty container of the same kind, or a copy of a scalar.
Value ShallowCopy(const Value& value) {
    switch (value.type()) {
        case Type::kObject:
            return Value(Object());
        case Type::kArray:
            return Value(Array());
        default:
            return value;  // a scalar copies without recursion
    }
}

// Whether the value is deeper than one level, so copying or destroying it member-wise would
// recurse.
bool HasGrandchildren(const Value& value) {
    return AnyChild(value, IsNonEmptyContainer);
}

}  // namespace

Value::Value(std::wstring_view text) : m_data(String(text)) {}

Value::Value(const Value& other) {
    CopyTreeFrom(other);
}

Value::Value(Value&& other) noexcept : m_data(std::move(other.m_data)) {
    other.m_data.emplace<Null>();
}

Value& Value::operator=(const Value& other) {
    if (this != &other) {
        Value copy(other);
        *this = std::move(copy);
    }
    return *this;
}

Value& Value::operator=(Value&& other) noexcept {
    if (this != &other) {
        // `other` may live inside this tree: take it out before the old tree is released.
        Value old(std::move(*this));
        m_data = std::move(other.m_data);
        other.m_data.emplace<Null>();
    }
    return *this;
}

// A tree whose children are all leaves is destroyed member-wise, which recurses one level only.
// Deeper ones, when shallow (the usual case), are emptied by plain recursion, quicker than the
// walk of ReleaseChildren, which takes over below a fixed depth.
void Value::ReleaseContainer(int depth) noexcept {
    constexpr int kRecursionLimit = 32;
    if (!HasGrandchildren(*this)) {
        return;
    }
    if (depth >= kRecursionLimit) {
        ReleaseChildren();
        return;
    }
    AnyChild(*this, [depth](Value& child) {
        child.ReleaseContainer(depth + 1);
        return false;
    });
    m_data.emplace<Null>();  // its children are now leaves or have only leaves
}

void Value::ThrowTypeMismatch(Type requested) const {
    throw std::runtime_error("value type is " + std::to_string(static_cast<int>(type())) + " not " +
                             std::to_string(static_cast<int>(requested)));
}

std::int64_t Value::AsInt64() const {
    if (const std::int64_t* integer = std::get_if<std::int64_t>(&m_data)) {
        return *integer;
    }
    if (const std::uint64_t* integer = std::get_if<std::uint64_t>(&m_data)) {
        return static_cast<std::int64_t>(*integer);
    }
    ThrowTypeMismatch(Type::kInt);
}

std::uint64_t Value::AsUInt64() const {
    if (const std::uint64_t* integer = std::get_if<std::uint64_t>(&m_data)) {
        return *integer;
    }
    if (const std::int64_t* integer = std::get_if<std::int64_t>(&m_data)) {
        return static_cast<std::uint64_t>(*integer);
    }
    ThrowTypeMismatch(Type::kInt);
}

double Value::AsReal() const {
    if (const double* real = std::get_if<double>(&m_data)) {
        return *real;
    }
    if (const std::int64_t* integer = std::get_if<std::int64_t>(&m_data)) {
        return static_cast<double>(*integer);
    }
    if (const std::uint64_t* integer = std::get_if<std::uint64_t>(&m_data)) {
        return static_cast<double>(*integer);
    }
    ThrowTypeMismatch(Type::kReal);
}

namespace {

// A child taken out of a container, and the room it leaves there: the first element's place, or
// the last one's at the end of an array (its capacity stays), or an object's member node, whose
// key is then free in the object.
struct Room {
    Value* container;
    bool first;
    Object::node_type node;
};

// Takes the first or the last child out of a non-empty container into `child`.
Room TakeChild(Value& container, bool first, Value& child) noexcept {
    if (container.type() == Type::kArray) {
        Array& array = container.AsArray();
        child = std::move(first ? array.front() : array.back());
        if (!first) {
            array.pop_back();
        }
        return {&container, first, {}};
    }
    Object& object = container.AsObject();
    Object::node_type node = object.extract(first ? object.begin() : std::prev(object.end()));
    child = std::move(node.mapped());
    return {&container, first, std::move(node)};
}

// Puts `child` into the room TakeChild left; returns where it is now.
Value& PutChild(Room& room, Value&& child) noexcept {
    if (room.node) {
        room.node.mapped() = std::move(child);
        return room.container->AsObject().insert(std::move(room.node)).position->second;
    }
    Array& array = room.container->AsArray();
    if (room.first) {
        return array.front() = std::move(child);
    }
    array.push_back(std::move(child));  // within the capacity it had: nothing is allocated
    return array.back();
}

}  // namespace

// Depth first, with the way back kept in the tree itself: when the current container's last child
// is a container with children, that child becomes the current one; the container it came from
// takes the place of the child's first child (so it is taken up again last), which moves into
// the room the child left. Only moves and node handles: nothing is allocated.
void Value::ReleaseChildren() noexcept {
    Value current(std::move(*this));
    while (IsNonEmptyContainer(current)) {
        Value child;
        Room room = TakeChild(current, false, child);
        if (!IsNonEmptyContainer(child) || !IsNonEmptyContainer(current)) {
            if (IsNonEmptyContainer(child)) {
                current = std::move(child);
            }
            continue;  // a leaf or an empty container is destroyed without recursion
        }
        Value grandchild;
        Room childRoom = TakeChild(child, true, grandchild);
        room.container = &PutChild(childRoom, std::move(current));
        PutChild(room, std::move(grandchild));
        current = std::move(child);
    }
}

void Value::CopyTreeFrom(const Value& other) {
    if (!HasGrandchildren(other)) {
        m_data = other.m_data;  // children are leaves: member-wise copy recurses one level only
        return;
    }
    // Each entry is a container already made in the copy whose children still have to be made.
    std::vector<std::pair<const Value*, Value*>> pending;
    m_data = std::move(ShallowCopy(other).m_data);
    pending.emplace_back(&other, this);
    while (!pending.empty()) {
        const auto [source, target] = pending.back();
        pending.pop_back();
        if (source->type() == Type::kObject) {
            Object& targetObject = target->AsObject();
            for (const auto& member : source->AsObject()) {
                Value& child =
                    targetObject
                        .emplace_hint(targetObject.end(), member.first, ShallowCopy(member.second))
                        ->second;
                if (IsNonEmptyContainer(member.second)) {
                    pending.emplace_back(&member.second, &child);
                }
            }
        } else {
            const Array& sourceArray = source->AsArray();
            Array& targetArray = target->AsArray();
            targetArray.reserve(sourceArray.size());  // element addresses stay valid below
            for (const Value& element : sourceArray) {
                targetArray.push_back(ShallowCopy(element));
                if (IsNonEmptyContainer(element)) {
                    pending.emplace_back(&element, &targetArray.back());
                }
            }
        }
    }
}

bool operator==(const Value& left, const Value& right) {
    std::vector<std::pair<const Value*, const Value*>> pending{{&left, &right}};
    while (!pending.empty()) {
        const auto [a, b] = pending.back();
        pending.pop_back();
        if (a->m_data.index() != b->m_data.index()) {
            return false;
        }
        if (a->type() == Type::kObject) {
            const Object& objectA = a->AsObject();
            const Object& objectB = b->AsObject();
            if (objectA.size() != objectB.size()) {
                return false;
            }
            for (auto itA = objectA.begin(), itB = objectB.begin(); itA != objectA.end();
                 ++itA, ++itB) {
                if (itA->first != itB->first) {
                    return false;
                }
                pending.emplace_back(&itA->second, &itB->second);
            }
        } else if (a->type() == Type::kArray) {
            const Array& arrayA = a->AsArray();
            const Array& arrayB = b->AsArray();
            if (arrayA.size() != arrayB.size()) {
                return false;
            }
            for (std::size_t i = 0; i < arrayA.size(); ++i) {
                pending.emplace_back(&arrayA[i], &arrayB[i]);
            }
        } else if (!(a->m_data == b->m_data)) {
            return false;
        }
    }
    return true;
}

}  // namespace browser_extensions::json
