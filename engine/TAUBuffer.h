// A small owning buffer of 16-byte aligned elements: the tape. Allocation
// happens only when the tape's length changes (never in steady state), and a
// failed allocation leaves the buffer as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

template <typename T>
class TAUBuffer {
 public:
  static constexpr size_t kAlignment = 16;

  TAUBuffer() = default;
  ~TAUBuffer() { std::free(m_storage); }
  TAUBuffer(const TAUBuffer&) = delete;
  TAUBuffer& operator=(const TAUBuffer&) = delete;

  // Keeps the storage when it already holds exactly n elements; otherwise
  // replaces it. Returns false, changing nothing, when memory runs out.
  bool Allocate(size_t n) { return Holds(n) || Replace(n, false); }

  // Allocate, then zero all n elements (also when the storage was kept). New
  // storage comes zeroed from the system, so a long tape is not written twice.
  bool AllocateClear(size_t n) {
    if (!Holds(n)) return Replace(n, true);
    std::memset(static_cast<void*>(m_data), 0, m_bytes);
    return true;
  }

  T* data() { return m_data; }
  const T* data() const { return m_data; }
  size_t size() const { return m_bytes / sizeof(T); }
  size_t bytes() const { return m_bytes; }

 private:
  bool Holds(size_t n) const { return m_storage != nullptr && n * sizeof(T) == m_bytes; }

  bool Replace(size_t n, bool zeroed) {
    const size_t bytes = n * sizeof(T) + kAlignment;
    void* storage = zeroed ? std::calloc(bytes, 1) : std::malloc(bytes);
    if (storage == nullptr) return false;
    std::free(m_storage);
    m_storage = storage;
    const uintptr_t raw = reinterpret_cast<uintptr_t>(storage);
    m_data = reinterpret_cast<T*>((raw + kAlignment - 1) & ~(uintptr_t{kAlignment} - 1));
    m_bytes = n * sizeof(T);
    return true;
  }

  void* m_storage = nullptr;
  T* m_data = nullptr;
  size_t m_bytes = 0;
};
