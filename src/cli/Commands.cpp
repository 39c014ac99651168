#include "cli/Commands.h"

#include <algorithm>

#include "cli/LocaleSeparator.h"
#include "data/Errors.h"
#include "data/NumberText.h"

namespace halvetra::cli {

char SystemDecimalSeparator() { return SystemLocaleDecimalSeparator(); }

double OptionNumber(const std::string& text) {
    double value = 0.0;
    if (ParseNumber(text, '.', value) != 0 || text.find(',') != std::string::npos)
        throw ConversionError("'" + text + "' is not a valid floating point value");
    return value;
}

std::vector<std::string> OptionFields(const std::string& text, std::size_t count, std::string_view option) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    while (true) {
        const auto comma = text.find(',', start);
        fields.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    if (fields.size() != count)
        throw UsageError(std::string(option) + " expects " + std::to_string(count) + " comma-separated values");
    return fields;
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
