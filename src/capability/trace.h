// The account of how one resolution reached its answer, for an administrator asking why a printer
// does (or does not) account. Resolution takes a null trace at print time and then costs nothing
// more than the null checks at its decision points.
#pragma once

#include <string>

class ResolveTrace {
public:
    // One link of the chain: what was decided, the value found and the file or registry value it
    // came from.
    // Never throws: the resolution it records holds resources of its own, so a trace that runs out
    // of memory stops growing and says so at its end.
    void Link(const std::string& link, const std::string& value, const std::string& source = "") noexcept
    {
        if (incomplete_)
            return;
        try {
            text_ += link + "\t" + value + "\t" + source + "\r\n";
        } catch (...) {
            incomplete_ = true;
        }
    }
    // Something an administrator must change, and the file (or registry value) to look at.
    void Problem(const std::string& what, const std::string& file) noexcept
    {
        Link("problem", what, file);
        ++problems_;
    }
    const std::string& Text() const { return text_; }
    unsigned Problems() const { return problems_; }
    bool Incomplete() const { return incomplete_; }

private:
    std::string text_;
    unsigned problems_ = 0;
    bool incomplete_ = false;
};
