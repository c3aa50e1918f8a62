// Texts formed from the connected controller's identity: the product name that
// file names carry, the interface names, and the heading block of the device logs.
#pragma once

#include "shell/controller_api.h"
#include "text/text_file.h"

#include <QString>

namespace vcx {

constexpr int kAppVersion[4] = {2, 7, 3, 13};
constexpr const char* kAppName = "Quorvane VCXMSet";

// The firmware name of file names: GetProductNameString(info) of
// params/parameter_ini.h (the version text is no longer looked at).
QString GetProductNameString(const FirmwareInformationW& info, const QString& masterVersion);

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
