// The libusb backend against an emulated instrument: umockdev provides the
// USB device node, and a fake instrument in this file answers the usbfs
// requests libusb makes. Its replies come from the simulated instrument, so
// whole protocol exchanges run over real libusb transfers.
#include <gtest/gtest.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/DeviceLink.h"
#include "device/MemoryImage.h"
#include "device/Protocol.h"
#include "device/SimulatedInstrument.h"
#include "device/UsbBackend.h"
#include "records/RecordFrame.h"
#include "support/InstrumentBuilders.h"
#include "support/TestEnvironment.h"

namespace oront::test {
namespace {

constexpr const char* kDeviceNode = "/dev/bus/usb/001/002";

std::string DeviceDescription(int devnum, const char* vendorProduct) {
    // Full-speed device, one configuration, interface 0 of class 0xFF with
    // bulk endpoints 0x01 OUT and 0x81 IN of 64 bytes.
    const std::string num = (devnum < 10 ? "00" : "0") + std::to_string(devnum);
    return "P: /devices/pci0000:00/0000:00:14.0/usb1/1-" + std::to_string(devnum) +
           "\n"
           "N: bus/usb/001/" +
           num +
           "\n"
           "E: SUBSYSTEM=usb\n"
           "E: DEVTYPE=usb_device\n"
           "E: DRIVER=usb\n"
           "E: BUSNUM=001\n"
           "E: DEVNUM=" +
           num +
           "\n"
           "E: DEVNAME=/dev/bus/usb/001/" +
           num +
           "\n"
           "A: busnum=1\\n\n"
           "A: devnum=" +
           std::to_string(devnum) +
           "\\n\n"
           "A: speed=12\\n\n"
           "A: bConfigurationValue=1\\n\n"
           "H: descriptors=1201000200000040" +
           vendorProduct + "0001010200010902200001010080320904000002FF0000000705010240000007058102400000\n";
}

// The instrument behind the device node. umockdev calls it on its own
// thread, so all of its state is guarded.
class FakeInstrument {
public:
    explicit FakeInstrument(MemoryImage image) : m_sim(std::move(image), InstantFaults()) {
        std::string path;
        m_sim.FindDevicePath(kInstrumentInterfaceClass, path);
        m_simWrite = m_sim.OpenPipe(path + kPipeSuffix, PipeAccess::Write);
        m_simRead = m_sim.OpenPipe(path + kPipeSuffix, PipeAccess::Read);
    }
    ~FakeInstrument() {
        for (auto* urb : m_inFlight) umockdev_ioctl_data_unref(urb);
        for (auto* urb : m_reapable) umockdev_ioctl_data_unref(urb);
    }

    static gboolean OnIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer self) {
        return static_cast<FakeInstrument*>(self)->Handle(client) ? TRUE : FALSE;
    }

    // Test controls.
    std::vector<std::string> Commands() {
        std::lock_guard lock(m_mutex);
        return m_commands;
    }
    int Discarded() {
        std::lock_guard lock(m_mutex);
        return m_discarded;
    }
    int Delivered() {
        std::lock_guard lock(m_mutex);
        return m_delivered;
    }
    void SetSilent(bool silent) {
        std::lock_guard lock(m_mutex);
        m_silent = silent;
    }
    void SetReplyLength(std::size_t length) {
        std::lock_guard lock(m_mutex);
        m_replyLength = length;
    }
    // The device disappears while the read of this packet is in flight.
    void VanishAtPacket(int packet) {
        std::lock_guard lock(m_mutex);
        m_vanishAtPacket = packet;
    }
    // The device stops answering: once a read is in flight, every reap fails
    // with ENODEV, so even a cancelled transfer never comes back.
    void FailReaps() {
        std::lock_guard lock(m_mutex);
        m_failReaps = true;
    }
    // Packet `packet` (counting every reply) is an error reply, or short,
    // or the endpoint stalls from it on.
    void ErrorAtPacket(int packet) {
        std::lock_guard lock(m_mutex);
        m_errorAtPacket = packet;
    }
    void ShortAtPacket(int packet, std::size_t length) {
        std::lock_guard lock(m_mutex);
        m_shortAtPacket = packet;
        m_shortLength = length;
    }
    void StallAtPacket(int packet) {
        std::lock_guard lock(m_mutex);
        m_stallAtPacket = packet;
    }
    // The transfers the program started on the IN endpoint.
    int ReadTransfers() {
        std::lock_guard lock(m_mutex);
        return m_readTransfers;
    }
    // Another memory, and no faults.
    void SetImage(MemoryImage image) {
        std::lock_guard lock(m_mutex);
        m_sim = SimulatedInstrument(std::move(image), InstantFaults());
        std::string path;
        m_sim.FindDevicePath(kInstrumentInterfaceClass, path);
        m_simWrite = m_sim.OpenPipe(path + kPipeSuffix, PipeAccess::Write);
        m_simRead = m_sim.OpenPipe(path + kPipeSuffix, PipeAccess::Read);
        m_errorAtPacket = m_shortAtPacket = m_stallAtPacket = -1;
    }
    bool Gone() {
        std::lock_guard lock(m_mutex);
        return m_gone;
    }

private:
    static usbdevfs_urb* Urb(UMockdevIoctlData* data) { return reinterpret_cast<usbdevfs_urb*>(data->data); }

