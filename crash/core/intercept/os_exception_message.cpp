#include "crash/core/intercept/os_exception_message.h"

#include "base/hex.h"

#include <string_view>

namespace crash {
namespace {

std::u16string Hex(uint32_t value)
{
    const std::string text = base::HexText(value);
    return {text.begin(), text.end()};
}

// `pattern` with each "%s" and "%p" replaced by the next value of its own list, in order; a
// placeholder without a value is left as it is, and nothing inserted is scanned again.
std::u16string Substitute(std::u16string_view pattern, std::initializer_list<std::u16string> s,
                          std::initializer_list<std::u16string> p)
{
    std::u16string out;
    auto nextS = s.begin(), nextP = p.begin();
    for (size_t k = 0; k < pattern.size(); ++k) {
        if (pattern[k] == u'%' && k + 1 < pattern.size()) {
            if (pattern[k + 1] == u's' && nextS != s.end()) {
                out += *nextS++;
                ++k;
                continue;
            }
            if (pattern[k + 1] == u'p' && nextP != p.end()) {
                out += *nextP++;
                ++k;
                continue;
            }
        }
        out += pattern[k];
    }
    return out;
}

} // namespace

std::u16string OsExceptionMessage(const TOsException& e)
{
    switch (e.Code) {
    case 0xC0000005:
        if (!e.Module)
            return u"Access Violation";
        return Substitute(u"Zugriffsverletzung bei Adresse %p in Modul '%s'. %s von Adresse %p",
                          {*e.Module, e.Parameters[0] ? u"Schreiben" : u"Lesen"},
                          {Hex(e.Address), Hex(e.Parameters[1])});
    case 0xC000008C:
        return u"Fehler bei Bereichsprüfung";
    case 0xC000008D:
    case 0xC0000093:
        return u"Gleitkommaunterlauf";
    case 0xC000008E:
        return u"Gleitkommadivision durch Null";
    case 0xC000008F:
    case 0xC0000090:
    case 0xC0000092:
        return u"Ungültige Gleitkommaoperation";
    case 0xC0000091:
        return u"Gleitkommaüberlauf";
    case 0xC0000094:
        return u"Division durch Null";
    case 0xC0000095:
        return u"Integerüberlauf";
    case 0xC0000096:
        return u"Privilegierte Anweisung";
    case 0xC00000FD:
        return u"Stack-Überlauf";
    case 0xC000013A:
        return u"Strg+C gedrückt";
    default: {
        const std::u16string pattern = u"Externe Exception %x";
        const size_t at = pattern.find(u"%x");
        return pattern.substr(0, at) + Hex(e.Code) + pattern.substr(at + 2);
    }
    }
}

} // namespace crash
