// Reports the time per call of the number <-> text helpers.
#include "common/TextFormat.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

constexpr int Calls = 4'000'000;

// Runs fn(i) for i in [0, Calls) and returns nanoseconds per call. The length
// of each result is summed into sink so the calls cannot be optimised away.
template <typename Fn> double nsPerCall(Fn fn, long long &sink)
{
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < Calls; ++i)
        sink += fn(i);
    const std::chrono::duration<double, std::nano> elapsed =
        std::chrono::steady_clock::now() - start;
    return elapsed.count() / Calls;
}

} // namespace

int main()
{
    // Inputs are prepared up front so only the conversions are timed.
    constexpr int Inputs = 4096; // a power of two: i & (Inputs - 1) picks one
    std::vector<float> floats(Inputs);
    std::vector<int32_t> ints(Inputs);
    QStringList texts;
    for (int i = 0; i < Inputs; ++i) {
        floats[i] = float(i - Inputs / 2) * 0.731f + float(i % 7) * 1e-3f;
        ints[i] = (i - Inputs / 2) * 524287;
        texts << qzt::numberText(floats[i] * 1000.f);
    }
    const auto pick = [](int i) { return i & (Inputs - 1); };

    long long sink = 0;
    const struct {
        const char *name;
        double ns;
    } rows[] = {
        {"numberText(float)",
         nsPerCall([&](int i) { return qzt::numberText(floats[pick(i)]).size(); }, sink)},
        {"numberText(int32_t)",
         nsPerCall([&](int i) { return qzt::numberText(ints[pick(i)]).size(); }, sink)},
        {"hexText",
         nsPerCall([&](int i) { return qzt::hexText(uint32_t(ints[pick(i)])).size(); }, sink)},
        {"fixed2Text",
         nsPerCall([&](int i) { return qzt::fixed2Text(floats[pick(i)]).size(); }, sink)},
        {"readNumber",
         nsPerCall([&](int i) { return qsizetype(qzt::readNumber(texts[pick(i)]).value_or(0)); },
                   sink)},
    };

    std::printf("%-22s %10s\n", "function", "ns/call");
    for (const auto &row : rows)
        std::printf("%-22s %10.1f\n", row.name, row.ns);
    std::printf("(%d calls each, checksum %lld)\n", Calls, sink);
    return 0;
}
