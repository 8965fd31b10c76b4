#pragma once
// A growable array that keeps its first N elements inline, so that the many small
// point lists of a board (flashes, rectangles, arcs, two-point tracks) cost no
// heap allocation. Only for trivially copyable element types.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "platform/checked.h"

namespace pv {

template <typename T, uint32_t N>
class SmallVec {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  SmallVec() = default;
  SmallVec(std::initializer_list<T> init) { assign(init.begin(), init.size()); }
  SmallVec(const SmallVec& o) { assign(o.data(), o.size_); }
  SmallVec(SmallVec&& o) noexcept { steal(o); }
  SmallVec& operator=(const SmallVec& o) {
    if (this != &o) assign(o.data(), o.size_);
    return *this;
  }
  SmallVec& operator=(SmallVec&& o) noexcept {
    if (this != &o) {
      release();
      steal(o);
    }
    return *this;
  }
  ~SmallVec() { release(); }

  uint32_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return heap_ ? heap_ : inline_; }
  const T* data() const { return heap_ ? heap_ : inline_; }
  T* begin() { return data(); }
  T* end() { return data() + size_; }
  const T* begin() const { return data(); }
  const T* end() const { return data() + size_; }

  T& operator[](uint32_t i) { return data()[i]; }
  const T& operator[](uint32_t i) const { return data()[i]; }
  // Range-checked access: an index outside the array raises ERangeError.
  T& at(int64_t i) {
    if (i < 0 || i >= size_) ThrowRange();
    return data()[i];
  }
  const T& at(int64_t i) const {
    if (i < 0 || i >= size_) ThrowRange();
    return data()[i];
  }

  void reserve(uint32_t n) {
    if (n <= capacity()) return;
    T* p = static_cast<T*>(std::malloc(sizeof(T) * n));
    if (!p) throw std::bad_alloc();
    if (size_) std::memcpy(p, data(), sizeof(T) * size_);
    if (heap_) std::free(heap_);
    heap_ = p;
    cap_ = n;
  }
  void push_back(const T& v) {
    if (size_ == capacity()) reserve(capacity() * 2 < 16 ? 16 : capacity() * 2);
    data()[size_++] = v;
  }
  // New elements are zeroed.
  void resize(uint32_t n) {
    reserve(n);
    if (n > size_) std::memset(static_cast<void*>(data() + size_), 0, sizeof(T) * (n - size_));
    size_ = n;
  }
  void assign(const T* src, uint32_t n) {
    if (n > capacity()) {
      release();
      reserve(n);
    }
    if (n) std::memmove(static_cast<void*>(data()), src, sizeof(T) * n);
    size_ = n;
  }
  void clear() { size_ = 0; }
  // Gives back heap storage; the array becomes empty.
  void release() {
    if (heap_) std::free(heap_);
    heap_ = nullptr;
    cap_ = N;
    size_ = 0;
  }

 private:
  uint32_t capacity() const { return heap_ ? cap_ : N; }
  void steal(SmallVec& o) {
    if (o.heap_) {
      heap_ = o.heap_;
      cap_ = o.cap_;
      o.heap_ = nullptr;
      o.cap_ = N;
    } else {
      heap_ = nullptr;
      cap_ = N;
      if (o.size_) std::memcpy(inline_, o.inline_, sizeof(T) * o.size_);
    }
    size_ = o.size_;
    o.size_ = 0;
  }

  T* heap_ = nullptr;
  uint32_t size_ = 0;
  uint32_t cap_ = N;
  T inline_[N]{};
};

}  // namespace pv
