#include "json/Tree.h"

#include <new>

#include "protect/CWipingArena.h"

namespace browser_extensions::json {

Tree::Tree(std::pmr::memory_resource* memory)
    : m_memory(memory),
      m_inArena(CWipingArena::IsArena(memory)),
      m_root(new (memory->allocate(sizeof(Value), alignof(Value))) Value()) {}

Tree::~Tree() {
    if (!m_inArena) {
        m_root->~Value();
        m_memory->deallocate(m_root, sizeof(Value), alignof(Value));
    }
}

}  // namespace browser_extensions::json
