#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "json/Reader.h"
#include "json/Value.h"
#include "messages/CBasicAuthMessage.h"
#include "messages/CDocumentCompleteMessage.h"
#include "messages/CLogMessage.h"
#include "messages/CResponseMessage.h"
#include "messages/CSaveCredentialsMessage.h"
#include "messages/CTriggerFailedMessage.h"
#include "messages/CTriggerFiredMessage.h"
#include "support/DebugCapture.h"

namespace message_test {

using namespace browser_extensions;

using browser_extensions::testing_support::DebugCapture;

inline json::Object ObjectFrom(const std::wstring& text) {
    json::Value value;
    json::Read(text, value);
    return value.AsObject();
}

// A payload's texts by name, as plain strings to compare with.
inline std::map<std::wstring, std::wstring> AsStringMap(const TextMap& values) {
    std::map<std::wstring, std::wstring> plain;
    for (const auto& [name, text] : values) {
        plain.emplace(std::wstring(name), std::wstring(text));
    }
    return plain;
}

// Names the payload's class, so a table can say which one an envelope made.
inline std::string PayloadKind(const std::shared_ptr<IJsonSerializable>& payload) {
    if (!payload) {
        return "none";
    }
    IJsonSerializable* p = payload.get();
    if (dynamic_cast<CLogMessage*>(p))
        return "log";
    if (dynamic_cast<CTriggerFiredMessage*>(p))
        return "triggerFired";
    if (dynamic_cast<CTriggerFailedMessage*>(p))
        return "triggerFailed";
    if (dynamic_cast<CDocumentCompleteMessage*>(p))
        return "documentComplete";
    if (dynamic_cast<CBasicAuthMessage*>(p))
        return "basicAuthentication";
    if (dynamic_cast<CSaveCredentialsMessage*>(p))
        return "saveCredentials";
    if (dynamic_cast<CResponseMessage*>(p))
        return "response";
    return "unexpected class";
}

}  // namespace message_test
