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

const std::string* ParsedArguments::value(std::string_view option) const {
    for (const auto& [name, text] : values)
        if (name == option) return &text;
    return nullptr;
}

ParsedArguments ParseArguments(const std::vector<std::string>& arguments, const std::vector<std::string_view>& known) {
    ParsedArguments parsed;
    bool onlyPositional = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!onlyPositional && argument == "--") {
            onlyPositional = true;
        } else if (!onlyPositional && argument.size() > 1 && argument[0] == '-') {
            const auto equals = argument.find('=');
            const std::string name = argument.substr(0, equals);
            if (std::find(known.begin(), known.end(), name + "=") != known.end()) {
                if (equals != std::string::npos) {
                    parsed.values.emplace_back(name, argument.substr(equals + 1));
                } else {
                    if (i + 1 >= arguments.size()) throw UsageError("option " + name + " needs a value");
                    parsed.values.emplace_back(name, arguments[++i]);
                }
            } else if (equals == std::string::npos && std::find(known.begin(), known.end(), argument) != known.end()) {
                parsed.options.push_back(argument);
            } else {
                throw UsageError("unknown option " + argument);
            }
        } else {
            parsed.positional.push_back(argument);
        }
    }
    return parsed;
}

}  // namespace halvetra::cli
