// glib's headers name struct members "signals", which Qt defines as a macro:
// they come before any Qt header.
#include <umockdev.h>

#include "support/EmulatedBoard.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <sys/prctl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace qzt::test {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kMaxPlugs = 32; // device nodes prepared for plugs and renumerations
constexpr const char *kSysPath = "/sys/devices/usb1/1-1";

// The sysfs descriptors, in hex: the device (USB 2.0, a control pipe of 64
// bytes, the identity, release 1.00, no strings, one configuration), then
// configuration 1 (bus-powered, 100 mA) with one vendor-specific interface
// and no endpoints beyond the control pipe.
std::string descriptors(UsbId id)
{
    char device[40];
    std::snprintf(device, sizeof device, "1201000200000040%02x%02x%02x%02x000100000001",
                  id.vendor & 0xFF, id.vendor >> 8, id.product & 0xFF, id.product >> 8);
    return std::string(device) + "090212000101008032" + "0904000000ff000000";
}

} // namespace

// A URB the host submitted and has not reaped yet.
struct EmulatedBoard::Urb {
    UMockdevIoctlData *data = nullptr;   // owned reference to the usbdevfs_urb
    UMockdevIoctlData *buffer = nullptr; // owned reference to its buffer
    int status = 0;
    int actualLength = 0;
    Clock::time_point readyAt;
    bool held = false;                     // stalled: never ready until discarded
    bool renumerates = false;              // releasing the CPU: the board leaves after this one
    UMockdevIoctlClient *client = nullptr; // the open device that submitted it
    ~Urb()
    {
        g_object_unref(buffer);
        g_object_unref(data);
    }
};

EmulatedBoard::EmulatedBoard(UsbId loader, UsbId running, std::string firmwarePath)
    : loader_(loader), running_(running), firmwarePath_(std::move(firmwarePath)),
      bus_(SimulatedAdapter::shippedBus())
{
    // Wakes the polling host promptly: each emulated transfer gets much faster.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    testbed_ = umockdev_testbed_new();
    handler_ = umockdev_ioctl_base_new();
    g_signal_connect(handler_, "handle-ioctl", G_CALLBACK(&EmulatedBoard::onIoctl), this);
    for (int n = 2; n < 2 + kMaxPlugs; ++n)
        umockdev_testbed_attach_ioctl(testbed_, devnode(n).c_str(), handler_, nullptr);
}

bool EmulatedBoard::inMockEnvironment()
{
    return umockdev_in_mock_environment();
}

EmulatedBoard::~EmulatedBoard()
{
    {
        std::lock_guard lock(mutex_);
        urbs_.clear();
    }
    if (present_)
        removeDevice();
    g_object_unref(handler_);
    g_object_unref(testbed_);
}

std::string EmulatedBoard::devnode(int devnum) const
{
    char node[32];
    std::snprintf(node, sizeof node, "/dev/bus/usb/001/%03d", devnum);
    return node;
}

void EmulatedBoard::plug(UsbId id, bool openable)
{
    ++devnum_;
    char record[1024];
    std::snprintf(record, sizeof record,
                  "P: /devices/usb1/1-1\n"
                  "N: bus/usb/001/%03d\n"
                  "E: SUBSYSTEM=usb\n"
                  "E: DEVTYPE=usb_device\n"
                  "E: DEVNAME=/dev/bus/usb/001/%03d\n"
                  "E: BUSNUM=001\n"
                  "E: DEVNUM=%03d\n"
                  "A: busnum=1\\n\n"
                  "A: devnum=%d\\n\n"
                  "A: speed=480\\n\n"
                  "A: bConfigurationValue=1\\n\n"
                  "H: descriptors=%s\n",
                  devnum_, devnum_, devnum_, devnum_, descriptors(id).c_str());
    if (!openable) {
        // The node exists before the device is announced, without permissions.
        gchar *root = umockdev_testbed_get_root_dir(testbed_);
        const std::string node = std::string(root) + devnode(devnum_);
        g_free(root);
        umockdev_testbed_add_from_string(testbed_, record, nullptr);
        chmod(node.c_str(), 0);
    } else {
        umockdev_testbed_add_from_string(testbed_, record, nullptr);
    }
    present_ = true;
}

void EmulatedBoard::removeDevice()
{
    present_ = false;
    umockdev_testbed_uevent(testbed_, kSysPath, "remove");
    umockdev_testbed_remove_device(testbed_, kSysPath);
}

void EmulatedBoard::plugBlank(bool openable)
{
    {
        std::lock_guard lock(mutex_);
        runningFirmware_ = false;
        cpuHeld_ = false;
        ramWrites_.clear();
        cpuWrites_.clear();
        bus_->LoadFirmWare(nullptr); // a blank board has no firmware
    }
    plug(loader_, openable);
}

void EmulatedBoard::plugRunning(bool openable)
{
    {
        std::lock_guard lock(mutex_);
        runningFirmware_ = bus_->LoadFirmWare(firmwarePath_.c_str()) == 0;
    }
    plug(running_, openable);
}

void EmulatedBoard::unplug()
{
    {
        std::lock_guard lock(mutex_);
        if (!present_)
            return;
        present_ = false; // from now on the node answers ENODEV
    }
    removeDevice();
}

void EmulatedBoard::setDelayMs(int ms)
{
    std::lock_guard lock(mutex_);
    delayMs_ = ms;
}

void EmulatedBoard::setStallIn(bool stall)
{
    std::lock_guard lock(mutex_);
    stallIn_ = stall;
}

std::vector<LoaderWrite> EmulatedBoard::ramWrites() const
{
    std::lock_guard lock(mutex_);
    return ramWrites_;
}

std::vector<uint8_t> EmulatedBoard::cpuControlWrites() const
{
    std::lock_guard lock(mutex_);
    return cpuWrites_;
}

