// The simulator's profiles as the library finds them: every example profile of
// the README files and every built-in profile puts controllers on a bench that the
// library's enumeration finds, all of them; and the demo controllers answer every
// read-out a configuration program shows about a connected controller.
//
// An example profile in a README is a fenced block whose info string is
// "ini profile" (a code host highlights it as INI):
//
//   ```ini profile
//   [controller]
//   ...
//   ```
#include "library_support.h"

#include <algorithm>
#include <optional>
#include <set>
#include <sstream>

using namespace qvtest;

namespace {

struct Example {
    std::string source;  // "<file>:<line of the opening fence>"
    std::string text;
};

std::vector<std::string> Words(const std::string& s) {
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// The fenced blocks of a Markdown text marked "ini profile". A block that holds a
// [controller] or [port] section without the mark goes to *unmarked, so an example
// that would escape the test is reported instead.
std::vector<Example> ProfileBlocks(const std::string& markdown, const std::string& file,
                                   std::vector<std::string>* unmarked) {
    std::vector<Example> out;
    std::istringstream in(markdown);
    std::string line, fence, body;
    bool marked = false, section = false;
    int lineNo = 0, openedAt = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        const size_t indent = line.find_first_not_of(' ');
        const std::string rest = indent == std::string::npos || indent > 3 ? std::string() : line.substr(indent);
        if (fence.empty()) {
            if (rest.rfind("```", 0) != 0 && rest.rfind("~~~", 0) != 0) continue;
            fence = rest.substr(0, rest.find_first_not_of(rest[0]));
            const auto info = Words(rest.substr(fence.size()));
            marked = info.size() == 2 && info[0] == "ini" && info[1] == "profile";
            section = false;
            body.clear();
            openedAt = lineNo;
            continue;
        }
        const auto words = Words(rest);
        if (words.size() == 1 && words[0].rfind(fence, 0) == 0 &&
            words[0].find_first_not_of(fence[0]) == std::string::npos) {
            const std::string source = file + ":" + std::to_string(openedAt);
            if (marked) out.push_back({source, body});
            else if (section) unmarked->push_back(source);
            fence.clear();
            continue;
        }
        body += line + "\n";
        const auto trimmed = Words(line);
        if (trimmed.size() == 1 && (trimmed[0] == "[controller]" || trimmed[0] == "[port]")) section = true;
    }
    EXPECT_TRUE(fence.empty()) << file << ":" << openedAt << ": fence never closed";
    return out;
}

std::vector<std::string> g_found;
int OnHid(const char* path, const char*, const char*) { g_found.push_back(std::string("hid ") + path); return 1; }
int OnDriver(const char* path, const char*, const char*) { g_found.push_back(std::string("driver ") + path); return 1; }
int OnSerial(const char* path, const char*, uint32_t) { g_found.push_back(std::string("serial ") + path); return 1; }

// The controllers a bench holds, as "link path" (empty serial ports hold none).
std::set<std::string> Declared(qvsim::Bench& b) {
    std::set<std::string> out;
    for (auto* d : b.hidDevices()) out.insert("hid " + d->info().path);
    for (auto* d : b.driverDevices()) out.insert("driver " + d->info().path);
    for (auto* d : b.serialDevices())
        if (!d->info().empty) out.insert("serial " + d->info().path);
    return out;
}

class SimProfiles : public LibTest {
protected:
    // Makes the bench the library's backend, as loading the library with QV_SIM does.
    void use(std::shared_ptr<qvsim::Bench> b) {
        qvlib::LibraryDetach();
        bench = std::move(b);
        qvp::useSim(bench);
        qvlib::LibraryAttach(false);
    }
    void useProfile(const std::string& name) {
        std::string error;
        auto b = qvsim::loadProfile(name, &error);
        ASSERT_TRUE(b) << error;
        use(b);
    }

    // Every controller the enumerations report: HID, driver kinds 0..4, serial
    // ports (the current and Ostra series, and the Melk series).
    std::set<std::string> Found() {
        g_found.clear();
        EnumerateHidDevicesExA(OnHid);
        EnumerateQVDevicesExA(OnDriver, 0x1F);
        EnumerateRSDevicesA(OnSerial);
        EnumerateMelkDevicesA(OnSerial);
        std::set<std::string> out(g_found.begin(), g_found.end());
        EXPECT_EQ(out.size(), g_found.size()) << "a controller was reported twice";
        return out;
    }

