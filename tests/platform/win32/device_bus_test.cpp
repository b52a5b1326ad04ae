#include "platform/win32/Win32DeviceBus.h"

#include "Win32TestSupport.h"
#include "link/PortDiscovery.h"
#include "seams/Utf8.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace ldt {
namespace {

using testing::NowMs;
using testing::W;

std::unique_ptr<Device> Open(Win32DeviceBus& bus, const std::wstring& path, OpenMode mode) {
    return bus.Open(W(path), mode).device;
}
std::size_t WriteOne(Win32DeviceBus& bus, Device* device, const void* data, std::size_t size) {
    std::vector<DeviceWrite> writes{{device}};
    bus.WriteEach(writes, data, size);
    return writes[0].written;
}
std::size_t ReadOne(Win32DeviceBus& bus, Device* device, void* buffer, std::size_t capacity) {
    std::vector<DeviceRead> reads{{device, buffer, capacity}};
    bus.ReadEach(reads);
    return reads[0].received;
}

TEST(Win32DeviceBus, PrinterInterfaceSetIsEmptyUnderWine) {
    Win32DeviceBus bus;
    auto set = bus.OpenInterfaceSet(kUsbPrintInterfaceClass);
    ASSERT_NE(set, nullptr);
    WString path = u"untouched";
    EXPECT_EQ(set->Query(0, path), InterfaceQuery::NoMoreItems);
    EXPECT_EQ(path, u"untouched");
    set.reset();

    MachineLink link;
    link.interfaceClass = kUsbPrintInterfaceClass;
    EXPECT_EQ(EnumeratePrinterPorts(link, bus), 0);
    EXPECT_EQ(link.portCount, 0);
}

TEST(Win32DeviceBus, NothingToIdentifyPastTheEnd) {
    Win32DeviceBus bus;
    auto set = bus.OpenInterfaceSet(kUsbPrintInterfaceClass);
    ASSERT_NE(set, nullptr);
    const DeviceIdentity id = set->Identify(0);
    EXPECT_TRUE(id.location.empty() && id.vendorId.empty() && id.description.empty());
}

TEST(ReadUsbInstanceId, idsAndSerialFromTheInstanceId) {
    const struct {
        const char16_t* instance;
        const char16_t *vendor, *product, *serial;
    } rows[] = {
        {u"USB\\VID_1A86&PID_7584\\0001", u"1a86", u"7584", u"0001"},
        {u"USB\\VID_1A86&PID_7584&MI_00\\7&1A2B3C4D&0&0000", u"1a86", u"7584", u""},  // made-up instance part
        {u"USB\\VID_04B8&PID_0E2A&REV_0100\\X5ZK", u"04b8", u"0e2a", u"X5ZK"},
        {u"USB\\VID_12G4&PID_12345\\1", u"", u"", u"1"},  // not four hex digits
        {u"USBPRINT\\VID_1A86&PID_7584\\1", u"", u"", u""},  // not a USB device id
        {u"USB\\VID_1A86&PID_7584", u"", u"", u""},           // no instance part
        {u"", u"", u"", u""},
    };
    for (const auto& row : rows) {
        DeviceIdentity id;
        ReadUsbInstanceId(row.instance, id);
        EXPECT_EQ(id.vendorId, row.vendor) << Utf16ToUtf8(row.instance);
        EXPECT_EQ(id.productId, row.product) << Utf16ToUtf8(row.instance);
        EXPECT_EQ(id.serial, row.serial) << Utf16ToUtf8(row.instance);
    }
}

TEST(Win32DeviceBus, MissingDeviceDoesNotOpen) {
    Win32DeviceBus bus;
    const OpenResult missing = bus.Open(u"\\\\.\\LDT-NO-SUCH-DEVICE", OpenMode::ReadWriteShared);
    EXPECT_FALSE(missing.device);
    EXPECT_FALSE(missing.reason.empty());  // the system's words
    EXPECT_FALSE(bus.Open(u"\\", OpenMode::ReadWriteShared).device);
}

// The open modes, seen on a plain file.
TEST(Win32DeviceBus, OpenModesOnAFile) {
    testing::ScratchDir dir;
    const std::wstring file = dir.Join(L"device");
    Win32DeviceBus bus;
    // Shared mode needs an existing target.
    EXPECT_FALSE(Open(bus, file, OpenMode::ReadWriteShared));
    EXPECT_FALSE(testing::Exists(file));

    {
        const auto writer = Open(bus, file, OpenMode::WriteExclusive);
        ASSERT_TRUE(writer);
        // Exclusive: nobody else gets in.
        EXPECT_FALSE(Open(bus, file, OpenMode::ReadWriteShared));
        WriteOne(bus, writer.get(), "abc,", 4);
        char buffer[16];
        const double start = NowMs();
        EXPECT_EQ(ReadOne(bus, writer.get(), buffer, sizeof buffer), 0u);  // a write-only handle refuses reads
        EXPECT_LT(NowMs() - start, 500.0);
    }
    EXPECT_EQ(testing::ReadAll(file), "abc,");

    char buffer[16];
    {
        const auto a = Open(bus, file, OpenMode::ReadWriteShared);
        const auto b = Open(bus, file, OpenMode::ReadWriteShared);
        ASSERT_TRUE(a && b);
        EXPECT_EQ(ReadOne(bus, a.get(), buffer, sizeof buffer), 4u);
        EXPECT_EQ(std::string(buffer, 4), "abc,");
    }
    const auto both = Open(bus, file, OpenMode::ReadWriteExclusive);
    ASSERT_TRUE(both);
    EXPECT_EQ(ReadOne(bus, both.get(), buffer, sizeof buffer), 0u);  // "create always" emptied it
}

// A named pipe stands in for a device: the test holds its far end.
win32::UniqueHandle MakePipe(std::wstring& name) {
    static int counter = 0;
    name = L"\\\\.\\pipe\\ldt-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
    return win32::UniqueHandle(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0,
                                                nullptr));
}

