// One small move-only owner for every kind of Win32 handle. The traits say
// what the empty value is (INVALID_HANDLE_VALUE for files and find handles,
// NULL for most others) and how the handle is released.
#pragma once
#include "os/win32/win.h"

#include <utility>

namespace os::win32 {

template <typename Traits>
class UniqueHandle {
 public:
  using Handle = typename Traits::Handle;

  UniqueHandle() = default;
  explicit UniqueHandle(Handle h) : h_(h) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : h_(o.release()) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    if (this != &o) reset(o.release());
    return *this;
  }

  Handle get() const { return h_; }
  bool valid() const { return h_ != Traits::Empty(); }
  explicit operator bool() const { return valid(); }
  Handle release() { return std::exchange(h_, Traits::Empty()); }
  void reset(Handle h = Traits::Empty()) {
    if (valid()) Traits::Close(h_);
    h_ = h;
  }
  // For APIs that return the handle through an out parameter.
  Handle* put() {
    reset();
    return &h_;
  }

 private:
  Handle h_ = Traits::Empty();
};

struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct KernelHandleTraits {  // processes, threads, events: NULL when empty
  using Handle = HANDLE;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Empty() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle h) { ::FindClose(h); }
};
struct RegKeyTraits {
  using Handle = HKEY;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { ::RegCloseKey(h); }
};
struct LocalMemTraits {  // buffers the system allocated for us (FormatMessage)
  using Handle = HLOCAL;
  static Handle Empty() { return nullptr; }
  static void Close(Handle h) { ::LocalFree(h); }
};

using UniqueFile = UniqueHandle<FileHandleTraits>;
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFind = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;
using UniqueLocal = UniqueHandle<LocalMemTraits>;

}  // namespace os::win32
