#include "core/program_hooks.h"

namespace vcx {

void HookList::join(const void* owner, std::function<void()> f) {
    leave(owner);
    entries_.emplace_back(owner, std::move(f));
}

void HookList::leave(const void* owner) {
    std::erase_if(entries_, [owner](const auto& e) { return e.first == owner; });
}

void HookList::operator()() const {
    // A copy: a function may make a page join or leave.
    const auto entries = entries_;
    for (const auto& e : entries) e.second();
}

ProgramHooks& programHooks() {
    // Never destroyed: the library's threads may still look at it while the process ends.
    static auto* hooks = new ProgramHooks;
    return *hooks;
}

} // namespace vcx
