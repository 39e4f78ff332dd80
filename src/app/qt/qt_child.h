#pragma once
// Child widgets are owned by their Qt parent, which deletes them with itself. make_child
// builds one with the parent as its last constructor argument and hands ownership over
// at once, so no raw new appears in the windows and nothing can leak between the
// allocation and the parent taking it.
#include <memory>
#include <utility>

namespace zev1::qt {

template <class T, class Parent, class... Args>
T* make_child(Parent* parent, Args&&... args) {
    auto owned = std::make_unique<T>(std::forward<Args>(args)..., parent);
    return owned.release(); // the parent owns it from its construction on
}

} // namespace zev1::qt
