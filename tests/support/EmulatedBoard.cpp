// glib's headers name struct members "signals", which Qt defines as a macro:
// they come before any Qt header.
#include <umockdev.h>

#include "support/EmulatedBoard.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <thread>

namespace qzt::test {

namespace {

constexpr int kMaxPlugs = 32; // device nodes prepared for plugs and renumerations
constexpr const char *kSysPath = "/sys/devices/usb1/1-1";

// Device descriptor, configuration 1, one vendor interface with no endpoints.
std::string descriptors(UsbId id)
{
    char device[40];
    std::snprintf(device, sizeof device, "1201000200000040%02x%02x%02x%02x000100000001",
                  id.vendor & 0xFF, id.vendor >> 8, id.product & 0xFF, id.product >> 8);
    return std::string(device) + "090212000101008032" + "0904000000ff000000";
}

std::string devnode(int devnum)
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
    return node;
}

} // namespace

struct EmulatedBoard::Urb {                               // submitted, not reaped yet
    UMockdevIoctlData *data = nullptr, *buffer = nullptr; // owned
    bool held = false;                                    // stalled: never ready until discarded
    bool renumerates = false;                             // releasing the CPU
    UMockdevIoctlClient *client = nullptr;
    ~Urb() { g_object_unref(buffer), g_object_unref(data); }
};

std::string hexRecord(uint8_t type, uint16_t address, const std::string &data)
{
    std::string raw{char(data.size()), char(address >> 8), char(address), char(type)};
    raw += data;
    uint8_t sum = 0;
    for (char c : raw)
        sum = uint8_t(sum - uint8_t(c));
    raw += char(sum);
    std::string text = ":";
    for (char c : raw) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        text += kDigits[uint8_t(c) >> 4];
        text += kDigits[uint8_t(c) & 0xF];
    }
    return text + "\r\n";
}

std::string boardImageHex()
{
    return hexRecord(0, 0, std::string("\x02\x01\x00", 3)) +
           hexRecord(0, 0x100, std::string("\x75\x81\x5F\x80\xFE", 5)) + hexRecord(1, 0, {});
}

EmulatedBoard::EmulatedBoard(UsbId loader, UsbId running, std::string firmwarePath)
    : loader_(loader), running_(running), firmwarePath_(std::move(firmwarePath)),
      bus_(SimulatedAdapter::shippedBus())
{
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    const auto onIoctl = +[](UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self) {
        return static_cast<EmulatedBoard *>(self)->handle(client), TRUE;
    };
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(onIoctl), this);
    for (int n = 2; n < 2 + kMaxPlugs; ++n)
        umockdev_testbed_attach_ioctl(testbed_, devnode(n).c_str(), handler_, nullptr);
}

bool EmulatedBoard::inMockEnvironment()
{
    return umockdev_in_mock_environment();
}

