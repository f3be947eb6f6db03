// A recording adapter for tests.
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
    int16_t direction;
    std::array<uint8_t, 64> bytes; // as handed over (OUT) or filled (IN)
};

// Without an inner adapter it answers IN requests from a script; with one,
// it passes every call on and records what went through.
class FakeAdapter : public USBFunctions {
public:
    explicit FakeAdapter(USBFunctions *inner = nullptr) : inner_(inner) {}
    std::string firmwarePath;
    std::vector<RecordedCall> calls;
    std::deque<std::array<uint8_t, 64>> answers; // for IN; none: the buffer stays
    int16_t inResult = 64, outResult = 7;

    int16_t LoadFirmWare(const char *path) override
    {
        firmwarePath = path ? path : "";
        return inner_ ? inner_->LoadFirmWare(path) : 0;
    }
    std::string describe() const override { return inner_ ? inner_->describe() : std::string(); }

    int16_t VendorIORequest(int16_t request, int32_t value, int32_t index, int16_t direction,
                            int16_t length, uint8_t *buffer) override
    {
        RecordedCall call{direction, {}};
        const bool in = direction == kDirectionIn;
        int16_t result = in ? inResult : outResult;
        if (inner_) {
            result = inner_->VendorIORequest(request, value, index, direction, length, buffer);
        } else if (in && !answers.empty()) {
            std::memcpy(buffer, answers.front().data(), 64);
            answers.pop_front();
        }
        std::memcpy(call.bytes.data(), buffer, 64);
        calls.push_back(call);
        return result;
    }

    void answer(std::initializer_list<uint8_t> head)
    {
        std::array<uint8_t, 64> a{};
        std::copy(head.begin(), head.end(), a.begin());
        answers.push_back(a);
    }

    // The OUT requests: their first seven bytes, or (address, command, lengths).
    std::vector<std::array<uint8_t, 7>> sent() const { return outs<7>({0, 1, 2, 3, 4, 5, 6}); }
    std::vector<std::array<uint8_t, 4>> commands() const { return outs<4>({0, 3, 1, 2}); }
    template <std::size_t N> std::vector<std::array<uint8_t, N>> outs(std::array<int, N> at) const
    {
        std::vector<std::array<uint8_t, N>> out;
        for (const auto &c : calls)
            if (c.direction == kDirectionOut)
                for (std::size_t i = 0; i < N; ++i)
                    (i ? out.back() : out.emplace_back())[i] = c.bytes[std::size_t(at[i])];
        return out;
    }

private:
    USBFunctions *inner_;
};

} // namespace qzt::test
