// Code page tables for the fuzzers, built natively: the Japanese code page from the C library's
// own conversion tables and a Western one with no multibyte characters at all.
#pragma once

#include "settings/code_page.h"

const CodePageTraits& JapaneseCodePage();
const CodePageTraits& WesternCodePage();
// One of the two, by the fuzzer's choice.
const CodePageTraits& CodePageOf(bool japanese);
