// Package building against simulated controllers: the reasons, the package
// header and section headers, the slave's section, PARA with the controller's
// CRC, VKEY from its table, and every package read back by both rule sets.
#include "firmware_file_support.h"

#include "format/firmware_format.h"
#include "linked_library_support.h"
#include "params/package_builder.h"
#include "qvsim.h"
#include "sim_trace_support.h"
#include "core/strings.h"
#include "core/device_readout.h"
#include "core/device_text.h"
#include "ui/file_chooser.h"
#include "ui/string_table.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

using namespace fwfiletest;

class CombineTest : public FirmwareFileTest {
protected:
    std::shared_ptr<qvsim::Bench> bench;
    QString outDir;
    std::vector<qvui::FileChooserRequest> chooserRequests;
    std::unique_ptr<qvui::FileChooserResponder> chooser;

    void SetUp() override {
        FirmwareFileTest::SetUp();
        vcx::addProgramStrings();
        outDir = dir.filePath(QStringLiteral("out"));
        QDir().mkpath(outDir);
        chooser = std::make_unique<qvui::FileChooserResponder>([this](const qvui::FileChooserRequest& r) {
            chooserRequests.push_back(r);
            return outDir;
        });
        vcxtest::DetachLinkedLibrary();
        std::string error;
        bench = qvsim::loadProfile("demo", &error);
        ASSERT_TRUE(bench) << error;
        ctl().editProfile([](qvsim::ControllerProfile& p) {
            p.selectedSlaveAnswers = true;
            p.slaveSelectNeedsQuiet = true;
            p.slaves[0].icInfo = 0x10;
            p.slaves[0].buildA = 4;
            p.slaves[0].buildB = 2;
            p.icInfo = 0x30;
            p.featureFC = {0x10, 0x00, 0x00, 0x00};  // the CRC register
        });
    }
    void TearDown() override {
        if (c.dev.device != INVALID_HANDLE_VALUE) CloseDevice(c.dev.device);
        c.dev.device = INVALID_HANDLE_VALUE;
        vcxtest::DetachLinkedLibrary();
        FirmwareFileTest::TearDown();
    }

    qvsim::Controller& ctl() { return bench->hid("/sim/hidraw0")->controller(); }

    void noSlaves() {
        ctl().editProfile([](qvsim::ControllerProfile& p) {
            p.slaves.clear();
            p.slaveCount = 1;
        });
    }
    // A controller without build bytes (version 2.5).
    void noBuildBytes() {
        ctl().editProfile([](qvsim::ControllerProfile& p) {
            p.buildA = 0;
            p.buildB = 0;
        });
    }
    // n used keys (n + 1 entries read: the library counts used entries); -1 none.
    void keys(int used) {
        ctl().editProfile([used](qvsim::ControllerProfile& p) {
            p.vbuttons.clear();
            for (int e = 0; e < used; ++e) {
                std::array<uint8_t, 12> entry{};
                for (int k = 0; k < 12; ++k) entry[size_t(k)] = uint8_t(e * 16 + k + 1);
                p.vbuttons.push_back(entry);
            }
        });
        keysWanted = used >= 0;
    }
    bool keysWanted = false;

    // The controller's E0 00 FA as decided: mode 1, from its virtual-key CRC
    // (0xFFFF without keys), over the touch then the boot list.
    uint16_t decidedCrc(uint16_t start) {
        const auto& p = ctl().profile();
        const Bytes touch = p.paramBanks.at(0x80), boot = p.paramBanks.at(0x90);
        const uint32_t lengths[2] = {uint32_t(touch.size()), uint32_t(boot.size())};
        const uint8_t* const images[2] = {touch.data(), boot.data()};
        uint16_t crc = 0;
        CalculateParameterCRCEx(1, start, lengths, images, &crc);
        return crc;
    }

