#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace grinsnap {

// Windows language identifiers (primary language in the low 10 bits, the
// sub-language above) are the keys of language_lookup.ini, so the system
// language is expressed as one: "de_DE.UTF-8" is 0x0407, "en_US" 0x0409.

// The identifier of a POSIX locale name ("language[_TERRITORY][.codeset][@modifier]").
// A known language with an unknown or missing territory gets its usual
// variant; "C", "POSIX", an empty name and unknown languages give US English.
std::uint16_t LangIdFromLocale(std::string_view locale);

// The system's language: the first set of LC_ALL, LC_MESSAGES and LANG.
std::uint16_t SystemDefaultLangId();

// The key form used in language_lookup.ini: "0x%04X".
std::string LangIdKey(std::uint16_t langId);

}  // namespace grinsnap
