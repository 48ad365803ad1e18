// Runs Debian's jq on a document, as a deployment script reads jobacct's answers: the document is
// checked by a real JSON parser rather than by the code that wrote it.
#pragma once

#include <string>

struct JqAnswer {
    bool finished = false;  // jq ran and its exit status came back within 30 s
    int exitCode = -1;
    std::string output;     // stdout and stderr together, "\n" line ends
};

// `jq -r <filter>` reading `document` (UTF-8) on stdin.
JqAnswer RunJq(const std::string& document, const std::string& filter);