    // Opens the controller, does the program's read-out, and sets the
    // controller's CRC word and, with keys, the records that say it has them.
    void connect() { connectTo(true); }
    // fixedCrc: the controller's CRC word set as decided (else the simulator's
    // own), and the records that say it has virtual keys set by the test.
    void connectTo(bool fixedCrc) {
        vcxtest::AttachLinkedLibrary(bench);
        // The fixture's CRC slots stay bound.
        vcxtest::BindLinkedLibrary(c, {"SendCmd", "GetFWVersionW", "GetFWInformationW", "GetFeatureFlag",
                                       "GetDiagnosticInfo", "GetAPBTParaList", "GetParameterCRC", "EnablePCAPScan",
                                       "EnterDiagnosticMode"});
        ASSERT_EQ(EnumerateHidDevicesA([](const char*, const char*, uint32_t) { return 1; }), 1);
        HANDLE h = INVALID_HANDLE_VALUE;
        ASSERT_EQ(OpenDeviceA("/sim/hidraw0", &h), 1);
        c.dev.device = h;
        if (!fixedCrc) {
            ASSERT_TRUE(vcx::ReadDevice(c, vcx::programState(), false).complete);
            ASSERT_EQ(GetParameterCRC(h, &controllerCrc), 1);
            ctl().clearTrace();
            return;
        }
        if (keysWanted) {
            VButtonTable t{};
            ASSERT_EQ(VButtonRead(h, &t), 1);
            CalculateVirtualButtonCRC(&t);
            const uint16_t vcrc = t.crc;
            ctl().editProfile([vcrc](qvsim::ControllerProfile& p) { p.vbuttonCrc = vcrc; });
            controllerCrc = decidedCrc(vcrc);
        } else {
            controllerCrc = decidedCrc(0xFFFF);
        }
        ctl().setReg(0x00, 0xFA, {uint8_t(controllerCrc & 0xFF), uint8_t(controllerCrc >> 8), 0, 0});
        ASSERT_TRUE(vcx::ReadDevice(c, vcx::programState(), false).complete);
        c.records.vButton.valid = keysWanted ? 1 : 0;
        c.records.panel.dimension[0] = 344;
        c.records.panel.dimension[1] = 194;
        ctl().clearTrace();
    }
    uint16_t controllerCrc = 0;

    // The controller's own image: QV2081A 2.5, build 3.1.
    static Image Matching(uint8_t headerVersion = 19, bool build = true) {
        Image im;
        im.product = 2081;
        im.letter = 1;
        im.major = 2;
        im.minor = 5;
        im.customer = 0;
        im.headerVersion = headerVersion;
        if (headerVersion >= 16 && build) {
            im.build1 = 3;
            im.build2 = 1;
        }
        im.data = Bytes(200, 0);
        for (size_t i = 0; i < im.data.size(); ++i) im.data[i] = uint8_t(i * 13 + headerVersion);
        return im;
    }
    void loadFirmware(const Bytes& bytes, const QString& name = QStringLiteral("firmware.qvf")) {
        fw.szFirmwarePath = write(name, bytes);
        ASSERT_TRUE(vcx::OpenFirmwareFile(nullptr, c, fw, false, true));
    }

    QStringList written() { return QDir(outDir).entryList(QDir::Files | QDir::Hidden, QDir::Name); }
    Bytes readBytes(const QString& path) {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray b = f.readAll();
        return Bytes(b.begin(), b.end());
    }
    qvfmt::FileError readBack(const Bytes& b, qvfmt::Rules rules, qvfmt::FirmwareFile* f) {
        qvfmt::SpanSource src(b);
        return qvfmt::ReadFirmwareFile(src, rules, {}, vcx::ProgramParameterCrc(c), vcx::ProgramVirtualKeyCrc(c), f);
    }
    QString expectedName() {
        return QStringLiteral("QV") +
               vcx::GetProductNameString(c.records.fwInformation) +
               QString::asprintf("_x%04X", unsigned(controllerCrc));
    }
};

