// The account of how one resolution reached its answer, for an administrator asking why a printer
// does (or does not) account. Resolution takes a null trace at print time and then costs nothing
// more than the null checks at its decision points.
#pragma once

#include <string>

class ResolveTrace {
public:
    // One link of the chain: what was decided, the value found and the file or registry value it
    // came from.
    void Link(const std::string& link, const std::string& value, const std::string& source = "")
    {
        text_ += link + "\t" + value + "\t" + source + "\r\n";
    }
    // Something an administrator must change, and the file (or registry value) to look at.
    void Problem(const std::string& what, const std::string& file)
    {
        Link("problem", what, file);
        ++problems_;
    }
    const std::string& Text() const { return text_; }
    unsigned Problems() const { return problems_; }

private:
    std::string text_;
    unsigned problems_ = 0;
};
