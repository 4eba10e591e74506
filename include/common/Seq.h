#pragma once

#include <cstddef>

// The argument list of a typed call object: up to 20 positions, the argument
// types in order and NullType in every position after them.
//
// NullType is what a functor reports for a position without an argument;
// EmptyType is the one-byte value it stores there (and the type name SetArg
// expects for it).
class NullType {};

class EmptyType {
 public:
  unsigned char byte;
};

static_assert(sizeof(EmptyType) == 1, "a filler position holds one byte");

// The type at position I of the list Ts..., NullType past its end.
template <std::size_t I, class... Ts>
struct TypeAt {
  using Type = NullType;
};
template <class T, class... Ts>
struct TypeAt<0, T, Ts...> {
  using Type = T;
};
template <std::size_t I, class T, class... Ts>
struct TypeAt<I, T, Ts...> : TypeAt<I - 1, Ts...> {};

template <class... Ts>
struct Seq {
  static constexpr std::size_t kPositions = 20;
  static constexpr int kLength = static_cast<int>(sizeof...(Ts));
  static_assert(sizeof...(Ts) <= kPositions, "a functor takes at most 20 arguments");

  template <std::size_t I>
  using At = typename TypeAt<I, Ts...>::Type;
};
