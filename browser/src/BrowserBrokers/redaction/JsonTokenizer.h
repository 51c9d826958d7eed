#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

namespace browser_extensions {

// Reads JSON text one token at a time, without recursion and in linear time, and says where the
// text stops being JSON. Strings are not checked beyond their quotes and escapes; numbers and the
// literals true, false and null are checked whole.
class JsonTokenizer {
  public:
    enum class Kind { ObjectBegin, ObjectEnd, ArrayBegin, ArrayEnd, Key, Scalar, End, Broken };

    struct Token {
        Kind kind;
        size_t begin;  // a key's or a string's range includes its quotes
        size_t end;
    };

    explicit JsonTokenizer(std::wstring_view text);

    // The next token. End when the text is used up (complete or not), Broken at the first
    // character that cannot continue the text as JSON; after either, the same token again.
    Token Next();

  private:
    enum class Expect { Value, ValueOrArrayEnd, KeyOrObjectEnd, Key, Colon, CommaOrEnd, Nothing };

    Token Open(Kind kind, bool object);
    Token Close(Kind kind);
    Token String(Kind kind);
    Token Bare();
    Token Stop(size_t at);
    void AfterValue();

    std::wstring_view m_text;
    size_t m_pos = 0;
    Expect m_expect = Expect::Value;
    std::vector<bool> m_inObject;  // one entry per open container: object or array
    bool m_broken = false;
};

}  // namespace browser_extensions
