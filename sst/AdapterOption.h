// The --adapter option shared by the windowed program and the command-line
// companion: which implementation of the adapter library to use. Parsing
// only; the program's composition root builds the adapter.
#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace qzt {

// A USB identity, vendor and product id.
struct UsbId {
    uint16_t vendor = 0;
    uint16_t product = 0;
    friend bool operator==(const UsbId &, const UsbId &) = default;
};

struct AdapterChoice {
    enum class Kind { Simulated, Usb };
    Kind kind = Kind::Simulated;
    UsbId running;               // the board running its SST firmware
    std::optional<UsbId> loader; // the blank board before the download
    friend bool operator==(const AdapterChoice &, const AdapterChoice &) = default;
};

inline constexpr char kAdapterOptionSyntax[] = "simulated | usb:VVVV:PPPP[,loader=VVVV:PPPP]";

// Reads "simulated" or "usb:VVVV:PPPP[,loader=VVVV:PPPP]" (ids in hex, one to
// four digits). On a bad text returns nothing and sets `error` to what is
// wrong with it.
std::optional<AdapterChoice> parseAdapterOption(const QString &text, QString *error = nullptr);

// "vvvv:pppp", four lowercase hex digits each, as lsusb shows it.
QString usbIdText(UsbId id);

// Where the udev rules for the adapter board go.
inline constexpr char kUdevRulesFile[] = "/etc/udev/rules.d/70-qzt6604-5.rules";

// The udev rules that let the user at the machine open the board: one line
// per identity, the running board's and then the loader's, each with the
// four lowercase hex digits udev compares, whatever case --adapter was
// written in. Lines end in "\n". Empty for the simulated adapter.
QString udevRules(const AdapterChoice &choice);

// The whole recipe in one message: the rules file, the commands that
// reload and apply the rules, and the rules already filled in, indented.
QString udevRecipe(const AdapterChoice &choice);

} // namespace qzt
