// The production-line page's end of a run.
//
//  FinishProcess/Row:N  ms per FinishProcess when the work order's summary
//                       report already holds N - 1 rows (the run writes the
//                       N-th): the detail report, the counters rewritten in the
//                       summary's head and the row appended. The summary is put
//                       back before every run. Row 10 against row 1000: a ratio
//                       well above 1 means the summary is copied at every run.
#include "core/controller_api.h"
#include "core/program_state.h"
#include "diag/diag_state.h"
#include "diag/process_report.h"
#include "pages/proc_cfg_dlg.h"
#include "pages/proc_dlg.h"
#include "params/firmware_file.h"
#include "text/text_file.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <memory>

namespace {

struct Setup {
    QTemporaryDir dir;
    vcx::Controller c;
    vcx::LoadedFirmware fw;
    vcx::DiagState state;
    std::unique_ptr<vcx::CQVProcDlg> page;
    QString summary;

    Setup() {
        vcx::programState().programFolder = dir.path() + u'/';
        vcx::programState().toolPaths[vcx::kProcResFolder] = dir.filePath("results");
        // A controller handle without a library behind it: the run is started,
        // its device block stays empty.
        c.dev.device = reinterpret_cast<HANDLE>(intptr_t(0x42));
        page = std::make_unique<vcx::CQVProcDlg>(c, fw, state, nullptr);
        page->initDialog();
        vcx::ProcessListConfig r;
        r.workOrderNumber = "WO7";
        r.company = "ACME";
        r.pfpFileName = "pkg.pfp";
        r.processList = {};
        page->takeConfiguration(r);
        summary = page->summaryPath();
    }
    // The summary with `rows` rows, kept beside it to be put back before each run.
    QString withRows(int rows) {
        const QString path = dir.filePath(QStringLiteral("summary_%1.csv").arg(rows));
        QFile::remove(path);
        QFile::copy(summary, path);
        qvtext::TextWriter w(QFile::encodeName(path).constData(), qvtext::TextWriter::Mode::Append);
        for (int i = 1; i <= rows; ++i)
            w.write(vcx::SummaryRowText({std::to_string(i) + ",", "2105A.2.05", 0x1234, "12:34:56", "Pass", ""}));
        w.close();
        vcx::WriteSummaryCounters(QFile::encodeName(path).toStdString(), {uint32_t(rows), uint32_t(rows), 0});
        return path;
    }
};

Setup* g_setup = nullptr;

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

void FinishProcess(benchmark::State& state) {
    Setup& s = *g_setup;
    const int row = int(state.range(0));
    const QString saved = s.withRows(row - 1);
    double cpu = 0;
    for (auto _ : state) {
        // The product reports of the last run go; the summary comes back with its rows.
        QDir(s.page->workOrderFolder()).removeRecursively();
        QDir().mkpath(s.page->workOrderFolder());
        QFile::copy(saved, s.summary);
        s.page->takeConfiguration(s.page->record());
        s.page->StartProcess();  // the product's prefix; no item is listed that would run
        const double cpu0 = cpuMs();
        const auto t0 = std::chrono::steady_clock::now();
        s.page->FinishProcess(0);
        const auto t1 = std::chrono::steady_clock::now();
        cpu += cpuMs() - cpu0;
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
    // The processor's share: the wall time also holds the disk's flushes.
    state.counters["cpu_ms"] = cpu / double(state.iterations());
}
BENCHMARK(FinishProcess)->Name("FinishProcess/Row")->Arg(10)->Arg(1000)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    Setup setup;
    g_setup = &setup;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_setup = nullptr;
    return 0;
}