    // Pending reads get the replies that are waiting, in order, as a device
    // fills a transfer: packet by packet until it is full or a packet is
    // short; one that the replies do not fill stays pending. An unplug or a
    // stall ends it with the packets before.
    void Deliver() {
        while (!m_inFlight.empty() && !m_replies.empty()) {
            UMockdevIoctlData* data = m_inFlight.front();
            usbdevfs_urb* urb = Urb(data);
            bool done = false;
            while (!done && !m_replies.empty()) {
                if ((m_vanishAtPacket >= 0 && m_delivered >= m_vanishAtPacket) ||
                    (m_stallAtPacket >= 0 && m_delivered >= m_stallAtPacket)) {
                    m_gone = m_gone || (m_vanishAtPacket >= 0 && m_delivered >= m_vanishAtPacket);
                    urb->status = m_gone ? -ENODEV : -EPIPE;
                    done = true;
                    break;
                }
                std::vector<std::uint8_t> reply = std::move(m_replies.front());
                m_replies.pop_front();
                if (m_delivered == m_errorAtPacket) reply.assign({'@', 'E', 'R', '0', '1', '\r'});
                if (m_delivered == m_shortAtPacket) reply.resize(m_shortLength);
                const int room = urb->buffer_length - urb->actual_length;
                const int length = std::min(static_cast<int>(reply.size()), room);
                std::memcpy(static_cast<std::uint8_t*>(urb->buffer) + urb->actual_length, reply.data(),
                            static_cast<std::size_t>(length));
                urb->actual_length += length;
                ++m_delivered;
                done = length < static_cast<int>(kPacketSize) || urb->actual_length >= urb->buffer_length;
                if (done) urb->status = 0;
            }
            if (!done) break;  // waits for more
            m_inFlight.pop_front();
            m_reapable.push_back(data);
        }
    }

    bool Handle(UMockdevIoctlClient* client) {
        std::lock_guard lock(m_mutex);
        const unsigned long request = umockdev_ioctl_client_get_request(client);
        UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
        switch (request) {
            case USBDEVFS_GET_CAPABILITIES: {
                UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(guint32), nullptr);
                *reinterpret_cast<guint32*>(caps->data) = USBDEVFS_CAP_BULK_CONTINUATION |
                                                          USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                                                          USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
                umockdev_ioctl_client_complete(client, 0, 0);
                umockdev_ioctl_data_unref(caps);
                return true;
            }
            case USBDEVFS_CLAIMINTERFACE:
            case USBDEVFS_RELEASEINTERFACE:
            case USBDEVFS_CLEAR_HALT:
            case USBDEVFS_RESET:
            case USBDEVFS_RESETEP:
            case USBDEVFS_DISCONNECT_CLAIM:
                umockdev_ioctl_client_complete(client, m_gone ? -1 : 0, m_gone ? ENODEV : 0);
                return true;
            case USBDEVFS_SUBMITURB:
                return Submit(client, arg);
            case USBDEVFS_REAPURB:
            case USBDEVFS_REAPURBNDELAY:
                return Reap(client, arg);
            case USBDEVFS_DISCARDURB:
                return Discard(client, arg);
            default:
                return false;
        }
    }

