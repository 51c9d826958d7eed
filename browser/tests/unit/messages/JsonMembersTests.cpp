#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "MessageTestSupport.h"
#include "json/Writer.h"
#include "messages/JsonMembers.h"

namespace browser_extensions {
namespace {

using message_test::ObjectFrom;

// Each key holds one JSON type; every reader is asked for every key.
json::Object Sample() {
    return ObjectFrom(
        LR"({"s":"text","i":-7,"u":18446744073709551615,"r":2.0,"b":true,"n":null,)"
        LR"("o":{"k":"v"},"a":[1,"x"]})");
}

struct ReaderCase {
    std::wstring key;
    std::wstring string;
    int integer;
    std::wstring object;
    std::wstring array;
};

TEST(JsonMembers, ReadersGiveTheMemberOrTheirDefault) {
    const std::vector<ReaderCase> cases = {
        {L"s", L"text", 0, L"{}", L"[]"},
        {L"i", L"", -7, L"{}", L"[]"},
        {L"u", L"", -1, L"{}", L"[]"},
        {L"r", L"", 0, L"{}", L"[]"},
        {L"b", L"", 0, L"{}", L"[]"},
        {L"n", L"", 0, L"{}", L"[]"},
        {L"o", L"", 0, LR"({"k":"v"})", L"[]"},
        {L"a", L"", 0, L"{}", LR"([1,"x"])"},
        {L"missing", L"", 0, L"{}", L"[]"},
        {L"S", L"", 0, L"{}", L"[]"},  // keys match case-sensitively
    };
    for (const ReaderCase& c : cases) {
        const std::string key = testing::PrintToString(c.key);
        // Views first: the other readers may take the member out.
        json::Object sample = Sample();
        EXPECT_EQ(JsonFindObject(sample, c.key) != nullptr, c.object != L"{}") << key;
        EXPECT_EQ(JsonFindString(sample, c.key) != nullptr, !c.string.empty()) << key;
        EXPECT_EQ(JsonGetInt(sample, c.key), c.integer) << key;
        EXPECT_EQ(std::wstring_view(JsonGetString(sample, c.key)), c.string) << key;
        EXPECT_EQ(json::Write(JsonGetObject(sample, c.key)), c.object) << key;
        EXPECT_EQ(json::Write(JsonGetArray(sample, c.key)), c.array) << key;
    }
}

}  // namespace
}  // namespace browser_extensions
