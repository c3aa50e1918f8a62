#include "params/package_builder.h"

#include "core/slave_info.h"

#include "format/firmware_format.h"
#include "params/firmware_file.h"
#include "core/app_settings.h"
#include "core/device_finder.h"
#include "core/device_text.h"
#include "core/program_state.h"
#include "ui/file_chooser.h"
#include "ui/message_box.h"
#include "ui/string_table.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <vector>

namespace vcx {

namespace {

// The reasons' texts and titles (string ids).
constexpr CombineReasonText kReasons[] = {
    {1340, 1340}, {1341, 1341}, {1342, 1342}, {1343, 1344}, {1343, 1345},
};

void fail(QWidget* page, const QString& text) { qvui::showMessageBox(page, text, text, qvui::MessageIcon::Error); }

// The entry whose identity the controller must have: entry 1 of a file with a
// configuration image, else entry 0.
const LoadedFirmwareSection& mainEntry(const LoadedFirmware& fw) {
    return fw.LoadedFirmware[(fw.FirmwareFileKind & qvfmt::kKindConfigImage) ? 1 : 0];
}

// The loaded file read again whole; it must still be what was loaded.
bool rereadLoadedFile(Controller& c, const LoadedFirmware& fw, std::vector<uint8_t>* bytes, qvfmt::FirmwareFile* file) {
    QFile f(fw.szFirmwarePath);
    if (!f.open(QIODevice::ReadOnly)) return false;
    const QByteArray all = f.readAll();
    if (all.size() != f.size()) return false;
    bytes->assign(all.begin(), all.end());
    qvfmt::SpanSource src(*bytes);
    // The user already accepted a newer header version for this file.
    const qvfmt::HeaderGate gate = [](const uint8_t* h, int) {
        const qvfmt::HeaderCheck r = qvfmt::CheckHeader(h, qvfmt::Rules::Program);
        return r == qvfmt::HeaderCheck::Ok || r == qvfmt::HeaderCheck::NewerVersion;
    };
    if (qvfmt::ReadFirmwareFile(src, qvfmt::Rules::Program, gate, ProgramParameterCrc(c), ProgramVirtualKeyCrc(c), file) !=
        qvfmt::FileError::None)
        return false;
    if (file->kind.flags != fw.FirmwareFileKind) return false;
    for (const qvfmt::Section& s : file->sections) {
        const LoadedFirmwareSection& e = fw.LoadedFirmware[size_t(s.entry)];
        if (e.dataSize != s.dataSize || e.versionText != QString::fromLatin1(qvfmt::VersionText(s.header.data(), qvfmt::Rules::Program)) ||
            file->data[size_t(s.entry)] != fw.SectionData[size_t(s.entry)])
            return false;
    }
    return true;
}

QString freePackagePath(const QString& folder, const QString& name) {
    QString path = QStringLiteral("%1/%2.pfp").arg(folder, name);
    for (int n = 1; QFileInfo::exists(path); ++n) path = QStringLiteral("%1/%2(%3).pfp").arg(folder, name).arg(n);
    return path;
}

}  // namespace

const CombineReasonText& CombineReason(int reason) { return kReasons[std::clamp(reason, 0, 4)]; }

int CheckPackageCombinable(Controller& c, const LoadedFirmware& fw) {
    const FirmwareVersionInfoW& v = c.records.fwVersion;
    const FirmwareInformationW& info = c.records.fwInformation;
    const int slaves = std::clamp(int(v.slaveCount), 0, 4);
    const bool twoImages = fw.FirmwareFileKind & qvfmt::kKindConfigImage;
    const bool loaded = fw.LoadedFirmware[0].dataSize != 0;
    if (!twoImages && slaves > 0) return 1;
    if (!loaded || (twoImages && slaves == 0)) return 0;
    for (int i = 0; i < slaves; ++i)
        if (v.slaveInBoot[i]) return 2;
    const LoadedFirmwareSection& e = mainEntry(fw);
    if (e.productNumber != info.productNumber || e.letter != info.productLetter || e.customer != info.customerCode ||
        e.major != info.firmwareMajor || e.minor != info.minorVersion)
        return 3;
    // The controller's build bytes are the boot state bytes outside its boot loader.
    if (e.headerVersion < 16) return info.bootStateA == 0 && info.bootStateB == 0 ? -1 : 4;
    return e.build[1] == info.bootStateA && e.build[0] == info.bootStateB ? -1 : 3;
}

bool HasVirtualKeyData(Controller& c, VButtonTable* table) {
    std::memset(table, 0, sizeof *table);
    const ProgramRecords& r = c.records;
    if (!r.vButton.valid || r.panel.dimension[0] == 0 || r.panel.dimension[1] == 0) return false;
    if (!r.paraFuncTable.VButtonRead || !r.paraFuncTable.VButtonRead(c.dev.device, table)) return false;
    if (table->usedCount != 0) return true;
    // Entry 0: first corner (x, y), then the second corner, 16-bit words.
    const uint8_t* e = table->entry[0];
    const int x1 = e[0] | e[1] << 8, y1 = e[2] | e[3] << 8, x2 = e[4] | e[5] << 8, y2 = e[6] | e[7] << 8;
    return x2 > x1 && y2 > y1;
}

static_assert(offsetof(FirmwareInformationW, icByte) == 179, "the information byte is byte 179 of the record");

namespace {

qvfmt::VKeyTable asFormatTable(const VButtonTable& t) {
    qvfmt::VKeyTable v;
    std::memcpy(static_cast<void*>(&v), &t, sizeof v);
    return v;
}

}  // namespace

std::array<uint8_t, 32> WritePackageHeader(Controller& c, const uint8_t* firstHeader, uint8_t kindFlags,
                                           int paraVersion, VButtonTable* table, bool* virtualKeys) {
    const FirmwareInformationW& info = c.records.fwInformation;
    qvfmt::PackageHeaderOptions o;
    o.build1 = info.bootStateA;
    o.build2 = info.bootStateB;
    o.info = info.icByte;
    o.kindFlags = kindFlags;
    if (HasVirtualKeyData(c, table))
        o.virtualKeys = paraVersion > 138 ? qvfmt::VKeyFlag::Set : qvfmt::VKeyFlag::Keep;
    else
        o.virtualKeys = qvfmt::VKeyFlag::Clear;
    const auto h = qvfmt::PackageHeader(firstHeader, o);
    *virtualKeys = qvfmt::HasVirtualKeyFlag(h.data());
    return h;
}

std::optional<std::vector<uint8_t>> WritePfpParaSection(Controller& c, uint8_t flags, uint16_t crc, int paraVersion) {
    const ParameterList& lists = c.records.paraList;
    if (paraVersion != 0 && (c.dev.featureFlags[2] & 0x80)) flags |= 1;
    const std::span<const uint8_t> touch(lists.touchList, lists.touchList ? lists.touchLength : 0);
    const std::span<const uint8_t> boot(lists.bootList, lists.bootList ? lists.bootLength : 0);
    return qvfmt::ParaBytes(flags, touch, boot, crc);
}

std::optional<std::vector<uint8_t>> WritePfpVkeySection(const VButtonTable& table) {
    return qvfmt::VkeyBytes(asFormatTable(table));
}

bool IsConfigurationSection(uint8_t kindFlags, size_t position) {
    if (position == 0) return false;
    if (kindFlags & qvfmt::kKindFourSections) return position == 2;
    return !(kindFlags & qvfmt::kKindTwoImages);
}

std::optional<std::vector<uint8_t>> AssemblePackage(const PackageParts& parts) {
    const std::vector<qvfmt::Section>& sections = parts.sections;
    if (sections.empty()) return std::nullopt;
    for (const qvfmt::Section& s : sections)
        if (s.end > parts.source.size() || s.offset + s.headerLength > s.end) return std::nullopt;
    const bool four = parts.kindFlags & qvfmt::kKindFourSections;
    const uint8_t* pkg = parts.packageHeader.data();
    std::vector<uint8_t> out(parts.packageHeader.begin(), parts.packageHeader.end());
    // A section's bytes after its header, as the file has them.
    const auto body = [&](const qvfmt::Section& s) {
        out.insert(out.end(), parts.source.begin() + ptrdiff_t(s.offset + s.headerLength),
                   parts.source.begin() + ptrdiff_t(s.end));
    };
    body(sections[0]);
    for (size_t i = 1; i < sections.size(); ++i) {
        const qvfmt::Section& s = sections[i];
        std::array<uint8_t, 32> h;
        if (four && i == 3) {
            // Entry 2 must keep entry 0's version text: an older header takes the
            // build bytes entry 0 (the slave's section) was given.
            h = qvfmt::SectionHeader(s.header.data(), pkg, parts.build.slaveBuildA, parts.build.slaveBuildB);
        } else if (IsConfigurationSection(parts.kindFlags, i)) {
            h = qvfmt::SlaveSectionHeader(s.header.data(), pkg, parts.build.slaveBuildA, parts.build.slaveBuildB,
                                          parts.build.slaveInfo);
        } else {
            h = qvfmt::SectionHeader(s.header.data(), pkg, parts.build.buildA, parts.build.buildB);
        }
        out.insert(out.end(), h.begin(), h.end());
        body(s);
    }
    out.insert(out.end(), parts.para.begin(), parts.para.end());
    out.insert(out.end(), parts.vkey.begin(), parts.vkey.end());
    return out;
}

namespace {

// The controller's parts of the package in the order the controller is asked:
// the package header (its virtual keys), the first slave's information when
// the file has a configuration image, then PARA. False with a message's text.
bool readControllerParts(Controller& c, const LoadedFirmware& fw, const qvfmt::FirmwareFile& file, uint8_t paraFlags,
                         uint16_t crc, PackageParts* parts, QString* why) {
    // The parameter version the read-out found; asked again when it found none.
    const int paraVersion = c.dev.paraVersion ? c.dev.paraVersion : SendCmdReadParameterVersionF6(c);
    VButtonTable table{};
    bool keys = false;
    parts->kindFlags = fw.FirmwareFileKind;
    parts->packageHeader =
        WritePackageHeader(c, file.sections.front().header.data(), fw.FirmwareFileKind, paraVersion, &table, &keys);
    if (keys) {
        const auto vkey = WritePfpVkeySection(table);
        if (!vkey) {
            *why = QStringLiteral("The controller's virtual-key table (%1 entries of %2 bytes) does not fit a package.")
                       .arg(int(table.usedCount) + 1)
                       .arg(int(table.entrySize));
            return false;
        }
        parts->vkey = *vkey;
    }
    const FirmwareInformationW& info = c.records.fwInformation;
    parts->build.buildA = info.bootStateA;
    parts->build.buildB = info.bootStateB;
    bool configuration = false;
    for (size_t i = 1; i < file.sections.size(); ++i) configuration |= IsConfigurationSection(fw.FirmwareFileKind, i);
    if (configuration) {
        FirmwareInformationW slave{};
        if (!ReadSlaveInformation(c, &slave)) {
            *why = QStringLiteral("The slave controller's firmware information cannot be read.");
            return false;
        }
        parts->build.slaveBuildA = slave.bootStateA;
        parts->build.slaveBuildB = slave.bootStateB;
        parts->build.slaveInfo = slave.icByte;
    }
    const auto para = WritePfpParaSection(c, paraFlags, crc, paraVersion);
    if (!para) {
        *why = QStringLiteral("The controller's parameter lists cannot be written into a package.");
        return false;
    }
    parts->para = *para;
    return true;
}

// Written to a temporary file renamed into place: all of it or nothing.
bool savePackage(const QString& path, const std::vector<uint8_t>& bytes) {
    QSaveFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size())) == qint64(bytes.size()) &&
           f.commit();
}

}  // namespace

