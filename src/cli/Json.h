#pragma once
// A small writer of JSON text for the command-line output: objects, arrays,
// strings with proper escaping and numbers in shortest round-trip form.
#include <string>
#include <string_view>
#include <vector>

namespace halvetra::cli {

// The text as a quoted JSON string. Control characters are escaped; bytes
// that are not valid UTF-8 become U+FFFD, so the output is always valid JSON.
std::string jsonString(std::string_view text);

// The number in shortest round-trip form. JSON has no number for NaN or an
// infinity, and the output never stands in null for one: such a value throws
// FloatingPointError "Invalid floating point operation" / "Floating point
// overflow", so the command fails before anything is printed.
std::string jsonNumber(double value);

// Builds one JSON value; commas between members and elements are added here.
class JsonWriter {
public:
    JsonWriter& beginObject();
    JsonWriter& endObject();
    JsonWriter& beginArray();
    JsonWriter& endArray();
    JsonWriter& key(std::string_view name);
    JsonWriter& value(std::string_view text);
    JsonWriter& value(const char* text) { return value(std::string_view(text)); }
    JsonWriter& value(double number);
    JsonWriter& value(int number);
    JsonWriter& boolean(bool flag);

    const std::string& text() const { return text_; }

private:
    void beforeValue();
    void open(char bracket);
    void close(char bracket);

    std::string text_;
    std::vector<bool> empty_;  // per open object or array: nothing in it yet
    bool afterKey_ = false;
};

}  // namespace halvetra::cli
