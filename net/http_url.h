#pragma once
// The getter's split of a URL into host and object path. Any text is accepted: the
// prefixes "http://" and "https://" are recognised in any letter case, the host is the
// text up to the first "/", the object path the rest from that "/". Without any "/" the
// host is empty and the whole remainder is the object path.

#include <string>
#include <string_view>

namespace net {

struct TParsedURL
{
    std::string Host;
    std::string Object;
    bool Secure = false;
};

TParsedURL ParseURL(std::string_view url);

} // namespace net
