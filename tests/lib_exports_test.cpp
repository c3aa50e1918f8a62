// The shared library exports exactly its C interface, under the documented names.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

// The exports are the functions the public header declares with QV_API.
std::set<std::string> HeaderExports() {
    std::ifstream f(std::string(QV_SOURCE_DIR) + "/include/QV_Standard.h");
    std::string text((std::istreambuf_iterator<char>(f)), {});
    std::set<std::string> names;
    std::regex decl(R"(QV_API\s+[A-Za-z_][\w\s\*]*?\b([A-Za-z_]\w*)\s*\()");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), decl); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

std::string LibraryPath() { return std::string(QV_BINARY_DIR) + "/lib/libQV_Standard.so"; }

TEST(Exports, EveryExportResolvesAndTheAliasIsTheNarrowTwin) {
    void* lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(lib, nullptr) << dlerror();
    const auto names = HeaderExports();
    ASSERT_GE(names.size(), 20u);
    for (const auto& name : names) EXPECT_NE(dlsym(lib, name.c_str()), nullptr) << name;
    EXPECT_EQ(dlsym(lib, "OpenDevice"), dlsym(lib, "OpenDeviceA"));
    // Through the loaded library: an unknown handle is refused, the log switch works.
    using Close = int (*)(void*);
    auto close = reinterpret_cast<Close>(dlsym(lib, "CloseDevice"));
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close(reinterpret_cast<void*>(-1)), 1);
    dlclose(lib);  // stays mapped (RTLD_NODELETE): its process-lifetime state remains reachable
}

TEST(Exports, NothingButTheInterfaceIsVisible) {
    std::string cmd = "nm -D --defined-only " + LibraryPath();
    FILE* p = popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> text;
    char line[1024];
    while (fgets(line, sizeof line, p)) {
        std::istringstream in(line);
        std::string addr, type, name;
        in >> addr >> type >> name;
        // _init/_fini and compiler-runtime names (double underscore) are not ours.
        if (name == "_init" || name == "_fini" || name.rfind("__", 0) == 0) continue;
        text.insert(name);
    }
    ASSERT_EQ(pclose(p), 0);
    const std::set<std::string> expected = HeaderExports();
    std::vector<std::string> extra;
    std::set_difference(text.begin(), text.end(), expected.begin(), expected.end(), std::back_inserter(extra));
    EXPECT_TRUE(extra.empty()) << "unexpected exports, first: " << (extra.empty() ? "" : extra.front());
    for (const auto& name : expected) EXPECT_TRUE(text.count(name)) << name << " missing";
}

}  // namespace