    void expectEveryControllerFound(const std::shared_ptr<qvsim::Bench>& b) {
        const std::set<std::string> declared = Declared(*b);
        EXPECT_FALSE(declared.empty()) << "the profile gives no controller";
        use(b);
        EXPECT_EQ(Found(), declared);
    }

    // 1 when the controller's E0 00 FA word equals the mode-1 CRC of the lists from
    // `start` (the virtual-key CRC the controller reports, unless given).
    static int keptCrcMatchesLists(HANDLE h, const ParameterList& lists, std::optional<uint16_t> start = {}) {
        uint16_t seed = 0xFFFF;
        if (start) seed = *start;
        else if (!VButtonGetCRC(h, &seed)) return -1;
        const uint32_t lengths[2] = {lists.touchLength, lists.bootLength};
        const uint8_t* const images[2] = {lists.touchList, lists.bootList};
        uint16_t computed = 0, kept = 0;
        if (!CalculateParameterCRCEx(1, seed, lengths, images, &computed) || !GetParameterCRC(h, &kept)) return -1;
        return kept == computed ? 1 : 0;
    }
    HANDLE openFirstHid() {
        HANDLE h = INVALID_HANDLE_VALUE;
        char16_t name[20] = {};
        EXPECT_EQ(FindHidDeviceW(&h, name), 1);
        return h;
    }
};

TEST_F(SimProfiles, EveryReadmeExampleGivesTheControllersItDeclares) {
    std::vector<Example> examples;
    std::vector<std::string> unmarked;
    for (const char* file : {"sim/README.md", "README.md"}) {
        const std::string path = std::string(QV_SOURCE_DIR) + "/" + file;
        const bool simReadme = std::string(file) == "sim/README.md";
        const std::string text = ReadFile(path);
        if (simReadme) {
            ASSERT_FALSE(text.empty()) << path;
        }
        auto found = ProfileBlocks(text, file, &unmarked);
        if (simReadme) {
            EXPECT_FALSE(found.empty()) << "no ```ini profile block in " << path;
        }
        examples.insert(examples.end(), found.begin(), found.end());
    }
    EXPECT_TRUE(unmarked.empty()) << "profile examples without the 'ini profile' mark: "
                                  << ::testing::PrintToString(unmarked);
    for (const Example& e : examples) {
        SCOPED_TRACE(e.source);
        std::string error;
        auto b = qvsim::parseProfileText(e.text, e.source, &error);
        ASSERT_TRUE(b) << error;
        expectEveryControllerFound(b);
    }
}

TEST_F(SimProfiles, ReadmeBlocksAreFoundByTheirMark) {
    std::vector<std::string> unmarked;
    const std::string md =
        "text\n"
        "```ini profile\n[controller]\nlink = hid\n```\n"
        "```sh\nqvsim check demo\n```\n"
        "```ini\n[port]\npath = /sim/ttyS2\n```\n"
        "  ````ini profile\n[port]\n```\npath = /x\n````\n"
        "```ini profiles\n[bench]\n```\n";
    const auto blocks = ProfileBlocks(md, "t.md", &unmarked);
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_EQ(blocks[0].source, "t.md:2");
    EXPECT_EQ(blocks[0].text, "[controller]\nlink = hid\n");
    EXPECT_EQ(blocks[1].source, "t.md:13");
    EXPECT_EQ(blocks[1].text, "[port]\n```\npath = /x\n");  // a shorter fence does not close it
    EXPECT_EQ(unmarked, (std::vector<std::string>{"t.md:9"}));
}

TEST_F(SimProfiles, EveryBuiltinControllerIsFound) {
    for (const std::string& name : qvsim::builtinProfileNames()) {
        SCOPED_TRACE(name);
        std::string error;
        auto b = qvsim::loadProfile(name, &error);
        ASSERT_TRUE(b) << error;
        expectEveryControllerFound(b);
    }
}

TEST_F(SimProfiles, DemoAnswersEveryReadOutOfACurrentModel) {
    useProfile("demo");
    HANDLE h = openFirstHid();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);