    bool Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        if (m_gone) {
            umockdev_ioctl_client_complete(client, -1, ENODEV);
            return true;
        }
        UMockdevIoctlData* data = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
        usbdevfs_urb* urb = Urb(data);
        UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(data, G_STRUCT_OFFSET(usbdevfs_urb, buffer),
                                                                static_cast<gsize>(urb->buffer_length), nullptr);
        if ((urb->endpoint & 0x80) == 0) {
            // A command on the OUT endpoint: the simulated instrument
            // decides what the IN endpoint answers.
            m_commands.emplace_back(reinterpret_cast<const char*>(buffer->data),
                                    static_cast<std::size_t>(urb->buffer_length));
            m_sim.WritePipe(m_simWrite, buffer->data, static_cast<std::size_t>(urb->buffer_length), 50);
            m_replies.clear();
            std::uint8_t packet[kPacketSize];
            while (m_sim.ReadPipe(m_simRead, packet, 0)) {
                if (!m_silent) m_replies.emplace_back(packet, packet + m_replyLength);
            }
            urb->actual_length = urb->buffer_length;
            urb->status = 0;
            m_reapable.push_back(data);
        } else if ((m_vanishAtPacket >= 0 && m_delivered >= m_vanishAtPacket) || m_gone) {
            // Unplugged during the transfer: the system ends every transfer
            // of the device with ENODEV.
            m_gone = true;
            urb->actual_length = 0;
            urb->status = -ENODEV;
            m_reapable.push_back(data);
        } else {
            if (m_failReaps) m_stuck = true;
            urb->actual_length = 0;
            ++m_readTransfers;
            m_inFlight.push_back(data);
        }
        umockdev_ioctl_data_unref(buffer);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
    }

    bool Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        Deliver();
        if (m_stuck || m_reapable.empty()) {
            umockdev_ioctl_client_complete(client, -1, (m_stuck || m_gone) ? ENODEV : EAGAIN);
            return true;
        }
        UMockdevIoctlData* data = m_reapable.front();
        m_reapable.pop_front();
        UMockdevIoctlData* pointer = umockdev_ioctl_data_resolve(arg, 0, sizeof(gpointer), nullptr);
        umockdev_ioctl_data_set_ptr(pointer, 0, data);
        umockdev_ioctl_client_complete(client, 0, 0);
        umockdev_ioctl_data_unref(pointer);
        umockdev_ioctl_data_unref(data);
        return true;
    }

    bool Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
        const auto address = reinterpret_cast<gulong>(*reinterpret_cast<void**>(arg->data));
        for (auto it = m_inFlight.begin(); it != m_inFlight.end(); ++it) {
            if ((*it)->client_addr != address) continue;
            UMockdevIoctlData* data = *it;
            m_inFlight.erase(it);
            // What arrived before the cancel stays in the transfer.
            Urb(data)->status = -ENOENT;
            m_reapable.push_back(data);
            ++m_discarded;
            umockdev_ioctl_client_complete(client, 0, 0);
            return true;
        }
        umockdev_ioctl_client_complete(client, -1, m_gone ? ENODEV : EINVAL);
        return true;
    }

    std::mutex m_mutex;
    SimulatedInstrument m_sim;
    PipeHandle m_simWrite = kNullPipe;
    PipeHandle m_simRead = kNullPipe;
    std::vector<std::string> m_commands;
    std::deque<std::vector<std::uint8_t>> m_replies;
    std::deque<UMockdevIoctlData*> m_inFlight;
    std::deque<UMockdevIoctlData*> m_reapable;
    std::size_t m_replyLength = kPacketSize;
    int m_discarded = 0;
    int m_delivered = 0;
    int m_vanishAtPacket = -1;
    int m_errorAtPacket = -1;
    int m_shortAtPacket = -1;
    std::size_t m_shortLength = kPacketSize;
    int m_stallAtPacket = -1;
    int m_readTransfers = 0;
    bool m_silent = false;
    bool m_failReaps = false;
    bool m_stuck = false;
    bool m_gone = false;
};

class LibusbBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetEnvironment("ORONT_USB_ID", nullptr);
        g_hWritePipe = g_hReadPipe = kNullPipe;
        m_fake = std::make_unique<FakeInstrument>(ThreeRecordImage());
        m_testbed = umockdev_testbed_new();
        m_handler = umockdev_ioctl_base_new();
        g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(FakeInstrument::OnIoctl), m_fake.get());
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(m_testbed, kDeviceNode, m_handler, nullptr));
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(m_testbed, DeviceDescription(2, "D8040C00").c_str(), &error))
            << (error ? error->message : "");
        // Another vendor's device on the same bus is never taken.
        ASSERT_TRUE(umockdev_testbed_add_from_string(m_testbed, DeviceDescription(1, "6B1D0200").c_str(), &error))
            << (error ? error->message : "");
    }

    void TearDown() override {
        m_usb.ClosePipes();
        m_usb.SetBackend(nullptr);
        m_backend.reset();
        umockdev_testbed_detach_ioctl(m_testbed, kDeviceNode, nullptr);
        g_object_unref(m_handler);
        g_object_unref(m_testbed);
        m_fake.reset();
        g_hWritePipe = g_hReadPipe = kNullPipe;
    }

    void CreateBackend() {
        m_backend = CreateUsbBackend();
        m_usb.SetBackend(m_backend.get());
    }

    std::unique_ptr<FakeInstrument> m_fake;
    UMockdevTestbed* m_testbed = nullptr;
    UMockdevIoctlBase* m_handler = nullptr;
    std::unique_ptr<DeviceBackend> m_backend;
    CUsbIF m_usb;
    CommandBuffers m_io;
    RecordStore m_store;
};

TEST_F(LibusbBackendTest, FindsTheInstrumentByItsIdsAndOpensBothPipes) {
    CreateBackend();
    std::string path;
    ASSERT_TRUE(m_backend->FindDevicePath(kInstrumentInterfaceClass, path));
    EXPECT_EQ(path, "usb-1-2");
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    EXPECT_STREQ(m_usb.m_szPath[0], "usb-1-2");
    EXPECT_NE(g_hWritePipe, kInvalidPipe);
    EXPECT_NE(g_hReadPipe, kInvalidPipe);
    // Pipes are not shared: a second reader is refused.
    EXPECT_EQ(m_backend->OpenPipe("usb-1-2\\MCHP_EP1", PipeAccess::Read), kInvalidPipe);
    // Names of devices that are not the instrument open nothing.
    EXPECT_EQ(m_backend->OpenPipe("usb-1-1\\MCHP_EP1", PipeAccess::Read), kInvalidPipe);
    EXPECT_EQ(m_backend->OpenPipe("usb-1-9\\MCHP_EP1", PipeAccess::Read), kInvalidPipe);
    EXPECT_EQ(m_backend->OpenPipe("usb-1-2", PipeAccess::Read), kInvalidPipe);
    // Reopening closes and claims again.
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    m_usb.ClosePipes();
    m_usb.ClosePipes();

    // Another id names no attached device.
    SetEnvironment("ORONT_USB_ID", "04d8:000d");
    CreateBackend();
    EXPECT_FALSE(OpenDeviceLink(m_usb));
    EXPECT_EQ(g_hWritePipe, kNullPipe);
    EXPECT_EQ(g_hReadPipe, kNullPipe);
    SetEnvironment("ORONT_USB_ID", "1d6b:0002");  // a device without the vendor interface
    CreateBackend();
    EXPECT_FALSE(OpenDeviceLink(m_usb));
    SetEnvironment("ORONT_USB_ID", nullptr);
}

TEST_F(LibusbBackendTest, CommandWriteAndReplyRead) {
    CreateBackend();
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    ASSERT_TRUE(QueryRecordCount(m_usb, m_io, m_store));
    EXPECT_EQ(m_store.m_nRecordCount, 3);
    EXPECT_EQ(m_fake->Commands(), (std::vector<std::string>{"@03P\r"}));

    // A short packet counts as a packet; the bytes it did not fill are zero.
    m_fake->SetReplyLength(2);
    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    ASSERT_TRUE(m_usb.WritePipe(command, sizeof command));
    std::uint8_t packet[kPacketSize];
    std::memset(packet, 0xAA, sizeof packet);
    ASSERT_TRUE(m_usb.ReadPipe(packet, 300));
    EXPECT_EQ(packet[1], 3);
    for (std::size_t i = 2; i < kPacketSize; ++i) ASSERT_EQ(packet[i], 0) << i;
}

