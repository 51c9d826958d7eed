#pragma once

namespace browser_extensions {

// Overwrites the stack just below the caller's frame, where the functions it called left their
// locals: cipher blocks and conversion scratch of text that must not outlive its message.
void WipeStackBelow();

}  // namespace browser_extensions
