// The redaction of diagnostics on arbitrary text:
// - its shape is what the json module's grammar reads of the input, as the redaction follows it
//   (no depth limit, raw control characters in strings): the same containers, keys and values in
//   the same order; the redacted line may stop one number or literal earlier, where the text
//   breaks off inside the run of characters that follows it;
// - a secret placed at any member that the allow-list does not name never shows. The secret is
//   put into the tree the reader made of the input, at a place the input chooses, and the tree
//   written out again.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "json/Parser.h"
#include "json/Reader.h"
#include "json/Value.h"
#include "json/Writer.h"
#include "platform/TextEncoding.h"
#include "redaction/Redaction.h"
#include "support/FuzzData.h"

namespace json = browser_extensions::json;
using fuzz_support::Require;

namespace {

constexpr std::size_t kNoDepthLimit = std::numeric_limits<std::size_t>::max();

// The events of the json module's grammar, scalars without their values.
class ShapeRecorder {
  public:
    void Open(bool object) { m_shape.push_back(object ? L"{" : L"["); }
    void Close() { m_shape.push_back(L"}"); }
    void Key(std::wstring_view /*raw*/, std::wstring_view key) {
        m_shape.push_back(L"key " + std::wstring(key));
    }
    template <typename Value>
    void Scalar(std::wstring_view /*raw*/, const Value& /*value*/) {
        m_shape.push_back(L"scalar");
    }

    std::vector<std::wstring> m_shape;
};

std::vector<std::wstring> ShapeOf(const std::wstring& text) {
    ShapeRecorder recorder;
    json::Parser<ShapeRecorder, true>(text, recorder, kNoDepthLimit).Run();
    return std::move(recorder.m_shape);
}

void CheckShape(const std::wstring& text) {
    std::vector<std::wstring> original = ShapeOf(text);
    const std::vector<std::wstring> redacted = ShapeOf(browser_extensions::RedactSecrets(text));
    if (original != redacted && !original.empty() && original.back() == L"scalar") {
        original.pop_back();
    }
    Require(original == redacted, "the redacted line has the shape the reader read");
}

// Where a value may show, written apart from the redaction: the envelope's "tabID", "type" and
// "requestID"; its "payload" object's members the host reads ("url" and "message" show in part
// or only sometimes, so they count as shown here); "signature" in objects of the payload's
// "values" array. `path` holds the keys from the root, with "" for an array's element.
bool AllowListNames(const std::vector<std::wstring>& path) {
    if (path.size() == 1) {
        return path[0] == L"tabID" || path[0] == L"type" || path[0] == L"requestID";
    }
    if (path.size() == 2 && path[0] == L"payload") {
        for (const wchar_t* name :
             {L"url", L"bTopLvlDoc", L"host", L"username", L"triggerId", L"level", L"message"}) {
            if (path[1] == name) {
                return true;
            }
        }
        return false;
    }
    return path.size() == 4 && path[0] == L"payload" && path[1] == L"values" && path[2].empty() &&
           path[3] == L"signature";
}

struct ObjectAt {
    json::Object* object;
    std::vector<std::wstring> path;
};

void CollectObjects(json::Value& value, std::vector<std::wstring>& path,
                    std::vector<ObjectAt>& objects) {
    if (path.size() > 8) {
        return;  // deep enough to choose from
    }
    if (value.type() == json::Type::kObject) {
        objects.push_back({&value.AsObject(), path});
        for (auto& [key, member] : value.AsObject()) {
            path.emplace_back(key);
            CollectObjects(member, path, objects);
            path.pop_back();
        }
    } else if (value.type() == json::Type::kArray) {
        for (json::Value& element : value.AsArray()) {
            path.emplace_back();
            CollectObjects(element, path, objects);
            path.pop_back();
        }
    }
}

void CheckSecret(const std::wstring& text, std::uint8_t place, std::uint8_t kind) {
    static constexpr std::wstring_view kSecretText = L"Zq7SecretQz";
    static constexpr std::wstring_view kSecretNumber = L"804177230911";
    const std::wstring_view secret = (kind & 1) != 0 ? kSecretNumber : kSecretText;
    if (text.find(secret) != std::wstring::npos) {
        return;  // the input holds it already, perhaps where it may show
    }
    json::Value root;
    json::Read(text, root);
    if (root.type() != json::Type::kObject) {
        root = json::Object();  // a secret on its own, in the envelope
    }
    std::vector<std::wstring> path;
    std::vector<ObjectAt> objects;
    CollectObjects(root, path, objects);
    ObjectAt& at = objects[place % objects.size()];
    // A member the object has, or one of a few names the host knows or not.
    static const wchar_t* const kNames[] = {L"password", L"tabID",     L"payload", L"host",
                                            L"values",   L"signature", L"value"};
    std::wstring key = kNames[(kind >> 1) % 7];
    if ((kind & 0x10) != 0 && !at.object->empty()) {
        key = at.object->rbegin()->first;
    }
    at.path.push_back(key);
    if (AllowListNames(at.path)) {
        return;
    }
    json::Value secretValue = (kind & 1) != 0 ? json::Value(std::uint64_t{804177230911})
                                              : json::Value(std::wstring(kSecretText));
    (*at.object)[json::String(key)] = std::move(secretValue);
    const std::wstring redacted = browser_extensions::RedactSecrets(json::Write(root));
    Require(redacted.find(secret) == std::wstring::npos, "a secret off the allow-list never shows");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::wstring text =
        browser_extensions::Utf8ToWide(fuzz_support::BytesOf(data + 2, size - 2));
    CheckShape(text);
    CheckShape(fuzz_support::CodeUnitsOf(data + 2, size - 2));
    CheckSecret(text, data[0], data[1]);
    return 0;
}
