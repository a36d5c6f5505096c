#pragma once
// The owner of the model's heap blocks of bytes and characters: a unique_ptr whose block comes
// from malloc. A block that cannot be had is a null owner, never an exception, even where the
// allocator has run out altogether (the module's attach); objects are owned by std::unique_ptr
// alone.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <type_traits>

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};

template <typename T>
using HeapArray = std::unique_ptr<T[], FreeBlock>;

// `count` elements, not initialised; null when they cannot be had.
template <typename T>
HeapArray<T> allocateArray(size_t count) {
  static_assert(std::is_trivial<T>::value, "blocks of bytes and characters");
  if (count > SIZE_MAX / sizeof(T)) return HeapArray<T>();
  return HeapArray<T>(static_cast<T*>(std::malloc(count * sizeof(T))));
}
