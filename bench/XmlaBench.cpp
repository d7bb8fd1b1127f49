// What reading an OLAP server's Execute reply costs next to libxml2's own streaming parser. A
// reply of N cells (a thousand columns by N/1000 rows, every cell a typed value and its formatted
// text, as servers send them) is written to a file, and in the same run, in turns:
//   - the XMLA reader reads the file into a cell set, in a child process of its own;
//   - `xmllint --stream --noout` parses the same bytes and builds nothing.
// The reader's work beyond parsing is the cell set itself, so the ratio should stay within 2x, and
// its peak memory less the cell set's size should not grow with the reply: the reply is never
// held whole. Every cell read is checked against the value written.
//
//   XmlaBench [--runs N] [cells ...]     (default: 3 runs, 250000 and 1000000 cells)
//
// With --server it measures the other side instead: orvik-xmla (built beside it) serving the
// example sales cube to 16 concurrent clients of our own for 30 seconds; it prints requests per
// second and the latency percentiles, and fails on any error or wrong answer.
//
//   XmlaBench --server [--clients N] [--seconds S]
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "BenchSupport.h"
#include "XmlaServerLoad.h"
#include "data/AdoException.h"
#include "olap/XmlaCellSetReader.h"

namespace fs = std::filesystem;

namespace {

constexpr long kColumns = 1000;

// A reply read from a file as it would arrive from the network, a buffer at a time.
class FileSource : public orvik::XmlaByteSource {
  public:
    explicit FileSource(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {}
    ~FileSource() override {
        if (file_) std::fclose(file_);
    }
    size_t Read(char* buffer, size_t size) override {
        return file_ ? std::fread(buffer, 1, size, file_) : 0;
    }

  private:
    std::FILE* file_;
};

double CellValue(long ordinal) {
    return static_cast<double>(ordinal % 9973) + 0.25;
}

void WriteReply(const std::string& path, long cells) {
    std::ofstream out(path, std::ios::binary);
    out << "<?xml version=\"1.0\"?><soap:Envelope "
           "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><ExecuteResponse "
           "xmlns=\"urn:schemas-microsoft-com:xml-analysis\"><return><root "
           "xmlns=\"urn:schemas-microsoft-com:xml-analysis:mddataset\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><Axes>";
    const long rows = cells / kColumns;
    for (const auto& [axis, count, hierarchy] :
         {std::tuple{"Axis0", kColumns, "Product"}, std::tuple{"Axis1", rows, "Store"}}) {
        out << "<Axis name=\"" << axis << "\"><Tuples>";
        for (long t = 0; t < count; ++t)
            out << "<Tuple><Member Hierarchy=\"" << hierarchy << "\"><UName>[" << hierarchy
                << "].[Member " << t << "]</UName><Caption>Member " << t << "</Caption><LName>["
                << hierarchy << "].[Level]</LName><LNum>1</LNum>"
                << "<DisplayInfo>0</DisplayInfo></Member></Tuple>";
        out << "</Tuples></Axis>";
    }
    out << "</Axes><CellData>";
    char value[64];
    for (long c = 0; c < rows * kColumns; ++c) {
        std::snprintf(value, sizeof value, "%.2f", CellValue(c));
        out << "<Cell CellOrdinal=\"" << c << "\"><Value xsi:type=\"xsd:double\">" << value
            << "</Value><FmtValue>" << value << "</FmtValue></Cell>";
    }
    out << "</CellData></root></return></ExecuteResponse></soap:Body></soap:Envelope>";
}

struct ReadResult {
    double Seconds = 0;
    long Cells = 0;
    long Wrong = 0;
    bool Failed = false;
    char Error[200] = {};
};

// Reads the reply at `path` in a child process; `usage` receives what the child cost.
ReadResult ReadReply(const std::string& path, struct rusage& usage) {
    return RunInChild<ReadResult>(
        [&](ReadResult& result) {
            const double start = WallSeconds();
            try {
                FileSource source(path);
                const CellSetData data = orvik::xmla::ReadCellSetReply(source);
                result.Seconds = WallSeconds() - start;
                result.Cells = static_cast<long>(data.Cells.size());
                for (size_t c = 0; c < data.Cells.size(); ++c)
                    if (data.Cells[c].Value.AsDouble() != CellValue(static_cast<long>(c)))
                        ++result.Wrong;
            } catch (const CADOException& error) {
                result.Failed = true;
                std::snprintf(result.Error, sizeof result.Error, "%s", error.what());
            }
        },
        usage);
}

}  // namespace

int ServerMain(int argc, char** argv) {
    int clients = 16, seconds = 30;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--clients" && i + 1 < argc) {
            clients = std::clamp(std::atoi(argv[++i]), 1, 256);
        } else if (argument == "--seconds" && i + 1 < argc) {
            seconds = std::clamp(std::atoi(argv[++i]), 1, 3600);
        } else {
            std::fprintf(stderr, "usage: XmlaBench --server [--clients N] [--seconds S]\n");
            return 2;
        }
    }
    const std::string program = (fs::path(ProgramNextToUs()).parent_path() / "orvik-xmla").string();
    xmlaload::LoadResult result = xmlaload::Run(program, ORVIK_SOURCE_DIR, clients, seconds);
    std::printf("%8s %8s %10s %8s %10s %10s %10s %10s\n", "clients", "seconds", "requests",
                "errors", "req/s", "p50 ms", "p95 ms", "p99 ms");
    std::printf("%8d %8.1f %10ld %8ld %10.1f %10.2f %10.2f %10.2f\n", clients, result.Seconds,
                result.Requests, result.Errors,
                result.Seconds > 0 ? static_cast<double>(result.Requests) / result.Seconds : 0.0,
                xmlaload::Percentile(result.Latencies, 0.50),
                xmlaload::Percentile(result.Latencies, 0.95),
                xmlaload::Percentile(result.Latencies, 0.99));
    if (result.Errors != 0) std::fprintf(stderr, "first error: %s\n", result.FirstError.c_str());
    return result.Errors == 0 ? 0 : 1;
}

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--server") return ServerMain(argc, argv);
    BenchArguments arguments;
    if (!ParseBenchArguments(argc, argv, "XmlaBench", {250000, 1000000}, arguments)) return 2;
    const fs::path folder = fs::temp_directory_path() / ("xmla-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    int status = 0;
    std::printf("%10s %10s %10s %10s %7s %10s %12s\n", "cells", "reply MB", "reader s", "xmllint s",
                "ratio", "peak MB", "beyond cells");
    for (const long cells : arguments.Sizes) {
        const std::string path = (folder / ("reply-" + std::to_string(cells) + ".xml")).string();
        WriteReply(path, cells);
        std::vector<double> ours, peer;
        long peakKilobytes = 0;
        for (int run = 0; run < arguments.Runs; ++run) {
            struct rusage usage {};
            const ReadResult result = ReadReply(path, usage);
            if (result.Failed || result.Wrong != 0 || result.Cells != cells / kColumns * kColumns) {
                std::fprintf(stderr, "the reader failed on %ld cells: %s (%ld wrong)\n", cells,
                             result.Error, result.Wrong);
                status = 1;
                break;
            }
            ours.push_back(result.Seconds);
            peakKilobytes = std::max(peakKilobytes, usage.ru_maxrss);
            const ProcessRun lint = RunProcess({"xmllint", "--stream", "--noout", path});
            if (!lint.Succeeded()) {
                std::fprintf(stderr, "xmllint failed: %s\n", lint.Describe().c_str());
                status = 1;
                break;
            }
            peer.push_back(lint.WallSeconds);
        }
        if (ours.empty() || peer.empty()) continue;
        const double replyMb = static_cast<double>(fs::file_size(path)) / 1e6;
        const double peakMb = static_cast<double>(peakKilobytes) / 1024.0;
        const double cellsMb = static_cast<double>(cells) * sizeof(CellSetCell) / 1048576.0;
        std::printf("%10ld %10.1f %10.3f %10.3f %7.2f %10.1f %12.1f\n", cells, replyMb,
                    MedianOf(ours), MedianOf(peer), MedianOf(ours) / MedianOf(peer), peakMb,
                    peakMb - cellsMb);
        fs::remove(path);
    }
    fs::remove_all(folder);
    return status;
}
