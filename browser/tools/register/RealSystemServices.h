#pragma once

#include "SystemServices.h"

namespace browser_extensions::registration {

// The machine's own services. The portable file part is in RealSystemServices.cpp; the rest in
// the platform's files: SystemServices_* (the platform's facts, and its registry on Windows),
// SafeFile_* (writes and removals no one else's link can redirect) and TrustCheck_* (who else
// could change a path).
class RealSystemServices final : public SystemServices {
  public:
    bool UsesRegistry() const override;
    std::string HomeFolder() const override;
    std::string ConfigFolder() const override;
    std::string ToolFolder() const override;
    std::string SystemDescription() const override;
    ProgramRun Run(const std::string& program,
                   const std::vector<std::string>& arguments) const override;

    bool IsFolder(const std::string& path) const override;
    bool IsRegularFile(const std::string& path) const override;
    bool Exists(const std::string& path) const override;
    bool ReadText(const std::string& path, std::string& text) const override;
    std::vector<std::string> NamesIn(const std::string& folder) const override;
    bool IsExecutable(const std::string& path, std::string& why) const override;
    bool WriteFile(const std::string& path, const std::string& text, std::string& error) override;
    bool Remove(const std::string& path, std::string& error) override;
    std::string WhoElseCanWrite(const std::string& path) const override;

    bool SetKeyDefault(const std::string& key, const std::string& value,
                       std::string& error) override;
    bool DeleteKey(const std::string& key, std::string& error) override;
    RegistryEntry ReadKey(const std::string& key) const override;
    std::vector<std::string> SubkeysOf(const std::string& key) const override;
    std::vector<RegistryValue> ValuesOf(const std::string& key) const override;

    // A name for the temporary beside `fileName` that no one can guess in advance, and that
    // browsers reading *.json files pass over.
    static std::string TemporaryName(const std::string& fileName);
};

}  // namespace browser_extensions::registration
