#pragma once

#include <cstddef>
#include <iterator>

namespace browser_extensions::json {

// Walks a run of code units forward. A string made from two of these copies the units in a loop
// the compiler sees, where one made from pointers copies them through a library call that costs
// more than the copy itself for the few units of a key or a short value; the reader makes every
// key and string of a message this way.
class UnitIterator {
  public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = wchar_t;
    using difference_type = std::ptrdiff_t;
    using pointer = const wchar_t*;
    using reference = const wchar_t&;

    UnitIterator() = default;
    explicit UnitIterator(const wchar_t* unit) : m_unit(unit) {}

    reference operator*() const { return *m_unit; }
    UnitIterator& operator++() {
        ++m_unit;
        return *this;
    }
    UnitIterator operator++(int) {
        UnitIterator before = *this;
        ++m_unit;
        return before;
    }
    friend bool operator==(UnitIterator left, UnitIterator right) {
        return left.m_unit == right.m_unit;
    }
    friend bool operator!=(UnitIterator left, UnitIterator right) {
        return left.m_unit != right.m_unit;
    }

  private:
    const wchar_t* m_unit = nullptr;
};

}  // namespace browser_extensions::json
