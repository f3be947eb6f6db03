#include "sst/usb/LibusbAdapter.h"

#include "sst/SimulatedAdapter.h"

#include <QFile>
#include <QString>

#include <libusb.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <thread>

namespace qzt {

namespace {

// A firmware file larger than this is refused unread.
constexpr qint64 kMaxFirmwareFileBytes = 16 * 1024 * 1024;

std::string idText(UsbId id)
{
    return usbIdText(id).toStdString();
}

} // namespace

std::optional<std::vector<LoaderWrite>> loaderWrites(const IntelHexImage &image, std::string *error)
{
    std::vector<LoaderWrite> writes;
    for (const IntelHexSegment &segment : image.segments) {
        if (segment.address + segment.bytes.size() > 0x10000) {
            if (error) {
                char text[96];
                std::snprintf(text, sizeof text,
                              "data at 0x%X reaches past the 64 KiB the loader can write",
                              unsigned(segment.address));
                *error = text;
            }
            return std::nullopt;
        }
        for (std::size_t at = 0; at < segment.bytes.size(); at += kLoaderChunkBytes) {
            const std::size_t n = std::min(kLoaderChunkBytes, segment.bytes.size() - at);
            const auto from = segment.bytes.begin() + std::ptrdiff_t(at);
            writes.push_back({uint16_t(segment.address + at), {from, from + std::ptrdiff_t(n)}});
        }
    }
    return writes;
}

LibusbAdapter::LibusbAdapter(UsbId running, std::optional<UsbId> loader, Timing timing,
                             std::ostream *messages)
    : running_(running), loader_(loader), timing_(timing),
      messages_(messages ? messages : &std::cerr)
{
    if (const int r = libusb_init(&ctx_); r < 0) {
        ctx_ = nullptr;
        say(std::string("cannot start libusb: ") + libusb_error_name(r));
    }
}

LibusbAdapter::~LibusbAdapter()
{
    close();
    if (ctx_)
        libusb_exit(ctx_);
}

void LibusbAdapter::say(const std::string &line)
{
    if (line == lastMessage_)
        return;
    lastMessage_ = line;
    *messages_ << "USB adapter: " << line << std::endl;
}

void LibusbAdapter::close()
{
    if (handle_)
        libusb_close(handle_);
    handle_ = nullptr;
}

int LibusbAdapter::control(libusb_device_handle *handle, bool in, uint8_t request, uint16_t value,
                           uint16_t index, uint8_t *data, uint16_t length, const char *what,
                           int timeoutMs)
{
    const uint8_t type = uint8_t(int(LIBUSB_REQUEST_TYPE_VENDOR) | int(LIBUSB_RECIPIENT_DEVICE) |
                                 int(in ? LIBUSB_ENDPOINT_IN : LIBUSB_ENDPOINT_OUT));
    const int r = libusb_control_transfer(handle, type, request, value, index, data, length,
                                          unsigned(timeoutMs > 0 ? timeoutMs : timing_.transferMs));
    if (r < 0) {
        char text[160];
        std::snprintf(text, sizeof text, "%s (request 0x%02X, value 0x%04X) failed: %s", what,
                      request, value, libusb_error_name(r));
        say(text);
    }
    return r;
}

libusb_device *LibusbAdapter::find(UsbId id) const
{
    libusb_device **list = nullptr;
    const ssize_t n = libusb_get_device_list(ctx_, &list);
    libusb_device *found = nullptr;
    for (ssize_t i = 0; i < n && !found; ++i) {
        libusb_device_descriptor d{};
        if (libusb_get_device_descriptor(list[i], &d) == 0 && d.idVendor == id.vendor &&
            d.idProduct == id.product)
            found = libusb_ref_device(list[i]);
    }
    if (n >= 0)
        libusb_free_device_list(list, 1);
    return found;
}

int16_t LibusbAdapter::open(libusb_device *device, UsbId id)
{
    const int bus = libusb_get_bus_number(device);
    const int address = libusb_get_device_address(device);
    const int r = libusb_open(device, &handle_);
    libusb_unref_device(device);
    if (r == 0) {
        bus_ = bus;
        device_ = address;
        return 0;
    }
    handle_ = nullptr;
    char where[64];
    std::snprintf(where, sizeof where, "%s on bus %d, device %d", idText(id).c_str(), bus, address);
    if (r == LIBUSB_ERROR_ACCESS)
        say(std::string("the board ") + where + " is present but this user may not open it; " +
            udevRecipe({AdapterChoice::Kind::Usb, running_, loader_}).toStdString());
    else
        say(std::string("cannot open the board ") + where + ": " + libusb_error_name(r));
    return kCannotOpen;
}

int16_t LibusbAdapter::download(libusb_device *loader)
{
    // The stand-in only keeps the simulated adapter company: a board that ran
    // it would answer nothing until it is unplugged.
    if (standIn_) {
        libusb_unref_device(loader);
        say("'" + imagePath_ +
            "' is the simulated adapter's stand-in image, not firmware for the board; start "
            "with --firmware naming the board's own image (the SST adapter firmware that came "
            "with the board)");
        return kStandInImage;
    }
    if (const int16_t r = open(loader, *loader_); r < 0)
        return r;
    uint8_t hold = 0x01;
    bool ok = control(handle_, false, kLoaderRequest, kLoaderCpuControl, 0, &hold, 1,
                      "holding the CPU in reset") == 1;
    for (LoaderWrite &w : image_) {
        if (!ok)
            break;
        ok = control(handle_, false, kLoaderRequest, w.address, 0, w.bytes.data(),
                     uint16_t(w.bytes.size()), "writing the firmware") == int(w.bytes.size());
    }
    // Releasing the CPU starts the firmware, which renumerates: a board that
    // drops off before it acknowledges the release has still taken it, and
    // the status stage may then end in a stall or an I/O error. A release
    // that times out was never taken.
    uint8_t run = 0x00;
    if (ok) {
        const int r = control(handle_, false, kLoaderRequest, kLoaderCpuControl, 0, &run, 1,
                              "releasing the CPU");
        ok =
            r == 1 || r == LIBUSB_ERROR_NO_DEVICE || r == LIBUSB_ERROR_IO || r == LIBUSB_ERROR_PIPE;
    }
    close();
    if (!ok)
        return kTransferFailed;
    activity("waiting for the board to come back with its firmware");
    return waitForRunning();
}

int16_t LibusbAdapter::waitForRunning()
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timing_.comeBackMs);
    for (;;) {
        if (libusb_device *device = find(running_))
            return open(device, running_);
        if (Clock::now() >= deadline)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(timing_.pollMs));
    }
    say("the board did not come back as " + idText(running_) + " within " +
        std::to_string(timing_.comeBackMs) + " ms after the firmware download");
    return kDidNotComeBack;
}

