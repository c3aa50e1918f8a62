// Simulated controllers that the tests of several areas start from (the
// library's, and those over emulated devices, the programs' among them).
#pragma once

#include "qvsim.h"

namespace qvtest {

// A current controller: QV6020A, customer 5, version 2.7, build 3.4, no slaves.
inline qvsim::ControllerProfile CurrentMasterProfile() {
    qvsim::ControllerProfile p;
    p.identityNumber = 6020;
    p.letter = 1;
    p.major = 2;
    p.minor = 7;
    p.customer = 5;
    p.buildA = 3;
    p.buildB = 4;
    p.customerBytes = {1, 2, 3, 0};
    p.slaveCount = 1;  // the master alone
    return p;
}

}  // namespace qvtest