EmulatedBoard::~EmulatedBoard()
{
    withBus([&](auto &) { urbs_.clear(); });
    if (present_)
        unplug();
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

void EmulatedBoard::addDevice(UsbId id, bool openable)
{
    // The testbed's thread reads these in handle().
    std::unique_lock lock(mutex_);
    const int devnum = ++devnum_;
    lock.unlock();
    char record[1024];
    std::snprintf(record, sizeof record,
                  "P: /devices/usb1/1-1\nN: bus/usb/001/%03d\nE: SUBSYSTEM=usb\n"
                  "E: DEVTYPE=usb_device\nE: DEVNAME=/dev/bus/usb/001/%03d\nA: busnum=1\\n\n"
                  "A: devnum=%d\\n\nA: speed=480\\n\nA: bConfigurationValue=1\\n\n"
                  "H: descriptors=%s\n",
                  devnum, devnum, devnum, descriptors(id).c_str());
    umockdev_testbed_add_from_string(testbed_, record, nullptr);
    if (!openable) {
        gchar *root = umockdev_testbed_get_root_dir(testbed_);
        chmod((std::string(root) + devnode(devnum)).c_str(), 0);
        g_free(root);
    }
    lock.lock();
    present_ = true;
}

void EmulatedBoard::plug(bool running, bool openable)
{
    withBus([&](SimulatedAdapter &bus) {
        runningFirmware_ = bus.LoadFirmWare(running ? firmwarePath_.c_str() : nullptr) == 0;
        cpuHeld_ = false;
        record_.ramWrites.clear(), record_.cpuWrites.clear();
    });
    addDevice(running ? running_ : loader_, openable);
}

void EmulatedBoard::unplug()
{
    withBus([&](auto &) { present_ = false; }); // from now on the node answers ENODEV
    umockdev_testbed_uevent(testbed_, kSysPath, "remove");
    umockdev_testbed_remove_device(testbed_, kSysPath);
}

void EmulatedBoard::handle(UMockdevIoctlClient *client)
{
    std::lock_guard lock(mutex_);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    const bool current = present_ && devnode(devnum_) == umockdev_ioctl_client_get_devnode(client);
    switch (umockdev_ioctl_client_get_request(client)) {
    case USBDEVFS_SUBMITURB: {
        if (!current)
            break;
        // Control URBs only: the setup packet, then the data.
        auto urb = std::make_unique<Urb>();
        urb->data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        urb->client = client;
        auto *raw = reinterpret_cast<usbdevfs_urb *>(urb->data->data);
        urb->buffer = umockdev_ioctl_data_resolve(urb->data, offsetof(usbdevfs_urb, buffer),
                                                  std::size_t(raw->buffer_length), nullptr);
        uint8_t *setup = urb->buffer->data, *payload = setup + 8;
        const bool in = setup[0] & 0x80;
        const uint8_t bRequest = setup[1];
        const auto word = [&](int at) { return uint16_t(setup[at] | setup[at + 1] << 8); };
        const uint16_t wValue = word(2), wIndex = word(4), wLength = word(6);
        raw->status = -EPIPE, raw->actual_length = 0; // what it does not know, it stalls
        if (!runningFirmware_ && bRequest == kLoaderRequest && !in && wLength >= 1) {
            if (wValue == kLoaderCpuControl) {
                record_.cpuWrites.push_back(payload[0]);
                urb->renumerates = cpuHeld_ && payload[0] == 0 && !record_.ramWrites.empty();
                cpuHeld_ = payload[0] & 0x01;
            } else {
                record_.ramWrites.push_back({wValue, {payload, payload + wLength}});
            }
            raw->status = 0, raw->actual_length = wLength;
            if (urb->renumerates && releaseEnding_ == kStallOut)
                urb->held = true, urb->renumerates = false, cpuHeld_ = true;
            else if (urb->renumerates && releaseEnding_ < 0)
                raw->status = releaseEnding_, raw->actual_length = 0;
        } else if (runningFirmware_ && bRequest == kSstVendorRequest) {
            if (delay_.count() > 0) // the caller waits for its submit meanwhile
                std::this_thread::sleep_for(delay_);
            if (beforeTransfer_ && !(in && stallIn_))
                beforeTransfer_(*bus_, in, payload);
            const int r =
                bus_->VendorIORequest(bRequest, wValue, wIndex, in ? kDirectionIn : kDirectionOut,
                                      int16_t(wLength), payload);
            ++record_.sstTransfers;
            if (!in && wLength >= 4)
                record_.requests.emplace_back(payload[0], payload[3]);
            if (r >= 0)
                raw->status = 0,
                raw->actual_length = in && shortIn_ >= 0 ? std::min(r, shortIn_) : r;
            urb->held = in && stallIn_;
        }
        urbs_.push_back(std::move(urb));
        umockdev_ioctl_client_complete(client, 0, 0);
        return;
    }
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        for (auto it = urbs_.begin(); it != urbs_.end(); ++it) {
            if ((*it)->client != client || (*it)->held)
                continue;
            UMockdevIoctlData *slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), nullptr);
            umockdev_ioctl_data_set_ptr(slot, 0, (*it)->data);
            g_object_unref(slot);
            umockdev_ioctl_client_complete(client, 0, 0);
            const bool renumerates = (*it)->renumerates;
            urbs_.erase(it);
            if (renumerates) { // comes back with the running identity
                ++record_.downloads;
                runningFirmware_ = bus_->LoadFirmWare(firmwarePath_.c_str()) == 0;
                unplug();
                addDevice(running_, true);
            }
            return;
        }
        umockdev_ioctl_client_complete(client, -1, current ? EAGAIN : ENODEV);
        return;
    case USBDEVFS_DISCARDURB: {
        unsigned long address = 0;
        std::memcpy(&address, arg->data, sizeof address);
        for (auto &urb : urbs_)
            if (urb->client == client && urb->data->client_addr == address) {
                auto *raw = reinterpret_cast<usbdevfs_urb *>(urb->data->data);
                raw->status = -ENOENT, raw->actual_length = 0;
                urb->held = false;
                umockdev_ioctl_client_complete(client, 0, 0);
                return;
            }
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        return;
    }
    default:
        if (current) {
            umockdev_ioctl_client_complete(client, -1, ENOTTY);
            return;
        }
    }
    umockdev_ioctl_client_complete(client, -1, ENODEV);
}

} // namespace qzt::test
