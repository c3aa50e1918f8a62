// Golden samples of the connected product: the sample files in the program's
// "GoldenSample" folder, the running average of them, and the golden values
// the diagnostic test compares a panel with (DiagState::golden, BaseFrame).
//
// Files: "<program folder>GoldenSample/QV<product>_x<CRC>" + "_GoldenSample_NN.csv"
// (NN the first free number 00..99) and + "_AverageGS.csv".
#pragma once

#include "diag/diag_state.h"
#include "diag/golden_sample_file.h"

#include <QString>

#include <cstdint>
#include <string>

namespace vcx {

struct Controller;
struct ProgramState;

// What the golden-sample files of a device are named after and checked against.
struct GoldenSampleDevice {
    QString programFolder;        // with its trailing '/'
    QString productName;          // GetProductNameString
    uint16_t parametersCrc = 0;   // the device's stored parameter CRC
    std::string firmwareVersion;  // the master's version text
    int rows = 0, columns = 0;    // A, B
};
GoldenSampleDevice GoldenSampleDeviceOf(const Controller& c, const ProgramState& ps);

constexpr int kMaxGoldenSamples = 100;

QString GoldenSampleBaseName(const GoldenSampleDevice& d);
QString GoldenSamplePath(const GoldenSampleDevice& d, int number);
QString AverageGoldenSamplePath(const GoldenSampleDevice& d);

// Reads a golden-sample file of this device; false when it cannot be read, is
// malformed or belongs to another firmware or parameter CRC.
bool ReadGoldenSampleFile(const QString& path, const GoldenSampleDevice& d, GoldenSampleFile* out);
// The average file into s.golden and s.BaseFrame; false (s unchanged) when it
// is missing or does not read.
bool LoadAverageGoldenSample(const GoldenSampleDevice& d, DiagState& s);
// A new sample from s.ScanFrame[0..2] (their mean, per node) and the average
// with it: floor((avg x n + new) / (n + 1)), the count n + 1 up to 65535. The
// average is read before anything is written: when there is no free number or
// an existing average does not read, nothing is written and the result is
// false. On success s holds the new average.
bool CreateGoldenSampleFiles(const GoldenSampleDevice& d, DiagState& s);

}  // namespace vcx
