#include "json/Writer.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/StringLiteral.h"
#include "protect/SecretText.h"

namespace browser_extensions::json {
namespace {

// Message text is written here: growing leaves no copy behind.
using Output = SecretWString;

void AppendAscii(const char* begin, const char* end, Output& out) {
    out.append(begin, end);  // each char widens to its own code unit
}

void AppendString(std::wstring_view text, Output& out) {
    out += L'"';
    const wchar_t* run = text.data();
    const wchar_t* const end = text.data() + text.size();
    char escape[12];
    for (const wchar_t* p = run; p != end; ++p) {
        const std::size_t length = EscapeUnit(static_cast<std::uint32_t>(*p), true, escape);
        if (length != 0) {
            out.append(run, p);
            AppendAscii(escape, escape + length, out);
            run = p + 1;
        }
    }
    out.append(run, end);
    out += L'"';
}

template <typename Integer>
void AppendInteger(Integer integer, Output& out) {
    char buffer[24];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), integer);
    AppendAscii(buffer, result.ptr, out);
}

// 17 significant digits with the decimal point always shown and trailing zeros kept: fixed
// notation for decimal exponents -4..15, scientific otherwise, like printf's "%#.17g" but
// independent of the locale. Unlike "%#.17g", exponent 16 is scientific too: in fixed notation
// all 17 digits would precede a bare point ("10000000000000000."), which is not JSON.
void AppendReal(double real, Output& out) {
    if (!std::isfinite(real)) {
        out += L"null";  // JSON has no spelling for NaN or infinity
        return;
    }
    char buffer[32];
    const auto result =
        std::to_chars(buffer, buffer + sizeof(buffer), real, std::chars_format::scientific, 16);
    // buffer: [-]d.dddddddddddddddde±XX, printf's "%.16e", the scientific form itself
    const char* p = buffer;
    if (*p == '-') {
        out += L'-';
        ++p;
    }
    const char* const fraction = p + 2;  // the 16 digits after the first
    const char* exponentText = p + 19;   // just after 'e'
    int exponent = 0;
    std::from_chars(exponentText[0] == '+' ? exponentText + 1 : exponentText, result.ptr, exponent);

    if (exponent < -4 || exponent >= 16) {
        AppendAscii(p, result.ptr, out);
    } else if (exponent >= 0) {
        out += static_cast<wchar_t>(p[0]);
        AppendAscii(fraction, fraction + exponent, out);
        out += L'.';
        AppendAscii(fraction + exponent, fraction + 16, out);
    } else {
        out += L"0.";
        out.append(static_cast<std::size_t>(-exponent - 1), L'0');
        out += static_cast<wchar_t>(p[0]);
        AppendAscii(fraction, fraction + 16, out);
    }
}

void AppendScalar(const Value& value, Output& out) {
    switch (value.type()) {
        case Type::kString:
            AppendString(value.AsString(), out);
            break;
        case Type::kBool:
            out += value.AsBool() ? L"true" : L"false";
            break;
        case Type::kInt:
            if (value.IsUnsigned()) {
                AppendInteger(value.AsUInt64(), out);
            } else {
                AppendInteger(value.AsInt64(), out);
            }
            break;
        case Type::kReal:
            AppendReal(value.AsReal(), out);
            break;
        default:
            out += L"null";
            break;
    }
}

// A container whose children are still being written.
struct OpenContainer {
    const Object* object;
    Object::const_iterator nextMember;
    const Array* array;
    std::size_t nextElement;
};

// Writes a scalar at once; opens a container for the loop below, which also closes it.
void Begin(const Value& value, std::vector<OpenContainer>& open, Output& out) {
    if (value.type() == Type::kObject) {
        out += L'{';
        open.push_back(OpenContainer{&value.AsObject(), value.AsObject().begin(), nullptr, 0});
    } else if (value.type() == Type::kArray) {
        out += L'[';
        open.push_back(OpenContainer{nullptr, {}, &value.AsArray(), 0});
    } else {
        AppendScalar(value, out);
    }
}

}  // namespace

std::wstring Write(const Value& value) {
    Output out;
    out.reserve(64);
    std::vector<OpenContainer> open;
    Begin(value, open, out);
    while (!open.empty()) {
        OpenContainer& top = open.back();
        const Value* child = nullptr;
        if (top.object != nullptr) {
            if (top.nextMember == top.object->end()) {
                out += L'}';
                open.pop_back();
                continue;
            }
            if (top.nextMember != top.object->begin()) {
                out += L',';
            }
            AppendString(top.nextMember->first, out);
            out += L':';
            child = &top.nextMember->second;
            ++top.nextMember;
        } else {
            if (top.nextElement == top.array->size()) {
                out += L']';
                open.pop_back();
                continue;
            }
            if (top.nextElement != 0) {
                out += L',';
            }
            child = &(*top.array)[top.nextElement];
            ++top.nextElement;
        }
        Begin(*child, open, out);  // may grow `open`: `top` is not used after this
    }
    return std::wstring(out.data(), out.size());
}

}  // namespace browser_extensions::json
