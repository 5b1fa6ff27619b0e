#pragma once
// Task memory: blocks handed across interfaces (format blocks, media types returned by
// enumerators, texts returned to callers). Whoever receives such a block frees it with
// CoTaskMemFree, whichever component allocated it.

#include <cstddef>

// Allocates `size` bytes; returns null when out of memory. A size of 0 still gives a block.
void* CoTaskMemAlloc(std::size_t size);
// Grows or shrinks a block; null keeps the old block intact.
void* CoTaskMemRealloc(void* block, std::size_t size);
// Frees a block; null is ignored.
void CoTaskMemFree(void* block);
