#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "FuzzChecks.h"

// The body of every libFuzzer target: run the check, abort on a failed
// property so libFuzzer keeps the input as a crash.
#define VELMORA_FUZZ_TARGET(check)                                                        \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)   \
    {                                                                                      \
        const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));     \
        const QString failure = (check)(input);                                            \
        if (!failure.isEmpty()) {                                                          \
            std::fprintf(stderr, "property failed: %s\n", qPrintable(failure));           \
            std::abort();                                                                  \
        }                                                                                  \
        return 0;                                                                          \
    }
