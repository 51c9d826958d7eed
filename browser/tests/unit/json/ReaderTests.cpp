#include <gtest/gtest.h>

#include <memory_resource>
#include <string>
#include <string_view>
#include <vector>

#include "JsonTestText.h"
#include "json/Reader.h"
#include "json/Value.h"
#include "json/Writer.h"

namespace browser_extensions::json {
namespace {

using json_test::Units;

// The written form stands for the tree: the writer is tested on its own.
struct ReadCase {
    const char* name;
    std::wstring text;
    bool succeeds;
    std::wstring tree;
};

std::vector<ReadCase> ReadCases() {
    return {
        // Complete values.
        {"object members in key order", LR"( { "b" : 1 , "a" : "x" } )", true,
         LR"({"a":"x","b":1})"},
        {"every scalar kind", LR"([true,false,null,"s",-2,0.5])", true,
         LR"([true,false,null,"s",-2,0.50000000000000000])"},
        {"integers by range", LR"([9223372036854775807,-9223372036854775808,18446744073709551615])",
         true, LR"([9223372036854775807,-9223372036854775808,18446744073709551615])"},
        {"integer beyond both ranges becomes real", L"[-9223372036854775809,18446744073709551616]",
         true, L"[-9.2233720368547758e+18,1.8446744073709552e+19]"},
        {"real from its text", L"[0.1,1e2,-2.5E-3]", true,
         L"[0.10000000000000001,100.00000000000000,-0.0025000000000000001]"},
        {"last of equal keys wins", LR"({"type":"a","x":1,"type":"b"})", true,
         LR"({"type":"b","x":1})"},
        {"equal keys replace a container", LR"({"a":{"b":{"c":1}},"a":[2]})", true,
         LR"({"a":[2]})"},
        {"text after the value is ignored", LR"({"a":1} trailing {"b")", true, LR"({"a":1})"},
        {"second value is ignored", LR"({"a":1}{"b":2})", true, LR"({"a":1})"},
        {"scalar root followed by text", LR"("s" x)", true, LR"("s")"},
        {"number ending the text", L"  -12", true, L"-12"},
        {"escapes", LR"("\u00e9\ud83d\ude00\/\"\\\b\f\n\r\t")", true,
         LR"("\u00E9\uD83D\uDE00/\"\\\b\f\n\r\t")"},
        {"non-ASCII text", Units({'"', 0xE9, 0x4E2D, 0xD83D, 0xDE00, '"'}), true,
         LR"("\u00E9\u4E2D\uD83D\uDE00")"},
        {"non-ASCII key", Units({'{', '"', 0xE9, '"', ':', '1', '}'}), true, LR"({"\u00E9":1})"},
        // Syntax errors keep what was built.
        {"top-level object breaks off", LR"({"tabID":"12","type":"log")", false,
         LR"({"tabID":"12","type":"log"})"},
        {"member without value is dropped", LR"({"a":"1","b":)", false, LR"({"a":"1"})"},
        {"unterminated string member is dropped", LR"({"a":"1","b":"xy)", false, LR"({"a":"1"})"},
        {"nested containers keep what was read", LR"({"a":{"x":1,"y":[1,2)", false,
         LR"({"a":{"x":1,"y":[1,2]}})"},
        {"bad token inside array", L"[1,2,}", false, L"[1,2]"},
        {"trailing comma is an error", LR"({"a":1,})", false, LR"({"a":1})"},
        {"comment is an error", LR"({"a":1 /* c */})", false, LR"({"a":1})"},
        {"raw control character in string", L"{\"a\":1,\"b\":\"x\ty\"}", false, LR"({"a":1})"},
        {"unknown escape is an error", LR"({"a":1,"b":"\x41"})", false, LR"({"a":1})"},
        {"short unicode escape is an error", LR"({"a":1,"b":"\u41"})", false, LR"({"a":1})"},
        {"leading zero ends the number", L"[01]", false, L"[0]"},
        // Each escape is exactly the code unit it names, lone surrogates included.
        {"lone surrogate escapes are kept",
         LR"({"a":"\ud800","b":"title \ud83d","c":"\udc00\ud800\u0041","d":1})", true,
         LR"({"a":"\uD800","b":"title \uD83D","c":"\uDC00\uD800A","d":1})"},
        {"numbers out of range", L"[-0,1e400,-1e400,1e-400,0e400]", true,
         L"[0,null,null,0.0000000000000000,0.0000000000000000]"},
    };
}

TEST(JsonReader, ReadsAsFarAsTheTextAllows) {
    for (const ReadCase& c : ReadCases()) {
        Value value;
        EXPECT_EQ(Read(c.text, value), c.succeeds) << c.name;
        EXPECT_EQ(Write(value), c.tree) << c.name;
    }
}

TEST(JsonReader, TextThatDoesNotBeginWithAValueLeavesTargetUntouched) {
    const std::vector<std::wstring> texts = {L"",    L"   ", L"x",     L"}",  L"]",
                                             L"tru", L"-",   L"\"abc", L",1", L"'a'"};
    for (const std::wstring& text : texts) {
        Value value(Object{{L"kept", 1}});
        EXPECT_FALSE(Read(text, value)) << "text: " << testing::PrintToString(text);
        EXPECT_EQ(Write(value), LR"({"kept":1})") << "text: " << testing::PrintToString(text);
    }
}

TEST(JsonReader, ReadingReplacesTheWholeTarget) {
    Value value(Object{{L"old", 1}});
    EXPECT_TRUE(Read(LR"({"new":2})", value));
    EXPECT_EQ(Write(value), LR"({"new":2})");
}

TEST(JsonReader, LongEscapedTextArrivingInPartsIsJoinedWhole) {
    // Long enough that the parser hands key and string over in several parts, with multi-byte
    // characters and surrogate pairs across the part boundaries.
    std::wstring escaped;
    std::wstring expected;
    for (int i = 0; i < 3000; ++i) {
        escaped += LR"(\u00e9\ud83d\ude00a\n)";
        escaped += Units({0x4E2D});
        expected += Units({0xE9, 0xD83D, 0xDE00, 'a', '\n', 0x4E2D});
    }
    Value value;
    EXPECT_TRUE(Read(L"{\"" + escaped + L"\":\"" + escaped + L"\"}", value));
    ASSERT_EQ(value.type(), Type::kObject);
    ASSERT_EQ(value.AsObject().size(), 1u);
    EXPECT_EQ(std::wstring_view(value.AsObject().begin()->first), expected);
    EXPECT_EQ(std::wstring_view(value.AsObject().begin()->second.AsString()), expected);
}

// Strings are looked through several units at a time: whatever ends the plain run (the closing
// quote, an escape, a raw control character) must count at every position, in a key or a value.
TEST(JsonReader, FindsWhereAPlainRunEndsAtEveryPosition) {
    struct RunEnd {
        const char* name;
        std::wstring text;  // follows the plain run
        bool succeeds;
        std::wstring decoded;
    };
    const std::vector<RunEnd> ends = {
        {"quote", LR"(")", true, L""},
        {"escapes", LR"(\"\n\u0041z")", true, L"\"\nAz"},
        {"raw control", L"\tz\"", false, L""},
    };
    for (std::size_t length = 0; length <= 20; ++length) {
        const std::wstring run(length, L'r');
        for (const RunEnd& end : ends) {
            const std::wstring text =
                LR"({"k":")" + run + end.text + LR"(,")" + run + end.text + L":1}";
            Value value;
            const bool read = Read(text, value);
            SCOPED_TRACE(::testing::Message() << end.name << " after " << length);
            EXPECT_EQ(read, end.succeeds);
            ASSERT_EQ(value.type(), Type::kObject);
            if (!end.succeeds) {
                EXPECT_TRUE(value.AsObject().empty());
                continue;
            }
            const std::wstring expected = run + end.decoded;
            ASSERT_EQ(value.AsObject().size(), 2u);
            EXPECT_EQ(std::wstring_view(value.AsObject().at(L"k").AsString()), expected);
            EXPECT_EQ(value.AsObject().count(expected), 1u);
        }
    }
}

