// The client does not compile against our headers: it calls each operation
// by its slot in the virtual table, with the object in ECX and the arguments
// on the stack, and expects the operation to remove its arguments. These tests
// call the slots that way, by number, without the interface declarations, and
// check each slot's behaviour and how many argument bytes it removed. The two
// exports are called the same raw way and must leave their arguments.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/plugin_fixture.h"

namespace vdtest {
namespace {

struct SlotCall {
    int result;
    int bytesLeft;  // argument bytes the callee left on the stack (0 when it removed them all)
};

// Calls `function`: pushes args right to left on a 16-byte aligned stack,
// puts `ecx` in ECX, calls, and measures the stack afterwards.
SlotCall CallRaw(void* function, void* ecx, const std::vector<int>& args) {
    void* const object = ecx;
    const int count = static_cast<int>(args.size());
    // words: padding that aligns the stack at the call, the object, the arguments.
    std::vector<int> words;
    words.push_back((4 - count % 4) % 4 * 4);
    words.push_back(reinterpret_cast<int>(object));
    words.insert(words.end(), args.begin(), args.end());
    const int* base = words.data();
    int result = count;
    int bytesLeft = 0;
    // EBX, EDI and ESI are kept by the callee; ESI holds the stack pointer
    // from before the call sequence.
    asm volatile(
        "movl %%esp, %%esi\n\t"
        "andl $-16, %%esp\n\t"
        "subl (%%ebx), %%esp\n\t"
        "movl %%eax, %%ecx\n\t"
        "1:\n\t"
        "testl %%ecx, %%ecx\n\t"
        "jz 2f\n\t"
        "pushl 4(%%ebx,%%ecx,4)\n\t"
        "decl %%ecx\n\t"
        "jmp 1b\n\t"
        "2:\n\t"
        "movl 4(%%ebx), %%ecx\n\t"
        "call *%%edi\n\t"
        "movl %%esi, %%edx\n\t"
        "andl $-16, %%edx\n\t"
        "subl (%%ebx), %%edx\n\t"
        "subl %%esp, %%edx\n\t"
        "movl %%esi, %%esp\n\t"
        : "+a"(result), "=d"(bytesLeft)
        : "b"(base), "D"(function)
        : "ecx", "esi", "memory", "cc");
    return SlotCall{result, bytesLeft};
}

// Calls slot `slot` of `object`'s table with the object in ECX.
SlotCall CallSlot(void* object, int slot, const std::vector<int>& args) {
    void* const* table = *static_cast<void* const* const*>(object);
    return CallRaw(table[slot], object, args);
}

int Word(const void* pointer) { return reinterpret_cast<int>(pointer); }

constexpr int kNoPort = -1;
constexpr int kUntouched = 0x5A5A5A5A;

struct SlotCase {
    int slot;
    const char* operation;
    std::vector<int> args;  // port -1 where the operation takes a port
    int result;
};

TEST(RawSlots, DecoderTableOrderAndArgumentLists) {
    Deployment d;
    ASSERT_TRUE(d.plugin.loaded());
    void* decoder = nullptr;
    ASSERT_EQ(d.plugin.Create("IVideoDecoder_M", &decoder), 0);

    // Slot 0 binds the SDK: KV_Initial's result comes back.
    d.sdk.SetResult("KV_Initial", 77);
    SlotCall call = CallSlot(decoder, 0, {123});
    EXPECT_EQ(call.result, 77);
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(d.sdk.CallLog(), "KV_Initial()\n");

    int version = kUntouched;
    call = CallSlot(decoder, 2, {Word(&version)});
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(version, 0x00080004);

    int supported = kUntouched;
    call = CallSlot(decoder, 3, {Word("KV_OneByOneBack"), Word(&supported)});
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(supported, 0);

    int percent = kUntouched;
    call = CallSlot(decoder, 19, {kNoPort, Word(&percent)});
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(percent, 0);

    int out1 = kUntouched;
    int out2 = kUntouched;
    const SlotCase cases[] = {
        {5, "CloseFile", {kNoPort}, 0},
        {6, "GetFileTime", {kNoPort, Word(&out1)}, 0},
        {8, "CloseStream", {kNoPort}, 0},
        {9, "InputData", {kNoPort, Word("x"), 1}, 0},
        {10, "OpenSound", {kNoPort}, 0},
        {11, "CloseSound", {kNoPort}, 0},
        {12, "SetVolume", {kNoPort, 0xFFFF}, 0},
        {13, "Play", {kNoPort, 0}, 0},
        {14, "Stop", {kNoPort}, 0},
        {15, "Pause", {kNoPort, 1}, 0},
        {16, "SetPlayTime", {kNoPort, 5}, 0},
        {17, "GetPlayTime", {kNoPort, Word(&out1)}, 0},
        {18, "SetPlayPos", {kNoPort, 50}, 0},
        {20, "SetPlaySpeed", {kNoPort, 2}, 0},
        {21, "GetPlaySpeed", {kNoPort, Word(&out1)}, 0},
        {22, "OneByOne", {kNoPort}, 0},
        {23, "OneByOneBack", {kNoPort}, static_cast<int>(E_NOTIMPL)},
        {24, "StartRecord", {kNoPort, Word("C:\\rec.avi")}, 0},
        {25, "StopRecord", {kNoPort}, 0},
        {26, "Snapshot", {kNoPort, Word("C:\\shot.bmp")}, 0},
        {27, "Refresh", {kNoPort}, 0},
        {28, "GetPictureSize", {kNoPort, Word(&out1), Word(&out2)}, 0},
        {29, "SetNotify", {kNoPort, 1, 2, 3}, 0},
        {30, "SetDecodeCallBack", {kNoPort, 0, 7}, 0},
        {31, "SetDrawCallBack", {kNoPort, 0, 7}, 0},
        {31, "SetDrawCallBack", {3, 0, 7}, static_cast<int>(E_NOTIMPL)},
        {32, "Reserved", {kNoPort, 1, 2}, static_cast<int>(E_NOTIMPL)},
    };
    for (const SlotCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.slot) + " " + c.operation);
        call = CallSlot(decoder, c.slot, c.args);
        EXPECT_EQ(call.result, c.result);
        EXPECT_EQ(call.bytesLeft, 0);
        EXPECT_EQ(out1, kUntouched);
        EXPECT_EQ(out2, kUntouched);
    }