CombineResult CombineFirmwareAndParameters(QWidget* page, Controller& c, const LoadedFirmware& fw) {
    CombineResult result;
    if (const int reason = CheckPackageCombinable(c, fw); reason >= 0) {
        const CombineReasonText& r = CombineReason(reason);
        qvui::showMessageBox(page, qvui::loadString(r.text), qvui::loadString(r.title), qvui::MessageIcon::Error);
        return result;
    }
    ProgramState& ps = programState();
    const QString folder = qvui::chooseFolder(page, QLatin1String(kSelectPfpFolderTitle), ps.toolPaths[kFUQVFFolder]);
    if (folder.isEmpty()) return result;
    ps.toolPaths[kFUQVFFolder] = folder;

    uint16_t crc[2] = {0, 0};
    const uint8_t paraFlags = CheckParameterCRC(c, crc) != 0 ? 2 : 0;
    const QString name = QStringLiteral("QV") +
                         GetProductNameString(c.records.fwInformation) +
                         QString::asprintf("_x%04X", unsigned(crc[0]));

    // Read first: nothing is created until the whole package stands.
    PackageParts parts;
    qvfmt::FirmwareFile file;
    if (!rereadLoadedFile(c, fw, &parts.source, &file)) {
        fail(page, QStringLiteral("%1 cannot be read as it was loaded.").arg(fw.szFirmwarePath));
        return result;
    }
    parts.sections = file.sections;
    QString why;
    if (!readControllerParts(c, fw, file, paraFlags, crc[0], &parts, &why)) {
        fail(page, why);
        return result;
    }
    const std::optional<std::vector<uint8_t>> out = AssemblePackage(parts);
    if (!out) {
        fail(page, QStringLiteral("%1 cannot be read as it was loaded.").arg(fw.szFirmwarePath));
        return result;
    }

    // What is written must load again in this program.
    qvfmt::SpanSource check(*out);
    qvfmt::FirmwareFile back;
    const qvfmt::FileError e = qvfmt::ReadFirmwareFile(check, qvfmt::Rules::Program, {}, ProgramParameterCrc(c),
                                                       ProgramVirtualKeyCrc(c), &back);
    if (e != qvfmt::FileError::None) {
        fail(page, QStringLiteral("The package does not check (%1): nothing was written.")
                       .arg(QLatin1String(qvfmt::FileErrorName(e))));
        return result;
    }

    const QString path = freePackagePath(folder, name);
    if (!savePackage(path, *out)) {
        fail(page, QStringLiteral("%1 cannot be written.").arg(path));
        return result;
    }
    result.written = true;
    result.path = path;
    result.resultText = qvui::loadString(1361);
    return result;
}

}  // namespace vcx
