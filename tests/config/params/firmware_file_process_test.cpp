// The process-list INI: its values and their limits, the package found by
// identity or by name, and the save with the package copied beside it.
#include "firmware_file_support.h"

#include "params/process_config.h"
#include "ui/file_chooser.h"
#include "text/ini_file.h"

namespace {

using namespace fwfiletest;

QByteArray Ini(const QString& list, const QString& odm = {}, const QString& name = QStringLiteral("pkg.pfp")) {
    return QStringLiteral("[Process List Config]\r\nWork Order Number=WO-1\r\nCompany=Acme\r\nPFP file name=%1\r\n"
                          "Report folder path=/tmp/r\r\nProcess List=%2\r\nProcess List Flag=4\r\n%3")
        .arg(name, list, odm)
        .toUtf8();
}

int Parse(const QByteArray& text, vcx::ProcessListConfig* r) { return vcx::ParseProcessConfig(qvui::IniFile(text), r); }

TEST(ProcessConfig, ProcessListDigits) {
    const struct {
        const char* list;
        int result;
        std::vector<uint8_t> digits;
    } rows[] = {
        {"123", 0, {3, 2, 1}},
        {"5", 0, {5}},
        {"1203", 2, {}},
        {"10", 2, {}},
        {"0", 2, {}},
        {"-5", 2, {}},
        {"", 2, {}},
        {"9876543219", 0, {9, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        {"19876543219", 2, {}},
        {"4294967297", 0, {7, 9, 2, 7, 6, 9, 4, 9, 2, 4}},  // past 32 bits, read whole
    };
    for (const auto& r : rows) {
        vcx::ProcessListConfig c;
        EXPECT_EQ(Parse(Ini(QLatin1String(r.list)), &c), r.result) << r.list;
        if (r.result) continue;
        std::vector<uint8_t> got;
        for (uint8_t d : c.processList)
            if (d) got.push_back(d);
        EXPECT_EQ(got, r.digits) << r.list;
        EXPECT_EQ(vcx::ProcessListValue(c), std::stoull(r.list)) << r.list;
        EXPECT_EQ(c.processListFlag, 4);
        EXPECT_EQ(c.workOrderNumber, QStringLiteral("WO-1"));
        EXPECT_EQ(c.reportFolderPath, QStringLiteral("/tmp/r"));
    }
}

TEST(ProcessConfig, OdmCodesAndTheirLimits) {
    const QString head = QStringLiteral("[ODM List Config]\r\nODM FW Count=%1\r\nODM Product Number=%2\r\nODM SubType=%3\r\n");
    const struct {
        const char* count;
        const char* product;
        const char* subType;
        const char* versions;
        int result;
        std::vector<uint32_t> codes;
    } rows[] = {
        {"2", "2081", "1", "ODM Version 1=5\r\nODM Version 2=6\r\n", 0, {10052081u, 10062081u}},
        {"0", "99999999", "999", "", 0, {}},
        {"1", "65535", "255", "ODM Version 1=255\r\n", 0, {(255u * 1000 + 255) * 10000 + 65535}},
        {"1", "65536", "1", "ODM Version 1=5\r\n", 2, {}},
        {"1", "4294969377", "1", "ODM Version 1=5\r\n", 2, {}},  // 2^32 + 2081 would wrap to 2081
        {"1", "2081", "256", "ODM Version 1=5\r\n", 2, {}},
        {"1", "2081", "-1", "ODM Version 1=5\r\n", 2, {}},
        {"1", "2081", "1", "ODM Version 1=256\r\n", 2, {}},
        {"65", "2081", "1", "", 2, {}},
        {"-1", "2081", "1", "", 2, {}},
        {"64", "2081", "1", "", 0, std::vector<uint32_t>(64, 10002081u)},  // missing versions read as 0
    };
    for (const auto& r : rows) {
        vcx::ProcessListConfig c;
        const QString odm = head.arg(QLatin1String(r.count), QLatin1String(r.product), QLatin1String(r.subType)) +
                            QLatin1String(r.versions);
        EXPECT_EQ(Parse(Ini(QStringLiteral("12"), odm), &c), r.result) << r.count << " " << r.product;
        if (r.result == 0) {
            EXPECT_EQ(c.odmCodes, r.codes) << r.count << " " << r.product;
        }
    }
}

TEST(ProcessConfig, RequiredValuesAndPlainPackageNames) {
    vcx::ProcessListConfig c;
    for (const char* name : {"../pkg.pfp", "sub/pkg.pfp", "sub\\pkg.pfp", "a\x01.pfp", ""})
        EXPECT_EQ(Parse(Ini(QStringLiteral("12"), {}, QString::fromLatin1(name)), &c), 2) << name;
    EXPECT_EQ(Parse("[Process List Config]\r\nCompany=Acme\r\nPFP file name=p.pfp\r\nProcess List=1\r\n", &c), 2);
    EXPECT_EQ(Parse("[Process List Config]\r\nWork Order Number=1\r\nPFP file name=p.pfp\r\nProcess List=1\r\n", &c), 2);
    QByteArray bigFlag = Ini(QStringLiteral("12"));
    bigFlag.replace("Process List Flag=4", "Process List Flag=260");
    EXPECT_EQ(Parse(bigFlag, &c), 2);
}

class ProcessConfigFile : public FirmwareFileTest {
protected:
    QString ini(const QByteArray& text) {
        const QString path = dir.filePath(QStringLiteral("process.ini"));
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        return path;
    }
    void openController(uint8_t letter, uint16_t customer, uint16_t product) {
        c.dev.device = reinterpret_cast<HANDLE>(intptr_t(1));
        c.records.fwInformation.productLetter = letter;
        c.records.fwInformation.customerCode = customer;
        c.records.fwInformation.productNumber = product;
    }
    void TearDown() override {
        c.dev.device = INVALID_HANDLE_VALUE;
        FirmwareFileTest::TearDown();
    }
};

TEST_F(ProcessConfigFile, PackageByIdentityForAnOdmControllerElseByName) {
    Image odm;
    odm.letter = 1;
    odm.customer = 5;
    odm.product = 2081;
    Package byId;
    byId.images = {odm};
    write(QStringLiteral("zz-odm.pfp"), package(byId));
    write(QStringLiteral("pkg.pfp"), package({}));
    const QString odmSection =
        QStringLiteral("[ODM List Config]\r\nODM FW Count=1\r\nODM Product Number=2081\r\nODM SubType=1\r\nODM Version 1=5\r\n");
    QString path = ini(Ini(QStringLiteral("21"), odmSection));

    vcx::ProcessListConfig r;
    vcx::g_ProcessListFlag = 0;
    openController(1, 5, 2081);
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, false, &path, &r), 0);
    EXPECT_EQ(fw.szFirmwarePath, dir.filePath(QStringLiteral("zz-odm.pfp")));
    EXPECT_EQ(vcx::g_ProcessListFlag, 4);

    openController(1, 6, 2081);  // not an ODM firmware: by name
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, false, &path, &r), 0);
    EXPECT_EQ(fw.szFirmwarePath, dir.path() + QStringLiteral("/pkg.pfp"));

    path = ini(Ini(QStringLiteral("21"), odmSection, QStringLiteral("missing.pfp")));
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, false, &path, &r), 3);

    // Without a controller nothing is loaded.
    c.dev.device = INVALID_HANDLE_VALUE;
    vcx::ClearFirmwareFileData(fw, true);
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, false, &path, &r), 0);
    EXPECT_TRUE(fw.LoadedFirmware[0].versionText.isEmpty());

    QString none = dir.filePath(QStringLiteral("none.ini"));
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, false, &none, &r), 2);
}