TEST_F(CombineTest, Version15SingleImage) {
    noSlaves();
    noBuildBytes();
    keys(-1);
    connect();
    const Image im = Matching(15);
    loadFirmware(fwtest::image(im));
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(r.written);
    EXPECT_TRUE(boxes.empty());
    ASSERT_EQ(chooserRequests.size(), 1u);
    EXPECT_EQ(chooserRequests[0].kind, qvui::FileChoice::Folder);
    EXPECT_EQ(chooserRequests[0].caption, QStringLiteral("Select PFP File Folder"));
    EXPECT_EQ(vcx::programState().toolPaths[vcx::kFUQVFFolder], outDir);
    EXPECT_EQ(r.path, outDir + u'/' + expectedName() + QStringLiteral(".pfp"));
    EXPECT_EQ(r.resultText, QStringLiteral(" Result : Combine firmware and parameters file finish."));
    EXPECT_EQ(written(), QStringList{QFileInfo(r.path).fileName()});

    const Bytes pkg = readBytes(r.path);
    ASSERT_GE(pkg.size(), 32u);
    EXPECT_EQ(std::string(pkg.begin(), pkg.begin() + 4), "PFPF");
    EXPECT_EQ(pkg[14], 19);
    EXPECT_EQ(pkg[18], 0);  // the controller's build bytes, none
    EXPECT_EQ(pkg[19], 0);
    EXPECT_EQ(pkg[15], fwtest::sum8(pkg.data(), 15));  // plain
    EXPECT_EQ(pkg[16], 0x02);
    EXPECT_EQ(pkg[20], 3);  // the controller's information byte
    for (qvfmt::Rules rules : {qvfmt::Rules::Program, qvfmt::Rules::Library}) {
        qvfmt::FirmwareFile f;
        ASSERT_EQ(readBack(pkg, rules, &f), qvfmt::FileError::None);
        EXPECT_EQ(f.data[0], im.data);
        EXPECT_TRUE(f.tail.para);
        EXPECT_FALSE(f.tail.vkey);
        EXPECT_EQ(f.tail.paraSection.crc, controllerCrc);
        EXPECT_EQ(f.tail.paraSection.flags, 3);  // the CRC variant, an xF6-class controller with feature 2 bit 7
        const ParameterList& lists = c.records.paraList;
        EXPECT_EQ(f.tail.paraSection.touch, Bytes(lists.touchList, lists.touchList + lists.touchLength));
        EXPECT_EQ(f.tail.paraSection.boot, Bytes(lists.bootList, lists.bootList + lists.bootLength));
    }
    // The program loads its package.
    fw.szFirmwarePath = r.path;
    EXPECT_TRUE(vcx::OpenFirmwareFile(nullptr, c, fw, false, false));

    // Twice into the same folder: "(1)".
    loadFirmware(fwtest::image(im));
    const vcx::CombineResult again = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(again.written);
    EXPECT_EQ(again.path, outDir + u'/' + expectedName() + QStringLiteral("(1).pfp"));
    EXPECT_EQ(written().size(), 2);
}

TEST_F(CombineTest, VirtualKeysGiveVkeyAndBit3) {
    noSlaves();
    keys(3);
    connect();
    loadFirmware(fwtest::image(Matching()));
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(r.written);
    const Bytes pkg = readBytes(r.path);
    EXPECT_EQ(pkg[16], 0x0A);  // package, virtual keys
    for (qvfmt::Rules rules : {qvfmt::Rules::Program, qvfmt::Rules::Library}) {
        qvfmt::FirmwareFile f;
        ASSERT_EQ(readBack(pkg, rules, &f), qvfmt::FileError::None);
        ASSERT_TRUE(f.tail.vkey);
        EXPECT_EQ(f.tail.vkeySection.table.usedCount, 3);
        EXPECT_EQ(f.tail.vkeySection.table.entrySize, 12);
        EXPECT_EQ(f.tail.vkeySection.storedCrc, ctl().profile().vbuttonCrc);
        EXPECT_EQ(f.tail.paraSection.crc, controllerCrc);
        for (int e = 0; e < 3; ++e)
            EXPECT_TRUE(std::equal(ctl().profile().vbuttons[size_t(e)].begin(), ctl().profile().vbuttons[size_t(e)].end(),
                                   f.tail.vkeySection.table.entry[e]))
                << e;
    }
    fw.szFirmwarePath = r.path;
    ASSERT_TRUE(vcx::OpenFirmwareFile(nullptr, c, fw, false, false));
    EXPECT_EQ(fw.PfpVKey.usedCount, 3);
    EXPECT_EQ(fw.PfpPara.crc, controllerCrc);
}

TEST_F(CombineTest, SixteenKeysAreRefusedAndNothingIsWritten) {
    noSlaves();
    keys(16);
    connect();
    loadFirmware(fwtest::image(Matching()));
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    EXPECT_FALSE(r.written);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("17 entries")));
    EXPECT_TRUE(written().isEmpty());
    // Fifteen fit.
    keys(15);
    boxes.clear();
    c.records.vButton.valid = 1;
    VButtonTable t{};
    ASSERT_EQ(VButtonRead(c.dev.device, &t), 1);
    CalculateVirtualButtonCRC(&t);
    const uint16_t vcrc = t.crc;
    ctl().editProfile([vcrc](qvsim::ControllerProfile& p) { p.vbuttonCrc = vcrc; });
    controllerCrc = decidedCrc(vcrc);
    ctl().setReg(0x00, 0xFA, {uint8_t(controllerCrc & 0xFF), uint8_t(controllerCrc >> 8), 0, 0});
    const vcx::CombineResult ok = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(ok.written) << (boxes.empty() ? QString() : boxes[0].text).toStdString();
    qvfmt::FirmwareFile f;
    ASSERT_EQ(readBack(readBytes(ok.path), qvfmt::Rules::Library, &f), qvfmt::FileError::None);
    EXPECT_EQ(f.tail.vkeySection.table.usedCount, 15);
}

