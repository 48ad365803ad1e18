#include "settings/profile_lines.h"

#include <cstring>

std::vector<TextLine> SplitLines(const std::string& text)
{
    std::vector<TextLine> lines;
    for (size_t start = 0; start < text.size();) {
        size_t feed = text.find('\n', start);
        size_t end = feed == std::string::npos ? text.size() : feed + 1;
        lines.push_back({start, end});
        start = end;
    }
    return lines;
}

std::string TrimmedLine(const std::string& text, const TextLine& line)
{
    size_t begin = line.start, end = line.end;
    while (begin < end && strchr(" \t", text[begin]))
        ++begin;
    while (end > begin && strchr(" \t\r\n", text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string SectionName(const std::string& header)
{
    size_t close = header.find(']');
    std::string name = header.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t'))
        name.pop_back();
    size_t first = name.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : name.substr(first);
}

std::string KeyOfLine(const std::string& trimmed)
{
    if (trimmed.empty() || trimmed[0] == ';')
        return {};
    size_t equals = trimmed.find('=');
    std::string key = trimmed.substr(0, equals);
    while (!key.empty() && (key.back() == ' ' || key.back() == '\t'))
        key.pop_back();
    return key;
}