TEST_F(LibusbBackendTest, ASilentInstrumentTimesOutAtTheWaitAndTheLinkWorksAfterwards) {
    CreateBackend();
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    m_fake->SetSilent(true);
    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    ASSERT_TRUE(m_usb.WritePipe(command, sizeof command));
    std::uint8_t packet[kPacketSize];
    std::memset(packet, 0xAA, sizeof packet);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_usb.ReadPipe(packet, 150));
    const double elapsed = MillisecondsSince(start);
    EXPECT_GE(elapsed, 149.0);
    EXPECT_LT(elapsed, 1000.0);
    for (std::uint8_t b : packet) ASSERT_EQ(b, 0);
    // The read's transfer was taken back before the call returned.
    EXPECT_EQ(m_fake->Discarded(), 1);

    m_fake->SetSilent(false);
    ASSERT_TRUE(QueryRecordCount(m_usb, m_io, m_store));
    EXPECT_EQ(m_store.m_nRecordCount, 3);
    EXPECT_EQ(m_fake->Discarded(), 1);
}

TEST_F(LibusbBackendTest, ErrorRepliesAndWholeDownloadsOverUsb) {
    CreateBackend();
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    ASSERT_TRUE(QueryRecordCount(m_usb, m_io, m_store));
    int progress = 0;
    DownloadHooks hooks;
    hooks.progress = [&](int, int) { ++progress; };
    ASSERT_TRUE(DownloadRecords(m_usb, m_io, m_store, hooks));
    EXPECT_EQ(progress, 3);
    EXPECT_EQ(m_store.m_records.size(), 3u);
    EXPECT_EQ(m_store.Slot(2).m_strCount[0], "3000");
    EXPECT_EQ(m_fake->Delivered(), 7);
    EXPECT_EQ(g_hReadPipe, kNullPipe);  // a completed download closes the pipes

    // An unknown command is refused with "@ER": the exchange fails.
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    const std::uint8_t bogus[] = {'@', '0', '3', 'X', '\r'};
    ASSERT_TRUE(m_usb.WritePipe(bogus, sizeof bogus));
    ASSERT_TRUE(m_usb.ReadPipe(m_io.m_reply, 300));
    EXPECT_TRUE(IsErrorReply(m_io.m_reply));

    ASSERT_TRUE(EraseRecords(m_usb, m_io));
    ASSERT_TRUE(QueryRecordCount(m_usb, m_io, m_store));
    EXPECT_EQ(m_store.m_nRecordCount, 0);
    EXPECT_EQ(m_fake->Discarded(), 0);
}

TEST_F(LibusbBackendTest, AnInstrumentUnpluggedDuringTheDownloadFailsTheTransferAtOnce) {
    CreateBackend();
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    ASSERT_TRUE(QueryRecordCount(m_usb, m_io, m_store));
    m_fake->VanishAtPacket(1 + 3);  // after the count reply and three record packets
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DownloadRecords(m_usb, m_io, m_store));
    EXPECT_LT(MillisecondsSince(start), 90.0);  // failed, not waited out
    EXPECT_TRUE(m_fake->Gone());
    EXPECT_EQ(m_fake->Delivered(), 4);

    // Everything afterwards fails cleanly; closing is harmless.
    const std::uint8_t command[] = {'@', '0', '3', 'P', '\r'};
    EXPECT_FALSE(m_usb.WritePipe(command, sizeof command));
    EXPECT_FALSE(m_usb.ReadPipe(m_io.m_reply, 50));
    m_usb.ClosePipes();
    umockdev_testbed_remove_device(m_testbed, "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2");
    EXPECT_FALSE(OpenDeviceLink(m_usb));
}

TEST_F(LibusbBackendTest, AnInstrumentThatStopsAnsweringReapsNeverHangsTheProgram) {
    CreateBackend();
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    ASSERT_TRUE(QueryRecordCount(m_usb, m_io, m_store));
    m_fake->VanishAtPacket(-1);
    m_fake->SetSilent(true);
    m_fake->FailReaps();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(DownloadRecords(m_usb, m_io, m_store));
    // The wait of the request (its six packets' waits), then at most the
    // bound on taking the transfer back.
    EXPECT_LT(MillisecondsSince(start), 6 * kPacketWaitMs + 1000.0 + 400.0);
    // The device is given up: later transfers fail at once.
    const auto again = std::chrono::steady_clock::now();
    EXPECT_FALSE(m_usb.ReadPipe(m_io.m_reply, 200));
    EXPECT_LT(MillisecondsSince(again), 100.0);
    m_usb.ClosePipes();
}

