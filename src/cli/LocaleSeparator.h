#pragma once
// The decimal separator of the system locale as the desktop program takes it
// from Qt (QLocale::system()), found here from the locale's name and a table
// generated from Qt's locale data at build time, so that the command line
// reads header values as the window does without loading Qt.
#include <cstddef>
#include <string_view>

namespace halvetra::cli {

struct LocaleSeparator {
    const char* name;  // "de", "de_CH"
    char separator;
};

// Generated, each sorted by name: the languages whose separator is not a
// point, and the language_territory pairs whose separator differs from their
// language's.
extern const LocaleSeparator LanguageSeparators[];
extern const std::size_t LanguageSeparatorCount;
extern const LocaleSeparator TerritorySeparators[];
extern const std::size_t TerritorySeparatorCount;

// The separator of a locale name such as "de_DE.UTF-8", "de-AT", "sr_RS@latin"
// or "C": its language and territory (a script between them is passed over);
// a point for the C locale and for a language the table does not know.
char DecimalSeparatorOf(std::string_view localeName);

// The separator of the locale that rules numbers: LC_ALL, else LC_NUMERIC,
// else LANG, the first one set and not empty; the C locale without any.
char SystemLocaleDecimalSeparator();

}  // namespace halvetra::cli
