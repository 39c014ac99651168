// The step-by-step identification as a small program of its own, with a plain
// reader of the data file: the yardstick of `halvetra-cli identify` and
// `halvetra-cli data` as whole processes (bench/cli-vs-literal.sh).
//
//   halvetra-literal-identify read FILE      reads the .hvd file; prints its size and column sums
//   halvetra-literal-identify identify FILE  conditions the file's window as the Data page does
//                                            and identifies it step by step; prints both models
//
// The reader is the plain one anybody would write: lines from a stream, fields
// split at TABs and read with std::from_chars, a point as the decimal mark.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "data/IdentificationWindow.h"
#include "data/MeasuredData.h"
#include "data/TObdelava.h"
#include "model/LiteralIdentification.h"
#include "model/TModel.h"

namespace {

struct PlainRecord {
    double samplingTime = 0.0;
    int first = 1;
    int last = 0;
    double filter = 0.0;
    double actuatorMaximum = 100.0;
    double actuatorMinimum = 0.0;
    double opening = 100.0;
    std::vector<std::vector<double>> columns;  // time, then the six signals
};

double Number(std::string_view text) {
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

bool ReadPlain(const char* path, PlainRecord& record) {
    std::ifstream in(path);
    std::vector<std::string> header;
    std::string line;
    while (header.size() < 18 && std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        header.push_back(line);
    }
    if (header.size() < 18) return false;
    record.samplingTime = Number(header[4]);
    const int count = static_cast<int>(Number(header[5]));
    record.first = std::max(1, static_cast<int>(Number(header[6])));
    record.last = std::min(count, static_cast<int>(Number(header[7])));
    record.filter = Number(header[8]);
    record.actuatorMaximum = Number(header[9]);
    record.actuatorMinimum = Number(header[10]);
    record.opening = Number(header[11]);
    record.columns.assign(7, std::vector<double>());
    for (auto& column : record.columns) column.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count && std::getline(in, line); ++i) {
        std::string_view rest = line;
        for (auto& column : record.columns) {
            const auto tab = rest.find('\t');
            column.push_back(Number(rest.substr(0, tab)));
            rest.remove_prefix(tab == std::string_view::npos ? rest.size() : tab + 1);
        }
    }
    return static_cast<int>(record.columns[0].size()) == count;
}

int Read(const char* path) {
    PlainRecord record;
    if (!ReadPlain(path, record)) return 1;
    std::printf("{\"sample_count\":%zu,\"sums\":[", record.columns[0].size());
    for (std::size_t c = 0; c < record.columns.size(); ++c) {
        double sum = 0.0;
        for (const double x : record.columns[c]) sum += x;
        std::printf("%s%.17g", c == 0 ? "" : ",", sum);
    }
    std::printf("]}\n");
    return 0;
}

void PrintModel(const char* name, const halvetra::ModelParameters& m, bool last) {
    std::printf("\"%s\":{\"gain\":%.17g,\"time_constant\":%.17g,\"dead_time\":%.17g,\"std\":%.17g}%s", name, m.Gain,
                m.TimeConstant, m.DeadTime, m.Std, last ? "" : ",");
}

int Identify(const char* path) {
    using namespace halvetra;
    PlainRecord record;
    if (!ReadPlain(path, record) || record.first > record.last) return 1;
    const int n = static_cast<int>(record.columns[0].size());
    // Columns MV, U, Y, Y2 = 1, 3, 5, 6, conditioned and windowed as the
    // Data page and the Model page do.
    MeasuredData data;
    data.SamplingTime = record.samplingTime;
    data.SampleCount = n;
    data.ColumnCount = 6;
    std::copy(record.columns[0].begin(), record.columns[0].end(), data.SampleTimes.begin());
    for (int c = 1; c <= 6; ++c)
        std::copy(record.columns[static_cast<std::size_t>(c)].begin(),
                  record.columns[static_cast<std::size_t>(c)].end(), data.Column(c).begin());
    const TObdelava obdelava;
    obdelava.ConditionSignals(data, 1, 3, 5, 6, record.actuatorMaximum, record.actuatorMinimum, record.opening,
                              record.filter, record.samplingTime, n);
    IdentificationWindow window;
    obdelava.PrepareIdentificationWindow(data, window, record.first, record.last);
    const double span = data.SampleTimes[static_cast<std::size_t>(record.last - 1)] -
                        data.SampleTimes[static_cast<std::size_t>(record.first - 1)];
    TModel model;
    LiteralIdentify(model, window, window.WindowLength, record.samplingTime, 0.05 * span);
    std::printf("{\"window\":[%d,%d],", record.first, record.last);
    PrintModel("inner", model.Inner, false);
    PrintModel("outer", model.Outer, true);
    std::printf("}\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]) == "read") return Read(argv[2]);
    if (argc == 3 && std::string_view(argv[1]) == "identify") return Identify(argv[2]);
    std::fprintf(stderr, "usage: %s read|identify FILE.hvd\n", argv[0]);
    return 2;
}
