// A controller unplugged during its update and not plugged in again: wherever
// it went, the page ends idle with the failure picture and a text that names
// the cause once its own tries are used up, without waiting for a replug.

#include "update_support.h"

#include "ui/string_table.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using updatetest::UpdatePage;

struct UnplugCase {
    const char* name;
    // The command of a clean update's trace (1 = the first) at which the controller goes.
    std::function<size_t(const std::vector<qvsim::TraceEntry>&)> at;
    uint32_t text;  // the result text
};

class UpdateUnplugged : public UpdatePage, public ::testing::WithParamInterface<UnplugCase> {};

TEST_P(UpdateUnplugged, EndsWithItsFailureTextWhenTheTriesRunOut) {
    const fwtest::Image im = updatetest::NewImage();
    // A clean update's trace: where the command is.
    ASSERT_TRUE(start());
    useFile(fwtest::image(im));
    dev().clearTrace();
    page->timers()->start(13, 10);
    drive();
    ASSERT_TRUE(page->resultSuccess()) << page->resultText().toStdString();
    const int k = int(GetParam().at(dev().trace()));
    ASSERT_GT(k, 0);

    TearDown();
    ASSERT_TRUE(start());
    useFile(fwtest::image(im));
    dev().clearTrace();
    // Command k reaches the controller, its answer never comes back, and the
    // system reports the removal before the next timer tick.
    dev().disconnectAfter(k);
    qvsim::Controller& ctl = dev();
    bool unplugged = false;
    page->timers()->start(13, 10);
    const uint64_t begin = bench->clock().nowMs();
    drive(200000, [&] {
        if (unplugged || ctl.connected()) return;
        unplugged = true;
        bench->remove("/sim/hidraw0");
    });
    ASSERT_TRUE(unplugged);
    EXPECT_EQ(page->state(), vcx::CQVUpdateDlg::kIdle);
    ASSERT_FALSE(pageStates().empty());
    EXPECT_EQ(pageStates().back(), 0u);
    EXPECT_TRUE(page->resultShown());
    EXPECT_FALSE(page->resultSuccess());
    ASSERT_FALSE(qvui::loadString(GetParam().text).isEmpty());
    EXPECT_EQ(page->resultText(), qvui::loadString(GetParam().text)) << page->resultText().toStdString();
    // Ten reconnect tries a second apart and the loader search, no more.
    EXPECT_LT(bench->clock().nowMs() - begin, 30000u);
}

// The first command that `is` holds for, or with `last` the one after the last such command.
template <class Is>
auto command(Is is, bool last = false) {
    return [is, last](const std::vector<qvsim::TraceEntry>& t) {
        size_t found = 0;
        for (size_t i = 0; i < t.size(); ++i)
            if (is(t[i].packet)) {
                found = i + 1;
                if (!last) break;
            }
        return found == 0 ? 0 : found + (last ? 1 : 0);
    };
}
auto d0Of(uint16_t block) {
    return command([block](const qvsim::Packet& p) { return p[0] == 0xD0 && (p[1] | p[2] << 8) == block; });
}

INSTANTIATE_TEST_SUITE_P(
    Update, UpdateUnplugged,
    ::testing::Values(
        // The loader's checksum kind: its block size (D2) is asked of nobody.
        UnplugCase{"AtD9", command([](const qvsim::Packet& p) { return p[0] == 0xD9; }), 1313},
        UnplugCase{"AtABlock", d0Of(2), 1321},
        UnplugCase{"AtTheLastBlock", d0Of(0), 1321},
        // Gone once the last block was written: the reconnect's tries run out.
        UnplugCase{"AfterTheLastBlock", command([](const qvsim::Packet& p) { return p[0] == 0xD1; }, true), 1333}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
