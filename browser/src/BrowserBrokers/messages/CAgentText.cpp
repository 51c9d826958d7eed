#include "messages/CAgentText.h"

#include "protect/WipeText.h"

namespace browser_extensions {

CAgentText::~CAgentText() {
    WipeText(m_text);
}

}  // namespace browser_extensions