int EmulatedBoard::downloads() const
{
    std::lock_guard lock(mutex_);
    return downloads_;
}

int EmulatedBoard::sstTransfers() const
{
    std::lock_guard lock(mutex_);
    return sstTransfers_;
}

int EmulatedBoard::onIoctl(UMockdevIoctlBase *, UMockdevIoctlClient *client, void *self)
{
    return static_cast<EmulatedBoard *>(self)->handle(client);
}

bool EmulatedBoard::handle(UMockdevIoctlClient *client)
{
    std::lock_guard lock(mutex_);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData *arg = umockdev_ioctl_client_get_arg(client);
    const bool current = present_ && devnode(devnum_) == umockdev_ioctl_client_get_devnode(client);
    switch (request) {
    case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData *caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(uint32_t), nullptr);
        const uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                               USBDEVFS_CAP_REAP_AFTER_DISCONNECT;
        std::memcpy(caps->data, &value, sizeof value);
        umockdev_ioctl_client_complete(client, 0, 0);
        g_object_unref(caps);
        return true;
    }
    case USBDEVFS_SUBMITURB:
        if (!current)
            umockdev_ioctl_client_complete(client, -1, ENODEV);
        else
            submit(client, arg);
        return true;
    case USBDEVFS_REAPURB:
    case USBDEVFS_REAPURBNDELAY:
        reap(client, arg, current);
        return true;
    case USBDEVFS_DISCARDURB:
        discard(client, arg);
        return true;
    default:
        umockdev_ioctl_client_complete(client, -1, current ? ENOTTY : ENODEV);
        return true;
    }
}

void EmulatedBoard::submit(UMockdevIoctlClient *client, UMockdevIoctlData *arg)
{
    UMockdevIoctlData *data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    auto *raw = reinterpret_cast<usbdevfs_urb *>(data->data);
    if (raw->type != USBDEVFS_URB_TYPE_CONTROL || raw->buffer_length < 8) {
        umockdev_ioctl_client_complete(client, -1, EINVAL);
        g_object_unref(data);
        return;
    }
    auto urb = std::make_unique<Urb>();
    urb->data = data;
    urb->client = client;
    urb->buffer = umockdev_ioctl_data_resolve(urb->data, offsetof(usbdevfs_urb, buffer),
                                              std::size_t(raw->buffer_length), nullptr);
    uint8_t *setup = urb->buffer->data;
    uint8_t *payload = setup + 8;
    const bool in = setup[0] & 0x80;
    const uint8_t bRequest = setup[1];
    const uint16_t wValue = uint16_t(setup[2] | setup[3] << 8);
    const uint16_t wIndex = uint16_t(setup[4] | setup[5] << 8);
    const uint16_t wLength = uint16_t(setup[6] | setup[7] << 8);
    urb->readyAt = Clock::now() + std::chrono::milliseconds(delayMs_);
    urb->status = -EPIPE; // what the board does not know, it stalls

    if (!runningFirmware_ && bRequest == kLoaderRequest && !in && wLength >= 1) {
        if (wValue == kLoaderCpuControl) {
            cpuWrites_.push_back(payload[0]);
            const bool releases = cpuHeld_ && payload[0] == 0x00;
            cpuHeld_ = payload[0] & 0x01;
            urb->renumerates = releases && !ramWrites_.empty();
        } else {
            ramWrites_.push_back({wValue, {payload, payload + wLength}});
        }
        urb->status = 0;
        urb->actualLength = wLength;
    } else if (runningFirmware_ && bRequest == kSstVendorRequest) {
        const int r = bus_->VendorIORequest(
            bRequest, wValue, wIndex, in ? kDirectionIn : kDirectionOut, int16_t(wLength), payload);
        ++sstTransfers_;
        if (r >= 0) {
            urb->status = 0;
            urb->actualLength = r;
        }
        urb->held = in && stallIn_;
    }
    urbs_.push_back(std::move(urb));
    umockdev_ioctl_client_complete(client, 0, 0);
}

void EmulatedBoard::reap(UMockdevIoctlClient *client, UMockdevIoctlData *arg, bool current)
{
    const auto now = Clock::now();
    for (auto it = urbs_.begin(); it != urbs_.end(); ++it) {
        Urb &urb = **it;
        if (urb.client != client || urb.held || urb.readyAt > now)
            continue;
        auto *raw = reinterpret_cast<usbdevfs_urb *>(urb.data->data);
        raw->status = urb.status;
        raw->actual_length = urb.actualLength;
        UMockdevIoctlData *slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void *), nullptr);
        umockdev_ioctl_data_set_ptr(slot, 0, urb.data);
        g_object_unref(slot);
        umockdev_ioctl_client_complete(client, 0, 0);
        const bool renumerates = urb.renumerates;
        urbs_.erase(it);
        if (renumerates) {
            // The firmware runs: the loader leaves the bus and the board
            // comes back with the running identity.
            ++downloads_;
            runningFirmware_ = bus_->LoadFirmWare(firmwarePath_.c_str()) == 0;
            removeDevice();
            plug(running_, true);
        }
        return;
    }
    umockdev_ioctl_client_complete(client, -1, current ? EAGAIN : ENODEV);
}

void EmulatedBoard::discard(UMockdevIoctlClient *client, UMockdevIoctlData *arg)
{
    unsigned long address = 0;
    std::memcpy(&address, arg->data, sizeof address);
    for (auto &urb : urbs_)
        if (urb->client == client && urb->data->client_addr == address) {
            urb->status = -ENOENT;
            urb->actualLength = 0;
            urb->held = false;
            urb->readyAt = Clock::now();
            umockdev_ioctl_client_complete(client, 0, 0);
            return;
        }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
}

} // namespace qzt::test
