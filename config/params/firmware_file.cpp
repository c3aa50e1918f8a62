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

namespace {

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

bool loadOpenFile(QWidget* owner, Controller& c, LoadedFirmware& fw) {
    const int kind = DetectFirmwareFileKind(fw);
    if (kind < 0) return false;
    uint64_t offset = 0;
    for (int entry : qvfmt::SectionOrder(kind)) {
        if (!ReadSectionHeader(owner, fw, entry, offset)) return false;
        offset = fw.SectionEnd[size_t(entry)];
    }
    FileSource src(fw.file.get());
    if (qvfmt::IsPackageMagic(fw.firstHeader.data(), qvfmt::Rules::Program)) {
        qvfmt::PackageTail tail;
        if (qvfmt::ReadPackageTail(src, offset, fw.firstHeader.data(), qvfmt::Rules::Program, ProgramParameterCrc(c),
                                   ProgramVirtualKeyCrc(c), &tail) != qvfmt::FileError::None) {
            fw.PfpPara.present = 0;
            return false;
        }
        const qvfmt::ParaSection& p = tail.paraSection;
        fw.PfpPara.present = 1;
        fw.PfpPara.flags = p.flags;
        fw.PfpPara.touchLength = uint8_t(p.touch.size());
        fw.PfpPara.bootLength = uint8_t(p.boot.size());
        fw.PfpPara.crc = p.crc;
        fw.PfpPara.touch = p.touch;
        fw.PfpPara.boot = p.boot;
        if (tail.vkey) {
            static_assert(sizeof(VButtonTable) == sizeof(qvfmt::VKeyTable));
            std::memcpy(&fw.PfpVKey, &tail.vkeySection.table, sizeof fw.PfpVKey);
            fw.PfpVKey.crc = tail.vkeyCrc;
        }
    }
    for (int entry : qvfmt::SectionOrder(kind))
        if (!CheckSectionChecksum(fw, entry)) return false;
    return true;
}

}  // namespace

LoadedFirmware& loadedFirmware() {
    static LoadedFirmware fw;
    return fw;
}

void SetFirmwareFile(LoadedFirmware& fw, FILE* file) {
    if (fw.file.get() != file) fw.file.reset(file);
}

FILE* FirmwareFile(const LoadedFirmware& fw) { return fw.file.get(); }

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

bool CheckFirmwareFileHeader(QWidget* owner, LoadedFirmware& fw, const uint8_t* header) {
    switch (qvfmt::CheckHeader(header, qvfmt::Rules::Program)) {
        case qvfmt::HeaderCheck::Ok: return true;
        case qvfmt::HeaderCheck::BadFlags:
            qvui::showMessageBox(owner, QLatin1String(kHeaderFlagText), QLatin1String(kHeaderMessageTitle),
                                 qvui::MessageIcon::Error);
            return false;
        case qvfmt::HeaderCheck::NewerVersion:
            if (fw.bFirmwareLoadSilent) return false;
            if (!fw.versionAnswer)
                fw.versionAnswer = qvui::showMessageBox(owner,
                                                       QString::asprintf(kHeaderVersionQuestion,
                                                                         int(qvfmt::kHighestAcceptedVersion)),
                                                       QLatin1String(kHeaderMessageTitle), qvui::MessageIcon::Error,
                                                       qvui::MessageButtons::YesNo) == qvui::MessageAnswer::Yes;
            return *fw.versionAnswer;
        default: return false;
    }
}

int DetectFirmwareFileKind(LoadedFirmware& fw) {
    FileSource src(fw.file.get());
    const qvfmt::Kind k = qvfmt::DetectKind(src, qvfmt::Rules::Program);
    fw.FirmwareFileKind = k.ok() ? k.flags : 0;
    return k.kind;
}

bool ReadSectionHeader(QWidget* owner, LoadedFirmware& fw, int index, uint64_t offset) {
    if (index < 0 || index > 3) return false;
    FileSource src(fw.file.get());
    qvfmt::Section s;
    if (qvfmt::ReadSection(src, offset, index, &s) != qvfmt::FileError::None) return false;
    fw.FirmwareHeader = s.header;
    if (!CheckFirmwareFileHeader(owner, fw, s.header.data())) return false;
    LoadedFirmwareSection& e = fw.LoadedFirmware[size_t(index)];
    fillEntry(e, s.header.data());
    if (index >= 2 && e.versionText != fw.LoadedFirmware[size_t(index - 2)].versionText) return false;
    if (offset == 0) fw.firstHeader = s.header;
    fw.sections[size_t(index)] = s;
    fw.SectionEnd[size_t(index)] = s.end;
    return true;
}

