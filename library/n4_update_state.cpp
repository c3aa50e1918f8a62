// The update state every part of the N4 update shares, and its banners.
#include "n4_update.h"

namespace qvlib::n4 {

UpdateShared& UpdateState() {
    static UpdateShared state;
    return state;
}

void LogBanner(std::initializer_list<const char*> lines) {
    // As wide as the banner lines themselves ("| ... |", 48 characters).
    static const char kStars[] = "************************************************\r\n";
    debug_log_msg(kDbgInfo, kStars);
    for (const char* line : lines) debug_log_msg(kDbgInfo, "%s\r\n", line);
    debug_log_msg(kDbgInfo, kStars);
}

}  // namespace qvlib::n4
