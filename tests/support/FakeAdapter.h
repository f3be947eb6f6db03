// A recording adapter for tests: remembers every call with the bytes it
// carried and answers IN requests from a script.
#pragma once

#include "sst/USBFunctions.h"

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

class FakeAdapter : public USBFunctions {
public:
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
        return firmwareResult;
    }

    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t *buffer) override
    {
        RecordedCall call{request, value, index, direction, length, {}};
        if (direction == kDirectionIn && !answers.empty()) {
            std::memcpy(buffer, answers.front().data(), 64);
            answers.pop_front();
        }
        std::memcpy(call.bytes.data(), buffer, 64);
        calls.push_back(call);
        return direction == kDirectionIn ? inResult : outResult;
    }

    // Queues an answer whose bytes start with `head`, the rest zero.
    void answer(std::initializer_list<uint8_t> head)
    {
        std::array<uint8_t, 64> a{};
        std::size_t i = 0;
        for (uint8_t b : head)
            a[i++] = b;
        answers.push_back(a);
    }

    // The OUT requests (first seven bytes) in order.
    std::vector<std::array<uint8_t, 7>> sent() const
    {
        std::vector<std::array<uint8_t, 7>> out;
        for (const auto &c : calls)
            if (c.direction == kDirectionOut) {
                std::array<uint8_t, 7> r{};
                std::memcpy(r.data(), c.bytes.data(), 7);
                out.push_back(r);
            }
        return out;
    }
};

} // namespace qzt::test

namespace qzt::test {

// Passes every call on to another adapter and records it.
class RecordingAdapter : public USBFunctions {
public:
    explicit RecordingAdapter(USBFunctions &inner) : inner_(inner) {}
    std::vector<RecordedCall> calls;

    int16_t LoadFirmWare(const char *path) override { return inner_.LoadFirmWare(path); }
    std::string describe() const override { return inner_.describe(); }
    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t *buffer) override
    {
        RecordedCall call{request, value, index, direction, length, {}};
        if (direction == kDirectionOut)
            std::memcpy(call.bytes.data(), buffer, 64);
        const int16_t result =
            inner_.VendorIORequest(request, value, index, direction, length, buffer);
        if (direction == kDirectionIn)
            std::memcpy(call.bytes.data(), buffer, 64);
        calls.push_back(call);
        return result;
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
    USBFunctions &inner_;
};

} // namespace qzt::test
