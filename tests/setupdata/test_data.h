// Sample payloads and small checks shared by the data-path tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

#include "support/byte_order.h"
#include "support/exceptions.h"

// Compressible bytes with some x86 look: runs, repeats and E8/E9 opcodes with small operands.
inline std::string SamplePayload(size_t Size, uint32_t Seed = 1) {
    std::string Out;
    Out.reserve(Size);
    uint32_t State = Seed;
    while (Out.size() < Size) {
        State = State * 1103515245u + 12345u;
        switch ((State >> 16) % 4) {
        case 0:
            Out += "\x55\x8b\xec\x83\xec";
            break;
        case 1:
            Out.push_back(char(0xE8));
            Out.push_back(char(State >> 8));
            Out.push_back(char(State >> 20));
            Out.push_back(char(0));
            Out.push_back(char(0));
            break;
        case 2:
            Out.push_back(char(State >> 24));
            break;
        default:
            Out.append((State >> 20) % 13, char('A' + (State >> 27)));
        }
    }
    Out.resize(Size);
    return Out;
}

inline std::string Le32(uint32_t Value) {
    std::string Out;
    AppendLe32(Out, Value);
    return Out;
}

// Runs Action and returns the message of the ECompressDataError it throws.
inline std::string DataErrorOf(const std::function<void()> &Action) {
    try {
        Action();
    } catch (const ECompressDataError &E) {
        return E.Message();
    }
    ADD_FAILURE() << "no ECompressDataError";
    return std::string();
}
