#include "messages/CTabMessage.h"

#include <string_view>
#include <utility>

#include "messages/CBasicAuthMessage.h"
#include "messages/CDocumentCompleteMessage.h"
#include "messages/CLogMessage.h"
#include "messages/CResponseMessage.h"
#include "messages/CSaveCredentialsMessage.h"
#include "messages/CTriggerFailedMessage.h"
#include "messages/CTriggerFiredMessage.h"
#include "messages/JsonMembers.h"

namespace browser_extensions {

CTabMessage::CTabMessage(std::pmr::memory_resource* memory)
    : m_tabID(memory), m_type(memory), m_requestID(memory) {}

using namespace std::string_view_literals;

namespace {

// A payload made in `memory`, its texts too.
template <typename Payload, typename... Arguments>
std::shared_ptr<IJsonSerializable> MakePayload(std::pmr::memory_resource* memory,
                                               Arguments&&... arguments) {
    return std::allocate_shared<Payload>(std::pmr::polymorphic_allocator<Payload>(memory),
                                         std::forward<Arguments>(arguments)..., memory);
}

}  // namespace

void CTabMessage::Serialize(json::Object& object) const {
    object[L"tabID"] = m_tabID;
    if (!m_requestID.empty()) {
        object[L"requestID"] = m_requestID;
    }
    object[L"type"] = m_type;
    if (m_payload) {
        json::Object payload;
        m_payload->Serialize(payload);
        object[L"payload"] = std::move(payload);
    }
}

void CTabMessage::Deserialize(json::Object&& object) {
    m_tabID = JsonGetString(object, L"tabID"sv);
    m_requestID = JsonGetString(object, L"requestID"sv);
    m_type = JsonGetString(object, L"type"sv);
    std::pmr::memory_resource* const memory = m_tabID.get_allocator().resource();
    if (!m_requestID.empty()) {
        m_payload = MakePayload<CResponseMessage>(memory, m_requestID);
    } else {
        m_payload = CreatePayload(m_type, memory);
    }
    if (!m_payload) {
        return;
    }
    // Handed over in place: a moved copy would be a second tree to destroy. A missing "payload",
    // or one that is not an object, reads as an empty object.
    if (json::Object* payload = JsonFindObject(object, L"payload"sv)) {
        m_payload->Deserialize(std::move(*payload));
    } else {
        m_payload->Deserialize(json::Object(memory));
    }
}

std::shared_ptr<IJsonSerializable> CreatePayload(std::wstring_view type,
                                                 std::pmr::memory_resource* memory) {
    if (type == L"log"sv) {
        return MakePayload<CLogMessage>(memory);
    }
    if (type == L"triggerFired"sv) {
        return MakePayload<CTriggerFiredMessage>(memory);
    }
    if (type == L"triggerFailed"sv) {
        return MakePayload<CTriggerFailedMessage>(memory);
    }
    if (type == L"documentComplete"sv) {
        return MakePayload<CDocumentCompleteMessage>(memory);
    }
    if (type == L"basicAuthentication"sv) {
        return MakePayload<CBasicAuthMessage>(memory);
    }
    if (type == L"saveCredentials"sv) {
        return MakePayload<CSaveCredentialsMessage>(memory);
    }
    return nullptr;
}

}  // namespace browser_extensions