TEST_F(CombineTest, ParaCrcKeepsTouchByte61AndBootByte0) {
    noSlaves();
    keys(-1);
    ctl().editProfile([](qvsim::ControllerProfile& p) {
        p.paramBanks[0x80][61] = 0x5C;
        p.paramBanks[0x90][0] = 0x80;
    });
    connect();
    loadFirmware(fwtest::image(Matching()));
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(r.written);
    qvfmt::FirmwareFile f;
    ASSERT_EQ(readBack(readBytes(r.path), qvfmt::Rules::Program, &f), qvfmt::FileError::None);
    EXPECT_EQ(f.tail.paraSection.touch[61], 0x5C);
    EXPECT_EQ(f.tail.paraSection.boot[0], 0x80);
    EXPECT_EQ(f.tail.paraSection.crc, controllerCrc);
    // Independently: mode 1 from 0xFFFF over the lists as they are.
    EXPECT_EQ(controllerCrc, fwtest::parameterCrc(1, 0xFFFF, ctl().profile().paramBanks.at(0x80),
                                                  ctl().profile().paramBanks.at(0x90)));
}

TEST_F(CombineTest, ConfigurationFileTakesTheSlavesInformation) {
    keys(-1);
    ctl().editProfile([](qvsim::ControllerProfile& p) { p.slaves.resize(1); p.slaveCount = 2; });
    connect();
    Image main = Matching();      // the master's image, stored first
    Image config = Matching(15);  // the slave's, older header
    config.data = Bytes(80, 0x44);
    Bytes file = fwtest::image(main);
    fwtest::append(file, fwtest::image(config));
    loadFirmware(file, QStringLiteral("firmware.qvc"));
    ASSERT_EQ(fw.FirmwareFileKind, 0x01);
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(r.written) << (boxes.empty() ? QString() : boxes[0].text).toStdString();
    const Bytes pkg = readBytes(r.path);
    EXPECT_EQ(std::string(pkg.begin(), pkg.begin() + 4), "PFPC");
    for (qvfmt::Rules rules : {qvfmt::Rules::Program, qvfmt::Rules::Library}) {
        qvfmt::FirmwareFile f;
        ASSERT_EQ(readBack(pkg, rules, &f), qvfmt::FileError::None);
        ASSERT_EQ(f.sections.size(), 2u);
        // The package header is the master image's; the slave's section header has
        // the slave's build bytes (its image had none) and information byte.
        EXPECT_EQ(f.sections[0].header[18], 3);
        EXPECT_EQ(f.sections[0].header[20], 3);
        const auto& slave = f.sections[1].header;
        EXPECT_EQ(slave[14], 19);
        EXPECT_EQ(slave[18], 4);
        EXPECT_EQ(slave[19], 2);
        EXPECT_EQ(slave[20], 1);
        EXPECT_EQ(slave[16], pkg[16]);
        EXPECT_EQ(f.data[1], main.data);
        EXPECT_EQ(f.data[0], config.data);
    }
    // Diagnostic mode around the selection (scan generation 33), back to the master after.
    const auto sent = qvtest::Hex(qvtest::Received(ctl()));
    auto at = [&](const char* cmd) { return std::find(sent.begin(), sent.end(), cmd) - sent.begin(); };
    EXPECT_LT(at("F9 FF 90 00 01"), at("F4 00 00 00 01"));
    EXPECT_LT(at("F4 00 00 00 01"), at("F4 00 AA 00 00"));
    EXPECT_LT(at("F4 00 AA 00 00"), at("F9 FF 90 00 00"));
    EXPECT_LT(at("F9 FF 90 00 00"), long(sent.size()));
}

