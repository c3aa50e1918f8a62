// The open objects of a backend, reached through opaque handles.
//
// A handle is a number from one process-wide counter, never a pointer to the
// object and never reused, so a stale or forged handle is recognised as
// unknown instead of reaching freed memory or somebody else's device. The
// objects are shared: a call that found its object keeps it alive even when
// another thread closes the handle meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "platform/platform.h"

namespace qvp::detail {

inline std::string handleText(Handle h) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%llx",
                  static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
    return buf;
}

// Starts well above the small numbers a confused caller might pass as a handle.
inline uintptr_t nextHandleId() {
    static std::atomic<uintptr_t> next{0x10000};
    return next.fetch_add(1, std::memory_order_relaxed);
}

template <class T>
class HandleRegistry {
public:
    Handle add(std::shared_ptr<T> object) {
        const uintptr_t id = nextHandleId();
        std::lock_guard lock(mutex_);
        objects_.emplace(id, std::move(object));
        return reinterpret_cast<Handle>(id);
    }

    std::shared_ptr<T> find(Handle h) const {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(reinterpret_cast<uintptr_t>(h));
        return it == objects_.end() ? nullptr : it->second;
    }

    // Forgets the handle; the object lives on while a call still holds it.
    std::shared_ptr<T> remove(Handle h) {
        std::lock_guard lock(mutex_);
        auto it = objects_.find(reinterpret_cast<uintptr_t>(h));
        if (it == objects_.end()) return nullptr;
        auto object = std::move(it->second);
        objects_.erase(it);
        return object;
    }

    // The object behind h as a U (one family of T). An unknown handle, or one of
    // another family, records InvalidParameter for call and gives nullptr.
    template <class U>
    std::shared_ptr<U> findAs(Handle h, const char* call, const char* family) const {
        auto object = find(h);
        if (!object) {
            setLastError(ErrorKind::InvalidParameter,
                         std::string(call) + ": unknown handle " + handleText(h));
            return nullptr;
        }
        auto typed = std::dynamic_pointer_cast<U>(object);
        if (!typed)
            setLastError(ErrorKind::InvalidParameter, std::string(call) + ": handle " +
                                                          handleText(h) + " is not " + family);
        return typed;
    }

private:
    mutable std::mutex mutex_;
    std::unordered_map<uintptr_t, std::shared_ptr<T>> objects_;
};

}  // namespace qvp::detail
