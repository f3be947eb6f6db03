// A recording adapter for tests: remembers every call with the bytes it
// carried.
#pragma once

#include "sst/USBFunctions.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace qzt::test {

struct RecordedCall {
    int16_t request;
    int32_t value;
    int32_t index;
    int16_t direction;
    int16_t length;
    std::array<uint8_t, 64> bytes; // the buffer as it was handed over (OUT) or filled (IN)
};

// Without an inner adapter it answers IN requests from a script; with one,
// it passes every call on and records what went through.
class FakeAdapter : public USBFunctions {
public:
    explicit FakeAdapter(USBFunctions *inner = nullptr) : inner_(inner) {}
    int16_t firmwareResult = 0;
    std::string firmwarePath;
    std::vector<RecordedCall> calls;
    // Answers handed out by successive IN requests; when empty, IN leaves
    // the buffer as it is.
    std::deque<std::array<uint8_t, 64>> answers;
    int16_t inResult = 64;
    int16_t outResult = 7;

    int16_t LoadFirmWare(const char *path) override
    {
        firmwarePath = path ? path : "";
        return inner_ ? inner_->LoadFirmWare(path) : firmwareResult;
    }
    std::string describe() const override { return inner_ ? inner_->describe() : std::string(); }

    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t *buffer) override
    {
        RecordedCall call{request, value, index, direction, length, {}};
        const bool in = direction == kDirectionIn;
        int16_t result = in ? inResult : outResult;
        if (inner_) {
            result = inner_->VendorIORequest(request, value, index, direction, length, buffer);
        } else if (in && !answers.empty()) {
            std::memcpy(buffer, answers.front().data(), 64);
            answers.pop_front();
        }
        std::memcpy(call.bytes.data(), buffer, 64); // an OUT leaves the buffer as it is
        calls.push_back(call);
        return result;
    }

    // Queues an answer whose bytes start with `head`, the rest zero.
    void answer(std::initializer_list<uint8_t> head)
    {
        std::array<uint8_t, 64> a{};
        std::copy(head.begin(), head.end(), a.begin());
        answers.push_back(a);
    }

    // The OUT requests (first seven bytes) in order.
    std::vector<std::array<uint8_t, 7>> sent() const
    {
        std::vector<std::array<uint8_t, 7>> out;
        for (const auto &c : calls)
            if (c.direction == kDirectionOut)
                out.push_back({c.bytes[0], c.bytes[1], c.bytes[2], c.bytes[3], c.bytes[4],
                               c.bytes[5], c.bytes[6]});
        return out;
    }
    // (address, command byte, write length, read length) of every OUT request.
    std::vector<std::array<uint8_t, 4>> commands() const
    {
        std::vector<std::array<uint8_t, 4>> out;
        for (const auto &c : calls)
            if (c.direction == kDirectionOut)
                out.push_back({c.bytes[0], c.bytes[3], c.bytes[1], c.bytes[2]});
        return out;
    }

private:
    USBFunctions *inner_;
};

} // namespace qzt::test