TEST_F(CombineTest, ASlaveThatCannotBeSelectedAbortsAndRestoresTheMode) {
    keys(-1);
    ctl().editProfile([](qvsim::ControllerProfile& p) { p.slaves.resize(1); p.slaveCount = 2; });
    connect();
    Bytes file = fwtest::image(Matching());
    fwtest::append(file, fwtest::image(Matching(15)));
    loadFirmware(file, QStringLiteral("firmware.qvc"));
    const qvsim::Packet select{0xF4, 0x00, 0x00, 0x00, 0x01};
    // Nine refusals: the tenth try selects.
    ctl().refuse(qvsim::PacketPrefix::exact(select), 9);
    EXPECT_TRUE(vcx::CombineFirmwareAndParameters(nullptr, c, fw).written);
    auto tries = [&] {
        const auto all = qvtest::Received(ctl());
        return std::count(all.begin(), all.end(), select);
    };
    EXPECT_EQ(tries(), 10);
    // Ten refusals: nothing is written, diagnostic mode is left again.
    ctl().clearTrace();
    const QStringList before = written();
    ctl().refuse(qvsim::PacketPrefix::exact(select), 10);
    boxes.clear();
    EXPECT_FALSE(vcx::CombineFirmwareAndParameters(nullptr, c, fw).written);
    EXPECT_EQ(tries(), 10);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(written(), before);
    const auto sent = qvtest::Hex(qvtest::Received(ctl()));
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "F9 FF 90 00 00");
}

TEST_F(CombineTest, SecondImageWithAShortHeader) {
    noSlaves();
    noBuildBytes();
    keys(-1);
    connect();
    // Without a configuration image the second image (entry 0) is the one the
    // controller is compared with.
    Image second = Matching(15);
    second.magic = "PNFF";
    second.data = Bytes(64, 0xAB);
    Bytes file = fwtest::image(Matching(19, false));
    fwtest::append(file, fwtest::image(second));
    loadFirmware(file, QStringLiteral("firmware.pxf"));
    ASSERT_EQ(fw.FirmwareFileKind, 0x50);
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(r.written);
    const Bytes pkg = readBytes(r.path);
    EXPECT_EQ(std::string(pkg.begin(), pkg.begin() + 4), "PXPF");
    for (qvfmt::Rules rules : {qvfmt::Rules::Program, qvfmt::Rules::Library}) {
        qvfmt::FirmwareFile f;
        ASSERT_EQ(readBack(pkg, rules, &f), qvfmt::FileError::None);
        EXPECT_EQ(f.data[0], second.data);
        EXPECT_EQ(f.sections[1].header[14], 19);
        EXPECT_EQ(f.sections[1].header[15], fwtest::sum8(f.sections[1].header.data(), 15));
    }
}

TEST_F(CombineTest, ReasonsShowTheirMessageAndWriteNothing) {
    keys(-1);
    connect();  // two slaves, build 3.1
    struct Case {
        const char* name;
        std::function<Bytes()> file;
        std::function<void()> controller;
        int reason;
        const char* text;
        const char* title;
    };
    // The first image of a file with a configuration image is the master's.
    auto two = [](Image a) {
        Bytes f = fwtest::image(a);
        fwtest::append(f, fwtest::image(Matching(15)));
        return f;
    };
    const Case cases[] = {
        {"single image, slaves", [] { return fwtest::image(Matching()); }, [] {}, 1,
         "Please select .qvc or .pnc or pxc file.", "Please select .qvc or .pnc or pxc file."},
        {"configuration file, no slaves", [&] { return two(Matching()); },
         [&] { c.records.fwVersion.slaveCount = 0; }, 0, "Please select .qvf or .pnf or pxf file.",
         "Please select .qvf or .pnf or pxf file."},
        {"slave in boot", [&] { return two(Matching()); }, [&] { c.records.fwVersion.slaveInBoot[1] = 1; }, 2,
         "Slave in Boot Mode.", "Slave in Boot Mode."},
        {"other minor", [&] {
             Image im = Matching();
             im.minor = 6;
             return two(im);
         }, [] {}, 3, "Version not match.", "Firmware version and qvf version compare failed."},
        {"other build", [&] {
             Image im = Matching();
             im.build2 = 2;
             return two(im);
         }, [] {}, 3, "Version not match.", "Firmware version and qvf version compare failed."},
        {"older header, controller with build bytes", [&] { return two(Matching(15)); }, [] {}, 4,
         "Version not match.", "develop version != 0."},
    };
    const FirmwareVersionInfoW saved = c.records.fwVersion;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        c.records.fwVersion = saved;
        loadFirmware(k.file());
        k.controller();
        EXPECT_EQ(vcx::CheckPackageCombinable(c, fw), k.reason);
        boxes.clear();
        chooserRequests.clear();
        EXPECT_FALSE(vcx::CombineFirmwareAndParameters(nullptr, c, fw).written);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, QLatin1String(k.text));
        EXPECT_EQ(boxes[0].caption, QLatin1String(k.title));
        EXPECT_EQ(boxes[0].icon, qvui::MessageIcon::Error);
        EXPECT_TRUE(chooserRequests.empty());
        EXPECT_TRUE(written().isEmpty());
    }
    // Matching: -1.
    c.records.fwVersion = saved;
    loadFirmware(two(Matching()));
    EXPECT_EQ(vcx::CheckPackageCombinable(c, fw), -1);
}

