// The property-stream compiler, a build-time program of the host:
//   property_stream_compiler compile TEXT BINARY     text form to binary stream
//   property_stream_compiler decompile BINARY TEXT   binary stream to text form
//   property_stream_compiler scramble SERVER ACCOUNT PASSWORD
//                                                    the stored form of a settings password
// 8-bit texts (kinds 6 and 12) are taken as Latin-1. Exits with 1 and a message on bad input.

#include "base/utf.h"
#include "crash/settings/password_codec.h"
#include "tools/property_text.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool ReadFile(const char* path, std::string& out)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteFile(const char* path, const std::string& data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
    return out.good();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "scramble") {
        const std::u16string stored = crash::EncodePassword(base::Utf8ToUtf16(argv[4]), argv[2], argv[3]);
        std::printf("%s\n", base::Utf16ToUtf8(stored).c_str());
        return 0;
    }
    if (argc != 4) {
        std::fprintf(
            stderr,
            "usage: %s compile TEXT BINARY | decompile BINARY TEXT | scramble SERVER ACCOUNT PASSWORD\n",
            argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    std::string input;
    if (!ReadFile(argv[2], input)) {
        std::fprintf(stderr, "%s: cannot read\n", argv[2]);
        return 1;
    }
    if (mode == "compile") {
        const tools::TTextParseResult parsed = tools::ParsePropertyText(input);
        if (!parsed.Ok) {
            std::fprintf(stderr, "%s:%d: %s\n", argv[2], parsed.ErrorLine, parsed.Error.c_str());
            return 1;
        }
        const std::vector<uint8_t> bytes = base::WritePropertyStream(parsed.Root);
        return WriteFile(argv[3], std::string(bytes.begin(), bytes.end())) ? 0 : 1;
    }
    if (mode == "decompile") {
        const base::TStreamReadResult read =
            base::ReadPropertyStream({reinterpret_cast<const uint8_t*>(input.data()), input.size()});
        if (read.Status != base::TStreamStatus::Ok) {
            std::fprintf(stderr, "%s: not a complete property stream (status %d)\n", argv[2],
                         static_cast<int>(read.Status));
            return 1;
        }
        return WriteFile(argv[3], tools::FormatPropertyText(read.Root)) ? 0 : 1;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
    return 2;
}
