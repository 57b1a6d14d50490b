#include "crash/delivery/testing/peer_records_win.h"

#include "base/win_handle.h"

#include <cstdlib>
#include <map>
#include <sstream>

namespace crash::testing {
namespace {

std::string Unhexed(const std::string& hex)
{
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

} // namespace

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::wstring WindowsPath(const std::string& unixPath)
{
    std::wstring out = L"Z:";
    for (const char c : unixPath)
        out += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

std::string ReadWholeFile(const std::wstring& path)
{
    const base::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    std::string data(file ? ::GetFileSize(file.Get(), nullptr) : 0, '\0');
    DWORD got = 0;
    if (!data.empty())
        ::ReadFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &got, nullptr);
    data.resize(got);
    return data;
}

void WriteWholeFile(const std::wstring& path, const std::string& data)
{
    const base::FileHandle file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD wrote = 0;
    ::WriteFile(file.Get(), data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr);
}

void KeepArchiveForReaders(const std::wstring& folder, const std::wstring& archive,
                           const std::vector<TArchiveEntry>& entries)
{
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\files").c_str(), nullptr);
    EXPECT_TRUE(::CopyFileW(archive.c_str(), (folder + L"\\archive.zip").c_str(), FALSE));
    for (const TArchiveEntry& e : entries) {
        // A read-only copy of an earlier run is not overwritten by CopyFileW.
        const std::wstring copy = folder + L"\\files\\" + e.Name;
        ::SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_TRUE(::CopyFileW(e.File.c_str(), copy.c_str(), FALSE));
    }
}

std::string Awkward(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7919) >> 3);
    return data + "\r\n.\r\n\r\r\n--\n";
}

TField TReceived::Field(const std::string& name) const
{
    for (const TField& f : Fields)
        if (f.Name == name)
            return f;
    return TField{name, "(missing)", ""};
}

std::vector<TReceived> NewRecords(const char* resultsVariable)
{
    static std::map<std::string, int> seenOf;
    int& seen = seenOf[resultsVariable];
    std::vector<TReceived> records;
    for (;;) {
        const std::wstring folder =
            WindowsPath(Env(resultsVariable)) + L"\\" + std::to_wstring(seen + 1) + L"\\";
        std::istringstream lines(ReadWholeFile(folder + L"manifest"));
        std::string line;
        TReceived record;
        bool any = false;
        while (std::getline(lines, line)) {
            any = true;
            std::vector<std::string> cells;
            std::istringstream cellStream(line);
            for (std::string cell; std::getline(cellStream, cell, '\t');)
                cells.push_back(cell);
            cells.resize(5);
            if (cells[0] == "path")
                record.Path = Unhexed(cells[1]);
            else if (cells[0] == "from")
                record.From = Unhexed(cells[1]);
            else if (cells[0] == "auth")
                record.Auth = Unhexed(cells[1]);
            else if (cells[0] == "field")
                record.Fields.push_back({Unhexed(cells[1]), Unhexed(cells[2]), Unhexed(cells[3])});
            else if (cells[0] == "file")
                record.Files.push_back(
                    {Unhexed(cells[1]), Unhexed(cells[2]),
                     ReadWholeFile(folder + std::wstring(cells[3].begin(), cells[3].end()))});
        }
        if (!any)
            return records;
        records.push_back(std::move(record));
        ++seen;
    }
}

// The store is closed at once: the system keeps a store's changes to itself until it is
// closed, and a chain built meanwhile through a store opened anew would not see the authority.
void TTrustedAuthority::SetUp()
{
    FDer = ReadWholeFile(WindowsPath(Env(FVariable)));
    ASSERT_FALSE(FDer.empty()) << "run through the wrapper script that starts the servers (" << FVariable
                               << ")";
    const HCERTSTORE store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    ASSERT_TRUE(store);
    const bool added = ::CertAddEncodedCertificateToStore(
        store, X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(FDer.data()), static_cast<DWORD>(FDer.size()),
        CERT_STORE_ADD_REPLACE_EXISTING, nullptr);
    ::CertCloseStore(store, 0);
    ASSERT_TRUE(added);
}

void TTrustedAuthority::TearDown()
{
    if (FDer.empty())
        return;
    const HCERTSTORE store =
        ::CertOpenStore(CERT_STORE_PROV_SYSTEM_W, 0, 0, CERT_SYSTEM_STORE_CURRENT_USER, L"Root");
    const PCCERT_CONTEXT ours = ::CertCreateCertificateContext(
        X509_ASN_ENCODING, reinterpret_cast<const BYTE*>(FDer.data()), static_cast<DWORD>(FDer.size()));
    if (store && ours)
        if (const PCCERT_CONTEXT found =
                ::CertFindCertificateInStore(store, X509_ASN_ENCODING, 0, CERT_FIND_EXISTING, ours, nullptr))
            ::CertDeleteCertificateFromStore(found); // frees `found`
    if (ours)
        ::CertFreeCertificateContext(ours);
    if (store)
        ::CertCloseStore(store, 0);
}

} // namespace crash::testing
