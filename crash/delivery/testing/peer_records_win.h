#pragma once
// What the delivery tests' servers on 127.0.0.1 received, as records.py writes it: a folder per
// request with a manifest of hexadecimal values and the files' bytes. And the tests' own
// certificate authority, trusted by this user while a test program runs.

#include <gtest/gtest.h>

#include <windows.h>

#include <wincrypt.h>

#include <ostream>
#include <string>
#include <vector>

namespace crash::testing {

std::string Env(const char* name);
// A Unix path of the servers' side as Wine's drive Z: shows it.
std::wstring WindowsPath(const std::string& unixPath);
std::string ReadWholeFile(const std::wstring& path);
void WriteWholeFile(const std::wstring& path, const std::string& data);
// Keeps a copy of `archive` as `folder`\archive.zip, and of each file under the name of its
// entry in `folder`\files, for the independent readers (testing/zip_readers.sh).
struct TArchiveEntry
{
    std::wstring Name, File;
};
void KeepArchiveForReaders(const std::wstring& folder, const std::wstring& archive,
                           const std::vector<TArchiveEntry>& entries);
// Bytes that a careless transfer would change: every byte value, line ends of every kind, a
// line of a lone period, a boundary's dashes.
std::string Awkward(size_t size);

struct TField
{
    std::string Name, Charset, Text; // UTF-8
    bool operator==(const TField&) const = default;
    friend void PrintTo(const TField& f, std::ostream* os)
    {
        *os << f.Name << "/" << f.Charset << "=" << f.Text;
    }
};
struct TFile
{
    std::string Field, Name, Data; // names UTF-8
};
// One request as the server's parser read it.
struct TReceived
{
    std::string Path, From, Auth;
    std::vector<TField> Fields;
    std::vector<TFile> Files;

    // The first field of that name; "(missing)" as its charset when there is none.
    TField Field(const std::string& name) const;
};

// The requests recorded under the folder the variable `resultsVariable` names since the last
// call.
std::vector<TReceived> NewRecords(const char* resultsVariable);

// Trusts the authority whose certificate (DER) the variable names, for the current user, until
// the program ends.
class TTrustedAuthority : public ::testing::Environment
{
public:
    explicit TTrustedAuthority(const char* certificateVariable) : FVariable(certificateVariable) {}
    void SetUp() override;
    void TearDown() override;

private:
    const char* FVariable;
    std::string FDer;
};

} // namespace crash::testing