bool CheckSectionChecksum(LoadedFirmware& fw, int index) {
    if (index < 0 || index > 3) return false;
    FileSource src(fw.file.get());
    const qvfmt::Section& s = fw.sections[size_t(index)];
    if (s.end != fw.SectionEnd[size_t(index)] || s.dataSize == 0) return false;
    return qvfmt::ReadSectionData(src, s, &fw.SectionData[size_t(index)]) == qvfmt::FileError::None;
}

bool LoadFirmwareFile(QWidget* owner, Controller& c, LoadedFirmware& fw) {
    ClearFirmwareFileData(fw, false);
    fw.FirmwareFileKind = 0;
    fw.versionAnswer.reset();
    const bool ok = fw.file && loadOpenFile(owner, c, fw);
    SetFirmwareFile(fw, nullptr);
    if (!ok) {
        ClearFirmwareFileData(fw, false);
        return false;
    }
    fw.pFirmwareData = fw.SectionData[0].data();
    return true;
}

void ClearFirmwareFileData(LoadedFirmware& fw, bool closeFile) {
    for (auto& e : fw.LoadedFirmware) e = LoadedFirmwareSection{};
    for (auto& d : fw.SectionData) std::vector<uint8_t>().swap(d);
    fw.SectionEnd.fill(0);
    fw.sections.fill(qvfmt::Section{});
    fw.firstHeader.fill(0);
    fw.pFirmwareData = nullptr;
    fw.PfpPara = PfpPara{};
    std::memset(&fw.PfpVKey, 0, sizeof fw.PfpVKey);
    fw.FirmwareFileKind = 0;
    if (closeFile) SetFirmwareFile(fw, nullptr);
}

bool OpenFirmwareFile(QWidget* owner, Controller& c, LoadedFirmware& fw, bool ask, bool anyKind) {
    if (ask) {
        const QString filter = anyKind ? QStringLiteral("%1 (*.qvc *.qvf *.pnc *.pnf *.pxc *.pxf *.pfp)")
                                       : QStringLiteral("%1 (*.pfp)");
        QString chosen = qvui::chooseOpenFile(owner, QString(), programState().toolPaths[kFUQVFFolder],
                                              filter.arg(QLatin1String(kFirmwareFilterName)));
        if (chosen.isEmpty()) return false;
        if (QFileInfo(chosen).suffix().isEmpty()) chosen += QStringLiteral(".qvf");
        fw.szFirmwarePath = chosen;
    }
    FILE* f = fopen(QFile::encodeName(fw.szFirmwarePath).constData(), "rb");
    if (!f) {
        ClearFirmwareFileData(fw, true);
        return false;
    }
    SetFirmwareFile(fw, f);
    bool ok = LoadFirmwareFile(owner, c, fw);
    if (ok && !anyKind && !fw.PfpPara.present) ok = false;
    if (!ok) {
        ClearFirmwareFileData(fw, true);
        return false;
    }
    if (anyKind) programState().toolPaths[kFUQVFFolder] = QFileInfo(fw.szFirmwarePath).absolutePath();
    return true;
}

bool OpenFirmwareFileByName(Controller& c, LoadedFirmware& fw, const QString& name, bool alsoProgramFolder) {
    ProgramState& ps = programState();
    QStringList candidates = {ps.toolPaths[kProcCfgFolder] + u'/' + name};
    if (alsoProgramFolder) candidates << ps.programFolder + name;
    for (const QString& path : candidates) {
        fw.szFirmwarePath = path;
        if (OpenFirmwareFile(nullptr, c, fw, false, false)) return true;
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

bool FindFirmwareFileInFolder(Controller& c, LoadedFirmware& fw, bool alsoProgramFolder, uint32_t code) {
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
            fw.szFirmwarePath = path;
            if (OpenFirmwareFile(nullptr, c, fw, false, false)) return true;
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
