// The boot-loader commands: the packets each one sends, in their order, how it
// reads the reply and what it gives when a command goes unanswered.
#include "command_script_support.h"
#include "update/boot_commands.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <vector>

namespace {

using cmdtest::Bytes;

// The controller's loader, scripted (command_script_support.h).
cmdtest::CommandScript* g_loader = nullptr;
const HANDLE kHandle = reinterpret_cast<HANDLE>(intptr_t{0x42});

int scriptedSendCmd(HANDLE h, const uint8_t command[5], uint8_t reply[5]) {
    EXPECT_EQ(h, kHandle);
    return g_loader->answer(command, reply);
}

TEST(UpdateBootCommands, PacketsRepliesAndFailureValues) {
    const auto none = [](vcx::Controller&) {};
    using P = vcx::BootPresence;
    // D0 and D1 give (answered << 8) | reply byte 4.
    const auto d0 = [](uint16_t block, bool erased) {
        return [=](vcx::Controller& c) {
            uint8_t status = 0xEE;
            return (long long)(vcx::SendCmdStartBlockD0(c, block, erased, &status)) << 8 | status;
        };
    };
    const auto d1 = [](uint16_t sum) {
        return [=](vcx::Controller& c) {
            uint8_t status = 0xEE;
            return (long long)(vcx::SendCmdCheckBlockD1(c, sum, &status)) << 8 | status;
        };
    };
    const cmdtest::CommandCase cases[] = {
        {"EnterBootFF", none, {}, [](auto& c) { return vcx::SendCmdEnterBootFF(c, 0); },
         {{0xFF, 0xAA, 0x55, 0xAA, 0x55}, {0xFF, 0x55, 0xAA, 0x55, 0xAA}}, 1},
        {"EnterBootFF kind 1", none, {}, [](auto& c) { return vcx::SendCmdEnterBootFF(c, 1); },
         {{0xFF, 0xBB, 0x44, 0xBB, 0x44}, {0xFF, 0x44, 0xBB, 0x44, 0xBB}}, 1},
        {"EnterBootFF first fails", none, {std::nullopt}, [](auto& c) { return vcx::SendCmdEnterBootFF(c, 0); },
         {{0xFF, 0xAA, 0x55, 0xAA, 0x55}}, 0},
        {"EnterBootFF second fails", none, {Bytes{}, std::nullopt},
         [](auto& c) { return vcx::SendCmdEnterBootFF(c, 0); },
         {{0xFF, 0xAA, 0x55, 0xAA, 0x55}, {0xFF, 0x55, 0xAA, 0x55, 0xAA}}, 0},
        // Ostra packets start with E8 whatever the kind; behind the driver the
        // second one goes unanswered once the controller switched.
        {"EnterBootFF ostra driver", [](auto& c) { c.dev.ostraModel = true, c.dev.deviceType = QV_DEVICE_DRIVER_EX; },
         {Bytes{}, std::nullopt}, [](auto& c) { return vcx::SendCmdEnterBootFF(c, 1); },
         {{0xE8, 0xAA, 0x55, 0xAA, 0x55}, {0xE8, 0x55, 0xAA, 0x55, 0xAA}}, 1},
        {"EnterBootFF ostra hid", [](auto& c) { c.dev.ostraModel = true, c.dev.deviceType = QV_DEVICE_HID; },
         {Bytes{}, std::nullopt}, [](auto& c) { return vcx::SendCmdEnterBootFF(c, 0); },
         {{0xE8, 0xAA, 0x55, 0xAA, 0x55}, {0xE8, 0x55, 0xAA, 0x55, 0xAA}}, 0},
        {"LeaveBootD8", none, {}, [](auto& c) { return vcx::SendCmdLeaveBootD8(c), 0LL; },
         {{0xD8, 0, 0x55, 0, 0}}, 0},
        {"QueryBootD9 set", none, {Bytes{0, 0, 0, 0x02, 0}}, [](auto& c) { return vcx::SendCmdQueryBootD9(c); },
         {{0xD9, 0, 0, 0, 0}}, 1},
        {"QueryBootD9 clear", none, {Bytes{0, 0, 0, 0xFD, 0}}, [](auto& c) { return vcx::SendCmdQueryBootD9(c); },
         {{0xD9, 0, 0, 0, 0}}, 0},
        {"SetBootFormatD9", none, {Bytes{0xD9, 0x55, 0, 0, 0}},
         [](auto& c) { return vcx::SendCmdSetBootFormatD9(c, 3); }, {{0xD9, 0xAA, 0, 0, 3}}, 1},
        {"SetBootFormatD9 refused", none, {Bytes{0xD9, 0x54, 0, 0, 0}},
         [](auto& c) { return vcx::SendCmdSetBootFormatD9(c, 3); }, {{0xD9, 0xAA, 0, 0, 3}}, 0},
        {"QueryED loader", none, {Bytes{0xED, 0, 0, 0x55, 0xAA}},
         [](auto& c) { return (long long)vcx::SendCmdQueryED(c); }, {{0xED, 0, 0, 0, 0}}, (long long)P::BootLoader},
        {"QueryED firmware", none, {Bytes{0xED, 0, 0, 0x55, 0xAB}},
         [](auto& c) { return (long long)vcx::SendCmdQueryED(c); }, {{0xED, 0, 0, 0, 0}}, (long long)P::Firmware},
        {"QueryED unanswered", none, {std::nullopt},
         [](auto& c) { return (long long)vcx::SendCmdQueryED(c); }, {{0xED, 0, 0, 0, 0}}, (long long)P::NoAnswer},
        {"StartBlockD0", none, {Bytes{0xD0, 0, 0, 0, 4}}, d0(0x1234, false), {{0xD0, 0x34, 0x12, 0, 0}}, 0x104},
        {"StartBlockD0 erased", none, {}, d0(0x0001, true), {{0xD0, 0x01, 0x00, 0xFF, 0xFF}}, 0x1FF},
        // Unanswered: the byte the buffer holds, the command's own.
        {"StartBlockD0 unanswered", none, {std::nullopt}, d0(0xFFFF, true), {{0xD0, 0xFF, 0xFF, 0xFF, 0xFF}}, 0x0FF},
        {"CheckBlockD1", none, {Bytes{0xD1, 0, 0, 0, 1}}, d1(0xBEEF), {{0xD1, 0, 0, 0xEF, 0xBE}}, 0x101},
        {"CheckBlockD1 unanswered", none, {std::nullopt}, d1(0x01FE), {{0xD1, 0, 0, 0xFE, 0x01}}, 0x001},
    };
    for (const cmdtest::CommandCase& bc : cases) {
        SCOPED_TRACE(bc.name);
        cmdtest::CommandScript loader;
        loader.replies.assign(bc.replies.begin(), bc.replies.end());
        g_loader = &loader;
        vcx::Controller c;
        c.api.SendCmd = scriptedSendCmd;
        c.dev.device = kHandle;
        bc.setup(c);
        EXPECT_EQ(bc.run(c), bc.result);
        EXPECT_EQ(loader.sent, bc.sent);
        g_loader = nullptr;
    }
}

TEST(UpdateBootCommands, NothingIsSentWithoutTheLibrarysSendCmd) {
    vcx::Controller c;
    c.dev.device = kHandle;
    uint8_t status = 0;
    EXPECT_EQ(vcx::SendCmdEnterBootFF(c, 0), 0);
    EXPECT_FALSE(vcx::SendCmdQueryBootD9(c));
    EXPECT_EQ(vcx::SendCmdQueryED(c), vcx::BootPresence::NoAnswer);
    EXPECT_FALSE(vcx::SendCmdStartBlockD0(c, 0, false, &status));
    EXPECT_FALSE(vcx::SendCmdCheckBlockD1(c, 0, &status));
}

}  // namespace
