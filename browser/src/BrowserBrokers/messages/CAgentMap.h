#pragma once

#include <map>
#include <memory_resource>

#include "agent/Varnhold64.h"
#include "json/Value.h"

namespace browser_extensions {

// Texts of a message by name (a trigger's captured values, a response's members), in the
// message's memory.
using TextMap = std::pmr::map<json::String, json::String>;

// The agent library's own copy of a TextMap, as its functions take it, made for one call and
// wiped, names and texts, when it returns. Meant as a temporary argument, like CAgentText.
class CAgentMap {
  public:
    explicit CAgentMap(const TextMap& values);
    ~CAgentMap();

    CAgentMap(const CAgentMap&) = delete;
    CAgentMap& operator=(const CAgentMap&) = delete;

    operator const kaprix_core::StringMap&() const { return m_values; }

  private:
    void Wipe() noexcept;

    kaprix_core::StringMap m_values;
};

}  // namespace browser_extensions
