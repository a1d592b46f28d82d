// Small owners for Windows handles, so that no path leaks one.
#pragma once

#include <windows.h>

#include <utility>

namespace vm {

template <class H, class Traits>
class UniqueHandle {
public:
  UniqueHandle() = default;
  explicit UniqueHandle(H h) : FHandle(h) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& o) noexcept : FHandle(std::exchange(o.FHandle, Traits::Invalid())) {}
  UniqueHandle& operator=(UniqueHandle&& o) noexcept {
    reset(std::exchange(o.FHandle, Traits::Invalid()));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  H get() const { return FHandle; }
  H release() { return std::exchange(FHandle, Traits::Invalid()); }
  void reset(H h = Traits::Invalid()) {
    if (FHandle != Traits::Invalid()) Traits::Close(FHandle);
    FHandle = h;
  }
  explicit operator bool() const { return FHandle != Traits::Invalid(); }

private:
  H FHandle = Traits::Invalid();
};

struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct KernelHandleTraits {
  static HANDLE Invalid() { return nullptr; }
  static void Close(HANDLE h) { CloseHandle(h); }
};
struct GdiObjectTraits {
  static HGDIOBJ Invalid() { return nullptr; }
  static void Close(HGDIOBJ h) { DeleteObject(h); }
};

using FileHandle = UniqueHandle<HANDLE, FileHandleTraits>;      // CreateFile results
using KernelHandle = UniqueHandle<HANDLE, KernelHandleTraits>;  // events, threads, mappings
using GdiObject = UniqueHandle<HGDIOBJ, GdiObjectTraits>;

}  // namespace vm
