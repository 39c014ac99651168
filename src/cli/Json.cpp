#include "cli/Json.h"

#include "data/NumberText.h"

#include <cmath>
#include <stdexcept>

namespace halvetra::cli {

namespace {

// Length of the valid UTF-8 sequence at text[i], or 0 when it is not one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    unsigned int code = 0;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
        code = (code << 6) | (byte(i + k) & 0x3Fu);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return 0;
    return length;
}

}  // namespace

std::string jsonString(std::string_view text) {
    static const char hex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    std::size_t i = 0;
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0x0F];
            } else if (const std::size_t length = Utf8SequenceLength(text, i); length > 0) {
                out.append(text.substr(i, length));
                i += length;
                continue;
            } else {
                out += "\xEF\xBF\xBD";  // U+FFFD
            }
        }
        ++i;
    }
    out += '"';
    return out;
}

std::string jsonNumber(double value) {
    RequireFinite(value);
    return FormatShortest(value);
}

void JsonWriter::beforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (empty_.empty()) {
        if (!text_.empty()) throw std::logic_error("JSON: a second value at the top level");
        return;
    }
    if (!empty_.back()) text_ += ',';
    empty_.back() = false;
}

void JsonWriter::open(char bracket) {
    beforeValue();
    text_ += bracket;
    empty_.push_back(true);
}

void JsonWriter::close(char bracket) {
    if (empty_.empty() || afterKey_) throw std::logic_error("JSON: nothing to close");
    empty_.pop_back();
    text_ += bracket;
}

JsonWriter& JsonWriter::beginObject() {
    open('{');
    return *this;
}

JsonWriter& JsonWriter::endObject() {
    close('}');
    return *this;
}

JsonWriter& JsonWriter::beginArray() {
    open('[');
    return *this;
}

JsonWriter& JsonWriter::endArray() {
    close(']');
    return *this;
}

JsonWriter& JsonWriter::key(std::string_view name) {
    beforeValue();
    text_ += jsonString(name);
    text_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::value(std::string_view text) {
    beforeValue();
    text_ += jsonString(text);
    return *this;
}

JsonWriter& JsonWriter::value(double number) {
    beforeValue();
    text_ += jsonNumber(number);
    return *this;
}

JsonWriter& JsonWriter::value(int number) {
    beforeValue();
    text_ += std::to_string(number);
    return *this;
}

JsonWriter& JsonWriter::boolean(bool flag) {
    beforeValue();
    text_ += flag ? "true" : "false";
    return *this;
}

}  // namespace halvetra::cli