// A full memory arrives in large transfers: at most 64 packets each, as
// many as are still expected, byte for byte as the instrument sent them.
TEST_F(LibusbBackendTest, AFullDownloadTakesFewLargeTransfers) {
    const MemoryImage image = MakeFullDemoImage();
    m_fake->SetImage(image);
    CreateBackend();
    ASSERT_TRUE(OpenDeviceLink(m_usb));
    ASSERT_TRUE(QueryRecordCount(m_usb, m_io, m_store));
    ASSERT_EQ(m_store.m_nRecordCount, 8000);
    const int before = m_fake->ReadTransfers();
    std::vector<std::uint8_t> received;
    DownloadHooks hooks;
    hooks.packetReceived = [&](const std::uint8_t* p) { received.insert(received.end(), p, p + kPacketSize); };
    ASSERT_TRUE(DownloadRecords(m_usb, m_io, m_store, hooks));
    const int transfers = m_fake->ReadTransfers() - before;
    std::printf("transfers per full download: %d\n", transfers);
    EXPECT_LE(transfers, 300);
    EXPECT_EQ(transfers, (16000 + kPacketsPerRead - 1) / kPacketsPerRead);
    ASSERT_EQ(received.size(), image.size() - kPacketSize);
    EXPECT_TRUE(std::equal(received.begin(), received.end(), image.begin() + kPacketSize));
}

// In the middle of a large read: a short packet is a packet (the rest of
// the memory follows in the next requests), an error reply ends the download
// after it, and a stalled endpoint ends it with the packets before; each
// packet that arrived is seen once, in order.
TEST_F(LibusbBackendTest, ShortPacketsErrorRepliesAndStallsInTheMiddleOfALargeRead) {
    const MemoryImage image = MakeFullDemoImage();
    CreateBackend();
    std::vector<std::uint8_t> received;
    DownloadHooks hooks;
    hooks.packetReceived = [&](const std::uint8_t* p) { received.insert(received.end(), p, p + kPacketSize); };
    const auto download = [&](const std::function<void(int)>& fault) {
        m_fake->SetImage(image);
        received.clear();
        EXPECT_TRUE(OpenDeviceLink(m_usb) && QueryRecordCount(m_usb, m_io, m_store));
        fault(m_fake->Delivered());
        return DownloadRecords(m_usb, m_io, m_store, hooks);
    };
    const auto packet = [&](std::size_t k) { return received.begin() + static_cast<std::ptrdiff_t>(k * kPacketSize); };
    const auto original = [&](std::size_t k) {
        return image.begin() + static_cast<std::ptrdiff_t>((k + 1) * kPacketSize);
    };

    EXPECT_TRUE(download([&](int first) { m_fake->ShortAtPacket(first + 100, 10); }));
    ASSERT_EQ(received.size(), image.size() - kPacketSize);
    EXPECT_TRUE(std::equal(packet(100), packet(100) + 10, original(100)));
    EXPECT_TRUE(std::all_of(packet(100) + 10, packet(101), [](std::uint8_t b) { return b == 0; }));
    EXPECT_TRUE(std::equal(packet(101), received.end(), original(101)));

    EXPECT_FALSE(download([&](int first) { m_fake->ErrorAtPacket(first + 101); }));
    ASSERT_EQ(received.size(), 102 * kPacketSize);
    EXPECT_TRUE(IsErrorReply(&*packet(101)));
    EXPECT_TRUE(std::equal(packet(0), packet(101), original(0)));

    EXPECT_FALSE(download([&](int first) { m_fake->StallAtPacket(first + 50); }));
    ASSERT_EQ(received.size(), 50 * kPacketSize);
    EXPECT_TRUE(std::equal(packet(0), received.end(), original(0)));
    m_usb.ClosePipes();
}

}  // namespace
}  // namespace oront::test
