// The instrument's pipes over libusb-1.0 (Linux, macOS).
//
// The instrument is found by its USB vendor and product ids; its path is
// "usb-<bus>-<address>". Its vendor-specific interface (class 0xFF) carries
// one bulk endpoint pair: the write pipe is the bulk OUT endpoint, the read
// pipe the bulk IN endpoint. Both pipes of one instrument share one libusb
// device handle, which stays open while either pipe is open.
//
// Every transfer is asynchronous and driven by libusb's event handling for
// exactly the caller's wait. A transfer that does not complete in time is
// cancelled, and the call returns only after libusb has handed the cancelled
// transfer back, so no transfer outlives its call and the next one starts on
// a clean endpoint. A device that disappears completes its transfers with an
// error, which is a failed transfer.
#include <libusb.h>

#include <charconv>
#include <chrono>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "device/UsbBackend.h"

namespace oront {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kVendorSpecificClass = 0xFF;
constexpr std::uint8_t kDefaultEndpointOut = 0x01;
constexpr std::uint8_t kDefaultEndpointIn = 0x81;
// How long a cancelled transfer may take to come back. Cancellation is
// normally immediate; the bound only keeps a misbehaving system from hanging
// the program.
constexpr auto kCancelWait = std::chrono::milliseconds(1000);
constexpr std::string_view kPathPrefix = "usb-";

// "04D8": a USB id as the README and ORONT_USB_ID write it.
std::string HexId(std::uint16_t value) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text(4, '0');
    for (int i = 3; i >= 0; --i, value = static_cast<std::uint16_t>(value >> 4))
        text[static_cast<std::size_t>(i)] = kDigits[value & 15];
    return text;
}

// One transfer and the memory it uses. Owned by the call that started it,
// unless the transfer could not be taken back (see RunTransfer).
struct TransferState {
    libusb_transfer* transfer = nullptr;
    std::vector<std::uint8_t> buffer;
    int completed = 0;
    libusb_transfer_status status = LIBUSB_TRANSFER_ERROR;

    ~TransferState() {
        if (transfer != nullptr) libusb_free_transfer(transfer);
    }
};

void LIBUSB_CALL OnTransferDone(libusb_transfer* transfer) {
    auto* state = static_cast<TransferState*>(transfer->user_data);
    state->status = transfer->status;
    state->completed = 1;
}

struct OpenInstrument {
    libusb_device_handle* handle = nullptr;
    int interfaceNumber = -1;
    std::uint8_t endpointOut = kDefaultEndpointOut;
    std::uint8_t endpointIn = kDefaultEndpointIn;
    bool readOpen = false;
    bool writeOpen = false;
    // A transfer of this handle could not be taken back: the handle must
    // never be used or closed again.
    bool abandoned = false;
};

struct InstrumentInterface {
    int number = -1;
    std::uint8_t endpointOut = kDefaultEndpointOut;
    std::uint8_t endpointIn = kDefaultEndpointIn;
};

