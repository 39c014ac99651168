#include "cli/LocaleSeparator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace halvetra::cli {

namespace {

const LocaleSeparator* Find(const LocaleSeparator* table, std::size_t count, std::string_view name) {
    const LocaleSeparator* end = table + count;
    const auto* found = std::lower_bound(table, end, name, [](const LocaleSeparator& entry, std::string_view key) {
        return std::string_view(entry.name) < key;
    });
    return (found != end && std::string_view(found->name) == name) ? found : nullptr;
}

bool IsScript(std::string_view part) {
    return part.size() == 4 && std::all_of(part.begin(), part.end(),
                                           [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
}

}  // namespace

char DecimalSeparatorOf(std::string_view localeName) {
    // The code set and the modifier do not change the numbers.
    localeName = localeName.substr(0, localeName.find_first_of(".@"));
    const auto first = localeName.find_first_of("_-");
    const std::string_view language = localeName.substr(0, first);
    if (language.empty()) return '.';
    std::string_view territory;
    if (first != std::string_view::npos) {
        std::string_view rest = localeName.substr(first + 1);
        const auto next = rest.find_first_of("_-");
        if (next != std::string_view::npos && IsScript(rest.substr(0, next)))
            rest.remove_prefix(next + 1);
        else if (next == std::string_view::npos && IsScript(rest))
            rest = {};
        territory = rest.substr(0, rest.find_first_of("_-"));
    }
    if (!territory.empty()) {
        const std::string pair = std::string(language) + '_' + std::string(territory);
        if (const auto* entry = Find(TerritorySeparators, TerritorySeparatorCount, pair)) return entry->separator;
    }
    const auto* entry = Find(LanguageSeparators, LanguageSeparatorCount, language);
    return entry ? entry->separator : '.';
}

char SystemLocaleDecimalSeparator() {
    for (const char* variable : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') return DecimalSeparatorOf(value);
    }
    return '.';
}

}  // namespace halvetra::cli
