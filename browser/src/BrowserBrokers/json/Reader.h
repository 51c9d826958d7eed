#pragma once

#include <memory_resource>
#include <string_view>

#include "json/Value.h"

namespace browser_extensions::json {

// Reads the first JSON value of `text` (UTF-16 code units) into `value`. Text after that value is
// ignored. On a syntax error (or nesting deeper than 512) reading stops, the result is false and
// `value` keeps what was built so far: containers are attached to their parent as soon as they
// begin, scalars and members once complete. A text that does not begin with a value leaves
// `value` untouched. Of several equal keys in one object, the last wins. A \uXXXX escape gives
// exactly that code unit, a lone surrogate included (see Parser.h). The whole tree, containers,
// keys and strings, is made in `memory`.
bool Read(std::wstring_view text, Value& value,
          std::pmr::memory_resource* memory = std::pmr::get_default_resource());

}  // namespace browser_extensions::json
