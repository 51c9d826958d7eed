#include "messages/CDocumentCompleteMessage.h"

#include <string_view>
#include <utility>

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"
#include "messages/JsonMembers.h"
#include "platform/DebugOutput.h"

namespace browser_extensions {

using namespace std::string_view_literals;

CDocumentCompleteMessage::CDocumentCompleteMessage(std::pmr::memory_resource* memory)
    : m_url(memory) {}

namespace {

wchar_t AsciiLower(wchar_t unit) {
    return (unit >= L'A' && unit <= L'Z') ? static_cast<wchar_t>(unit - L'A' + L'a') : unit;
}

// As the C runtime compares wide strings in its default locale: as C strings (up to the first NUL),
// with only the ASCII letters folded.
bool EqualsIgnoringAsciiCase(const json::String& text, std::wstring_view lowerCaseWord) {
    const std::wstring_view cString(text.c_str());
    if (cString.size() != lowerCaseWord.size()) {
        return false;
    }
    for (std::size_t i = 0; i < cString.size(); ++i) {
        if (AsciiLower(cString[i]) != lowerCaseWord[i]) {
            return false;
        }
    }
    return true;
}

}  // namespace

void CDocumentCompleteMessage::Serialize(json::Object& object) const {
    object[L"url"] = m_url;
    // The flag travels as a string, never as a JSON boolean.
    object[L"bTopLvlDoc"] = m_bTopLvlDoc ? L"true" : L"false";
}

void CDocumentCompleteMessage::Deserialize(json::Object&& object) {
    m_url = JsonGetString(object, L"url"sv);
    // Anything but a string reads as "" and so as false.
    const json::String* topLevel = JsonFindString(object, L"bTopLvlDoc"sv);
    m_bTopLvlDoc = topLevel != nullptr && EqualsIgnoringAsciiCase(*topLevel, L"true"sv);
}

bool CDocumentCompleteMessage::Handle(Sender sender, std::wstring_view tabID) {
    platform::DebugOutputW(L"Calling OnDocumentComplete");
    // The agent keeps its own copy of the reply function and may call it at any later time.
    Sender reply = sender;
    kaprix_core::OnDocumentComplete(CAgentText(tabID), CAgentText(m_url), m_bTopLvlDoc,
                                    std::move(reply));
    return true;
}

}  // namespace browser_extensions
