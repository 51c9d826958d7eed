#pragma once

#include "json/Value.h"
#include "protect/CWipingArena.h"

namespace browser_extensions::json {

// The root of a tree to be read into `arena`, itself made there, or on the heap without one. In
// an arena the tree is never destroyed: everything it holds is in the arena, which wipes and takes
// back all of it at once when it is reset, so walking the tree to give its memory back piece by
// piece (which costs about as much as reading it) would be wasted. Anything taken out of the tree
// keeps its own memory and is destroyed as usual.
class Tree {
  public:
    explicit Tree(CWipingArena* arena);
    ~Tree();

    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    Value& Root() { return *m_root; }
    // Where the tree's containers and texts are made.
    std::pmr::memory_resource* Memory() const;

  private:
    CWipingArena* m_arena;
    Value* m_root;
};

}  // namespace browser_extensions::json
