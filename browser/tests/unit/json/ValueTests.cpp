#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "json/Value.h"
#include "json/Writer.h"

namespace browser_extensions::json {
namespace {

struct MismatchCase {
    Value value;
    std::function<void(const Value&)> get;
    const char* expected;
};

TEST(JsonValue, TypedGetterNamesBothTypeCodesOnMismatch) {
    const auto asObject = [](const Value& v) { v.AsObject(); };
    const auto asArray = [](const Value& v) { v.AsArray(); };
    const auto asString = [](const Value& v) { v.AsString(); };
    const auto asBool = [](const Value& v) { v.AsBool(); };
    const auto asInt = [](const Value& v) { v.AsInt64(); };
    const auto asUInt = [](const Value& v) { v.AsUInt64(); };
    const auto asReal = [](const Value& v) { v.AsReal(); };
    const std::vector<MismatchCase> cases = {
        {Value(), asObject, "value type is 6 not 0"},
        {Array(), asObject, "value type is 1 not 0"},
        {Object(), asArray, "value type is 0 not 1"},
        {std::numeric_limits<std::uint64_t>::max(), asString, "value type is 4 not 2"},
        {std::wstring(L"x"), asBool, "value type is 2 not 3"},
        {2.0, asInt, "value type is 5 not 4"},
        {true, asUInt, "value type is 3 not 4"},
        {L"2", asReal, "value type is 2 not 5"},
        {Value(nullptr), asString, "value type is 6 not 2"},
    };
    for (const MismatchCase& c : cases) {
        try {
            c.get(c.value);
            ADD_FAILURE() << "no error for " << c.expected;
        } catch (const std::runtime_error& error) {
            EXPECT_STREQ(error.what(), c.expected);
        }
    }
}

TEST(JsonValue, IntegersConvertBetweenTheirKinds) {
    const Value unsignedMax(std::numeric_limits<std::uint64_t>::max());
    EXPECT_EQ(unsignedMax.type(), Type::kInt);
    EXPECT_TRUE(unsignedMax.IsUnsigned());
    EXPECT_EQ(unsignedMax.AsInt64(), -1);
    EXPECT_EQ(Value(-1).AsUInt64(), std::numeric_limits<std::uint64_t>::max());
    EXPECT_FALSE(Value(-1).IsUnsigned());
    EXPECT_EQ(Value(7u).AsReal(), 7.0);
    EXPECT_EQ(Value(static_cast<short>(-3)).AsInt64(), -3);
}

TEST(JsonValue, MutableGettersChangeTheValueInPlace) {
    Value value(Object{});
    value.AsObject()[L"list"] = Array{};
    value.AsObject()[L"list"].AsArray().push_back(L"a");
    value.AsObject()[L"list"].AsArray()[0].AsString() += L"b";
    EXPECT_EQ(Write(value), LR"({"list":["ab"]})");
}

// Trees this deep would overflow the call stack if any operation recursed per level.
constexpr std::size_t kDeep = 1000000;

Value DeepArray() {
    Value root(Array{});
    Value* innermost = &root;
    for (std::size_t i = 1; i < kDeep; ++i) {
        innermost->AsArray().emplace_back(Array{});
        innermost = &innermost->AsArray().back();
    }
    innermost->AsArray().emplace_back(1);
    return root;
}

Value DeepObject() {
    Value root(Object{});
    Value* innermost = &root;
    for (std::size_t i = 1; i < kDeep; ++i) {
        innermost = &(innermost->AsObject()[L"k"] = Object{});
    }
    return root;
}

TEST(JsonValue, DeepArrayIsCopiedWrittenComparedAndDestroyed) {
    const Value original = DeepArray();
    const Value copy(original);
    EXPECT_TRUE(copy == original);
    const std::wstring text = Write(copy);
    EXPECT_EQ(text.size(), 2 * kDeep + 1);
    EXPECT_EQ(text.substr(kDeep - 2, 5), L"[[1]]");
}

TEST(JsonValue, DeepObjectIsCopiedAssignedAndDestroyed) {
    Value original = DeepObject();
    Value assigned(L"before");
    assigned = original;
    EXPECT_TRUE(assigned == original);
    EXPECT_EQ(Write(assigned).size(), 6 * (kDeep - 1) + 2);
    original = Value(3);  // releases the old tree
    EXPECT_EQ(Write(original), L"3");
}

TEST(JsonValue, MovingASubtreeOverItsAncestorKeepsTheSubtree) {
    Value tree = DeepArray();
    Value& child = tree.AsArray().front();
    tree = std::move(child);
    EXPECT_EQ(Write(tree).size(), 2 * (kDeep - 1) + 1);
}

TEST(JsonValue, EqualityComparesWholeTrees) {
    EXPECT_TRUE(Value(Object{{L"a", Array{1, L"x"}}}) == Value(Object{{L"a", Array{1, L"x"}}}));
    EXPECT_FALSE(Value(Object{{L"a", Array{1}}}) == Value(Object{{L"a", Array{2}}}));
    EXPECT_FALSE(Value(Object{{L"a", 1}}) == Value(Object{{L"b", 1}}));
    EXPECT_FALSE(Value(1) == Value(1u));
    EXPECT_FALSE(Value(1) == Value(1.0));
}

}  // namespace
}  // namespace browser_extensions::json
