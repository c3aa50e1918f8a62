// Texts formed from the connected controller's identity: the product name that
// file names carry, the interface names, and the heading block of the device logs.
#pragma once

#include "core/controller_api.h"
#include "text/text_file.h"

#include <QString>

namespace vcx {

constexpr int kAppVersion[4] = {2, 7, 3, 13};
constexpr const char* kAppName = "Quorvane VCXMSet";

// The firmware name of file names: "%d%s_%s%d_%d_%d" (model, letter, customer
// text ending "_", major, customer code, minor), with "_%d" of the second build
// byte when it is not 0.
QString GetProductNameString(const FirmwareInformationW& info);
// The customer text of a customer code, ending with `end`: 0 none, below 200
// "D%02d", 200..249 "A%02d" of code - 199, 250 "T", above "T%d" of code - 250
// (the firmware files' customer prefix).
QString CustomerText(int code, QChar end);

// "USB", "RS232 / UART", "I2C", "SPI" by the interface bits (0..1), with
// "Auto Detect : " before it when bits 2..3 are set; "Auto Detect: I2C (HID)"
// for a HID controller on I2C (device type QV_DEVICE_HID_3508).
QString interfaceName(uint32_t deviceType, uint8_t interfaceBits);

// The master's version text as the read-out shows it: cut before "Boot" unless
// the master runs its boot loader, trailing blanks removed.
QString masterVersionText(const FirmwareVersionInfoW& v);

// The heading block of a device log of `kind` (0..5): time (qvtext's clock),
// application version, function heading and the controller's versions.
void WriteLogHeader(qvtext::TextWriter& file, const Controller& c, int kind);

} // namespace vcx
