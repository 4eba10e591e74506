#pragma once

#include <new>

// Objects that cross the module boundary, in either direction, have the
// vtable layout of Microsoft's x64 compiler on both builds, because the hosts
// are built with that compiler:
//
//   slot 0   the scalar deleting destructor, void* (this, unsigned int flags):
//            destroys the object, frees its memory when bit 0 of `flags` is
//            set, and returns `this`;
//   slot 1.. the operations, in the order the interface declares them.
//
// g++ gives a virtual destructor two slots (complete and deleting), which
// would shift every operation by one. A boundary interface therefore declares
// the deleting destructor itself as its first virtual function and keeps its
// C++ destructor protected and non-virtual:
//
//   class IThing {
//    public:
//     virtual void* ScalarDeletingDestructor(unsigned int flags) = 0;
//     virtual int Operation() = 0;
//    protected:
//     ~IThing() = default;
//   };
//
// A concrete class derives through BoundaryObject<Concrete, IThing...>, which
// implements slot 0 once for every class. The interface may be a class with
// members of its own (IJsonWriter) and a class may implement several
// interfaces; one override then serves the slot 0 of each. No virtual
// functions may be overloaded in a boundary interface: Microsoft's compiler
// groups overloads in its vtable, g++ does not.
//
// The object must have been made with plain `new` (or `new (std::nothrow)`).

// Bit 0 of the flags of the scalar deleting destructor: free the memory too.
constexpr unsigned int kDeleteObjectMemory = 1;

template <class Concrete, class... Interfaces>
class BoundaryObject : public Interfaces... {
 public:
  void* ScalarDeletingDestructor(unsigned int flags) override {
    Concrete* self = static_cast<Concrete*>(this);
    self->~Concrete();
    if ((flags & kDeleteObjectMemory) != 0) ::operator delete(static_cast<void*>(self));
    return self;
  }

 protected:
  BoundaryObject() = default;
  ~BoundaryObject() = default;
};
