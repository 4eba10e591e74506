#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <tuple>
#include <utility>

#include "common/FunctorExecutor.h"
#include "common/Seq.h"
#include "common/TypeNames.h"

// The typed call objects of the command layer: a Functor binds an object and
// one of its member functions and stores the arguments of the next call.
//
//   Functor<R, Seq<A...>>        what the host holds (FunctorExecutor<R>); owns
//                                one implementation and deletes it with itself
//   FunctorImplBase<R>           the bound call: Clone, Invoke, SetArg
//   FunctorImpl<R, Seq<A...>>    the bound call for one argument list
//   MemFunHandler<F, P, M>       the implementation for object pointer P and
//                                member function M: the object, the member
//                                and one stored value per position 0 to 14
//
// Arguments arrive as typed bytes (SetArg, the rule of AcceptArgument) or are
// bound when the functor is built (the thread functors). At the call each
// stored value converts to the member's parameter type as C++ converts it: an
// int for a bool is true when not 0, an int for an __int64 keeps its sign.

// How a position's value is stored: a filler position holds one EmptyType.
template <class T>
struct StoredAs {
  using Type = T;
};
template <>
struct StoredAs<NullType> {
  using Type = EmptyType;
};

// The bytes of one stored argument, zero until set.
template <class T>
class ArgSlot {
 public:
  void Set(T value) { std::memcpy(m_bytes, &value, sizeof(T)); }
  T Get() const {
    T value;
    std::memcpy(&value, m_bytes, sizeof(T));
    return value;
  }
  int Accept(const char* typeName, const void* data, std::size_t size) {
    return AcceptArgument(kTypeName<T>.name, kTypeName<T>.size, typeName, data, size, m_bytes);
  }

 private:
  unsigned char m_bytes[sizeof(T)] = {};
};

// A stored bool is any byte pattern SetArg accepted; it is true when not 0.
template <>
inline bool ArgSlot<bool>::Get() const {
  return m_bytes[0] != 0;
}

// The stored values of positions 0 to 14 of the list TList.
template <class TList, class Positions = std::make_index_sequence<15>>
class ArgSlots;

template <class TList, std::size_t... I>
class ArgSlots<TList, std::index_sequence<I...>> {
 public:
  static constexpr unsigned int kPositions = sizeof...(I);

  template <std::size_t J>
  auto& At() {
    return std::get<J>(m_slots);
  }
  template <std::size_t J>
  const auto& At() const {
    return std::get<J>(m_slots);
  }

  // The rule of AcceptArgument for position `index`; -1 past position 14.
  int Accept(unsigned int index, const char* typeName, const void* data, std::size_t size) {
    int result = -1;
    static_cast<void>(
        ((index == I ? (result = At<I>().Accept(typeName, data, size), true) : false) || ...));
    return result;
  }

 private:
  std::tuple<ArgSlot<typename StoredAs<typename TList::template At<I>>::Type>...> m_slots;
};

template <class R>
class FunctorImplBase {
 public:
  virtual ~FunctorImplBase() = default;
  // A new copy with the same binding and stored arguments; null when memory
  // runs out. The caller owns it.
  virtual FunctorImplBase* Clone() const = 0;
  virtual R Invoke() = 0;
  virtual int SetArg(const char* typeName, const void* data, std::size_t size,
                     unsigned int index) = 0;
};

template <class R, class TList>
class FunctorImpl : public FunctorImplBase<R> {};

