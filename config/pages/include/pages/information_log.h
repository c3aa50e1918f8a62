// What the Information page asks of the controller, without the page: the
// touch data report its "Disable Data Report" box switches, and the UI
// parameters log (the device log header, the interface, the parameter CRC and
// the parameter summary of the program-wide records).
#pragma once

#include <QString>

namespace vcx {

struct Controller;

class DataReportSwitch {
public:
    explicit DataReportSwitch(Controller& c) : c_(c) {}
    // The controller reports touches (true) or not; nothing without the export.
    void SetReporting(bool on);

private:
    Controller& c_;
};

class UiParametersLog {
public:
    explicit UiParametersLog(Controller& c) : c_(c) {}
    // Asks the controller's parameter CRC and writes the log into `folder` as
    // "QV<product name>_x<CRC>.csv" (numbered when taken); the path written,
    // empty when no free name was found or the file could not be opened.
    QString WriteInto(const QString& folder);

private:
    Controller& c_;
};

} // namespace vcx
