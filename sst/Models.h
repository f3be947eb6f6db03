// The two chip models as data: everything a per-model window needs to know.
#pragma once

#include "sst/DeviceState.h"

#include <cstdint>

namespace qzt {

enum class Model { QZT6604, QZT6605 };

struct ModelInfo {
    Model model;
    const char *suffix; // "04" / "05": ends every per-model name
    const char *name;   // "QZT6604" / "QZT6605"
    int16_t DeclarationsModule::*address;
    bool hasVoltages;
};

inline constexpr ModelInfo kModel04{Model::QZT6604, "04", "QZT6604", &DeclarationsModule::Address04,
                                    false};
inline constexpr ModelInfo kModel05{Model::QZT6605, "05", "QZT6605", &DeclarationsModule::Address05,
                                    true};

inline const ModelInfo &modelInfo(Model m)
{
    return m == Model::QZT6604 ? kModel04 : kModel05;
}

// The model's bus address narrowed to the 8-bit SSTAddress, as every window
// stores it before a command.
inline uint8_t modelAddress(const DeviceState &state, Model m)
{
    return uint8_t(state.Declarations.*(modelInfo(m).address));
}

} // namespace qzt
