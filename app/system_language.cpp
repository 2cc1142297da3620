#include "app/system_language.h"

#include <cstdio>
#include <cstdlib>

#include "app/ini_file.h"

namespace grinsnap {
namespace {

constexpr std::uint16_t kUsEnglish = 0x0409;

struct Territory {
  const char* code;
  std::uint16_t subLanguage;
};

struct Language {
  const char* code;  // ISO 639-1
  std::uint16_t primary;
  std::uint16_t defaultSub;
  const Territory* territories;  // terminated by a null code
};

constexpr Territory kNone[] = {{nullptr, 0}};
constexpr Territory kChinese[] = {{"TW", 1}, {"CN", 2}, {"HK", 3}, {"SG", 4}, {"MO", 5}, {nullptr, 0}};
constexpr Territory kGerman[] = {{"DE", 1}, {"CH", 2}, {"AT", 3}, {"LU", 4}, {"LI", 5}, {nullptr, 0}};
constexpr Territory kEnglish[] = {{"US", 1},  {"GB", 2},  {"AU", 3},  {"CA", 4},  {"NZ", 5},  {"IE", 6},
                                  {"ZA", 7},  {"JM", 8},  {"BZ", 10}, {"TT", 11}, {"ZW", 12}, {"PH", 13},
                                  {"IN", 16}, {"MY", 17}, {"SG", 18}, {nullptr, 0}};
constexpr Territory kSpanish[] = {{"MX", 2},  {"ES", 3},  {"GT", 4},  {"CR", 5},  {"PA", 6},  {"DO", 7},
                                  {"VE", 8},  {"CO", 9},  {"PE", 10}, {"AR", 11}, {"EC", 12}, {"CL", 13},
                                  {"UY", 14}, {"PY", 15}, {"BO", 16}, {"SV", 17}, {"HN", 18}, {"NI", 19},
                                  {"PR", 20}, {"US", 21}, {nullptr, 0}};
constexpr Territory kFrench[] = {{"FR", 1}, {"BE", 2}, {"CA", 3}, {"CH", 4}, {"LU", 5}, {"MC", 6}, {nullptr, 0}};
constexpr Territory kItalian[] = {{"IT", 1}, {"CH", 2}, {nullptr, 0}};
constexpr Territory kDutch[] = {{"NL", 1}, {"BE", 2}, {nullptr, 0}};
constexpr Territory kPortuguese[] = {{"BR", 1}, {"PT", 2}, {nullptr, 0}};
constexpr Territory kSwedish[] = {{"SE", 1}, {"FI", 2}, {nullptr, 0}};
constexpr Territory kArabic[] = {{"SA", 1}, {"IQ", 2}, {"EG", 3}, {"LY", 4}, {"DZ", 5}, {"MA", 6}, {"TN", 7},
                                 {"OM", 8}, {"YE", 9}, {"SY", 10}, {"JO", 11}, {"LB", 12}, {"KW", 13},
                                 {"AE", 14}, {"BH", 15}, {"QA", 16}, {nullptr, 0}};

constexpr Language kLanguages[] = {
    {"ar", 0x01, 1, kArabic},  {"bg", 0x02, 1, kNone},     {"ca", 0x03, 1, kNone},   {"zh", 0x04, 2, kChinese},
    {"cs", 0x05, 1, kNone},    {"da", 0x06, 1, kNone},     {"de", 0x07, 1, kGerman}, {"el", 0x08, 1, kNone},
    {"en", 0x09, 1, kEnglish}, {"es", 0x0A, 3, kSpanish},  {"fi", 0x0B, 1, kNone},   {"fr", 0x0C, 1, kFrench},
    {"he", 0x0D, 1, kNone},    {"hu", 0x0E, 1, kNone},     {"is", 0x0F, 1, kNone},   {"it", 0x10, 1, kItalian},
    {"ja", 0x11, 1, kNone},    {"ko", 0x12, 1, kNone},     {"nl", 0x13, 1, kDutch},  {"nb", 0x14, 1, kNone},
    {"no", 0x14, 1, kNone},    {"nn", 0x14, 2, kNone},     {"pl", 0x15, 1, kNone},   {"pt", 0x16, 1, kPortuguese},
    {"ro", 0x18, 1, kNone},    {"ru", 0x19, 1, kNone},     {"hr", 0x1A, 1, kNone},   {"sr", 0x1A, 10, kNone},
    {"sk", 0x1B, 1, kNone},    {"sq", 0x1C, 1, kNone},     {"sv", 0x1D, 1, kSwedish}, {"th", 0x1E, 1, kNone},
    {"tr", 0x1F, 1, kNone},    {"ur", 0x20, 1, kNone},     {"id", 0x21, 1, kNone},   {"uk", 0x22, 1, kNone},
    {"be", 0x23, 1, kNone},    {"sl", 0x24, 1, kNone},     {"et", 0x25, 1, kNone},   {"lv", 0x26, 1, kNone},
    {"lt", 0x27, 1, kNone},    {"fa", 0x29, 1, kNone},     {"vi", 0x2A, 1, kNone},   {"hy", 0x2B, 1, kNone},
    {"eu", 0x2D, 1, kNone},    {"mk", 0x2F, 1, kNone},     {"af", 0x36, 1, kNone},   {"ka", 0x37, 1, kNone},
    {"hi", 0x39, 1, kNone},    {"ms", 0x3E, 1, kNone},     {"kk", 0x3F, 1, kNone},   {"sw", 0x41, 1, kNone},
    {"gl", 0x56, 1, kNone},
};

std::uint16_t MakeLangId(std::uint16_t primary, std::uint16_t sub) {
  return static_cast<std::uint16_t>(sub << 10 | primary);
}

}  // namespace

std::uint16_t LangIdFromLocale(std::string_view locale) {
  std::string_view modifier;
  if (const size_t at = locale.find('@'); at != std::string_view::npos) {
    modifier = locale.substr(at + 1);
    locale = locale.substr(0, at);
  }
  if (const size_t dot = locale.find('.'); dot != std::string_view::npos) locale = locale.substr(0, dot);
  std::string_view territory;
  if (const size_t underscore = locale.find_first_of("_-"); underscore != std::string_view::npos) {
    territory = locale.substr(underscore + 1);
    locale = locale.substr(0, underscore);
  }
  for (const Language& language : kLanguages) {
    if (!EqualsIgnoreCase(language.code, locale)) continue;
    // Serbian in Latin script is a sub-language of its own.
    if (language.primary == 0x1A && language.defaultSub == 10 && EqualsIgnoreCase(modifier, "latin"))
      return MakeLangId(language.primary, 9);
    for (const Territory* t = language.territories; t->code; ++t) {
      if (EqualsIgnoreCase(t->code, territory)) return MakeLangId(language.primary, t->subLanguage);
    }
    return MakeLangId(language.primary, language.defaultSub);
  }
  return kUsEnglish;
}

std::uint16_t SystemDefaultLangId() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return LangIdFromLocale(value);
  }
  return kUsEnglish;
}

std::string LangIdKey(std::uint16_t langId) {
  char key[8];
  std::snprintf(key, sizeof key, "0x%04X", static_cast<unsigned>(langId));
  return key;
}

}  // namespace grinsnap
