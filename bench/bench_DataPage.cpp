// The Data page with a 5000-sample record: loading and conditioning the file,
// a load into a new data set as the command line makes it, and one move of
// the window slider, which redraws the four charts and their statistics
// (offscreen, with the window shown so that painting happens too).
// The bytes allocated per move are counted to show that nothing on that path
// grows with the data.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTextStream>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>

#include "app/TForm1.h"
#include "app/UnavailablePlantAccess.h"
#include "data/TObdelava.h"
#include "experiment/Clock.h"
#include "ui/Chart.h"
#include "ui/DataPage.h"
#include "ui/Dialogs.h"

namespace {

std::atomic<long long> allocatedBytes{0};

}  // namespace

void* operator new(std::size_t size) {
    allocatedBytes += static_cast<long long>(size);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int Samples = 5000;

class OneFileDialogs final : public halvetra::Dialogs {
public:
    explicit OneFileDialogs(QString file) : file_(std::move(file)) {}
    bool execute(halvetra::FileDialog& dialog) override {
        dialog.FileName = file_;
        return true;
    }
    void showMessage(const QString& text) override { qFatal("%s", qPrintable(text)); }
    std::optional<std::vector<std::string>> browseItems(halvetra::PlantAccess&) override { return std::nullopt; }
    halvetra::CertificateTrust trustCertificate(const halvetra::ServerCertificate&) override {
        return halvetra::CertificateTrust::Reject;
    }

private:
    QString file_;
};

QString writeRecord(const QTemporaryDir& dir) {
    const QString path = dir.filePath("record.hvd");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    QTextStream out(&file);
    out << "HALVETRA Mesurements\r\nV1.0\r\n1.1.2026\r\n12:00:00\r\n0.5\r\n"
        << Samples << "\r\n1\r\n"
        << Samples << "\r\n2\r\n100\r\n0\r\n20\r\nMV\r\nMV\r\nU\r\nU\r\nY\r\nY2\r\n";
    double y = 0, y2 = 0;
    for (int i = 0; i < Samples; ++i) {
        const double mv = (i / 700) % 2 ? 60.0 : 30.0;
        y += 0.02 * (1.5 * mv - y);
        y2 += 0.005 * (y - y2);
        const double noise = 0.2 * std::sin(i * 12.9898);
        out << i * 0.5 << '\t' << mv << '\t' << mv << '\t' << mv << '\t' << mv << '\t' << y + noise << '\t'
            << y2 + noise << "\r\n";
    }
    return path;
}

void BM_LoadAndCondition(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = writeRecord(dir).toStdString();
    halvetra::MeasuredData data;
    const halvetra::TObdelava obdelava;
    for (auto _ : state) {
        obdelava.LoadDataFile(path, data, '.');
        obdelava.ConditionSignals(data, 1, 3, 5, 6, 100.0, 0.0, 20.0, 2.0, data.SamplingTime, data.SampleCount);
        benchmark::DoNotOptimize(data.ConditionedY2.data());
    }
}
BENCHMARK(BM_LoadAndCondition)->Unit(benchmark::kMillisecond);

// A load as halvetra-cli makes it: into a data set made for it, whose memory
// the load touches for the first time.
void BM_LoadIntoAFreshDataSet(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = writeRecord(dir).toStdString();
    const halvetra::TObdelava obdelava;
    for (auto _ : state) {
        halvetra::MeasuredData data;
        obdelava.LoadDataFile(path, data, '.');
        benchmark::DoNotOptimize(data.RawColumns[5].data());
    }
}
BENCHMARK(BM_LoadIntoAFreshDataSet)->Unit(benchmark::kMillisecond);

void BM_SliderMove(benchmark::State& state) {
    QTemporaryDir dir;
    OneFileDialogs dialogs(writeRecord(dir));
    halvetra::SystemClock clock;
    halvetra::UnavailablePlantAccess plant;
    halvetra::TForm1 form(dialogs, clock, plant);
    form.show();
    form.PageControl1->setCurrentIndex(halvetra::TForm1::ObdTab);
    halvetra::DataPage& page = *form.DataPage_;
    page.Button3Click();
    QCoreApplication::processEvents();
    // A window of state.range(0) samples at the end of the record.
    const int first = Samples - static_cast<int>(state.range(0)) + 1;
    page.ScrollBar3->setValue(2);  // the first move brings the ranges of the start slider's rule
    page.ScrollBar3->setValue(first + 1);
    QCoreApplication::processEvents();
    int position = first + 1;
    long long bytes = 0;
    for (auto _ : state) {
        position = position == first ? first + 1 : first;
        const long long before = allocatedBytes.load();
        page.ScrollBar3->setValue(position);
        QCoreApplication::processEvents();  // the queued replot of the four charts and their painting
        bytes += allocatedBytes.load() - before;
    }
    state.counters["bytes_per_move"] = benchmark::Counter(static_cast<double>(bytes) / state.iterations());
    state.counters["points_per_chart"] = page.Series2->data()->size();
}
BENCHMARK(BM_SliderMove)->Arg(500)->Arg(2000)->Arg(5000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