TEST_F(CombineTest, AFileChangedOrGoneSinceItsLoadWritesNothing) {
    noSlaves();
    keys(-1);
    connect();
    loadFirmware(fwtest::image(Matching()));
    Image changed = Matching();
    changed.data[0] ^= 1;
    write(QStringLiteral("firmware.qvf"), fwtest::image(changed));
    EXPECT_FALSE(vcx::CombineFirmwareAndParameters(nullptr, c, fw).written);
    EXPECT_EQ(boxes.size(), 1u);
    QFile::remove(fw.szFirmwarePath);
    EXPECT_FALSE(vcx::CombineFirmwareAndParameters(nullptr, c, fw).written);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(written().isEmpty());
    // Cancelling the folder: nothing, no message.
    chooser.reset();
    qvui::FileChooserResponder cancel([](const qvui::FileChooserRequest&) { return QString(); });
    EXPECT_FALSE(vcx::CombineFirmwareAndParameters(nullptr, c, fw).written);
    EXPECT_EQ(boxes.size(), 2u);
}

}  // namespace

namespace {

TEST_F(CombineTest, OlderScanGenerationStopsScanningAroundTheSlave) {
    keys(-1);
    ctl().editProfile([](qvsim::ControllerProfile& p) {
        p.slaves.resize(1);
        p.slaveCount = 2;
        (*p.capability)[3] = 28;
    });
    connect();
    ASSERT_EQ(c.records.diagInfo.capability[3], 28);
    Bytes file = fwtest::image(Matching());
    fwtest::append(file, fwtest::image(Matching(15)));
    loadFirmware(file, QStringLiteral("firmware.qvc"));
    ASSERT_TRUE(vcx::CombineFirmwareAndParameters(nullptr, c, fw).written);
    const auto sent = qvtest::Hex(qvtest::Received(ctl()));
    auto at = [&](const char* cmd) { return std::find(sent.begin(), sent.end(), cmd) - sent.begin(); };
    EXPECT_LT(at("F0 00 00 00 00"), at("F4 00 00 00 01"));
    EXPECT_EQ(at("F9 FF 90 00 01"), long(sent.size()));  // no diagnostic mode
    EXPECT_TRUE(ctl().profile().stateF0[3] & 0x01);      // scanning again
}

}  // namespace

namespace {

// The full controller as the simulator describes it (two virtual buttons, its
// own CRC word), read out the way the program reads it.
TEST_F(CombineTest, FullControllerWithVirtualKeysLoadsBackUnderBothRuleSets) {
    std::string error;
    bench = qvsim::loadProfile("full", &error);
    ASSERT_TRUE(bench) << error;
    connectTo(false);
    ASSERT_GT(c.dev.paraVersion, 138);
    VButtonTable table{};
    ASSERT_TRUE(vcx::HasVirtualKeyData(c, &table));
    Image im = Matching();
    im.customer = 3;
    loadFirmware(fwtest::image(im));
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(r.written) << (boxes.empty() ? QString() : boxes[0].text).toStdString();
    EXPECT_TRUE(QFileInfo(r.path).fileName().endsWith(QString::asprintf("_x%04X.pfp", unsigned(controllerCrc))));
    const Bytes pkg = readBytes(r.path);
    EXPECT_TRUE(pkg[16] & 0x08);
    for (qvfmt::Rules rules : {qvfmt::Rules::Program, qvfmt::Rules::Library}) {
        qvfmt::FirmwareFile f;
        ASSERT_EQ(readBack(pkg, rules, &f), qvfmt::FileError::None);
        EXPECT_TRUE(f.tail.para);
        EXPECT_TRUE(f.tail.vkey);
        EXPECT_EQ(f.tail.paraSection.crc, controllerCrc);
        EXPECT_EQ(f.tail.vkeySection.table.usedCount, table.usedCount);
    }
}

}  // namespace

