// A JSON document for scripts that read jobacct's answers as data: values built in memory, written
// as one text. Texts come in the process's ANSI code page and leave as UTF-8. No window calls, so
// the encoding can be tested alone.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// `ansi` in `codePage` as a JSON string literal in UTF-8, quotes included. Bytes the code page
// does not map come out as its default character, never as bytes that break the document.
std::string JsonStringLiteral(const std::string& ansi, UINT codePage = CP_ACP);

class JsonValue {
public:
    static JsonValue Object() { return JsonValue(Kind::Object); }
    static JsonValue Array() { return JsonValue(Kind::Array); }
    static JsonValue Text(const std::string& ansi, UINT codePage = CP_ACP);
    static JsonValue Number(unsigned long long number);
    static JsonValue Bool(bool value);

    // Appends a member to an object (names are plain ASCII) or an item to an array.
    JsonValue& Set(const char* name, JsonValue value);
    JsonValue& Add(JsonValue value);

    // The document: a container holding only scalars on one line, any other one item a line,
    // indented by two spaces a level; lines end in "\n".
    std::string Format() const;

private:
    enum class Kind { Scalar, Object, Array };
    explicit JsonValue(Kind kind) : kind_(kind) {}
    void FormatInto(std::string* out, int depth) const;
    bool HoldsContainer() const;

    Kind kind_;
    std::string literal_;  // a scalar's text as it stands in the document
    std::vector<std::pair<std::string, JsonValue>> members_;
    std::vector<JsonValue> items_;
};