class PipeDevice : public ::testing::Test {
protected:
    void SetUp() override {
        server_ = MakePipe(name_);
        ASSERT_TRUE(server_.Valid());
        device_ = Open(bus_, name_, OpenMode::ReadWriteShared);
        ASSERT_TRUE(device_);
        ConnectNamedPipe(server_.Get(), nullptr);  // already connected: returns at once
    }
    void Send(const std::string& bytes) {
        DWORD wrote = 0;
        ASSERT_TRUE(WriteFile(server_.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &wrote, nullptr));
        ASSERT_EQ(wrote, bytes.size());
    }
    std::string Receive(std::size_t size) {
        std::string bytes(size, '\0');
        DWORD got = 0;
        if (!ReadFile(server_.Get(), bytes.data(), static_cast<DWORD>(size), &got, nullptr)) return "<failed>";
        bytes.resize(got);
        return bytes;
    }

    std::wstring name_;
    win32::UniqueHandle server_;
    Win32DeviceBus bus_{1000};
    std::unique_ptr<Device> device_;
};

TEST_F(PipeDevice, WriteDeliversTheQuery) {
    const unsigned char query[] = {0x1A, 0x24, 0x69, 0x34, 0x58};
    WriteOne(bus_, device_.get(), query, sizeof query);
    EXPECT_EQ(Receive(16), std::string(reinterpret_cast<const char*>(query), sizeof query));
}

// One read takes what came, up to its capacity; the rest waits for the next.
TEST_F(PipeDevice, ReadTakesWhatCameUpToCapacity) {
    std::string sent;
    for (int i = 0; i < 100; ++i) sent += std::to_string(i) + ",";
    ASSERT_GT(sent.size(), 256u);
    Send(sent);
    char buffer[300];
    ASSERT_EQ(ReadOne(bus_, device_.get(), buffer, 256), 256u);
    EXPECT_EQ(std::string(buffer, 256), sent.substr(0, 256));
    ASSERT_EQ(ReadOne(bus_, device_.get(), buffer, 256), sent.size() - 256);
    EXPECT_EQ(std::string(buffer, sent.size() - 256), sent.substr(256));
}

TEST_F(PipeDevice, SilentDeviceReadGivesUpAfterTheTimeout) {
    char buffer[256];
    std::memset(buffer, 0xAA, sizeof buffer);
    const double start = NowMs();
    const std::size_t n = ReadOne(bus_, device_.get(), buffer, sizeof buffer);
    const double elapsed = NowMs() - start;
    std::printf("silent pipe read ended after %.1f ms\n", elapsed);
    EXPECT_EQ(n, 0u);
    EXPECT_GE(elapsed, 900.0);
    EXPECT_LT(elapsed, 2500.0);

    // The abandoned read was cancelled: data sent now neither lands in the
    // old buffer nor is lost; the next read gets it.
    Send("late,");
    Sleep(100);
    for (unsigned char c : buffer) ASSERT_EQ(c, 0xAA);
    char next[256];
    EXPECT_EQ(ReadOne(bus_, device_.get(), next, sizeof next), 5u);
    EXPECT_EQ(std::string(next, 5), "late,");
}

TEST_F(PipeDevice, ShorterTimeoutIsHonoured) {
    Win32DeviceBus quick(200);
    char buffer[16];
    const double start = NowMs();
    EXPECT_EQ(ReadOne(quick, device_.get(), buffer, sizeof buffer), 0u);
    const double elapsed = NowMs() - start;
    EXPECT_GE(elapsed, 150.0);
    EXPECT_LT(elapsed, 1000.0);
}

