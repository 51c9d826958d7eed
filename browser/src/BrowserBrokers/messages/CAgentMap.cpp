#include "messages/CAgentMap.h"

#include <tuple>
#include <utility>

#include "protect/WipeText.h"

namespace browser_extensions {

CAgentMap::CAgentMap(const TextMap& values) {
    try {
        for (const auto& [name, text] : values) {
            // Made in place: a string moved in would leave a short one's characters behind.
            m_values.emplace_hint(m_values.end(), std::piecewise_construct,
                                  std::forward_as_tuple(name.data(), name.size()),
                                  std::forward_as_tuple(text.data(), text.size()));
        }
    } catch (...) {
        Wipe();
        throw;
    }
}

CAgentMap::~CAgentMap() {
    Wipe();
}

void CAgentMap::Wipe() noexcept {
    for (auto& [name, text] : m_values) {
        WipeText(const_cast<std::wstring&>(name));
        WipeText(text);
    }
}

}  // namespace browser_extensions
