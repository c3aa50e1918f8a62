// The locks of the device table: one recursive lock per slot for the
// conversation with its controller, the table's own lock for lookups across
// slots, and the lock that lets one enumeration run at a time.
#include "internal.h"

namespace qvlib {
namespace {

// Per slot: the lock and what its holder keeps about the conversation. Only the
// thread that holds the lock touches depth and gone.
struct SlotConversation {
    std::recursive_mutex mutex;
    std::atomic<int> waiters{0};
    int depth = 0;      // how often the holder has taken the lock
    bool gone = false;  // a command of this conversation found the device gone
};

// Made once, never destroyed: a thread may still hold or wait for a slot's lock
// while the process ends.
SlotConversation* Conversations() {
    static SlotConversation* slots = new SlotConversation[kSlotCount];
    return slots;
}

std::recursive_mutex& TableMutex() {
    static auto* m = new std::recursive_mutex;
    return *m;
}

std::recursive_mutex& EnumerationMutex() {
    static auto* m = new std::recursive_mutex;
    return *m;
}

bool ValidSlot(int slot) { return slot >= 0 && slot < kSlotCount; }

}  // namespace

std::unique_lock<std::recursive_mutex> TableLock() { return std::unique_lock<std::recursive_mutex>(TableMutex()); }

std::unique_lock<std::recursive_mutex> EnumerationLock() {
    return std::unique_lock<std::recursive_mutex>(EnumerationMutex());
}

void DeviceLock::acquire(int slot) {
    SlotConversation& c = Conversations()[slot];
    c.waiters.fetch_add(1);
    c.mutex.lock();
    c.waiters.fetch_sub(1);
    if (c.depth++ == 0) c.gone = false;
    slot_ = slot;
}

DeviceLock::DeviceLock(HANDLE h) {
    // The slot may give the handle up between the lookup and the lock (a close on
    // another thread); then the handle is no longer in the table. Handles are never
    // reused, so it cannot have moved to another slot.
    const int slot = FindDeviceSlot(h);
    if (slot == kNoSlot) return;
    acquire(slot);
    if (FindDeviceSlot(h) != slot) release();
}

DeviceLock::DeviceLock(Slot slot) {
    if (ValidSlot(slot.number)) acquire(slot.number);
}

DeviceLock::DeviceLock(Slot slot, std::try_to_lock_t) {
    if (!ValidSlot(slot.number)) return;
    SlotConversation& c = Conversations()[slot.number];
    if (!c.mutex.try_lock()) return;
    if (c.depth++ == 0) c.gone = false;
    slot_ = slot.number;
}

void DeviceLock::release() {
    if (slot_ == kNoSlot) return;
    SlotConversation& c = Conversations()[slot_];
    --c.depth;
    slot_ = kNoSlot;
    c.mutex.unlock();
}

DeviceLock::~DeviceLock() { release(); }

int SlotLockWaiters(int slot) { return ValidSlot(slot) ? Conversations()[slot].waiters.load() : 0; }

bool SlotDeviceGone(int slot) { return ValidSlot(slot) && Conversations()[slot].gone; }

void MarkSlotDeviceGone(int slot) {
    if (ValidSlot(slot)) Conversations()[slot].gone = true;
}

}  // namespace qvlib
