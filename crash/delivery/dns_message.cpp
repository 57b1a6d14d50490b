#include "crash/delivery/dns_message.h"

#include <algorithm>
#include <optional>

namespace crash {
namespace {

constexpr size_t MaxName = 255;

class TReader
{
public:
    explicit TReader(std::span<const uint8_t> message) : FMessage(message) {}

    bool Has(size_t count) const { return FAt <= FMessage.size() && FMessage.size() - FAt >= count; }
    std::optional<uint16_t> Word()
    {
        if (!Has(2))
            return std::nullopt;
        const uint16_t value = static_cast<uint16_t>((FMessage[FAt] << 8) | FMessage[FAt + 1]);
        FAt += 2;
        return value;
    }
    bool Skip(size_t count)
    {
        if (!Has(count))
            return false;
        FAt += count;
        return true;
    }
    size_t At() const { return FAt; }
    void MoveTo(size_t at) { FAt = at; }

    // A name at the reading position, compression pointers followed; the position moves past
    // the name as it stands there. A pointer must lead backwards, to before the label that
    // holds it, so that no message can make the reading loop.
    std::optional<std::string> Name()
    {
        std::string name;
        size_t at = FAt, end = 0, limit = at;
        bool jumped = false;
        for (;;) {
            if (at >= FMessage.size())
                return std::nullopt;
            const uint8_t length = FMessage[at];
            if ((length & 0xC0) == 0xC0) {
                if (at + 1 >= FMessage.size())
                    return std::nullopt;
                const size_t target = ((length & 0x3F) << 8) | FMessage[at + 1];
                if (target >= limit)
                    return std::nullopt;
                if (!jumped)
                    end = at + 2;
                jumped = true;
                at = limit = target;
                continue;
            }
            if (length & 0xC0)
                return std::nullopt; // the reserved label kinds
            if (length == 0) {
                FAt = jumped ? end : at + 1;
                return name;
            }
            if (at + 1 + length > FMessage.size() || name.size() + length + 1 > MaxName)
                return std::nullopt;
            if (!name.empty())
                name.push_back('.');
            name.append(reinterpret_cast<const char*>(&FMessage[at + 1]), length);
            at += 1 + length;
        }
    }

private:
    std::span<const uint8_t> FMessage;
    size_t FAt = 0;
};

} // namespace

std::vector<uint8_t> DnsQuery(std::string_view domain, TDnsType type, uint16_t id)
{
    if (!domain.empty() && domain.back() == '.')
        domain.remove_suffix(1);
    if (domain.empty() || domain.size() > MaxName - 2)
        return {};
    std::vector<uint8_t> query = {
        static_cast<uint8_t>(id >> 8), static_cast<uint8_t>(id), 0x01, 0x00, 0, 1, 0, 0, 0, 0, 0, 0};
    for (size_t start = 0;;) {
        const size_t dot = domain.find('.', start);
        const std::string_view label = domain.substr(start, dot - start);
        if (label.empty() || label.size() > 63)
            return {};
        query.push_back(static_cast<uint8_t>(label.size()));
        query.insert(query.end(), label.begin(), label.end());
        if (dot == std::string_view::npos)
            break;
        start = dot + 1;
    }
    const auto kind = static_cast<uint16_t>(type);
    query.insert(query.end(), {0, static_cast<uint8_t>(kind >> 8), static_cast<uint8_t>(kind), 0, 1});
    return query;
}

namespace {

struct TCounts
{
    uint16_t Answers = 0, Authorities = 0, Additional = 0;
};

// The header of a response to the query `id` without an error code, and its questions passed;
// the reader then stands at the first answer record.
std::optional<TCounts> ReadResponseHead(TReader& r, uint16_t id)
{
    const auto replyId = r.Word(), flags = r.Word(), questions = r.Word(), answers = r.Word(),
               authorities = r.Word(), additional = r.Word();
    if (!additional || *replyId != id || !(*flags & 0x8000) || (*flags & 0x000F) != 0)
        return std::nullopt;
    for (uint16_t q = 0; q < *questions; ++q)
        if (!r.Name() || !r.Skip(4))
            return std::nullopt;
    return TCounts{*answers, *authorities, *additional};
}

struct TRecord
{
    std::string Owner;
    uint16_t Type = 0, Class = 0;
    size_t Data = 0, Length = 0; // the record's data within the message
};

// The record at the reading position; the reader moves past it.
std::optional<TRecord> ReadRecord(TReader& r)
{
    auto owner = r.Name();
    const auto type = r.Word(), recordClass = r.Word();
    if (!owner || !type || !recordClass || !r.Skip(4))
        return std::nullopt;
    const auto length = r.Word();
    if (!length || !r.Has(*length))
        return std::nullopt;
    TRecord record{std::move(*owner), *type, *recordClass, r.At(), *length};
    r.MoveTo(record.Data + record.Length);
    return record;
}

} // namespace

std::vector<std::string> DnsAnswerNames(std::span<const uint8_t> reply, TDnsType type, uint16_t id)
{
    TReader r(reply);
    const std::optional<TCounts> counts = ReadResponseHead(r, id);
    if (!counts)
        return {};
    std::vector<std::pair<uint16_t, std::string>> names; // with the MX records' preferences
    const uint32_t records = counts->Answers + (type == TDnsType::NS ? counts->Authorities : 0u);
    for (uint32_t k = 0; k < records; ++k) {
        const std::optional<TRecord> record = ReadRecord(r);
        if (!record)
            break;
        if (record->Type != static_cast<uint16_t>(type) || record->Class != 1)
            continue;
        TReader data(reply);
        data.MoveTo(record->Data);
        // The name must lie within its record.
        const auto preference = type == TDnsType::MX ? data.Word() : std::optional<uint16_t>(0);
        if (preference)
            if (const auto name = data.Name();
                name && data.At() <= record->Data + record->Length && !name->empty())
                names.emplace_back(*preference, *name);
    }
    // The most preferred exchange first (the lowest value), as the answer has them otherwise.
    std::stable_sort(names.begin(), names.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    for (auto& [preference, name] : names)
        out.push_back(std::move(name));
    return out;
}

std::vector<std::pair<std::string, std::string>> DnsAdditionalAddresses(std::span<const uint8_t> reply,
                                                                        uint16_t id)
{
    TReader r(reply);
    const std::optional<TCounts> counts = ReadResponseHead(r, id);
    if (!counts)
        return {};
    for (uint32_t k = 0; k < uint32_t{counts->Answers} + counts->Authorities; ++k)
        if (!ReadRecord(r))
            return {};
    std::vector<std::pair<std::string, std::string>> addresses;
    for (uint16_t k = 0; k < counts->Additional; ++k) {
        const std::optional<TRecord> record = ReadRecord(r);
        if (!record)
            break;
        if (record->Type == 1 && record->Class == 1 && record->Length == 4) {
            const uint8_t* a = reply.data() + record->Data;
            addresses.emplace_back(record->Owner, std::to_string(a[0]) + "." + std::to_string(a[1]) + "." +
                                                      std::to_string(a[2]) + "." + std::to_string(a[3]));
        }
    }
    return addresses;
}

std::string MailDomain(std::string_view address)
{
    const size_t at = address.rfind('@');
    if (at == std::string_view::npos)
        return {};
    std::string_view domain = address.substr(at + 1);
    while (!domain.empty() && (domain.back() == '>' || domain.back() == ' '))
        domain.remove_suffix(1);
    return std::string(domain);
}

std::string ShortDomain(std::string_view domain)
{
    size_t dots = 0;
    for (size_t k = domain.size(); k-- > 0;)
        if (domain[k] == '.' && ++dots == 3)
            return std::string(domain.substr(k + 1));
    return std::string(domain);
}

std::vector<std::string> NameServerList(std::string_view value)
{
    const char separator = value.find(',') != std::string_view::npos ? ',' : ' ';
    std::vector<std::string> out;
    while (!value.empty()) {
        const size_t end = std::min(value.find(separator), value.size());
        std::string_view entry = value.substr(0, end);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t'))
            entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t'))
            entry.remove_suffix(1);
        if (!entry.empty())
            out.emplace_back(entry);
        value.remove_prefix(std::min(end + 1, value.size()));
    }
    return out;
}

} // namespace crash