template <class ParentFunctor, class ObjectPointer, class MemberFunction>
class MemFunHandler final
    : public FunctorImpl<typename ParentFunctor::ResultType, typename ParentFunctor::ArgumentList> {
  using R = typename ParentFunctor::ResultType;
  using TList = typename ParentFunctor::ArgumentList;

 public:
  // Binds `object` and `function`; `bound` are the values of every argument
  // (the thread functors), or none (the command functors, set by SetArg).
  template <class... Bound>
  MemFunHandler(ObjectPointer object, MemberFunction function, Bound... bound)
      : m_object(object), m_function(function) {
    static_assert(sizeof...(Bound) == 0 || static_cast<int>(sizeof...(Bound)) == TList::kLength,
                  "bind every argument or none");
    Bind(std::index_sequence_for<Bound...>(), bound...);
  }

  MemFunHandler* Clone() const override { return new (std::nothrow) MemFunHandler(*this); }

  R Invoke() override { return Call(std::make_index_sequence<TList::kLength>()); }

  int SetArg(const char* typeName, const void* data, std::size_t size,
             unsigned int index) override {
    return m_slots.Accept(index, typeName, data, size);
  }

 private:
  template <std::size_t... I, class... Bound>
  void Bind(std::index_sequence<I...>, Bound... bound) {
    (m_slots.template At<I>().Set(bound), ...);
  }

  template <std::size_t... I>
  R Call(std::index_sequence<I...>) {
    return ((*m_object).*m_function)(m_slots.template At<I>().Get()...);
  }

  ObjectPointer m_object;
  MemberFunction m_function;
  ArgSlots<TList> m_slots;
};

template <class R, class TList>
class Functor final : public BoundaryObject<Functor<R, TList>, FunctorExecutor<R>> {
 public:
  using ResultType = R;
  using ArgumentList = TList;

  // A functor bound to `object` and its member `function`, with `bound` as
  // its stored arguments (all or none); null when memory runs out.
  template <class ObjectPointer, class MemberFunction, class... Bound>
  static Functor* Create(ObjectPointer object, MemberFunction function, Bound... bound) {
    auto* impl = new (std::nothrow)
        MemFunHandler<Functor, ObjectPointer, MemberFunction>(object, function, bound...);
    return Adopt(impl);
  }

  ~Functor() { delete m_impl; }
  Functor(const Functor&) = delete;
  Functor& operator=(const Functor&) = delete;

  // A new functor with the same binding and stored arguments, or null.
  Functor* Clone() const { return Adopt(static_cast<FunctorImpl<R, TList>*>(m_impl->Clone())); }

  R Invoke() override { return m_impl->Invoke(); }
  int SetArg(const char* typeName, const void* data, std::size_t size,
             unsigned int index) override {
    return m_impl->SetArg(typeName, data, size, index);
  }
  int GetArgCount() override { return TList::kLength; }
  unsigned int GetArgSize(unsigned int index) override {
    return index < kReportedPositions ? Entry(index, Reported()).size : 0;
  }
  const char* GetArgTypeName(unsigned int index) override {
    return index < kReportedPositions ? Entry(index, Reported()).name : nullptr;
  }
  void Release() override { this->ScalarDeletingDestructor(kDeleteObjectMemory); }

 private:
  // GetArgSize and GetArgTypeName answer for positions 0 to 9.
  static constexpr unsigned int kReportedPositions = 10;
  using Reported = std::make_index_sequence<kReportedPositions>;

  template <std::size_t... I>
  static constexpr TypeNameEntry Entry(unsigned int index, std::index_sequence<I...>) {
    constexpr TypeNameEntry kEntries[] = {kTypeName<typename TList::template At<I>>...};
    return kEntries[index];
  }

  template <std::size_t... I>
  static constexpr bool EveryTypeNamed(std::index_sequence<I...>) {
    return ((kTypeName<typename TList::template At<I>>.name != nullptr) && ...);
  }
  static_assert(EveryTypeNamed(std::make_index_sequence<Seq<>::kPositions>()),
                "every argument type needs an entry in the type-name table");

  static Functor* Adopt(FunctorImpl<R, TList>* impl) {
    if (impl == nullptr) return nullptr;
    Functor* functor = new (std::nothrow) Functor(impl);
    if (functor == nullptr) delete impl;
    return functor;
  }

  explicit Functor(FunctorImpl<R, TList>* impl) : m_impl(impl) {}

  FunctorImpl<R, TList>* m_impl;
};
