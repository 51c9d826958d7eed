#include "RealSystemServices.h"

#include <windows.h>

#include <aclapi.h>

#include "platform/TextEncoding.h"

namespace browser_extensions::registration {
// The real services' trust check: the access lists of the path and the folders above it.
namespace {

// Rights that let a user put something else in the place of a file or of what a folder holds.
constexpr DWORD kReplaceRights =
    WRITE_DAC | WRITE_OWNER | DELETE | FILE_DELETE_CHILD | GENERIC_ALL | GENERIC_WRITE;
// Rights that let a user change a file, or add one (such as a library) to a folder.
constexpr DWORD kWriteRights = kReplaceRights | FILE_WRITE_DATA | FILE_APPEND_DATA;

struct Principal {
    WELL_KNOWN_SID_TYPE type;
    const char* name;
};

// Groups that hold users who are not administrators.
constexpr Principal kOthers[] = {{WinBuiltinUsersSid, "Users"},
                                 {WinAuthenticatedUserSid, "Authenticated Users"},
                                 {WinWorldSid, "Everyone"}};

bool IsPrincipal(PSID sid, const Principal& principal) {
    BYTE buffer[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof buffer;
    return ::CreateWellKnownSid(principal.type, nullptr, buffer, &size) && ::EqualSid(sid, buffer);
}

// Who among the other users an allowing entry of `dacl` grants one of `rights`; empty if none.
std::string OtherGranted(PACL dacl, DWORD rights) {
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
        void* entry = nullptr;
        if (!::GetAce(dacl, index, &entry)) {
            continue;
        }
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(entry);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE ||
            (allowed->Header.AceFlags & INHERIT_ONLY_ACE) != 0 || (allowed->Mask & rights) == 0) {
            continue;
        }
        PSID sid = const_cast<DWORD*>(&allowed->SidStart);
        for (const Principal& principal : kOthers) {
            if (IsPrincipal(sid, principal)) {
                return principal.name;
            }
        }
    }
    return "";
}

std::string Check(const std::wstring& path, DWORD rights) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status =
        ::GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor);
    if (status == ERROR_FILE_NOT_FOUND || status == ERROR_PATH_NOT_FOUND) {
        return "";
    }
    const std::string shown = WideToUtf8(path);
    std::string finding;
    if (status != ERROR_SUCCESS) {
        finding = "the permissions of " + shown + " cannot be read (error " +
                  std::to_string(status) + ")";
    } else if (dacl == nullptr) {
        finding = shown + " has no access list: every user can write it";
    } else {
        const std::string who = OtherGranted(dacl, rights);
        finding = who.empty() ? "" : shown + " can be written by " + who;
    }
    ::LocalFree(descriptor);
    return finding;
}

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

}  // namespace

std::string RealSystemServices::WhoElseCanWrite(const std::string& path) const {
    std::wstring reached = Utf8ToWide(path);
    while (!reached.empty() && IsSeparator(reached.back()) && reached.size() > 3) {
        reached.pop_back();
    }
    // The path and its folder must admit no change; the folders above, no replacement.
    for (int level = 0; !reached.empty(); ++level) {
        const std::string finding = Check(reached, level < 2 ? kWriteRights : kReplaceRights);
        if (!finding.empty()) {
            return finding;
        }
        const std::size_t separator = reached.find_last_of(L"\\/");
        if (separator == std::wstring::npos || separator + 1 == reached.size()) {
            break;
        }
        reached.erase(separator == 2 && reached[1] == L':' ? separator + 1 : separator);
    }
    return "";
}

}  // namespace browser_extensions::registration