int16_t LibusbAdapter::attach()
{
    close();
    if (!ctx_)
        return kNoBoard;
    if (libusb_device *device = find(running_))
        return open(device, running_);
    if (loader_)
        if (libusb_device *device = find(*loader_)) {
            activity("downloading the firmware");
            const int16_t r = download(device);
            activity({});
            return r;
        }
    say("no board " + idText(running_) + (loader_ ? " or blank board " + idText(*loader_) : "") +
        " on the USB");
    return kNoBoard;
}

int16_t LibusbAdapter::LoadFirmWare(const char *path)
{
    imageLoaded_ = false;
    unplugged_ = false;
    silent_ = false;
    close();
    std::string error = "no path";
    if (path) {
        QFile file(QString::fromLocal8Bit(path));
        if (!file.open(QIODevice::ReadOnly)) {
            error = file.errorString().toStdString();
        } else {
            const QByteArray text = file.read(kMaxFirmwareFileBytes + 1);
            QString hexError;
            std::optional<IntelHexImage> image;
            if (text.size() > kMaxFirmwareFileBytes)
                error = "larger than 16 MiB";
            else if (!(image = parseIntelHex(text, &hexError)))
                error = hexError.toStdString();
            else if (auto writes = loaderWrites(*image, &error))
                image_ = std::move(*writes), standIn_ = isStandInFirmware(*image), error.clear();
        }
    }
    if (!error.empty()) {
        say(std::string("firmware file '") + (path ? path : "") + "' refused: " + error);
        return kBadFile;
    }
    imagePath_ = path;
    const int16_t r = attach();
    imageLoaded_ = r == 0;
    return r;
}

int16_t LibusbAdapter::VendorIORequest(int16_t request, int32_t value, int32_t index,
                                       int16_t direction, int16_t length, uint8_t *buffer)
{
    if (length < 0 || length > 4096 || !buffer || request < 0 || request > 0xFF || value < 0 ||
        value > 0xFFFF || index < 0 || index > 0xFFFF)
        return kBadArguments;
    if (!imageLoaded_)
        return kNoBoard;
    if (unplugged_) {
        const auto now = Clock::now();
        if (now - lastSearch_ < std::chrono::milliseconds(timing_.rescanMs))
            return kUnplugged;
        lastSearch_ = now;
        if (attach() < 0)
            return kUnplugged;
        unplugged_ = false;
        silent_ = false;
        say("the board is back as " + describe());
    }
    // A board that has stopped answering would hold every transfer for the
    // whole time-out: the calls fail at once instead, and one transaction a
    // second tries it again, briefly.
    const bool in = direction == kDirectionIn;
    bool trying = false;
    if (silent_) {
        const auto now = Clock::now();
        if (in && tryingIn_) {
            trying = true;
        } else if (now - lastTry_ >= std::chrono::milliseconds(timing_.rescanMs)) {
            trying = true;
            lastTry_ = now;
        }
        tryingIn_ = false;
        if (!trying)
            return kNotAnswering;
    }
    const int r = control(handle_, in, uint8_t(request), uint16_t(value), uint16_t(index), buffer,
                          uint16_t(length), "SST transfer", trying ? timing_.retryMs : 0);
    if (r == LIBUSB_ERROR_TIMEOUT) {
        if (!silent_)
            say("the board does not answer; trying it again once a second");
        silent_ = true;
        tryingIn_ = false;
        lastTry_ = Clock::now();
        return kTransferFailed;
    }
    if (r >= 0 && trying && !in)
        tryingIn_ = true;
    if (r >= 0 && in && silent_) {
        silent_ = false;
        say("the board answers again");
    }
    if (r == LIBUSB_ERROR_NO_DEVICE) {
        close();
        unplugged_ = true;
        lastSearch_ = Clock::now();
        say("the board was unplugged; looking for it once a second");
        return kUnplugged;
    }
    if (r < 0)
        return kTransferFailed;
    // Every answer fills the length asked for: a shorter one would leave the
    // rest of the buffer holding stale bytes that decode as an answer.
    if (direction == kDirectionIn && r < length) {
        say("SST transfer (request 0x" + QByteArray::number(request, 16).toUpper().toStdString() +
            ") answered " + std::to_string(r) + " of " + std::to_string(length) + " bytes");
        return kTransferFailed;
    }
    lastMessage_.clear(); // the next failure is news again
    return int16_t(r);
}

std::string LibusbAdapter::describe() const
{
    std::string text = "USB adapter " + idText(running_);
    if (handle_)
        return text + " on bus " + std::to_string(bus_) + ", device " + std::to_string(device_);
    return text + (unplugged_ ? " (unplugged)" : " (not connected)");
}

} // namespace qzt
