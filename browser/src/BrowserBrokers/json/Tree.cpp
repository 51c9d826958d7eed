#include "json/Tree.h"

#include <new>

namespace browser_extensions::json {

Tree::Tree(CWipingArena* arena)
    : m_arena(arena),
      m_root(arena != nullptr ? new (arena->allocate(sizeof(Value), alignof(Value))) Value()
                              : new Value()) {}

Tree::~Tree() {
    if (m_arena == nullptr) {
        delete m_root;
    }
}

std::pmr::memory_resource* Tree::Memory() const {
    return m_arena != nullptr ? m_arena : std::pmr::get_default_resource();
}

}  // namespace browser_extensions::json
