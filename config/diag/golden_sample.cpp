#include "diag/golden_sample.h"

#include "core/controller_api.h"
#include "core/device_text.h"
#include "core/program_state.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cstdio>

namespace vcx {

namespace {

// A golden-sample file is a few hundred kilobytes at most.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

// Free when it cannot be opened for reading.
bool isFree(const QString& path) {
    QFile f(path);
    return !f.open(QIODevice::ReadOnly);
}

bool writeFile(const QString& path, const GoldenSampleFile& file, const GoldenSampleDevice& d) {
    return WriteGoldenSampleFile(QFile::encodeName(path).constData(), file, d.rows, d.columns);
}

} // namespace

GoldenSampleDevice GoldenSampleDeviceOf(const Controller& c, const ProgramState& ps) {
    GoldenSampleDevice d;
    d.programFolder = ps.programFolder;
    d.productName = GetProductNameString(c.records.fwInformation);
    d.parametersCrc = c.dev.parameterCrc;
    d.firmwareVersion = wideField(c.records.fwVersion.master, 50).toStdString();
    d.rows = c.records.diagInfo.rows;
    d.columns = c.records.diagInfo.columns;
    return d;
}

QString GoldenSampleBaseName(const GoldenSampleDevice& d) {
    return QStringLiteral("%1GoldenSample/QV%2_x%3")
        .arg(d.programFolder, d.productName, QString::asprintf("%04X", unsigned(d.parametersCrc)));
}

QString GoldenSamplePath(const GoldenSampleDevice& d, int number) {
    return GoldenSampleBaseName(d) + QString::asprintf("_GoldenSample_%02d.csv", number);
}

QString AverageGoldenSamplePath(const GoldenSampleDevice& d) { return GoldenSampleBaseName(d) + "_AverageGS.csv"; }

bool ReadGoldenSampleFile(const QString& path, const GoldenSampleDevice& d, GoldenSampleFile* out) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileBytes) return false;
    const QByteArray bytes = f.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) return false;
    return ParseGoldenSampleText(std::string_view(bytes.constData(), size_t(bytes.size())), d.rows, d.columns,
                                 d.firmwareVersion, d.parametersCrc, out);
}

bool LoadAverageGoldenSample(const GoldenSampleDevice& d, DiagState& s) {
    GoldenSampleFile file;
    if (!ReadGoldenSampleFile(AverageGoldenSamplePath(d), d, &file)) return false;
    s.golden = {file.firmwareVersion, file.parametersCrc, file.averageCount};
    s.BaseFrame = std::move(file.grid);
    return true;
}

bool CreateGoldenSampleFiles(const GoldenSampleDevice& d, DiagState& s) {
    const size_t n = d.rows > 0 && d.columns > 0 ? size_t(d.rows) * size_t(d.columns) : 0;
    if (n == 0 || std::any_of(s.ScanFrame.begin(), s.ScanFrame.end(), [n](const Frame& f) { return f.size() < n; }))
        return false;
    if (!QDir().mkpath(d.programFolder + QStringLiteral("GoldenSample"))) return false;
    int number = 0;
    while (number < kMaxGoldenSamples && !isFree(GoldenSamplePath(d, number))) ++number;
    if (number == kMaxGoldenSamples) return false;

    GoldenSampleFile sample;
    sample.firmwareVersion = StripBootVersionText(d.firmwareVersion);
    sample.parametersCrc = d.parametersCrc;
    sample.averageCount = 1;
    sample.grid.resize(n);
    for (size_t i = 0; i < n; ++i)
        sample.grid[i] = uint16_t((uint32_t(s.ScanFrame[0][i]) + s.ScanFrame[1][i] + s.ScanFrame[2][i]) / 3);

    // The average is read first, so that a failing one leaves no sample behind.
    GoldenSampleFile average = sample;
    const QString averagePath = AverageGoldenSamplePath(d);
    if (!isFree(averagePath)) {
        GoldenSampleFile old;
        if (!ReadGoldenSampleFile(averagePath, d, &old)) return false;
        const uint64_t count = old.averageCount;
        for (size_t i = 0; i < n; ++i)
            average.grid[i] = uint16_t((uint64_t(old.grid[i]) * count + sample.grid[i]) / (count + 1));
        average.averageCount = uint16_t(std::min<uint64_t>(count + 1, 0xFFFF));
    }

    const QString samplePath = GoldenSamplePath(d, number);
    if (!writeFile(samplePath, sample, d)) {
        QFile::remove(samplePath);
        return false;
    }
    // The average of all earlier samples is replaced whole or not at all.
    const QString written = averagePath + QStringLiteral(".new");
    if (!writeFile(written, average, d) ||
        std::rename(QFile::encodeName(written).constData(), QFile::encodeName(averagePath).constData()) != 0) {
        QFile::remove(written);
        QFile::remove(samplePath);  // no sample without its share of the average
        return false;
    }
    s.golden = {average.firmwareVersion, average.parametersCrc, average.averageCount};
    s.BaseFrame = std::move(average.grid);
    return true;
}

} // namespace vcx
