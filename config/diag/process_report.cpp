#include "diag/process_report.h"

#include "text/ini_file.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cstdio>

namespace vcx {

namespace {

QString path(const std::string& p) { return QFile::decodeName(QByteArray::fromStdString(p)); }

constexpr const char* kCounterKeys[3] = {"Test Count", "Pass Count", "Fail Count"};
// The line that ends the summary's head.
constexpr char kColumnTitles[] = "Batch Number,Batch Number 2,Firmware Version,Parameters CRC,Time,Result,Note";

}  // namespace

std::string ProcessItemReportPath(const std::string& prefix, int item) {
    const std::string name = ProcessItemReportName(item);
    return name.empty() ? std::string() : prefix + name;
}

std::string SummaryHeaderText(const std::string& date, const std::string& workOrder, const std::string& company) {
    std::string s = "Date,," + date + "\n\n";
    s += "AP,,Quorvane VCXMSet 2.7.3.13\n\n";
    s += "\nWork Order Number," + workOrder + "\nCompany," + company + "\n";
    s += "[Test Count]\nTest Count=0\n\n[Pass Count]\nPass Count=0\n\n[Fail Count]\nFail Count=0\n\n";
    s += kColumnTitles;
    s += "\n";
    return s;
}

uint16_t ProcessRowCheckValue(const SummaryRow& row) {
    char crc[8];
    std::snprintf(crc, sizeof crc, "x%04X", row.parameterCrc);
    const QString text = QString::fromUtf8(row.numbering + row.firmware + crc + row.time + row.result + row.failedItem);
    // The text's UTF-16LE bytes, of which only the first N (N characters) count.
    QByteArray bytes;
    for (QChar ch : text) {
        bytes.append(char(ch.unicode() & 0xFF));
        bytes.append(char(ch.unicode() >> 8));
    }
    bytes.truncate(text.size());
    uint16_t reg = 0xFFFF;
    for (char b : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool t = reg & 0x8000;
            reg = uint16_t((reg << 1) | ((uint8_t(b) >> bit) & 1));
            if (t) reg ^= 0x1021;
        }
    }
    return reg;
}

std::string SummaryRowText(const SummaryRow& row) {
    char crc[8], check[8];
    std::snprintf(crc, sizeof crc, "x%04X", row.parameterCrc);
    std::snprintf(check, sizeof check, "x%04X", ProcessRowCheckValue(row));
    return row.numbering + "," + row.firmware + "," + crc + "," + row.time + "," + row.result + "," + row.failedItem +
           "," + check + "\n";
}

SummaryCounters ReadSummaryCounters(const std::string& file) {
    qvui::IniFile ini;
    SummaryCounters c;
    if (!ini.load(path(file))) return c;
    c.test = uint32_t(ini.intValue(QStringLiteral("Test Count"), QStringLiteral("Test Count"), 0));
    c.pass = uint32_t(ini.intValue(QStringLiteral("Pass Count"), QStringLiteral("Pass Count"), 0));
    c.fail = c.test > c.pass ? c.test - c.pass : 0;
    return c;
}

bool WriteSummaryCounters(const std::string& file, const SummaryCounters& counters) {
    QFile f(path(file));
    if (!f.open(QIODevice::ReadWrite)) return false;
    const QByteArray bytes = f.readAll();
    // The head: up to the end of the column titles' line. Its sections hold the
    // counters; the rows below stay where they are unless the head's length changes.
    qsizetype headEnd = bytes.size();
    if (const qsizetype titles = bytes.indexOf(kColumnTitles); titles >= 0) {
        const qsizetype lineEnd = bytes.indexOf('\n', titles);
        headEnd = lineEnd < 0 ? bytes.size() : lineEnd + 1;
    }
    qvui::IniFile head(bytes.left(headEnd));
    const uint32_t values[3] = {counters.test, counters.pass, counters.fail};
    for (const char* key : kCounterKeys)
        if (!head.hasKey(QLatin1String(key), QLatin1String(key))) {
            // A key that is missing from the head goes where a private-profile
            // write puts it: the whole file is the INI then.
            headEnd = bytes.size();
            head = qvui::IniFile(bytes);
            break;
        }
    for (int i = 0; i < 3; ++i)
        if (!head.setValue(QLatin1String(kCounterKeys[i]), QLatin1String(kCounterKeys[i]), QString::number(values[i])))
            return false;
    const QByteArray newHead = head.bytes();
    if (newHead.size() == headEnd) {
        if (!f.seek(0)) return false;
        return f.write(newHead) == newHead.size() && f.flush();
    }
    const QByteArray whole = newHead + bytes.mid(headEnd);
    if (!f.resize(0) || !f.seek(0)) return false;
    return f.write(whole) == whole.size() && f.flush();
}

std::string DetailRunText(const DetailRun& run) {
    std::string s = "\nWork Order Number," + run.workOrder + "\nCompany," + run.company + "\n";
    if (run.batchNumbering) {
        s += "\nBatch Number," + run.batch1 + "\n";
        if (run.secondBatch) s += "Batch Number2," + run.batch2 + "\n";
    } else {
        s += "\nSerial Number," + std::to_string(run.serialNumber) + "\n";
    }
    bool allPassed = true;
    for (int p = 0; p < kProcessListLength && run.list[size_t(p)] != 0; ++p) {
        s += "\n";
        if (const char* name = ProcessItemName(run.list[size_t(p)])) s += name;
        if (allPassed) {
            allPassed = run.passed[size_t(p)];
            s += allPassed ? ",PASS" : ",FAIL";
        }
    }
    s += "\n";
    return s;
}

int FirstFailedItem(const DetailRun& run) {
    for (int p = 0; p < kProcessListLength && run.list[size_t(p)] != 0; ++p)
        if (!run.passed[size_t(p)]) return run.list[size_t(p)];
    return 0;
}

void AppendItemReports(const std::string& detailPath, const std::string& prefix, const DetailRun& run) {
    QFile detail(path(detailPath));
    if (!detail.open(QIODevice::Append)) return;
    for (int p = 0; p < kProcessListLength && run.list[size_t(p)] != 0; ++p) {
        QFile item(path(ProcessItemReportPath(prefix, run.list[size_t(p)])));
        if (!item.open(QIODevice::ReadOnly)) break;
        detail.write(item.readAll());
        item.close();
        item.remove();
        if (!run.passed[size_t(p)]) break;
    }
}

void RemoveItemReports(const std::string& prefix) {
    for (int item = 1; item <= kProcessItemCount; ++item) QFile::remove(path(ProcessItemReportPath(prefix, item)));
}

BannerPlace PlaceBanner(const WindowRect& page, const WindowRect& main) {
    const int mainWidth = main.right - main.left;
    const int d = (mainWidth - (page.right - page.left)) / 2;
    return {main.left - d, main.top - d, mainWidth + 2 * d, page.top - main.top};
}

}  // namespace vcx