TEST_F(ProcessConfigFile, AskedFileAndCancel) {
    QString reply = ini(Ini(QStringLiteral("3")));
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest& r) {
        EXPECT_EQ(r.filter, QStringLiteral("INI File (*.ini)"));
        return reply;
    });
    vcx::programState().toolPaths[vcx::kProcCfgFolder] = QStringLiteral("/elsewhere");
    QString path;
    vcx::ProcessListConfig r;
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, true, &path, &r), 0);
    EXPECT_EQ(path, reply);
    EXPECT_EQ(vcx::programState().toolPaths[vcx::kProcCfgFolder], dir.path());
    reply.clear();
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, true, &path, &r), 1);
}

TEST_F(ProcessConfigFile, SaveWritesSixKeysAndCopiesThePackage) {
    ASSERT_TRUE(load(package({})));  // loaded from dir/file.bin
    const QString other = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(other);
    QString reply = other + QStringLiteral("/process.ini");
    qvui::FileChooserResponder chooser([&](const qvui::FileChooserRequest&) { return reply; });
    vcx::ProcessListConfig r;
    r.workOrderNumber = QStringLiteral("WO-9");
    r.company = QStringLiteral("Acme");
    r.pfpFileName = QStringLiteral("file.bin");
    r.reportFolderPath = QStringLiteral("/r");
    r.processList = {3, 2, 1};
    r.processListFlag = 6;
    ASSERT_TRUE(vcx::SaveProcessConfigFile(nullptr, fw, r));
    QFile copy(other + QStringLiteral("/file.bin"));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    const Bytes pkg = package({});
    EXPECT_EQ(copy.readAll(), QByteArray(reinterpret_cast<const char*>(pkg.data()), qsizetype(pkg.size())));
    const QString section = QStringLiteral("Process List Config");
    EXPECT_EQ(qvui::IniFile::readString(reply, section, QStringLiteral("Process List")), QStringLiteral("123"));
    EXPECT_EQ(qvui::IniFile::readString(reply, section, QStringLiteral("Process List Flag")), QStringLiteral("6"));
    EXPECT_EQ(qvui::IniFile::readString(reply, section, QStringLiteral("Work Order Number")), QStringLiteral("WO-9"));
    EXPECT_EQ(qvui::IniFile::readString(reply, section, QStringLiteral("Report folder path")), QStringLiteral("/r"));
    qvui::IniFile written;
    ASSERT_TRUE(written.load(reply));
    EXPECT_FALSE(written.hasSection(QStringLiteral("ODM List Config")));
    vcx::ProcessListConfig back;
    QString again = reply;
    EXPECT_EQ(vcx::LoadProcessConfigFile(nullptr, c, fw, false, &again, &back), 0);
    EXPECT_EQ(back.processList, r.processList);
    EXPECT_TRUE(boxes.empty());

    // The same file again: fine. Another file of that name: a message, nothing written.
    ASSERT_TRUE(vcx::SaveProcessConfigFile(nullptr, fw, r));
    QFile::remove(reply);
    copy.close();
    ASSERT_TRUE(copy.open(QIODevice::WriteOnly | QIODevice::Truncate));
    copy.write("another package");
    copy.close();
    EXPECT_FALSE(vcx::SaveProcessConfigFile(nullptr, fw, r));
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_FALSE(QFileInfo::exists(reply));
    QFile still(other + QStringLiteral("/file.bin"));
    ASSERT_TRUE(still.open(QIODevice::ReadOnly));
    EXPECT_EQ(still.readAll(), QByteArray("another package"));

    // Nothing loaded (the last load failed): nothing is copied, the INI is written.
    EXPECT_FALSE(load(Bytes(50, 0)));
    QFile::remove(dir.filePath(QStringLiteral("out/file.bin")));
    boxes.clear();
    EXPECT_TRUE(vcx::SaveProcessConfigFile(nullptr, fw, r));
    EXPECT_TRUE(boxes.empty());
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("out/file.bin"))));
    EXPECT_TRUE(QFileInfo::exists(reply));
}

}  // namespace
