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

using fwtest::Package;
using fwtest::package;

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