    FirmwareVersionInfoW v{};
    ASSERT_EQ(GetFWVersionW(h, &v), 1);
    EXPECT_EQ(v.masterInBoot, 0);
    EXPECT_EQ(qvlib::WideToUtf8(v.master), "QV2081A.2.5.3.1   Boot : 1.2 A");
    ASSERT_EQ(v.slaveCount, 2);
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(qvlib::WideToUtf8(v.slave[k]), "QV2081AS.2.5.3.1   Boot : 1.2 A") << k;
        EXPECT_EQ(v.slaveInBoot[k], 0) << k;
    }

    FirmwareInformationW info{};
    info.size = sizeof info;
    ASSERT_EQ(GetFWInformationW(h, &info), 1);
    // A configuration program takes 6000..6999 outside 6600..6699 for an Ostra model.
    EXPECT_EQ(info.productNumber, 2081);
    EXPECT_EQ(info.productLetter, 1);
    EXPECT_EQ(info.interfaceBits, 0);  // USB
    EXPECT_EQ(qvlib::WideToUtf8(info.panelSize), "G156HAN  15.6\" (W)");
    EXPECT_EQ(qvlib::WideToUtf8(info.coverLens), "1.1 mm Glass");

    uint8_t features[8] = {};
    ASSERT_EQ(GetFeatureFlag(h, features), 1);
    EXPECT_TRUE(features[0] & 0x02);  // the newer firmware
    DiagnosticInfo diag{};
    diag.cbSize = sizeof diag;
    ASSERT_EQ(GetDiagnosticInfo(h, &diag), 1);
    EXPECT_EQ(diag.rows, 16);
    EXPECT_EQ(diag.columns, 28);

    // The CRC the controller keeps is the one over the lists it gives, in mode 1
    // from its virtual-key CRC.
    ParameterList lists{};
    ASSERT_EQ(GetParameterList(h, &lists), 1);
    EXPECT_EQ(lists.touchLength, 128);
    EXPECT_EQ(lists.bootLength, 64);
    EXPECT_EQ(lists.slaveLength, 32);
    EXPECT_NE(lists.slaveList[1], nullptr);
    EXPECT_EQ(keptCrcMatchesLists(h, lists), 1);
    EXPECT_NE(std::count(lists.touchList, lists.touchList + lists.touchLength, 0), lists.touchLength);
}

TEST_F(SimProfiles, FullKeepsCrcsTheLibraryComputesTheSame) {
    for (const char* name : {"full", "full125"}) {
        SCOPED_TRACE(name);
        useProfile(name);
        HANDLE h = openFirstHid();
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        // The virtual-key CRC the controller reports is the one of the table it gives.
        VButtonTable table{};
        ASSERT_EQ(VButtonRead(h, &table), 1);
        EXPECT_EQ(table.usedCount, 2);
        const uint16_t reported = table.crc;
        ASSERT_EQ(CalculateVirtualButtonCRC(&table), 1);
        EXPECT_EQ(table.crc, reported);
        ParameterList lists{};
        ASSERT_EQ(GetAPBTParaList(h, &lists), 1);
        EXPECT_EQ(keptCrcMatchesLists(h, lists, std::string(name) == "full" ? reported : uint16_t(0xFFFF)), 1);
        ParameterGeneralInfo general{};
        general.cbSize = sizeof general;
        ASSERT_EQ(GetParameterGeneralInfo(h, &general), 1);
        EXPECT_EQ(general.groupMask, 0xFFFE);  // groups 1..15
        CloseDevice(h);
    }
}

TEST_F(SimProfiles, DemoBootWaitsInItsBootLoader) {
    useProfile("demo-boot");
    HANDLE h = openFirstHid();
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    FirmwareVersionInfoW v{};
    ASSERT_EQ(GetFWVersionW(h, &v), 1);
    EXPECT_EQ(v.masterInBoot, 1);
    EXPECT_EQ(qvlib::WideToUtf8(v.master), "QV2081A.2.5 (Boot)");
    FirmwareInformationW info{};
    info.size = sizeof info;
    ASSERT_EQ(GetFWInformationW(h, &info), 1);
    EXPECT_EQ(info.productNumber, 2081);
}

TEST_F(SimProfiles, TwoControllersListTheCurrentModelFirst) {
    useProfile("two-controllers");
    g_found.clear();
    ASSERT_EQ(EnumerateHidDevicesExA(OnHid), 1);
    ASSERT_EQ(g_found, (std::vector<std::string>{"hid /sim/hidraw0", "hid /sim/hidraw1"}));
    uint8_t series[2] = {0xFF, 0xFF};
    for (int i = 0; i < 2; ++i) {
        HANDLE h = INVALID_HANDLE_VALUE;
        ASSERT_EQ(OpenDeviceA(("/sim/hidraw" + std::to_string(i)).c_str(), &h), 1);
        ASSERT_EQ(GetQVOstraMelk(h, &series[i]), 1);
    }
    EXPECT_EQ(series[0], QV_SERIES_CURRENT);
    EXPECT_EQ(series[1], QV_SERIES_OSTRA);
}

}  // namespace