TEST_F(PipeDevice, VanishedDeviceReadsNothingAtOnce) {
    server_.Close();
    char buffer[16];
    const double start = NowMs();
    EXPECT_EQ(ReadOne(bus_, device_.get(), buffer, sizeof buffer), 0u);
    EXPECT_LT(NowMs() - start, 500.0);
    WriteOne(bus_, device_.get(), "x", 1);  // ignored, returns
}

TEST_F(PipeDevice, WriteNobodyTakesReturnsAfterTheTimeout) {
    // Far more than the pipe buffers hold, and the far end never reads.
    const std::string flood(4u * 1024 * 1024, 'f');
    const double start = NowMs();
    WriteOne(bus_, device_.get(), flood.data(), flood.size());
    const double elapsed = NowMs() - start;
    std::printf("blocked write returned after %.1f ms\n", elapsed);
    EXPECT_LT(elapsed, 2500.0);
}

// A write that times out is cancelled alone: a read of this thread's own
// on the same handle (and one on a second handle to the same pipe) goes on
// and gets what comes later.
TEST_F(PipeDevice, CancellingATimedOutWrite_leavesTheThreadsOtherRequestsAlone) {
    const HANDLE handle = Win32DeviceBus::NativeHandle(*device_);
    HANDLE duplicate = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &duplicate, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    const win32::UniqueHandle second(duplicate);
    struct OwnRead {
        win32::UniqueHandle event{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
        OVERLAPPED overlapped{};
        char buffer[16];
    } own[2];
    const HANDLE handles[2] = {handle, second.Get()};
    for (int i = 0; i < 2; ++i) {
        own[i].overlapped.hEvent = own[i].event.Get();
        ASSERT_FALSE(ReadFile(handles[i], own[i].buffer, 3, nullptr, &own[i].overlapped));
        ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    }

    Win32DeviceBus quick(300);
    const std::string flood(4u * 1024 * 1024, 'f');  // more than the pipe holds; nobody reads it
    std::vector<DeviceWrite> writes{{device_.get()}};
    quick.WriteEach(writes, flood.data(), flood.size());
    EXPECT_LT(writes[0].written, flood.size());

    Send("abcdef");
    for (int i = 0; i < 2; ++i) {
        DWORD got = 0;
        EXPECT_TRUE(GetOverlappedResult(handles[i], &own[i].overlapped, &got, TRUE))
            << "read " << i << ": error " << GetLastError();
        EXPECT_EQ(std::string(own[i].buffer, got), i == 0 ? "abc" : "def") << "read " << i;
    }
}

// Several pipes read at once: replies come back out of order, silent ones
// share one deadline, and every buffer belongs to its own device.
TEST(Win32DeviceBusBatch, SilentAndAnsweringPipesShareOneDeadline) {
    std::vector<win32::UniqueHandle> servers;
    std::vector<std::unique_ptr<Device>> devices;
    Win32DeviceBus bus(500);
    for (int i = 0; i < 4; ++i) {
        std::wstring name;
        servers.push_back(MakePipe(name));
        ASSERT_TRUE(servers.back().Valid());
        devices.push_back(Open(bus, name, OpenMode::ReadWriteShared));
        ASSERT_TRUE(devices.back());
    }
    std::vector<DeviceWrite> all;
    for (auto& d : devices) all.push_back({d.get()});
    bus.WriteEach(all, "q", 1);
    for (const DeviceWrite& w : all) EXPECT_EQ(w.written, 1u);
    // Pipes 0 and 2 answer, 2 before 0 (and late, from another thread); 1 and 3 stay silent.
    std::thread answer([&] {
        DWORD n;
        Sleep(50);
        WriteFile(servers[2].Get(), "two,", 4, &n, nullptr);
        Sleep(100);
        WriteFile(servers[0].Get(), "zero,", 5, &n, nullptr);
    });
    char buffers[4][256];
    std::vector<DeviceRead> reads;
    for (int i = 0; i < 4; ++i) reads.push_back({devices[i].get(), buffers[i], 256});
    const double start = NowMs();
    bus.ReadEach(reads);
    const double elapsed = NowMs() - start;
    answer.join();
    std::printf("batch of 2 answering and 2 silent pipes took %.1f ms\n", elapsed);
    EXPECT_EQ(std::string(buffers[0], reads[0].received), "zero,");
    EXPECT_EQ(reads[1].received, 0u);
    EXPECT_EQ(std::string(buffers[2], reads[2].received), "two,");
    EXPECT_EQ(reads[3].received, 0u);
    EXPECT_LT(elapsed, 1000.0);  // less than the two deadlines of one read after another
    // Both cancelled reads are over: the silent pipes can be read again.
    DWORD n;
    WriteFile(servers[3].Get(), "late,", 5, &n, nullptr);
    char next[16];
    EXPECT_EQ(ReadOne(bus, devices[3].get(), next, sizeof next), 5u);
}

}  // namespace
}  // namespace ldt