    // Port -1 reached nothing in the SDK.
    EXPECT_EQ(d.sdk.CallLog(), "KV_Initial()\n");

    // Slots 4 and 7 open ports. The SDK refuses, so nothing is opened and no
    // port is written; only the argument lists are checked here.
    d.sdk.SetResult("KV_OpenFile", -5);
    d.sdk.SetResult("KV_OpenStream", -5);
    call = CallSlot(decoder, 4, {Word("C:\\none.avi"), Word(&out1)});
    EXPECT_EQ(call.bytesLeft, 0);
    call = CallSlot(decoder, 7, {Word("header"), 6, 1, Word(&out1)});
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(out1, kUntouched);

    // Slot 1 unbinds: KV_Free's result comes back.
    d.sdk.SetResult("KV_Free", -9);
    call = CallSlot(decoder, 1, {});
    EXPECT_EQ(call.result, -9);
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(d.sdk.CallCount("KV_Initial"), 1);
    EXPECT_EQ(d.sdk.CallCount("KV_Free"), 1);
    EXPECT_EQ(d.plugin.ReleaseObject(decoder), 0);
}

TEST(RawSlots, CatalogueAndLogManagerTables) {
    Deployment d;
    ASSERT_TRUE(d.plugin.loaded());
    d.sdk.SetDecoderInf(std::string("Protocol=RTP;Check=0,AB;FileHeadLen=8") + '\0');
    void* list = nullptr;
    ASSERT_EQ(d.plugin.Create("IInterfaceList", &list), 0);

    SlotCall call = CallSlot(list, 0, {});
    EXPECT_EQ(call.result, 1);
    EXPECT_EQ(call.bytesLeft, 0);
    call = CallSlot(list, 1, {1});
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.bytesLeft, 0);
    call = CallSlot(list, 1, {0});
    EXPECT_EQ(call.bytesLeft, 0);
    void* entry = reinterpret_cast<void*>(call.result);
    ASSERT_NE(entry, nullptr);

    auto text = [&](int slot, std::vector<int> args) {
        const SlotCall c = CallSlot(entry, slot, args);
        EXPECT_EQ(c.bytesLeft, 0) << "slot " << slot;
        const char* value = reinterpret_cast<const char*>(c.result);
        return value ? std::string(value) : std::string("(null)");
    };
    EXPECT_EQ(text(0, {}), "CVideoDecoderTestSdk");  // GetName
    EXPECT_EQ(text(1, {}), "IVideoDecoder_M");       // GetInterface
    EXPECT_EQ(text(2, {}), "");                      // GetComment
    call = CallSlot(entry, 3, {});                   // GetPropertyCount
    EXPECT_EQ(call.result, 7);
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(text(4, {2}), "Protocol");          // GetPropertyName
    EXPECT_EQ(text(5, {Word("HeadSize")}), "8");  // GetProperty
    EXPECT_EQ(text(6, {3}), "0,AB");              // GetPropertyValue
    EXPECT_EQ(d.plugin.ReleaseObject(list), 0);

    void* logs = nullptr;
    ASSERT_EQ(d.plugin.Create("ILogManager", &logs), 0);
    call = CallSlot(logs, 0, {0});  // SetLog(null)
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.bytesLeft, 0);
    EXPECT_EQ(d.plugin.ReleaseObject(logs), 0);
}

}  // namespace
}  // namespace vdtest

namespace vdtest {
namespace {

// The two exports use the C calling convention: the caller removes the
// arguments, so all of them are still on the stack when the call returns.
TEST(RawSlots, ExportsLeaveTheirArgumentsToTheCaller) {
    Deployment d;
    ASSERT_TRUE(d.plugin.loaded());
    // The directory's copy of the plug-in is already loaded by the fixture.
    HMODULE plugin = GetModuleHandleA((d.directory.path() + "\\VD2_TestSdk.dll").c_str());
    ASSERT_NE(plugin, nullptr);
    void* create = reinterpret_cast<void*>(GetProcAddress(plugin, "CreateTalvexObject"));
    void* release = reinterpret_cast<void*>(GetProcAddress(plugin, "ReleaseTalvexObject"));
    ASSERT_NE(create, nullptr);
    ASSERT_NE(release, nullptr);

    void* object = nullptr;
    SlotCall call = CallRaw(create, nullptr, {Word("ILogManager"), 0, Word(&object)});
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.bytesLeft, 12);
    ASSERT_NE(object, nullptr);
    call = CallRaw(release, nullptr, {Word(object)});
    EXPECT_EQ(call.result, 0);
    EXPECT_EQ(call.bytesLeft, 4);
}

}  // namespace
}  // namespace vdtest
