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

std::set<std::string> Matches(const std::string& text, const std::regex& decl) {
    std::set<std::string> names;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), decl); it != std::sregex_iterator(); ++it)
        names.insert((*it)[1]);
    return names;
}

std::string HeaderText() {
    std::ifstream f(std::string(QV_SOURCE_DIR) + "/include/QV_Standard.h");
    return std::string((std::istreambuf_iterator<char>(f)), {});
}

// The variables the public header declares with QV_API (as "QV_API extern T name;").
std::set<std::string> HeaderVariables() {
    return Matches(HeaderText(), std::regex(R"(QV_API\s+extern\s+[A-Za-z_][\w\s\*]*?\b([A-Za-z_]\w*)\s*;)"));
}

// The exports are the functions and variables the public header declares with QV_API.
std::set<std::string> HeaderExports() {
    std::set<std::string> names =
        Matches(HeaderText(), std::regex(R"(QV_API\s+[A-Za-z_][\w\s\*]*?\b([A-Za-z_]\w*)\s*\()"));
    const auto variables = HeaderVariables();
    names.insert(variables.begin(), variables.end());
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

TEST(Exports, TheDebugLevelIsAVariableTheSetterWrites) {
    ASSERT_EQ(HeaderVariables(), (std::set<std::string>{"g_DbgLevel"}));
    void* lib = dlopen(LibraryPath().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_NE(lib, nullptr) << dlerror();
    auto* level = static_cast<int*>(dlsym(lib, "g_DbgLevel"));
    auto setDebug = reinterpret_cast<int (*)(int)>(dlsym(lib, "QuorvaneN4_SetDebug"));
    ASSERT_NE(level, nullptr);
    ASSERT_NE(setDebug, nullptr);
    EXPECT_EQ(*level, 0);  // silent at load
    EXPECT_EQ(setDebug(3), 1);
    EXPECT_EQ(*level, 3);
    setDebug(0);
    EXPECT_EQ(*level, 0);
    dlclose(lib);
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
