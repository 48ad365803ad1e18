// The lines of a settings file's text as the profile functions see them: shared by the whole-file
// edits and by the reading of plain keys straight from the text. Free of window calls.
#pragma once

#include <string>
#include <vector>

struct TextLine {
    size_t start;
    size_t end;  // past the line feed (or the text's end)
};

std::vector<TextLine> SplitLines(const std::string& text);

// The line without its blanks at either end and without its line end.
std::string TrimmedLine(const std::string& text, const TextLine& line);

// The name between the brackets of a trimmed header line, without blanks at either end.
std::string SectionName(const std::string& header);

// The key of a trimmed entry line, without the blanks before "="; empty for a comment or a blank.
std::string KeyOfLine(const std::string& trimmed);
