#include "cli/Commands.h"

#include <QLocale>
#include <algorithm>

namespace halvetra::cli {

char SystemDecimalSeparator() {
    const QString point = QLocale::system().decimalPoint();
    if (point.isEmpty()) return '.';
    const char16_t c = point.at(0).unicode();
    return (c > 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
}

bool ParsedArguments::has(std::string_view option) const {
    return std::find(options.begin(), options.end(), option) != options.end();
}

ParsedArguments ParseArguments(const std::vector<std::string>& arguments, const std::vector<std::string_view>& known) {
    ParsedArguments parsed;
    bool onlyPositional = false;
    for (const auto& argument : arguments) {
        if (!onlyPositional && argument == "--") {
            onlyPositional = true;
        } else if (!onlyPositional && argument.size() > 1 && argument[0] == '-') {
            if (std::find(known.begin(), known.end(), argument) == known.end())
                throw UsageError("unknown option " + argument);
            parsed.options.push_back(argument);
        } else {
            parsed.positional.push_back(argument);
        }
    }
    return parsed;
}

}  // namespace halvetra::cli
