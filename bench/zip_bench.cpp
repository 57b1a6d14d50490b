// Benchmark of the zip writer: a 10 MB report file and a 2 MB screenshot (already compressed,
// as a PNG is) into one archive. Writes the two files and the archive into FOLDER and prints
// the time and the archive's size; bench/zip.sh sets Info-ZIP's zip -6 beside it on the same
// files. Never fails on time.
//     zip_bench FOLDER

#include "crash/delivery/zip_archive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace {

// Report-like text: header lines and call stacks that repeat with other addresses.
std::vector<uint8_t> ReportFile(size_t size)
{
    std::mt19937 random(1);
    std::string text;
    const char* functions[] = {"TForm1.Button1Click", "TApplication.Run", "TWinControl.WndProc",
                               "Controls.TControl.Perform", "KiUserCallbackDispatcher"};
    while (text.size() < size) {
        char line[160];
        std::snprintf(line, sizeof line, "%08x +%03x program.exe Unit%-8u %5u +%u %s\r\n",
                      static_cast<unsigned>(0x00400000 + random() % 0x100000),
                      static_cast<unsigned>(random() % 0x400), static_cast<unsigned>(random() % 40),
                      static_cast<unsigned>(random() % 3000), static_cast<unsigned>(random() % 20),
                      functions[random() % 5]);
        text += line;
        if (random() % 40 == 0)
            text += "\r\ndate/time        : 2026-12-10, 09:20:00, 123ms\r\ncomputer name    : VM\r\n\r\n";
    }
    text.resize(size);
    return {text.begin(), text.end()};
}

std::vector<uint8_t> Compressed(size_t size)
{
    std::mt19937 random(2);
    std::vector<uint8_t> data(size);
    for (uint8_t& b : data)
        b = static_cast<uint8_t>(random());
    return data;
}

void Save(const std::string& path, const std::vector<uint8_t>& data)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    const std::string folder = argv[1];
    const std::vector<uint8_t> report = ReportFile(10 << 20), shot = Compressed(2 << 20);
    Save(folder + "/bugreport.txt", report);
    Save(folder + "/screenShot.png", shot);
    std::vector<double> times;
    size_t bytes = 0;
    for (int run = 0; run < 3; ++run) {
        std::ofstream out(folder + "/ours.zip", std::ios::binary | std::ios::trunc);
        bytes = 0;
        const auto start = std::chrono::steady_clock::now();
        crash::TZipWriter zip([&](std::span<const uint8_t> b) {
            out.write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
            bytes += b.size();
            return static_cast<bool>(out);
        });
        const crash::TDosTime time = crash::DosTimeOf(2026, 12, 10, 9, 20, 0);
        zip.Add("bugreport.txt", report, time, 0x20);
        zip.Add("screenShot.png", shot, time, 0x20);
        zip.Finish();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::printf("%-12s %8.1f ms %9zu bytes\n", "ours", *std::min_element(times.begin(), times.end()), bytes);
    return 0;
}
