// What the program's firmware-file tests share: a temporary folder, the
// binding's two CRC slots bound to the linked library, a loaded-firmware state
// of the test's own, files from the test-side writer, and a record of the
// message boxes shown.
#pragma once

#include "QV_Standard.h"
#include "firmware_writer_support.h"
#include "params/firmware_file.h"
#include "core/program_state.h"
#include "ui/message_box.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fwfiletest {

using fwtest::Bytes;
using fwtest::Image;

// A package of one or two images: the first under `magic`, PARA, optional VKEY.
struct Package {
    std::string magic = "PFPF";
    std::vector<Image> images = {Image{}};
    fwtest::Para para;
    std::optional<fwtest::Vkey> vkey;
    bool seedFromVkey = true;
    bool keepParaCrc = false;  // para.crc as given
};

inline fwtest::Vkey Keys(int n, int size = 12) { return fwtest::vkeyTable(n, size); }

inline Bytes Build(Package p) {
    Image first = p.images.front();
    first.magic = p.magic;
    first.flags |= 0x02;
    if (p.vkey) first.flags |= 0x08;
    Bytes f = fwtest::image(first);
    for (size_t i = 1; i < p.images.size(); ++i) fwtest::append(f, fwtest::image(p.images[i]));
    if (!p.keepParaCrc) {
        const uint16_t start = p.vkey && p.seedFromVkey ? fwtest::vkeyCrc(p.vkey->entries) : 0xFFFF;
        p.para.crc = fwtest::parameterCrc((p.para.flags >> 1) & 1, start, p.para.touch, p.para.boot);
    }
    fwtest::append(f, fwtest::para(p.para));
    if (p.vkey) fwtest::append(f, fwtest::vkey(*p.vkey));
    return f;
}

class FirmwareFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    vcx::Controller c;
    vcx::LoadedFirmware fw;
    std::vector<qvui::MessageBoxRequest> boxes;
    qvui::MessageAnswer answer = qvui::MessageAnswer::Yes;
    std::unique_ptr<qvui::MessageBoxResponder> responder;

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        c.api.CalculateParameterCRCEx = &::CalculateParameterCRCEx;
        c.api.CalculateVirtualButtonCRC = &::CalculateVirtualButtonCRC;
        responder = std::make_unique<qvui::MessageBoxResponder>([this](const qvui::MessageBoxRequest& r) {
            boxes.push_back(r);
            return answer;
        });
        vcx::programState().toolPaths[vcx::kProcCfgFolder] = dir.path();
        vcx::programState().toolPaths[vcx::kFUQVFFolder] = dir.path();
        vcx::programState().programFolder = dir.path() + QStringLiteral("/program/");
        QDir().mkpath(vcx::programState().programFolder);
    }
    void TearDown() override { vcx::ClearFirmwareFileData(fw, true); }

    QString write(const QString& name, const Bytes& bytes) {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(reinterpret_cast<const char*>(bytes.data()), qint64(bytes.size()));
        return path;
    }
    // Loads bytes as the program loads a file it was given (any kind).
    bool load(const Bytes& bytes, bool anyKind = true) {
        fw.szFirmwarePath = write(QStringLiteral("file.bin"), bytes);
        return vcx::OpenFirmwareFile(nullptr, c, fw, false, anyKind);
    }
};

}  // namespace fwfiletest
