#include "params/firmware_file.h"

#include "core/app_settings.h"
#include "core/program_state.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstring>
#include <optional>

namespace vcx {

QString g_szFirmwarePath;
uint8_t g_FirmwareFileKind = 0;
std::array<uint8_t, 32> g_FirmwareHeader{};
std::array<LoadedFirmwareSection, 4> g_LoadedFirmware;
std::array<std::vector<uint8_t>, 4> g_SectionData;
std::array<uint64_t, 4> g_SectionEnd{};
const uint8_t* g_pFirmwareData = nullptr;
PfpPara g_PfpPara;
VButtonTable g_PfpVKey{};
bool g_bFirmwareLoadSilent = false;

namespace {

FILE* g_file = nullptr;
// The sections of the load in progress, by entry; the first header read (the
// package header of a package).
std::array<qvfmt::Section, 4> g_sections;
std::array<uint8_t, 32> g_firstHeader{};
// The answer to the header-version question within one load.
std::optional<bool> g_versionAnswer;

// The open file as the format module's byte source.
class FileSource final : public qvfmt::ByteSource {
public:
    explicit FileSource(FILE* f) : f_(f) {
        if (f_ && fseeko(f_, 0, SEEK_END) == 0) {
            const off_t end = ftello(f_);
            if (end > 0) size_ = uint64_t(end);
        }
    }
    uint64_t size() const override { return size_; }
    bool read(uint64_t offset, void* out, size_t n) override {
        if (!f_ || !holds(offset, n)) return false;
        if (n == 0) return true;
        if (fseeko(f_, off_t(offset), SEEK_SET) != 0) return false;
        return fread(out, 1, n, f_) == n;
    }

private:
    FILE* f_;
    uint64_t size_ = 0;
};

void fillEntry(LoadedFirmwareSection& e, const uint8_t* header) {
    const qvfmt::ImageInfo i = qvfmt::DecodeHeader(header);
    e.productNumber = i.productNumber;
    e.letter = i.letter;
    e.major = i.major;
    e.series = i.series;
    e.minor = i.minor;
    e.customer = i.customer;
    e.headerVersion = i.headerVersion;
    e.dataSize = i.dataSize;
    e.flags = i.flags;
    e.build[0] = i.build2;
    e.build[1] = i.build1;
    e.info = i.info;
    e.copied[0] = i.byte21;
    e.copied[1] = i.byte22;
    e.versionText = QString::fromLatin1(qvfmt::VersionText(header, qvfmt::Rules::Program));
}

bool loadOpenFile(QWidget* owner, Controller& c) {
    const int kind = DetectFirmwareFileKind();
    if (kind < 0) return false;
    uint64_t offset = 0;
    for (int entry : qvfmt::SectionOrder(kind)) {
        if (!ReadSectionHeader(owner, entry, offset)) return false;
        offset = g_SectionEnd[size_t(entry)];
    }
    FileSource src(g_file);
    if (qvfmt::IsPackageMagic(g_firstHeader.data(), qvfmt::Rules::Program)) {
        qvfmt::PackageTail tail;
        if (qvfmt::ReadPackageTail(src, offset, g_firstHeader.data(), qvfmt::Rules::Program, ProgramParameterCrc(c),
                                   ProgramVirtualKeyCrc(c), &tail) != qvfmt::FileError::None) {
            g_PfpPara.present = 0;
            return false;
        }
        const qvfmt::ParaSection& p = tail.paraSection;
        g_PfpPara.present = 1;
        g_PfpPara.flags = p.flags;
        g_PfpPara.touchLength = uint8_t(p.touch.size());
        g_PfpPara.bootLength = uint8_t(p.boot.size());
        g_PfpPara.crc = p.crc;
        g_PfpPara.touch = p.touch;
        g_PfpPara.boot = p.boot;
        if (tail.vkey) {
            static_assert(sizeof(VButtonTable) == sizeof(qvfmt::VKeyTable));
            std::memcpy(&g_PfpVKey, &tail.vkeySection.table, sizeof g_PfpVKey);
            g_PfpVKey.crc = tail.vkeyCrc;
        }
    }
    for (int entry : qvfmt::SectionOrder(kind))
        if (!CheckSectionChecksum(entry)) return false;
    return true;
}

}  // namespace

void SetFirmwareFile(FILE* file) {
    if (g_file && g_file != file) fclose(g_file);
    g_file = file;
}

FILE* FirmwareFile() { return g_file; }

qvfmt::ParameterCrcFn ProgramParameterCrc(Controller& c) {
    auto fn = c.api.CalculateParameterCRCEx;
    if (!fn) return {};
    return [fn](int mode, uint16_t start, std::span<const uint8_t> touch, std::span<const uint8_t> boot) {
        const uint32_t lengths[2] = {uint32_t(touch.size()), uint32_t(boot.size())};
        const uint8_t* const images[2] = {touch.data(), boot.data()};
        uint16_t crc = 0;
        // A refused call leaves a value that the stored one may not match by chance.
        if (!fn(mode, start, lengths, images, &crc)) return uint16_t(~start);
        return crc;
    };
}

qvfmt::VirtualKeyCrcFn ProgramVirtualKeyCrc(Controller& c) {
    auto fn = c.api.CalculateVirtualButtonCRC;
    if (!fn) return {};
    return [fn](const qvfmt::VKeyTable& t) {
        VButtonTable table;
        std::memcpy(&table, &t, sizeof table);
        table.crc = 0;
        fn(&table);
        return table.crc;
    };
}

bool CheckFirmwareFileHeader(QWidget* owner, const uint8_t* header) {
    switch (qvfmt::CheckHeader(header, qvfmt::Rules::Program)) {
        case qvfmt::HeaderCheck::Ok: return true;
        case qvfmt::HeaderCheck::BadFlags:
            qvui::showMessageBox(owner, QLatin1String(kHeaderFlagText), QLatin1String(kHeaderMessageTitle),
                                 qvui::MessageIcon::Error);
            return false;
        case qvfmt::HeaderCheck::NewerVersion:
            if (g_bFirmwareLoadSilent) return false;
            if (!g_versionAnswer)
                g_versionAnswer = qvui::showMessageBox(owner,
                                                       QString::asprintf(kHeaderVersionQuestion,
                                                                         int(qvfmt::kHighestAcceptedVersion)),
                                                       QLatin1String(kHeaderMessageTitle), qvui::MessageIcon::Error,
                                                       qvui::MessageButtons::YesNo) == qvui::MessageAnswer::Yes;
            return *g_versionAnswer;
        default: return false;
    }
}

int DetectFirmwareFileKind() {
    FileSource src(g_file);
    const qvfmt::Kind k = qvfmt::DetectKind(src, qvfmt::Rules::Program);
    g_FirmwareFileKind = k.ok() ? k.flags : 0;
    return k.kind;
}

bool ReadSectionHeader(QWidget* owner, int index, uint64_t offset) {
    if (index < 0 || index > 3) return false;
    FileSource src(g_file);
    qvfmt::Section s;
    if (qvfmt::ReadSection(src, offset, index, &s) != qvfmt::FileError::None) return false;
    g_FirmwareHeader = s.header;
    if (!CheckFirmwareFileHeader(owner, s.header.data())) return false;
    LoadedFirmwareSection& e = g_LoadedFirmware[size_t(index)];
    fillEntry(e, s.header.data());
    if (index >= 2 && e.versionText != g_LoadedFirmware[size_t(index - 2)].versionText) return false;
    if (offset == 0) g_firstHeader = s.header;
    g_sections[size_t(index)] = s;
    g_SectionEnd[size_t(index)] = s.end;
    return true;
}

bool CheckSectionChecksum(int index) {
    if (index < 0 || index > 3) return false;
    FileSource src(g_file);
    const qvfmt::Section& s = g_sections[size_t(index)];
    if (s.end != g_SectionEnd[size_t(index)] || s.dataSize == 0) return false;
    return qvfmt::ReadSectionData(src, s, &g_SectionData[size_t(index)]) == qvfmt::FileError::None;
}

bool LoadFirmwareFile(QWidget* owner, Controller& c) {
    ClearFirmwareFileData(false);
    g_FirmwareFileKind = 0;
    g_versionAnswer.reset();
    const bool ok = g_file && loadOpenFile(owner, c);
    SetFirmwareFile(nullptr);
    if (!ok) {
        ClearFirmwareFileData(false);
        return false;
    }
    g_pFirmwareData = g_SectionData[0].data();
    return true;
}

void ClearFirmwareFileData(bool closeFile) {
    for (auto& e : g_LoadedFirmware) e = LoadedFirmwareSection{};
    for (auto& d : g_SectionData) std::vector<uint8_t>().swap(d);
    g_SectionEnd.fill(0);
    g_sections.fill(qvfmt::Section{});
    g_firstHeader.fill(0);
    g_pFirmwareData = nullptr;
    g_PfpPara = PfpPara{};
    std::memset(&g_PfpVKey, 0, sizeof g_PfpVKey);
    g_FirmwareFileKind = 0;
    if (closeFile) SetFirmwareFile(nullptr);
}

bool OpenFirmwareFile(QWidget* owner, Controller& c, bool ask, bool anyKind) {
    if (ask) {
        const QString filter = anyKind ? QStringLiteral("%1 (*.qvc *.qvf *.pnc *.pnf *.pxc *.pxf *.pfp)")
                                       : QStringLiteral("%1 (*.pfp)");
        QString chosen = qvui::chooseOpenFile(owner, QString(), programState().toolPaths[kFUQVFFolder],
                                              filter.arg(QLatin1String(kFirmwareFilterName)));
        if (chosen.isEmpty()) return false;
        if (QFileInfo(chosen).suffix().isEmpty()) chosen += QStringLiteral(".qvf");
        g_szFirmwarePath = chosen;
    }
    FILE* f = fopen(QFile::encodeName(g_szFirmwarePath).constData(), "rb");
    if (!f) {
        ClearFirmwareFileData(true);
        return false;
    }
    SetFirmwareFile(f);
    bool ok = LoadFirmwareFile(owner, c);
    if (ok && !anyKind && !g_PfpPara.present) ok = false;
    if (!ok) {
        ClearFirmwareFileData(true);
        return false;
    }
    if (anyKind) programState().toolPaths[kFUQVFFolder] = QFileInfo(g_szFirmwarePath).absolutePath();
    return true;
}

bool OpenFirmwareFileByName(Controller& c, const QString& name, bool alsoProgramFolder) {
    ProgramState& ps = programState();
    QStringList candidates = {ps.toolPaths[kProcCfgFolder] + u'/' + name};
    if (alsoProgramFolder) candidates << ps.programFolder + name;
    for (const QString& path : candidates) {
        g_szFirmwarePath = path;
        if (OpenFirmwareFile(nullptr, c, false, false)) return true;
    }
    return false;
}

bool MatchFirmwareFileIdentity(const QString& path, uint32_t code) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return false;
    uint8_t h[16];
    if (f.read(reinterpret_cast<char*>(h), 16) != 16) return false;
    return h[15] == qvfmt::Sum8(h, 15) && qvfmt::IsKnownMagic(h, qvfmt::Rules::Program) &&
           qvfmt::HeaderIdentityCode(h) == code;
}

bool FindFirmwareFileInFolder(Controller& c, bool alsoProgramFolder, uint32_t code) {
    ProgramState& ps = programState();
    QStringList folders = {ps.toolPaths[kProcCfgFolder]};
    if (alsoProgramFolder) folders << ps.programFolder;
    for (const QString& folder : folders) {
        if (folder.isEmpty()) continue;
        QDir dir(folder);
        QStringList names = dir.entryList({QStringLiteral("*.pfp")}, QDir::Files, QDir::Unsorted);
        // Ordinal name order: the first package that fits wins, on every system alike.
        std::sort(names.begin(), names.end());
        for (const QString& name : names) {
            const QString path = dir.filePath(name);
            if (!MatchFirmwareFileIdentity(path, code)) continue;
            g_szFirmwarePath = path;
            if (OpenFirmwareFile(nullptr, c, false, false)) return true;
        }
    }
    return false;
}

uint32_t FirmwareIdentityCode(uint8_t letter, uint8_t customer, uint16_t product) {
    return qvfmt::IdentityCode(letter, customer, product);
}

uint32_t FirmwareIdentityCode(const FirmwareInformationW& info) {
    return qvfmt::IdentityCode(info.productLetter, info.customerCode, info.productNumber);
}

}  // namespace vcx