namespace {

// Parameter version 1.38 or older: the image's own bit 3 stays as it was.
TEST_F(CombineTest, KeysOnAnOlderParameterVersionKeepTheImagesBit) {
    noSlaves();
    keys(3);
    connect();
    VButtonTable table{};
    bool keysSet = true;
    for (uint16_t flags : {uint16_t(0x00), uint16_t(0x08)}) {
        Image im = Matching();
        im.flags = flags;
        const Bytes h = fwtest::header(im);
        const auto pkg = vcx::WritePackageHeader(c, h.data(), fw.FirmwareFileKind, 138, &table, &keysSet);
        EXPECT_EQ(keysSet, flags != 0);
        EXPECT_EQ(pkg[16], uint8_t(flags | 0x02));
        EXPECT_EQ(table.usedCount, 3);
        // Above 1.38 it is set; without keys it is cleared.
        EXPECT_TRUE(qvfmt::HasVirtualKeyFlag(vcx::WritePackageHeader(c, h.data(), fw.FirmwareFileKind, 139, &table, &keysSet).data()));
        c.records.vButton.valid = 0;
        const auto none = vcx::WritePackageHeader(c, h.data(), fw.FirmwareFileKind, 139, &table, &keysSet);
        EXPECT_FALSE(keysSet);
        EXPECT_EQ(none[16], 0x02);
        c.records.vButton.valid = 1;
    }
}

}  // namespace

namespace {

// Four sections in the order 1, 3, 0, 2: the second and fourth get section
// headers, the third the slave's; the older entries 0 and 2 keep one version.
TEST_F(CombineTest, FourSectionFile) {
    keys(-1);
    ctl().editProfile([](qvsim::ControllerProfile& p) { p.slaves.resize(1); p.slaveCount = 2; });
    connect();
    Image e1 = Matching();
    Image e3 = Matching();
    e3.magic = "PNFF";
    e3.data = Bytes(40, 0x33);
    Image e0 = Matching(15);
    e0.minor = 7;
    e0.data = Bytes(24, 0x00);
    Image e2 = e0;
    e2.data = Bytes(24, 0x22);
    Bytes file;
    for (const Image& im : {e1, e3, e0, e2}) fwtest::append(file, fwtest::image(im));
    loadFirmware(file, QStringLiteral("firmware.pxc"));
    ASSERT_EQ(fw.FirmwareFileKind, 0xD1);
    const vcx::CombineResult r = vcx::CombineFirmwareAndParameters(nullptr, c, fw);
    ASSERT_TRUE(r.written) << (boxes.empty() ? QString() : boxes[0].text).toStdString();
    const Bytes pkg = readBytes(r.path);
    EXPECT_EQ(std::string(pkg.begin(), pkg.begin() + 4), "PXPC");
    for (qvfmt::Rules rules : {qvfmt::Rules::Program, qvfmt::Rules::Library}) {
        qvfmt::FirmwareFile f;
        ASSERT_EQ(readBack(pkg, rules, &f), qvfmt::FileError::None);
        ASSERT_EQ(f.sections.size(), 4u);
        EXPECT_EQ(f.sections[1].header[20], 3);  // the controller's
        EXPECT_EQ(f.sections[2].header[20], 1);  // the slave's
        EXPECT_EQ(f.sections[2].header[18], 4);
        EXPECT_EQ(f.sections[3].header[20], 3);
        // An older header takes its pair's (the slave's) build bytes, so entries 0
        // and 2 keep one version text.
        EXPECT_EQ(f.sections[3].header[18], 4);
        EXPECT_EQ(f.sections[1].header[18], 3);
        EXPECT_EQ(f.data[3], e3.data);
        EXPECT_EQ(f.data[2], e2.data);
        EXPECT_EQ(f.data[0], e0.data);
    }
    const auto all = qvtest::Received(ctl());
    EXPECT_EQ(std::count(all.begin(), all.end(), qvsim::Packet{0xF4, 0x00, 0x00, 0x00, 0x01}), 1);
}

}  // namespace
