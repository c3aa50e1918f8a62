// The linked library's unload and load steps for the programs' tests, which
// include its public header only: the one place they reach its internals.
#include "linked_library_support.h"

#include "internal.h"
#include "platform/sim.h"

namespace vcxtest {

void DetachLinkedLibrary() { qvlib::LibraryDetach(); }

void AttachLinkedLibrary(std::shared_ptr<qvsim::Bench> bench) {
    qvp::useSim(std::move(bench));
    qvlib::LibraryAttach(false);
}

}  // namespace vcxtest
