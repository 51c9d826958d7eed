#pragma once

#include <cstddef>
#include <memory_resource>
#include <string>
#include <string_view>
#include <utility>

#include "protect/WipeText.h"

namespace browser_extensions {

// Where the wiping heap's storage comes from: the heap, unless a test watches it. `release` is
// always handed storage that has been wiped already.
struct WipingHeapSource {
    unsigned char* (*allocate)(std::size_t bytes);
    void (*release)(unsigned char* data, std::size_t bytes);
};

// Lets tests watch every allocation; null restores the heap. Not for use while secret text
// exists on other threads.
void SetWipingHeapSourceForTesting(const WipingHeapSource* source);

// The heap, except that every block is overwritten before it is given back: text that grows or
// ends there leaves no copy behind. For text and bytes (alignment of at most a pointer's).
std::pmr::memory_resource* WipingHeap();

// The one owner of text that held a message: a standard string in a memory that wipes what it
// takes back (the wiping heap unless made in the message's arena), which also overwrites the
// characters it holds itself, those a short string keeps inside its object among them, when it
// ends or is moved from. `SecretString` holds bytes: a frame's body, UTF-8, the codec's byte forms.
template <typename Char>
class CBasicSecretText : public std::basic_string<Char, std::char_traits<Char>,
                                                  std::pmr::polymorphic_allocator<Char>> {
    using Base =
        std::basic_string<Char, std::char_traits<Char>, std::pmr::polymorphic_allocator<Char>>;
    using View = std::basic_string_view<Char>;

  public:
    using allocator_type = typename Base::allocator_type;
    using size_type = typename Base::size_type;

    CBasicSecretText() noexcept : Base(allocator_type(WipingHeap())) {}
    explicit CBasicSecretText(const allocator_type& memory) noexcept : Base(memory) {}
    CBasicSecretText(const Char* text, const allocator_type& memory = WipingHeap())
        : Base(text, memory) {}
    CBasicSecretText(View text, const allocator_type& memory = WipingHeap()) : Base(text, memory) {}
    CBasicSecretText(size_type count, Char unit, const allocator_type& memory = WipingHeap())
        : Base(count, unit, memory) {}
    template <typename Iterator>
    CBasicSecretText(Iterator first, Iterator last, const allocator_type& memory = WipingHeap())
        : Base(first, last, memory) {}
    // A copy is made in the wiping heap unless a memory is given.
    CBasicSecretText(const CBasicSecretText& other) : Base(other, allocator_type(WipingHeap())) {}
    CBasicSecretText(const CBasicSecretText& other, const allocator_type& memory)
        : Base(other, memory) {}
    CBasicSecretText(CBasicSecretText&& other) noexcept : Base(std::move(other)) { other.Wipe(); }
    CBasicSecretText(CBasicSecretText&& other, const allocator_type& memory)
        : Base(std::move(other), memory) {
        other.Wipe();
    }
    ~CBasicSecretText() { Wipe(); }

    CBasicSecretText& operator=(const CBasicSecretText& other) {
        if (this != &other) {
            Wipe();
            Base::operator=(other);
        }
        return *this;
    }
    CBasicSecretText& operator=(CBasicSecretText&& other) {
        if (this != &other) {
            Wipe();
            Base::operator=(std::move(other));
            other.Wipe();
        }
        return *this;
    }
    CBasicSecretText& operator=(View text) {
        Base::assign(text);
        return *this;
    }
    CBasicSecretText& operator=(const Char* text) { return *this = View(text); }

    // Overwrites every character its storage can hold and leaves it empty.
    void Wipe() noexcept { WipeText(static_cast<Base&>(*this)); }
};

using SecretString = CBasicSecretText<char>;
using SecretWString = CBasicSecretText<wchar_t>;

}  // namespace browser_extensions
