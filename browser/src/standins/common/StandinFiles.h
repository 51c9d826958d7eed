#pragma once

#include <optional>
#include <string>

namespace standins {

// Environment and files of the stand-ins: they are configured and journal through files named by
// environment variables.

// The value of an environment variable in UTF-8, or nothing when it is unset or empty.
std::optional<std::string> EnvironmentText(const char* name);

// The content of the file named by the environment variable, or nothing when the variable is
// unset or the file cannot be read.
std::optional<std::string> ReadFileNamedBy(const char* name);

// Appends `line` and a line end, in one write, to the file named by the environment variable;
// nothing when it is unset or the file cannot be opened.
void AppendToFileNamedBy(const char* name, const std::string& line);

}  // namespace standins
