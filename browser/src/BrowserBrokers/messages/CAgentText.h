#pragma once

#include <string>
#include <string_view>

namespace browser_extensions {

// The agent library's own copy of a message text, in the form its functions take
// (std::wstring), made for one call and wiped when it returns. Meant as a temporary argument:
//   kaprix_core::NotifyTriggerFailed(CAgentText(tabID), CAgentText(m_triggerId));
// The message keeps its text in its own memory until then, so that a long one is held once
// while it is read and once more only while the agent has it.
class CAgentText {
  public:
    explicit CAgentText(std::wstring_view text) : m_text(text) {}
    ~CAgentText();

    CAgentText(const CAgentText&) = delete;
    CAgentText& operator=(const CAgentText&) = delete;

    operator const std::wstring&() const { return m_text; }

  private:
    std::wstring m_text;
};

}  // namespace browser_extensions
