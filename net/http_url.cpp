#include "net/http_url.h"

namespace net {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i])
            return false;
    }
    return true;
}

} // namespace

TParsedURL ParseURL(std::string_view url)
{
    TParsedURL parsed;
    if (StartsWithNoCase(url, "http://")) {
        url.remove_prefix(7);
    } else if (StartsWithNoCase(url, "https://")) {
        url.remove_prefix(8);
        parsed.Secure = true;
    }
    const size_t slash = url.find('/');
    if (slash == std::string_view::npos) {
        parsed.Object = std::string(url);
    } else {
        parsed.Host = std::string(url.substr(0, slash));
        parsed.Object = std::string(url.substr(slash));
    }
    return parsed;
}

} // namespace net