// The first vendor-specific interface of the configuration, with its first
// bulk OUT and bulk IN endpoints.
bool FindVendorInterface(libusb_device* device, InstrumentInterface& found) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != 0 || config == nullptr) {
        if (libusb_get_config_descriptor(device, 0, &config) != 0 || config == nullptr) return false;
    }
    bool ok = false;
    for (int i = 0; i < config->bNumInterfaces && !ok; ++i) {
        const libusb_interface& usbInterface = config->interface[i];
        if (usbInterface.num_altsetting < 1) continue;
        const libusb_interface_descriptor& alt = usbInterface.altsetting[0];
        if (alt.bInterfaceClass != kVendorSpecificClass) continue;
        found.number = alt.bInterfaceNumber;
        bool haveOut = false;
        bool haveIn = false;
        for (int e = 0; e < alt.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& endpoint = alt.endpoint[e];
            if ((endpoint.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
            const bool in = (endpoint.bEndpointAddress & LIBUSB_ENDPOINT_DIR_MASK) == LIBUSB_ENDPOINT_IN;
            if (in && !haveIn) {
                found.endpointIn = endpoint.bEndpointAddress;
                haveIn = true;
            } else if (!in && !haveOut) {
                found.endpointOut = endpoint.bEndpointAddress;
                haveOut = true;
            }
        }
        ok = true;
    }
    libusb_free_config_descriptor(config);
    return ok;
}

std::string MakePath(int bus, int address) {
    return std::string(kPathPrefix) + std::to_string(bus) + "-" + std::to_string(address);
}

bool ParsePath(std::string_view path, int& bus, int& address) {
    if (path.substr(0, kPathPrefix.size()) != kPathPrefix) return false;
    path.remove_prefix(kPathPrefix.size());
    const char* end = path.data() + path.size();
    auto r1 = std::from_chars(path.data(), end, bus);
    if (r1.ec != std::errc() || r1.ptr == end || *r1.ptr != '-') return false;
    auto r2 = std::from_chars(r1.ptr + 1, end, address);
    return r2.ec == std::errc() && r2.ptr == end;
}

class DeviceList {
public:
    explicit DeviceList(libusb_context* context) {
        const ssize_t n = context != nullptr ? libusb_get_device_list(context, &m_list) : 0;
        m_count = n > 0 ? n : 0;
    }
    ~DeviceList() {
        if (m_list != nullptr) libusb_free_device_list(m_list, 1);
    }
    DeviceList(const DeviceList&) = delete;
    DeviceList& operator=(const DeviceList&) = delete;
    libusb_device* const* begin() const { return m_list; }
    libusb_device* const* end() const { return m_list + m_count; }

private:
    libusb_device** m_list = nullptr;
    ssize_t m_count = 0;
};

class LibusbBackend final : public DeviceBackend {
public:
    explicit LibusbBackend(UsbId id) : m_id(id) {
        if (libusb_init(&m_context) != 0) m_context = nullptr;
    }

    ~LibusbBackend() override {
        while (!m_pipes.empty()) ClosePipe(m_pipes.begin()->first);
        if (m_context != nullptr && !m_abandonedTransfers) libusb_exit(m_context);
    }

    LibusbBackend(const LibusbBackend&) = delete;
    LibusbBackend& operator=(const LibusbBackend&) = delete;

    bool FindDevicePath(const Guid& /*interfaceClass*/, std::string& path) override {
        // The driver's interface class has no meaning to libusb; the
        // instrument is recognised by its ids and its vendor interface. With
        // several instruments attached the lowest bus and address wins.
        bool found = false;
        int bestBus = 0;
        int bestAddress = 0;
        for (libusb_device* device : DeviceList(m_context)) {
            if (!IsInstrument(device)) continue;
            const int bus = libusb_get_bus_number(device);
            const int address = libusb_get_device_address(device);
            if (!found || bus < bestBus || (bus == bestBus && address < bestAddress)) {
                found = true;
                bestBus = bus;
                bestAddress = address;
            }
        }
        if (found) path = MakePath(bestBus, bestAddress);
        m_failure = found                  ? std::string()
                    : m_context == nullptr ? "libusb cannot be initialised"
                                           : "no USB device with the id " + HexId(m_id.vendor) + ":" +
                                                 HexId(m_id.product) + " is attached";
        return found;
    }

    [[nodiscard]] std::string FailureText() const override { return m_failure; }

    PipeHandle OpenPipe(const std::string& pipeName, PipeAccess access) override {
        const std::string_view suffix(kPipeSuffix);
        if (pipeName.size() <= suffix.size() ||
            std::string_view(pipeName).substr(pipeName.size() - suffix.size()) != suffix) {
            return kInvalidPipe;
        }
        const std::string path = pipeName.substr(0, pipeName.size() - suffix.size());
        OpenInstrument* instrument = OpenInstrumentAt(path);
        if (instrument == nullptr) return kInvalidPipe;
        // The pipes are opened without sharing: one reader, one writer.
        bool& isOpen = access == PipeAccess::Read ? instrument->readOpen : instrument->writeOpen;
        if (isOpen) return kInvalidPipe;
        isOpen = true;
        const PipeHandle handle = m_nextHandle++;
        m_pipes.emplace(handle, Pipe{path, access});
        return handle;
    }

    bool WritePipe(PipeHandle pipe, const std::uint8_t* data, std::size_t length, int waitMs) override {
        Pipe* p = FindPipe(pipe, PipeAccess::Write);
        if (p == nullptr || length > static_cast<std::size_t>(INT32_MAX)) return false;
        OpenInstrument& instrument = m_instruments[p->path];
        std::vector<std::uint8_t> bytes(data, data + length);
        return RunTransfer(instrument, instrument.endpointOut, std::move(bytes), waitMs, nullptr);
    }

    bool ReadPipe(PipeHandle pipe, std::uint8_t* buffer, int waitMs) override {
        Pipe* p = FindPipe(pipe, PipeAccess::Read);
        if (p == nullptr) return false;
        OpenInstrument& instrument = m_instruments[p->path];
        return RunTransfer(instrument, instrument.endpointIn, std::vector<std::uint8_t>(kPacketSize, 0), waitMs,
                           buffer);
    }

    int ReadPackets(PipeHandle pipe, std::uint8_t* buffer, int packets, int waitMs) override {
        Pipe* p = FindPipe(pipe, PipeAccess::Read);
        if (p == nullptr || packets <= 0) return 0;
        OpenInstrument& instrument = m_instruments[p->path];
        // One transfer for all of them: the device fills it packet by
        // packet, and a short packet, a time-out or a failure ends it with
        // the packets that arrived.
        std::size_t moved = 0;
        const auto size = static_cast<std::size_t>(packets) * kPacketSize;
        RunTransfer(instrument, instrument.endpointIn, std::vector<std::uint8_t>(size, 0), waitMs * packets, buffer,
                    &moved);
        return static_cast<int>((moved + kPacketSize - 1) / kPacketSize);
    }

    void ClosePipe(PipeHandle pipe) override {
        auto it = m_pipes.find(pipe);
        if (it == m_pipes.end()) return;
        const Pipe closed = it->second;
        m_pipes.erase(it);
        auto dev = m_instruments.find(closed.path);
        if (dev == m_instruments.end()) return;
        OpenInstrument& instrument = dev->second;
        (closed.access == PipeAccess::Read ? instrument.readOpen : instrument.writeOpen) = false;
        if (instrument.readOpen || instrument.writeOpen) return;
        if (!instrument.abandoned) {
            libusb_release_interface(instrument.handle, instrument.interfaceNumber);
            libusb_close(instrument.handle);
        }
        m_instruments.erase(dev);
    }

private:
    struct Pipe {
        std::string path;
        PipeAccess access;
    };

    bool IsInstrument(libusb_device* device) const {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(device, &descriptor) != 0) return false;
        if (descriptor.idVendor != m_id.vendor || descriptor.idProduct != m_id.product) return false;
        InstrumentInterface found;
        return FindVendorInterface(device, found);
    }

    Pipe* FindPipe(PipeHandle pipe, PipeAccess access) {
        auto it = m_pipes.find(pipe);
        if (it == m_pipes.end() || it->second.access != access || m_context == nullptr) return nullptr;
        return &it->second;
    }

    // The open instrument at the path, opening and claiming it when neither
    // of its pipes is open yet.
    OpenInstrument* OpenInstrumentAt(const std::string& path) {
        auto existing = m_instruments.find(path);
        if (existing != m_instruments.end()) return existing->second.abandoned ? nullptr : &existing->second;
        int bus = 0;
        int address = 0;
        if (m_context == nullptr || !ParsePath(path, bus, address)) return nullptr;
        for (libusb_device* device : DeviceList(m_context)) {
            if (libusb_get_bus_number(device) != bus || libusb_get_device_address(device) != address) continue;
            if (!IsInstrument(device)) return nullptr;
            InstrumentInterface found;
            if (!FindVendorInterface(device, found)) return nullptr;
            libusb_device_handle* handle = nullptr;
            if (const int rc = libusb_open(device, &handle); rc != 0 || handle == nullptr) {
                m_failure = std::string("the instrument cannot be opened: ") + libusb_strerror(rc) +
                            (rc == LIBUSB_ERROR_ACCESS ? " (the README's udev rule gives the user access)" : "");
                return nullptr;
            }
            libusb_set_auto_detach_kernel_driver(handle, 1);  // not supported everywhere; harmless then
            if (const int rc = libusb_claim_interface(handle, found.number); rc != 0) {
                m_failure = std::string("the instrument's interface cannot be claimed: ") + libusb_strerror(rc);
                libusb_close(handle);
                return nullptr;
            }
            OpenInstrument& instrument = m_instruments[path];
            instrument.handle = handle;
            instrument.interfaceNumber = found.number;
            instrument.endpointOut = found.endpointOut;
            instrument.endpointIn = found.endpointIn;
            return &instrument;
        }
        return nullptr;
    }

    // Lets libusb handle events until the transfer completes or the time is
    // up.
    void HandleEventsUntil(TransferState& state, Clock::time_point deadline) {
        while (state.completed == 0) {
            const auto now = Clock::now();
            if (now >= deadline) return;
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - now).count();
            timeval tv{};
            tv.tv_sec = static_cast<decltype(tv.tv_sec)>(left / 1000000);
            tv.tv_usec = static_cast<decltype(tv.tv_usec)>(left % 1000000);
            libusb_handle_events_timeout_completed(m_context, &tv, &state.completed);
        }
    }

    // One bulk transfer within waitMs. For a read, `out` receives all 64
    // bytes of the packet (bytes the device did not send stay zero).
    // Runs one transfer of `bytes` within waitMs; a read copies what arrived
    // into `out` (one packet, or with `moved` every byte that arrived, also
    // of a transfer that timed out or failed, and their number).
    bool RunTransfer(OpenInstrument& instrument, std::uint8_t endpoint, std::vector<std::uint8_t> bytes, int waitMs,
                     std::uint8_t* out, std::size_t* moved = nullptr) {
        if (moved != nullptr) *moved = 0;
        if (instrument.abandoned) return false;
        auto state = std::make_unique<TransferState>();
        state->buffer = std::move(bytes);
        state->transfer = libusb_alloc_transfer(0);
        if (state->transfer == nullptr) return false;
        libusb_fill_bulk_transfer(state->transfer, instrument.handle, endpoint, state->buffer.data(),
                                  static_cast<int>(state->buffer.size()), OnTransferDone, state.get(), 0);
        if (libusb_submit_transfer(state->transfer) != 0) return false;

        HandleEventsUntil(*state, Clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs));
        if (state->completed == 0) {
            // Out of time: take the transfer back before returning, so that
            // its buffer is never written after this call and the endpoint
            // is free for the next transfer.
            libusb_cancel_transfer(state->transfer);
            HandleEventsUntil(*state, Clock::now() + kCancelWait);
            if (state->completed == 0) {
                // libusb still owns the transfer: its memory has to outlive
                // it, so it is deliberately left allocated and the handle is
                // never used or closed again.
                instrument.abandoned = true;
                m_abandonedTransfers = true;
                static_cast<void>(state.release());
                return false;
            }
        }
        if (out != nullptr && moved != nullptr) {
            *moved =
                std::min(static_cast<std::size_t>(std::max(state->transfer->actual_length, 0)), state->buffer.size());
            std::memcpy(out, state->buffer.data(), *moved);
        }
        if (state->status != LIBUSB_TRANSFER_COMPLETED) return false;
        if (out != nullptr && moved == nullptr) std::memcpy(out, state->buffer.data(), kPacketSize);
        return true;
    }

    UsbId m_id;
    std::string m_failure;  // why the last find or open failed
    libusb_context* m_context = nullptr;
    std::map<std::string, OpenInstrument> m_instruments;  // by path
    std::map<PipeHandle, Pipe> m_pipes;
    PipeHandle m_nextHandle = 1;
    bool m_abandonedTransfers = false;
};

}  // namespace

std::unique_ptr<DeviceBackend> CreateUsbBackend() {
    return std::make_unique<LibusbBackend>(UsbIdFromEnvironment());
}

}  // namespace oront
