#pragma once

#include "SystemServices.h"

namespace browser_extensions::registration {

// The machine's own services: the file system, and the registry on Windows. The portable part is
// in RealSystemServices.cpp, the rest in SystemServices_posix.cpp or SystemServices_win.cpp.
class RealSystemServices final : public SystemServices {
  public:
    bool UsesRegistry() const override;
    std::vector<Location> BrowserLocations(Browser browser, Scope scope,
                                           const PathSettings& settings,
                                           std::string& error) const override;
    std::vector<PolicyLocation> PolicyLocations(Browser browser,
                                                const PathSettings& settings) const override;
    std::string HostFileName() const override;
    std::string ToolFolder() const override;
    bool RelativeHostPathAllowed() const override;

    bool IsFolder(const std::string& path) const override;
    bool IsRegularFile(const std::string& path) const override;
    bool Exists(const std::string& path) const override;
    bool ReadText(const std::string& path, std::string& text) const override;
    std::vector<std::string> NamesEndingWith(const std::string& folder,
                                             const std::string& suffix) const override;
    std::vector<std::string> RegularFilesIn(const std::string& folder) const override;
    bool IsExecutable(const std::string& path, std::string& why) const override;
    bool WriteFile(const std::string& path, const std::string& text, std::string& error) override;
    bool Remove(const std::string& path, std::string& error) override;
    std::string WhoElseCanWrite(const std::string& path) const override {
        return TrustCheck::WhoElseCanWrite(path);
    }
    std::vector<HostLibrary> LibrariesBesideHost() const override {
        return TrustCheck::LibrariesBesideHost();
    }

    bool SetKeyDefault(const std::string& key, const std::string& value,
                       std::string& error) override;
    bool DeleteKey(const std::string& key, std::string& error) override;
    RegistryEntry ReadKey(const std::string& key) const override;
    std::vector<std::string> SubkeysOf(const std::string& key) const override;
    std::vector<RegistryValue> ValuesOf(const std::string& key) const override;
};

}  // namespace browser_extensions::registration
