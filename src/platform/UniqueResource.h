#pragma once
// The one shape of the backends' owners: a move-only value that holds one
// system resource (a descriptor, a handle, a GDI object, ...) and frees it
// exactly once. Each kind is a small traits type:
//
//   struct Traits {
//       using Handle = ...;                 // cheap to copy
//       static Handle Invalid();            // what an empty owner holds
//       static bool Valid(Handle h);        // whether `h` is a resource to free
//       static bool Free(Handle h);         // frees a valid `h`; false when the system said it failed
//   };
//
// The per-system owners (platform/linux/UniqueFd.h, platform/win32/Win32Handle.h)
// are names for UniqueResource<their traits>.

#include <utility>

namespace ldt {

template <class Traits>
class UniqueResource {
public:
    using Handle = typename Traits::Handle;

    UniqueResource() = default;
    explicit UniqueResource(Handle handle) : handle_(handle) {}
    UniqueResource(UniqueResource&& other) noexcept : handle_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { Reset(); }

    Handle Get() const { return handle_; }
    bool Valid() const { return Traits::Valid(handle_); }
    explicit operator bool() const { return Valid(); }

    // Gives up ownership: the caller (or the system) frees it now. The
    // handle must be used: dropping it would leak the resource.
    [[nodiscard]] Handle Release() { return std::exchange(handle_, Traits::Invalid()); }

    // Frees what is held (if anything) and takes `handle`. Being handed the
    // handle it already holds is a caller's mistake that would leave it
    // holding a freed value: it is refused, and the owner keeps the handle,
    // still valid, unfreed.
    void Reset(Handle handle = Traits::Invalid()) {
        if (Traits::Valid(handle) && handle == handle_) return;
        FreeIfValid(std::exchange(handle_, handle));
    }

    // Frees what is held now and leaves the owner empty. False (with the
    // system's error code set: errno, GetLastError) when freeing failed, so a
    // caller that must know whether written data reached its file can check;
    // closing an empty owner succeeds.
    bool Close() { return FreeIfValid(Release()); }

private:
    static bool FreeIfValid(Handle handle) { return !Traits::Valid(handle) || Traits::Free(handle); }

    Handle handle_ = Traits::Invalid();
};

}  // namespace ldt
