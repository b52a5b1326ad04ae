#include "platform/win32/Win32DeviceBus.h"

#include "Win32TestSupport.h"
#include "link/PortDiscovery.h"

#include <gtest/gtest.h>

#include <cstring>

namespace ldt {
namespace {

using testing::NowMs;
using testing::W;

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

TEST(Win32DeviceBus, MissingDeviceDoesNotOpen) {
    Win32DeviceBus bus;
    EXPECT_EQ(bus.Open(u"\\\\.\\LDT-NO-SUCH-DEVICE", OpenMode::ReadWriteShared), kInvalidDevice);
    EXPECT_EQ(bus.Open(u"\\", OpenMode::ReadWriteShared), kInvalidDevice);
}

// The open modes, seen on a plain file.
TEST(Win32DeviceBus, OpenModesOnAFile) {
    testing::ScratchDir dir;
    const std::wstring file = dir.Join(L"device");
    Win32DeviceBus bus;
    // Shared mode needs an existing target.
    EXPECT_EQ(bus.Open(W(file), OpenMode::ReadWriteShared), kInvalidDevice);
    EXPECT_FALSE(testing::Exists(file));

    const DeviceHandle writer = bus.Open(W(file), OpenMode::WriteExclusive);
    ASSERT_NE(writer, kInvalidDevice);
    ASSERT_NE(writer, kNullDevice);
    // Exclusive: nobody else gets in.
    EXPECT_EQ(bus.Open(W(file), OpenMode::ReadWriteShared), kInvalidDevice);
    bus.Write(writer, "abc,", 4);
    char buffer[16];
    const double start = NowMs();
    EXPECT_EQ(bus.Read(writer, buffer, sizeof buffer), 0u);  // a write-only handle refuses reads
    EXPECT_LT(NowMs() - start, 500.0);
    bus.Close(writer);
    EXPECT_EQ(testing::ReadAll(file), "abc,");

    const DeviceHandle a = bus.Open(W(file), OpenMode::ReadWriteShared);
    const DeviceHandle b = bus.Open(W(file), OpenMode::ReadWriteShared);
    ASSERT_NE(a, kInvalidDevice);
    ASSERT_NE(b, kInvalidDevice);
    EXPECT_EQ(bus.Read(a, buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "abc,");
    bus.Close(a);
    bus.Close(b);

    const DeviceHandle both = bus.Open(W(file), OpenMode::ReadWriteExclusive);
    ASSERT_NE(both, kInvalidDevice);
    EXPECT_EQ(bus.Read(both, buffer, sizeof buffer), 0u);  // "create always" emptied it
    bus.Close(both);
}

// A named pipe stands in for a device: this test is its far end.
class PipeDevice : public ::testing::Test {
protected:
    void SetUp() override {
        static int counter = 0;
        name_ = L"\\\\.\\pipe\\ldt-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
        server_ = win32::UniqueHandle(CreateNamedPipeW(name_.c_str(), PIPE_ACCESS_DUPLEX,
                                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 4096,
                                                       4096, 0, nullptr));
        ASSERT_TRUE(server_.Valid());
        device_ = bus_.Open(W(name_), OpenMode::ReadWriteShared);
        ASSERT_NE(device_, kInvalidDevice);
        ConnectNamedPipe(server_.Get(), nullptr);  // already connected: returns at once
    }
    void TearDown() override {
        if (device_ != kInvalidDevice) bus_.Close(device_);
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
    DeviceHandle device_ = kInvalidDevice;
};

TEST_F(PipeDevice, WriteDeliversTheQuery) {
    const unsigned char query[] = {0x1A, 0x24, 0x69, 0x34, 0x58};
    bus_.Write(device_, query, sizeof query);
    EXPECT_EQ(Receive(16), std::string(reinterpret_cast<const char*>(query), sizeof query));
}

TEST_F(PipeDevice, ReadReturnsWhatCame) {
    Send("1,2,");
    char buffer[256];
    EXPECT_EQ(bus_.Read(device_, buffer, sizeof buffer), 4u);
    EXPECT_EQ(std::string(buffer, 4), "1,2,");
}

TEST_F(PipeDevice, ReadTakesAtMostCapacity) {
    Send(std::string(300, 'r'));
    char buffer[300];
    EXPECT_EQ(bus_.Read(device_, buffer, 256), 256u);
    EXPECT_EQ(bus_.Read(device_, buffer, 256), 44u);
}

TEST_F(PipeDevice, SilentDeviceReadGivesUpAfterTheTimeout) {
    char buffer[256];
    std::memset(buffer, 0xAA, sizeof buffer);
    const double start = NowMs();
    const std::size_t n = bus_.Read(device_, buffer, sizeof buffer);
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
    EXPECT_EQ(bus_.Read(device_, next, sizeof next), 5u);
    EXPECT_EQ(std::string(next, 5), "late,");
}

TEST_F(PipeDevice, ShorterTimeoutIsHonoured) {
    Win32DeviceBus quick(200);
    char buffer[16];
    const double start = NowMs();
    EXPECT_EQ(quick.Read(device_, buffer, sizeof buffer), 0u);
    const double elapsed = NowMs() - start;
    EXPECT_GE(elapsed, 150.0);
    EXPECT_LT(elapsed, 1000.0);
}

TEST_F(PipeDevice, VanishedDeviceReadsNothingAtOnce) {
    server_.Close();
    char buffer[16];
    const double start = NowMs();
    EXPECT_EQ(bus_.Read(device_, buffer, sizeof buffer), 0u);
    EXPECT_LT(NowMs() - start, 500.0);
    bus_.Write(device_, "x", 1);  // ignored, returns
}

TEST_F(PipeDevice, WriteNobodyTakesReturnsAfterTheTimeout) {
    // Far more than the pipe buffers hold, and the far end never reads.
    const std::string flood(4u * 1024 * 1024, 'f');
    const double start = NowMs();
    bus_.Write(device_, flood.data(), flood.size());
    const double elapsed = NowMs() - start;
    std::printf("blocked write returned after %.1f ms\n", elapsed);
    EXPECT_LT(elapsed, 2500.0);
}

}  // namespace
}  // namespace ldt
