#pragma once

#include <memory_resource>

#include "json/Value.h"

namespace browser_extensions::json {

// The root of a tree to be read into `memory`, itself made there. In an arena the tree is never
// destroyed: everything it holds is in the arena, which wipes and takes back all of it at once
// when it is reset, so walking the tree to give its memory back piece by piece (which costs about
// as much as reading it) would be wasted. Anything taken out of the tree keeps its own memory and
// is destroyed as usual. Elsewhere the tree is destroyed like any Value.
class Tree {
  public:
    explicit Tree(std::pmr::memory_resource* memory);
    ~Tree();

    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    Value& Root() { return *m_root; }

  private:
    std::pmr::memory_resource* m_memory;
    bool m_inArena;
    Value* m_root;
};

}  // namespace browser_extensions::json