std::size_t ArrayDepth(const Value& value) {
    std::size_t depth = 0;
    for (const Value* v = &value; v->type() == Type::kArray; ++depth) {
        if (v->AsArray().empty()) {
            return depth + 1;
        }
        v = &v->AsArray().front();
    }
    return depth;
}

TEST(JsonReader, NestingIsLimitedTo512) {
    struct DepthCase {
        std::size_t depth;
        bool succeeds;
        std::size_t builtDepth;
    };
    for (const DepthCase c :
         {DepthCase{512, true, 512}, DepthCase{513, false, 512}, DepthCase{1000000, false, 512}}) {
        const std::wstring text = std::wstring(c.depth, L'[') + std::wstring(c.depth, L']');
        Value value;
        EXPECT_EQ(Read(text, value), c.succeeds) << c.depth;
        EXPECT_EQ(ArrayDepth(value), c.builtDepth) << c.depth;
    }
}

TEST(JsonReader, ObjectNestingIsLimitedToo) {
    std::wstring text;
    for (int i = 0; i < 513; ++i) {
        text += LR"({"k":)";
    }
    Value value;
    EXPECT_FALSE(Read(text, value));
    EXPECT_EQ(value.type(), Type::kObject);
}

// Every container, key and string of `value` whose memory is not `memory`, by path.
void CollectForeignMemory(const Value& value, const std::pmr::memory_resource* memory,
                          const std::string& path, std::vector<std::string>& foreign) {
    switch (value.type()) {
        case Type::kObject:
            if (value.AsObject().get_allocator().resource() != memory) {
                foreign.push_back(path);
            }
            for (const auto& [key, member] : value.AsObject()) {
                const std::string memberPath = path + "/" + ::testing::PrintToString(key);
                if (key.get_allocator().resource() != memory) {
                    foreign.push_back(memberPath + " (key)");
                }
                CollectForeignMemory(member, memory, memberPath, foreign);
            }
            break;
        case Type::kArray:
            if (value.AsArray().get_allocator().resource() != memory) {
                foreign.push_back(path);
            }
            for (std::size_t i = 0; i < value.AsArray().size(); ++i) {
                CollectForeignMemory(value.AsArray()[i], memory, path + "/" + std::to_string(i),
                                     foreign);
            }
            break;
        case Type::kString:
            if (value.AsString().get_allocator().resource() != memory) {
                foreign.push_back(path);
            }
            break;
        default:
            break;
    }
}

// A message's tree is made in the memory it is read into, all of it: what an arena holds is
// wiped with it, and what it does not hold would be neither wiped nor given back.
TEST(JsonReader, MakesTheWholeTreeInTheMemoryGiven) {
    const std::vector<std::wstring> texts = {
        LR"({"tabID":"12","payload":{"url":"https://a.example/a-long-path","n":[1,{"k":"v"}]}})",
        LR"({"key \"quoted\" and long":"caf\u00e9 \ud83d\ude00 and more","e":"\n"})",
        LR"({"a":[1],"a":{"b":"replaced container"},"a":"last"})",
        LR"([[["deep"]],{"x":[]},"tail"])",
        LR"({"broken":{"kept":"value","cut":)",
        LR"("a root string longer than the block of eight")",
    };
    for (const std::wstring& text : texts) {
        std::pmr::monotonic_buffer_resource memory;
        Value value;
        Read(text, value, &memory);
        std::vector<std::string> foreign;
        CollectForeignMemory(value, &memory, "", foreign);
        EXPECT_EQ(foreign, std::vector<std::string>()) << ::testing::PrintToString(text);
    }
}

}  // namespace
}  // namespace browser_extensions::json
