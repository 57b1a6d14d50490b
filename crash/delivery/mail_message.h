#pragma once
// The mail that carries a report by SMTP: the header, the text part, a part per attachment
// with the file in Base64 lines, and the closing boundary. 8-bit text with CR LF line ends; a
// text outside ISO-8859-1 goes as Base64 of its UTF-8. The body is dot-stuffed, so the server
// gets it back exactly. Platform-free: the client streams the files' lines between the pieces.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace crash {

struct TMailTime
{
    int Year = 1980, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0; // UTC
};

struct TMailHeader
{
    std::u16string To, From, ReplyTo, Subject; // To: the list; the first address is written
    TMailTime Time;
    uint64_t Stamp = 0; // the Message-ID's number: the time as a file time
};

// The header (To, From, Reply-To, Subject, Date, Message-ID, MIME), the preamble and the text
// part with its line break.
std::string MailHeadAndBody(const TMailHeader& header, std::u16string_view body);
// What precedes an attachment's Base64 lines.
std::string MailAttachmentHead(std::u16string_view sendAs, std::u16string_view mimeType);
// A file goes in lines of 255 bytes each (340 characters); pieces given here must hold whole
// lines, except the file's last.
inline constexpr size_t MailLineBytes = 255;
std::string MailBase64Lines(std::span<const uint8_t> bytes);
// The closing boundary with its line break.
std::string MailEnd();

// "=?ISO-8859-1?Q?...?=" with every byte but letters and digits as "=XX", or "=?UTF-8?B?...?="
// for a subject outside ISO-8859-1.
std::string EncodedSubject(std::u16string_view subject);
// Line ends as CR LF, and a period that starts a line doubled (the server removes it again).
std::string DotStuffed(std::string_view text);
// The entries of a recipient list (separated by "," or ";") without their surrounding blanks,
// empty ones dropped.
std::vector<std::u16string> MailAddressList(std::u16string_view list);
// The list written with "," between its entries; the number of addresses.
int CountMailAddresses(std::u16string& list);

} // namespace crash
