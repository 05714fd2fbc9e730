#include "common/sound_port.h"

namespace vdtest {

namespace {

constexpr int kPortNumber = 7;
constexpr int kSoundKind = 1;

template <typename Fn>
Fn SdkProc(const std::string& sdkPath, const char* name) {
    HMODULE sdk = GetModuleHandleA(sdkPath.c_str());
    return sdk ? reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(sdk, name))) : nullptr;
}

}  // namespace

SoundPort::SoundPort() {
    const std::string sdkPath = deployment_.directory.path() + "\\TestSdk.dll";
    deliver_ = SdkProc<TestSdkDeliverFn>(sdkPath, "TestSdk_Deliver");
    const auto setOpenPort = SdkProc<TestSdkSetOpenPortFn>(sdkPath, "TestSdk_SetOpenPort");
    if (!deployment_.plugin.loaded() || !deployment_.sdk.loaded() || !deliver_ || !setOpenPort) {
        failure_ = "the plug-in or the test SDK did not load";
        return;
    }
    if (!window_.handle()) {
        failure_ = "no window (is there a display?)";
        return;
    }
    decoder_ = deployment_.plugin.Make<Orvane::IVideoDecoder_M>("IVideoDecoder_M");
    if (!decoder_) {
        failure_ = "no decoder object";
        return;
    }
    if (decoder_->Initialize(0) != 0) {
        failure_ = "Initialize failed";
        return;
    }
    initialized_ = true;
    setOpenPort(kPortNumber);
    const char header[40] = {};
    int port = -1;
    if (decoder_->OpenStream(header, sizeof header, 0, &port) != 0 || port != kPortNumber) {
        failure_ = "OpenStream failed";
        return;
    }
    port_ = port;
    if (decoder_->Play(port_, window_.handle()) != 0) failure_ = "Play failed";
}

SoundPort::~SoundPort() {
    StopFeeding();
    if (decoder_) {
        if (port_ >= 0) {
            decoder_->CloseSound(port_);
            decoder_->Stop(port_);
            decoder_->CloseStream(port_);
        }
        if (initialized_) decoder_->Release();
        deployment_.plugin.ReleaseObject(decoder_);
    }
}

int SoundPort::Deliver(const SoundBlock& block, unsigned int stamp) {
    if (!deliver_ || port_ < 0) return -1;
    return deliver_(port_, block.data(), static_cast<int>(block.size()), 0, 0, stamp, kSoundKind, 0);
}

DWORD WINAPI SoundPort::FeederMain(void* argument) {
    SoundPort& self = *static_cast<SoundPort*>(argument);
    unsigned int stamp = 0;
    do {
        for (const SoundBlock& block : self.blocks_) {
            if (self.stopFeeding_.load()) return 0;
            self.Deliver(block, stamp);
            stamp += static_cast<unsigned int>(block.size() / 32);  // 32 bytes a millisecond
            ++self.fed_;
            // Blocks dropped while the sound is off come back at once; a
            // millisecond between them keeps a repeating feeder from
            // taking a whole core.
            if (self.repeat_) Sleep(1);
        }
    } while (self.repeat_ && !self.stopFeeding_.load());
    self.fedAll_.store(true);
    return 0;
}

void SoundPort::StartFeeding(std::vector<SoundBlock> blocks, bool repeat) {
    StopFeeding();
    blocks_ = std::move(blocks);
    repeat_ = repeat;
    stopFeeding_.store(false);
    fedAll_.store(false);
    fed_.store(0);
    feeder_ = CreateThread(nullptr, 0, FeederMain, this, 0, nullptr);
}

bool SoundPort::WaitFed(DWORD deadlineMs) {
    return feeder_ && WaitForSingleObject(feeder_, deadlineMs) == WAIT_OBJECT_0 && fedAll_.load();
}

bool SoundPort::StopFeeding() {
    if (!feeder_) return true;
    stopFeeding_.store(true);
    bool released = true;
    if (WaitForSingleObject(feeder_, 10000) != WAIT_OBJECT_0) {
        // Held in the intake by a queue nobody empties: stopping the port
        // lets the callback return.
        released = false;
        if (decoder_ && port_ >= 0) decoder_->Stop(port_);
        // Last resort, so that the test ends instead of hanging; the test
        // has failed by then.
        if (WaitForSingleObject(feeder_, 10000) != WAIT_OBJECT_0) TerminateThread(feeder_, 1);
    }
    CloseHandle(feeder_);
    feeder_ = nullptr;
    return released;
}

}  // namespace vdtest
