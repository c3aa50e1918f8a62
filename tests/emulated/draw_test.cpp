// QVDraw3's hidraw input on emulated digitizers: the reader finds the touch
// screens among the hidraw nodes by their report descriptors (HIDIOCGRDESC),
// decodes the input reports the nodes deliver through read(), takes the
// coordinate range by vendor, product and descriptor, and reopens the nodes
// when udev tells of a hidraw arrival or removal.
#include "hidraw_input.h"
#include "emulated_bed_support.h"
#include "qt_support.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment("test_mock"));

namespace qvmock {
namespace {

// A report of report id `id` with one slot per contact: status 0x70 | contact id, X, Y.
struct Contact {
    int id, x, y;
};
Bytes TouchReport(uint8_t id, const std::vector<Contact>& contacts) {
    Bytes r{id};
    for (const auto& c : contacts)
        r.insert(r.end(), {uint8_t(0x70 | c.id), uint8_t(c.x), uint8_t(c.x >> 8), uint8_t(c.y), uint8_t(c.y >> 8)});
    return r;
}

struct Decoded {
    qvdraw::Report report;
    int maximum;
};

class MockDrawInput : public EmulatedBedTest {
protected:
    std::vector<Decoded> decoded;
    int changes = 0;

    // Runs the Qt event loop until n reports were decoded.
    bool decodedCount(size_t n) {
        return processUntil([&] { return decoded.size() >= n; });
    }
};

TEST_F(MockDrawInput, DecodesTheTouchScreensReportsAndFollowsTheirArrival) {
    const Interface controller = ControllerA(std::make_shared<qvsim::Controller>(CurrentControllerProfile()));
    const std::string vendorNode = bed->add(controller);
    // The controller's own touch screen: a report id other than 0 runs to 4095.
    const std::string touchA = bed->add(Digitizer(controller, 2, 1000, 2));
    // A slot-counted controller: up to two slots the descriptor's range counts.
    Interface slotCounted;
    slotCounted.usb.ports = "4";
    slotCounted.usb.productId = 0x3508;
    slotCounted.usb.serial = "QV35080001";
    slotCounted.descriptor = touchScreenDescriptor(1, 32767, 3);
    const std::string touchB = bed->add(slotCounted);

    qvdraw::HidrawReader reader;
    QObject::connect(&reader, &qvdraw::HidrawReader::reportDecoded,
                     [&](const qvdraw::Report& r, int maximum) { decoded.push_back({r, maximum}); });
    QObject::connect(&reader, &qvdraw::HidrawReader::devicesChanged, [&] { ++changes; });
    ASSERT_EQ(reader.start(QStringLiteral("/dev")), 2) << reader.errors().join('\n').toStdString();
    // The controller's own interface was asked what it is, and left alone.
    const auto asked = bed->calls(vendorNode);
    EXPECT_FALSE(asked.empty());
    for (const auto& c : asked) EXPECT_TRUE(c.call == Call::Info || c.call == Call::Descriptor) << callName(c.call);

    bed->queueInput(touchA, TouchReport(2, {{0, 100, 200}, {3, 900, 40}}));
    ASSERT_TRUE(decodedCount(1));
    ASSERT_EQ(decoded[0].report.contacts.size(), 2u);
    EXPECT_EQ(decoded[0].report.reportId, 2);
    EXPECT_EQ(decoded[0].report.contacts[0].id, 0);
    EXPECT_EQ(decoded[0].report.contacts[0].x, 100);
    EXPECT_EQ(decoded[0].report.contacts[0].y, 200);
    EXPECT_TRUE(decoded[0].report.contacts[0].touching);
    EXPECT_EQ(decoded[0].report.contacts[1].id, 3);
    EXPECT_EQ(decoded[0].report.contacts[1].x, 900);
    EXPECT_EQ(decoded[0].maximum, 4095);

    bed->queueInput(touchB, TouchReport(1, {{1, 30000, 20000}, {2, 5, 6}}));
    bed->queueInput(touchB, TouchReport(1, {{1, 4000, 3000}, {2, 5, 6}, {4, 7, 8}}));
    ASSERT_TRUE(decodedCount(3));
    EXPECT_EQ(decoded[1].report.contacts[0].x, 30000);
    EXPECT_EQ(decoded[1].maximum, 32767) << "two slots: the descriptor's logical maximum";
    EXPECT_EQ(decoded[2].report.slotCount, 3);
    EXPECT_EQ(decoded[2].maximum, 4095) << "more than two slots";

    // A touch screen arrives: the reader reopens the nodes and finds three.
    Interface third;
    third.usb.ports = "6";
    third.usb.productId = 0x3508;
    third.usb.serial = "QV35080002";
    third.descriptor = touchScreenDescriptor(1, 4095, 2);
    const std::string touchC = bed->add(third);  // announced by its "add" uevent
    ASSERT_TRUE(processUntil([&] { return changes >= 1 && reader.openCount() == 3; }));
    EXPECT_TRUE(reader.processor().caches().empty());
    bed->queueInput(touchC, TouchReport(1, {{5, 11, 12}}));
    ASSERT_TRUE(decodedCount(4));
    EXPECT_EQ(decoded[3].report.contacts[0].id, 5);

    // One leaves: two are read again.
    const int before = changes;
    bed->uevent(touchB, "remove");
    bed->vanish(touchB);
    ASSERT_TRUE(processUntil([&] { return changes > before; }));
    EXPECT_EQ(reader.openCount(), 2);
    EXPECT_TRUE(reader.errors().join('\n').contains(QString::fromStdString(touchB)))
        << reader.errors().join('\n').toStdString();
}

TEST_F(MockDrawInput, ANodeThatCannotBeAskedIsNamedWithTheFailedCall) {
    const Interface controller = ControllerA(std::make_shared<qvsim::Controller>(CurrentControllerProfile()));
    bed->add(controller);
    const std::string touch = bed->add(Digitizer(controller, 2, 1000, 2));
    bed->fail(touch, Call::Descriptor, EIO);

    qvdraw::HidrawReader reader;
    EXPECT_EQ(reader.start(QStringLiteral("/dev")), 0);
    const QString expected =
        QString::fromStdString("ioctl (HIDIOCGRDESCSIZE) " + touch + ": " + std::strerror(EIO));
    EXPECT_TRUE(reader.errors().contains(expected)) << reader.errors().join('\n').toStdString();
}

}  // namespace
}  // namespace qvmock
