#include "tools/json_text.h"

#include <cstdio>

namespace {

std::wstring WideOf(const std::string& ansi, UINT codePage)
{
    if (ansi.empty())
        return std::wstring();
    const int length = MultiByteToWideChar(codePage, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(codePage, 0, ansi.data(), static_cast<int>(ansi.size()), wide.data(), length);
    return wide;
}

void AppendUtf8(std::string* out, unsigned long code)
{
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendIndent(std::string* out, int depth) { out->append(static_cast<size_t>(depth) * 2, ' '); }

}  // namespace

std::string JsonStringLiteral(const std::string& ansi, UINT codePage)
{
    const std::wstring wide = WideOf(ansi, codePage);
    std::string literal = "\"";
    for (size_t i = 0; i < wide.size(); ++i) {
        unsigned long code = static_cast<unsigned short>(wide[i]);
        if (code == '"' || code == '\\') {
            literal += '\\';
            literal += static_cast<char>(code);
        } else if (code < 0x20 || code == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04lx", code);
            literal += escaped;
        } else if (code >= 0xD800 && code < 0xDC00 && i + 1 < wide.size() &&
                   static_cast<unsigned short>(wide[i + 1]) >= 0xDC00 &&
                   static_cast<unsigned short>(wide[i + 1]) < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned short>(wide[++i]) - 0xDC00);
            AppendUtf8(&literal, code);
        } else if (code >= 0xD800 && code < 0xE000) {
            // A lone surrogate has no UTF-8 form: the replacement character stands for it.
            AppendUtf8(&literal, 0xFFFD);
        } else {
            AppendUtf8(&literal, code);
        }
    }
    literal += '"';
    return literal;
}

JsonValue JsonValue::Text(const std::string& ansi, UINT codePage)
{
    JsonValue value(Kind::Scalar);
    value.literal_ = JsonStringLiteral(ansi, codePage);
    return value;
}

JsonValue JsonValue::Number(unsigned long long number)
{
    JsonValue value(Kind::Scalar);
    value.literal_ = std::to_string(number);
    return value;
}

JsonValue JsonValue::Bool(bool flag)
{
    JsonValue value(Kind::Scalar);
    value.literal_ = flag ? "true" : "false";
    return value;
}

JsonValue& JsonValue::Set(const char* name, JsonValue value)
{
    members_.emplace_back(name, std::move(value));
    return members_.back().second;
}

JsonValue& JsonValue::Add(JsonValue value)
{
    items_.push_back(std::move(value));
    return items_.back();
}

bool JsonValue::HoldsContainer() const
{
    for (const auto& member : members_)
        if (member.second.kind_ != Kind::Scalar)
            return true;
    for (const JsonValue& item : items_)
        if (item.kind_ != Kind::Scalar)
            return true;
    return false;
}

void JsonValue::FormatInto(std::string* out, int depth) const
{
    if (kind_ == Kind::Scalar) {
        *out += literal_;
        return;
    }
    const bool object = kind_ == Kind::Object;
    const size_t count = object ? members_.size() : items_.size();
    *out += object ? '{' : '[';
    const bool oneLine = !HoldsContainer();
    for (size_t i = 0; i < count; ++i) {
        if (i > 0)
            *out += oneLine ? ", " : ",";
        if (!oneLine) {
            *out += '\n';
            AppendIndent(out, depth + 1);
        }
        if (object) {
            *out += JsonStringLiteral(members_[i].first, CP_UTF8);
            *out += ": ";
            members_[i].second.FormatInto(out, depth + 1);
        } else {
            items_[i].FormatInto(out, depth + 1);
        }
    }
    if (!oneLine && count > 0) {
        *out += '\n';
        AppendIndent(out, depth);
    }
    *out += object ? '}' : ']';
}

std::string JsonValue::Format() const
{
    std::string text;
    FormatInto(&text, 0);
    text += '\n';
    return text;
}
