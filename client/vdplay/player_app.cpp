#include "vdplay/player_app.h"

#include <algorithm>
#include <cstdio>

#include "player/exit_codes.h"
#include "player/output_trace.h"
#include "player/plugin_facts.h"
#include "vdplay/screen_capture.h"
#include "vdplay/win_paths.h"

namespace vdplay {
namespace {

constexpr size_t kHeadBytes = 1 << 20;  // the SDK takes header lists of at most 1 MiB
constexpr DWORD kCallMs = 20000;        // longest a plug-in call may take
constexpr UINT kTickMs = 200;
constexpr ULONGLONG kStallMs = 10000;       // no picture for this long while playing: stalled
constexpr ULONGLONG kStreamDrainMs = 2000;  // after the last input, pictures still to come
constexpr int kSeekStepSeconds = 5;
constexpr int kMaxSpeed = 3;
constexpr int kSdkNotReady = -19;            // the play SDK's "not ready yet" (a stream before its first picture)
constexpr ULONGLONG kScreenWaitMs = 15000;   // longest wait for every cell's picture on a still screen
constexpr DWORD kStillCheckMs = 250;         // between two captures that must agree
constexpr ULONGLONG kRefreshBlankMs = 1000;  // how often a cell still blank is asked to draw again

int CALLBACK OnDecoded(int, const void* data, int size, Orvane::FrameInfo* info, int context) {
    auto* counts = reinterpret_cast<DecodeCounts*>(static_cast<intptr_t>(context));
    if (!counts || !info) return 0;
    if (info->kind == 1) {
        ++counts->soundBlocks;
    } else {
        ++counts->pictures;
        counts->lastStampMs = long(info->stamp);
        counts->lastPictureTick = GetTickCount64();
        if (counts->live) counts->live->OnPicture(data, size, *info);
    }
    return 0;
}

void Say(const std::string& text) {
    std::printf("vdplay: %s\n", text.c_str());
    std::fflush(stdout);
}

}  // namespace

PlayerApp::PlayerApp(const vdplay::Options& options) : options_(options) {}

PlayerApp::~PlayerApp() { Teardown(); }

int PlayerApp::Fail(int code, const std::string& message) {
    std::fprintf(stderr, "vdplay: error: %s\n", message.c_str());
    std::fflush(stderr);
    if (exitCode_ == 0) exitCode_ = code;
    return code;
}

void PlayerApp::Finish(int code, const std::string& message) {
    if (!message.empty()) {
        if (code == 0)
            Say(message);
        else
            Fail(code, message);
    } else if (exitCode_ == 0) {
        exitCode_ = code;
    }
    wall_.Quit();
}

int64_t PlayerApp::PicturesShown() const {
    int64_t n = 0;
    for (int i = 0; i < portCount_; ++i) n += ports_[i].counts.pictures.load();
    return n;
}

vdplay::Summary PlayerApp::Summary() {
    vdplay::Summary s;
    s.mode = live_ ? "live" : options_.stream ? "stream" : "file";
    s.ports = options_.ports;
    for (int i = 0; i < portCount_; ++i) {
        s.pictures += ports_[i].counts.pictures.load();
        s.soundBlocks += ports_[i].counts.soundBlocks.load();
        s.lastStampMs = std::max<int64_t>(s.lastStampMs, ports_[i].counts.lastStampMs.load());
    }
    s.positionSeconds = positionSeconds_;
    s.lengthSeconds = lengthSeconds_;
    s.width = width_;
    s.height = height_;
    std::vector<std::string> outputs;
    for (int i = 0; i < portCount_; ++i)
        if (ports_[i].opened >= 0) outputs.push_back(outputTraces_.OutputOf(ports_[i].opened));
    s.outputs = vdplay::OutputsValue(outputs);
    s.files = files_;
    s.exitCode = exitCode_;
    return s;
}

int PlayerApp::Run() {
    watchdog_ = std::make_unique<Watchdog>(vdplay::kExitHung, [this](const std::string& label) {
        exitCode_ = vdplay::kExitHung;
        std::fprintf(stderr, "vdplay: error: %s did not come back within %u s; giving up\n", label.c_str(),
                     unsigned(kCallMs / 1000));
        std::printf("%s\n", vdplay::SummaryLine(Summary()).c_str());
    });
    if (!watchdog_->Start()) return Fail(vdplay::kExitHung, "cannot start the watchdog thread");
    // Before the plug-in is loaded, so that no port's trace is missed.
    outputTraces_.Start();
    int code = Prepare();
    if (code == 0 && !live_) code = OpenPorts();
    if (code == 0 && !live_) code = StartPlaying();
    if (code == 0 && live_) {
        watchdog_->WatchDialogs();
        UpdateTitle();
        outputTraces_.WatchForThreads(portCount_);
        playStart_ = GetTickCount64();
        watchdog_->Arm("the message loop", kCallMs);
    }
    if (code == 0) {
        wall_.RunMessageLoop();
        WriteOutputs();
    }
    Teardown();
    if (live_) live_->Report();
    // The display threads have ended: every trace they wrote is in.
    ReportOutputs();
    outputTraces_.Stop();
    watchdog_->Stop();
    return exitCode_;
}

int PlayerApp::Prepare() {
    const bool network = options_.source.protocol != vdplay::NetProtocol::kNone;
    file_ = network ? options_.file : NativePath(options_.file);
    std::string why;
    if (!network && !ReadHead(file_, kHeadBytes, &head_, &why))
        return Fail(vdplay::kExitUnreadableFile, "cannot read " + options_.file + ": " + why);
    if (!network && head_.empty()) return Fail(vdplay::kExitUnsupportedFile, options_.file + " is empty");

    const std::string plugin =
        options_.plugin.empty() ? ProgramDirectory() + "VD2_DemoPlay.dll" : NativePath(options_.plugin);
    watchdog_->Arm("loading the plug-in", kCallMs);
    Failure f = session_.Load(plugin);
    if (f.exitCode) return Fail(f.exitCode, f.message);

    // What a client reads before it decides to use a plug-in.
    watchdog_->Arm("the plug-in's catalogue", kCallMs);
    Say("plug-in " + plugin);
    if (session_.ReadCatalogue()) {
        for (const auto& p : session_.properties())
            std::printf("  catalogue %s = %s\n", p.first.c_str(), p.second.c_str());
    } else {
        Say("the plug-in gives no catalogue (IInterfaceList)");
    }
    std::fflush(stdout);

    const std::string check = session_.Property("Check");
    if (!network && !vdplay::MatchesCheck(check, head_.data(), head_.size())) {
        return Fail(vdplay::kExitUnsupportedFile,
                    options_.file +
                        " is not a recording this plug-in plays (its header does not match the plug-in's check \"" +
                        check + "\")");
    }
    if (!network && !vdplay::ReadStreamTiming(head_.data(), head_.size(), &timing_) && options_.stream) {
        return Fail(vdplay::kExitUnsupportedFile,
                    options_.file + " cannot be fed as a stream: no picture data ('movi' list) within its first MiB");
    }

    watchdog_->Arm("Initialize", kCallMs);
    f = session_.StartDecoder();
    if (f.exitCode) return Fail(f.exitCode, f.message);
    decoder_ = session_.decoder();
    int version = 0;
    decoder_->GetVersion(&version);
    char text[64];
    std::snprintf(text, sizeof text, "decoder version 0x%08X, play SDK bound", unsigned(version));
    Say(text);
    watchdog_->Disarm();
    if (network) {
        // A client's wall is there before it calls a camera: the time from
        // the camera's first byte to Play is time its pictures wait in a
        // backlog that the play SDK's pacing keeps for as long as the stream
        // runs. The cameras are reached on threads of their own; the window
        // goes on with its messages meanwhile.
        if (!wall_.Create(options_.ports, 0, 0, kTickMs))
            return Fail(vdplay::kExitNoDisplay, "cannot make a window (is there a display? set DISPLAY or start Xvfb)");
        portCount_ = options_.ports;
        ports_.reset(new Port[size_t(portCount_)]);
        live_ = std::make_unique<LiveView>(options_);
        const size_t headBytes = size_t(std::max(1, std::atoi(session_.Property("HeadSize").c_str())));
        if (!live_->Start(wall_.window(), VideoWall::kSourceMessage, headBytes))
            return Fail(vdplay::kExitPluginRefused, "cannot start the receiving thread");
    }
    return 0;
}

Failure PlayerApp::OpenRefused(int result) const {
    const std::string call = options_.stream ? "OpenStream" : "OpenFile";
    const std::string said = call + " returned " + vdplay::ResultText(result);
    if (result == vdplay::kResultNotImplemented)
        return Failure{
            vdplay::kExitPluginRefused,
            "the plug-in cannot play " + std::string(options_.stream ? "streams" : "files") + " yet (" + said + ")"};
    if (vdplay::IsUnreadable(result))
        return Failure{vdplay::kExitUnreadableFile, "the plug-in cannot read " + options_.file + " (" + said + ")"};
    if (vdplay::IsUnsupportedContent(result))
        return Failure{vdplay::kExitUnsupportedFile, options_.file + " is not playable: " + said};
    return Failure{vdplay::kExitPluginRefused, "the plug-in refused " + options_.file + ": " + said};
}

std::vector<int> PlayerApp::PortsOfSource(int source) const {
    std::vector<int> cells;
    if (live_ && live_->sourceCount() == 1) {
        for (int i = 0; i < portCount_; ++i) cells.push_back(i);
    } else if (source >= 0 && source < portCount_) {
        cells.push_back(source);
    }
    return cells;
}

Failure PlayerApp::OpenLivePorts(int source, const std::vector<uint8_t>& head, bool reopen, size_t* openedWith) {
    // As much as the plug-in says it needs ("HeadSize"), or everything up to
    // the picture data, or all that came.
    vdplay::StreamTiming timing;
    const bool aviTiming = vdplay::ReadStreamTiming(head.data(), head.size(), &timing);
    size_t headerBytes = size_t(std::max(0, std::atoi(session_.Property("HeadSize").c_str())));
    if (headerBytes == 0 && aviTiming) headerBytes = size_t(timing.moviData);
    if (headerBytes == 0) headerBytes = head.size();
    headerBytes = std::min(headerBytes, head.size());
    *openedWith = headerBytes;
    if (source == 0 && aviTiming) timing_ = timing;
    for (int i : PortsOfSource(source)) {
        Port& p = ports_[i];
        if (reopen && p.number >= 0) {
            // A port cannot be cleared: what is left of the old connection's
            // chunk goes with it.
            if (i == 0 && recording_) {
                watchdog_->Arm("StopRecord", kCallMs);
                decoder_->StopRecord(p.number);
                recording_ = false;
                files_.push_back(vdplay::OutputFile{"record", options_.record, FileSize(NativePath(options_.record))});
                Say("the recording ends where the camera started over");
            }
            if (i == 0 && soundOn_) {
                watchdog_->Arm("CloseSound", kCallMs);
                decoder_->CloseSound(p.number);
            }
            watchdog_->Arm("Stop", kCallMs);
            if (p.playing) decoder_->Stop(p.number);
            p.playing = false;
            watchdog_->Arm("CloseStream", kCallMs);
            decoder_->CloseStream(p.number);
            p.number = -1;
        }
        watchdog_->Arm("OpenStream", kCallMs);
        int port = -1;
        const int result = decoder_->OpenStream(head.data(), int(headerBytes), 0, &port);
        if (result != 0) return OpenRefused(result);
        p.number = port;
        p.opened = port;
        watchdog_->Arm("SetDecodeCallBack", kCallMs);
        if (i == 0) p.counts.live = live_.get();
        decoder_->SetDecodeCallBack(p.number, &OnDecoded, int(reinterpret_cast<intptr_t>(&p.counts)));
        watchdog_->Arm("Play", kCallMs);
        const int played = decoder_->Play(p.number, wall_.cell(i));
        if (played != 0) {
            const std::string said = "Play returned " + vdplay::ResultText(played);
            return Failure{vdplay::kExitPluginRefused,
                           "the plug-in refused to play " + live_->source(source).describe() + " (" + said + ")"};
        }
        p.playing = true;
        if (i == 0) {
            live_->Follow(wall_.cell(0));
            if (reopen && soundOn_) {
                watchdog_->Arm("OpenSound", kCallMs);
                soundOn_ = decoder_->OpenSound(p.number) == 0;
            } else if (!reopen) {
                if (!options_.record.empty()) TryStartRecording();
                if (options_.sound) ToggleSound();
            }
        }
    }
    watchdog_->Arm("the message loop", kCallMs);
    return Failure();
}

void PlayerApp::OnSourceMessage(WPARAM source) {
    if (!live_ || ending_ || int(source) >= live_->sourceCount()) return;
    NetSource& s = live_->source(int(source));
    std::vector<uint8_t> head;
    bool reopen = false;
    if (!s.TakeHead(&head, &reopen)) return;
    size_t openedWith = 0;
    const Failure f = OpenLivePorts(int(source), head, reopen, &openedWith);
    if (f.exitCode) {
        s.PortsRefused(f);
        Finish(f.exitCode, f.message);
        return;
    }
    std::vector<int> numbers;
    for (int i : PortsOfSource(int(source))) numbers.push_back(ports_[i].number);
    s.PortsOpened(decoder_, numbers, openedWith);
    if (!reopen) {
        Say("playing " + s.describe() + " as a live stream on " +
            (numbers.size() == 1 ? "port " + std::to_string(numbers[0]) : std::to_string(numbers.size()) + " ports"));
    }
}

// The time is that of the latest picture seen at this tick: at most a tick
// later than the first.
void PlayerApp::ReportPicturesAgain() {
    reportedConnect_.resize(size_t(live_->sourceCount()), 0);
    for (int s = 0; s < live_->sourceCount(); ++s) {
        NetSource& source = live_->source(s);
        const ULONGLONG connected = source.lastConnectTick();
        if (source.reconnects() == 0 || connected <= reportedConnect_[size_t(s)]) continue;
        for (int i : PortsOfSource(s)) {
            const ULONGLONG picture = ports_[i].counts.lastPictureTick.load();
            if (picture <= connected) continue;
            reportedConnect_[size_t(s)] = connected;
            Say("pictures again from " + source.describe() + " " + std::to_string(picture - connected) +
                " ms after connecting");
            break;
        }
    }
}

int PlayerApp::OpenPorts() {
    portCount_ = options_.ports;
    ports_.reset(new Port[size_t(portCount_)]);
    // The header a live stream opens with: as much as the plug-in says it
    // needs ("HeadSize"), or everything up to the picture data.
    if (options_.stream) {
        const std::string headSize = session_.Property("HeadSize");
        streamHeaderBytes_ = size_t(std::max(0, std::atoi(headSize.c_str())));
        if (streamHeaderBytes_ == 0) streamHeaderBytes_ = size_t(timing_.moviData);
        if (streamHeaderBytes_ == 0 && live_) streamHeaderBytes_ = head_.size();
        streamHeaderBytes_ = std::min(streamHeaderBytes_, head_.size());
    }
    for (int i = 0; i < portCount_; ++i) {
        watchdog_->Arm(options_.stream ? "OpenStream" : "OpenFile", kCallMs);
        int port = -1;
        const int result = options_.stream
                               ? decoder_->OpenStream(head_.data(), int(streamHeaderBytes_), live_ ? 0 : 1, &port)
                               : decoder_->OpenFile(file_.c_str(), &port);
        if (result != 0) {
            const Failure f = OpenRefused(result);
            return Fail(f.exitCode, f.message);
        }
        ports_[i].number = port;
        ports_[i].opened = port;
    }
    watchdog_->Arm("GetFileTime", kCallMs);
    int length = 0;
    if (!options_.stream && decoder_->GetFileTime(ports_[0].number, &length) == 0) lengthSeconds_ = length;
    int w = 0, h = 0;
    if (decoder_->GetPictureSize(ports_[0].number, &w, &h) == 0 && w > 0 && h > 0) {
        width_ = w;
        height_ = h;
    }
    watchdog_->Disarm();
    return 0;
}

int PlayerApp::StartPlaying() {
    const int cellWidth = width_ > 0 ? width_ : int(timing_.width);
    const int cellHeight = height_ > 0 ? height_ : int(timing_.height);
    if (!wall_.window() && !wall_.Create(portCount_, cellWidth, cellHeight, kTickMs))
        return Fail(vdplay::kExitNoDisplay, "cannot make a window (is there a display? set DISPLAY or start Xvfb)");
    watchdog_->WatchDialogs();
    UpdateTitle();
    outputTraces_.WatchForThreads(portCount_);
    for (int i = 0; i < portCount_; ++i) {
        Port& p = ports_[i];
        watchdog_->Arm("SetDecodeCallBack", kCallMs);
        decoder_->SetDecodeCallBack(p.number, &OnDecoded, int(reinterpret_cast<intptr_t>(&p.counts)));
        if (!options_.stream)
            decoder_->SetNotify(p.number, 1, int(reinterpret_cast<intptr_t>(wall_.window())),
                                int(VideoWall::kEndNoticeMessage));
        watchdog_->Arm("Play", kCallMs);
        const int result = decoder_->Play(p.number, wall_.cell(i));
        if (result != 0) {
            const std::string said = "Play returned " + vdplay::ResultText(result);
            if (result == vdplay::kResultNotImplemented)
                return Fail(vdplay::kExitPluginRefused, "the plug-in cannot play yet (" + said + ")");
            return Fail(vdplay::kExitPluginRefused, "the plug-in refused to play " + options_.file + " (" + said + ")");
        }
        p.playing = true;
    }
    playStart_ = GetTickCount64();
    if (!options_.record.empty()) TryStartRecording();
    if (options_.sound) ToggleSound();
    if (options_.stream) {
        std::vector<int> numbers;
        for (int i = 0; i < portCount_; ++i) numbers.push_back(ports_[i].number);
        feeder_ = std::make_unique<StreamFeeder>(decoder_, numbers, file_, streamHeaderBytes_, timing_);
        if (!feeder_->Start()) return Fail(vdplay::kExitUnreadableFile, feeder_->error());
    }
    Say(std::string("playing ") + options_.file + (options_.stream ? " as a live stream" : "") + " on " +
        std::to_string(portCount_) + (portCount_ == 1 ? " port" : " ports") +
        (options_.seconds > 0 ? " for " + std::to_string(int(options_.seconds + 0.5)) + " s" : ""));
    watchdog_->Arm("the message loop", kCallMs);
    return 0;
}

void PlayerApp::UpdateTitle() {
    vdplay::TitleState t;
    t.file = options_.file;
    t.stream = options_.stream;
    t.lengthSeconds = lengthSeconds_;
    t.width = width_;
    t.height = height_;
    t.speed = speed_;
    t.paused = paused_;
    t.stepping = stepping_;
    t.sound = soundOn_;
    t.ports = portCount_;
    t.positionSeconds = positionSeconds_;
    wall_.SetTitle(vdplay::WindowTitle(t).c_str());
}

void PlayerApp::ReportOutputs() {
    for (const vdplay::OutputTrace& trace : outputTraces_.TakeNew()) Say(vdplay::OutputTraceLine(trace));
}

// A stream port cannot record before its first picture is decoded (the
// play SDK answers "not ready"): the request is made again with every tick.
void PlayerApp::TryStartRecording() {
    watchdog_->Arm("StartRecord", kCallMs);
    const int result = decoder_->StartRecord(ports_[0].number, NativePath(options_.record).c_str());
    watchdog_->Arm("the message loop", kCallMs);
    recording_ = result == 0;
    recordPending_ = options_.stream && result == kSdkNotReady;
    if (!recording_ && !recordPending_)
        Fail(vdplay::kExitOutputFailed,
             "cannot record into " + options_.record + " (StartRecord returned " + vdplay::ResultText(result) + ")");
}

void PlayerApp::OnTimer() {
    watchdog_->Arm("the message loop", kCallMs);
    ReportOutputs();
    if (ending_) return;
    if (recordPending_) TryStartRecording();
    const ULONGLONG now = GetTickCount64();
    if (live_) {
        const Failure ended = live_->Tick(wall_.window(), portCount_ == 1);
        if (ended.exitCode) {
            Finish(ended.exitCode, ended.message);
            return;
        }
    }
    if (live_) ReportPicturesAgain();
    if (options_.seconds > 0 && now - playStart_ >= ULONGLONG(options_.seconds * 1000.0)) {
        // A camera that was never reached says why.
        const Failure never = live_ ? live_->NeverReached() : Failure();
        Finish(never.exitCode, never.message);
        return;
    }
    const int port0 = ports_[0].number;
    if (port0 < 0) return;  // no camera has been reached yet
    int seconds = 0;
    if (decoder_->GetPlayTime(port0, &seconds) == 0) positionSeconds_ = seconds;
    if (width_ <= 0) {
        int w = 0, h = 0;
        if (decoder_->GetPictureSize(port0, &w, &h) == 0 && w > 0 && h > 0) {
            width_ = w;
            height_ = h;
        }
    }
    if (options_.volume >= 0 && soundOn_ && !volumeSet_) {
        // The port's sound device opens shortly after OpenSound; until then the
        // plug-in refuses the volume.
        if (decoder_->SetVolume(port0, vdplay::VolumeFromPercent(options_.volume)) == 0) {
            volumeSet_ = true;
            Say("speaker volume set to " + std::to_string(options_.volume) + " %");
        }
    }
    UpdateTitle();

    ULONGLONG lastPicture = playStart_;
    for (int i = 0; i < portCount_; ++i) lastPicture = std::max(lastPicture, ports_[i].counts.lastPictureTick.load());
    // A camera reached again has its time to send a key picture.
    if (live_) lastPicture = std::max(lastPicture, live_->StallCountsFrom(now));
    if (feeder_ && feeder_->finished()) {
        if (!feeder_->error().empty()) {
            Finish(vdplay::kExitPluginRefused, "the live stream stopped: " + feeder_->error());
            return;
        }
        if (now > lastPicture && now - lastPicture >= kStreamDrainMs) {
            Finish(0, "the live stream has ended");
            return;
        }
    }
    // The other threads' times may be later than `now`.
    if (!paused_ && !stepping_ && now > lastPicture && now - lastPicture >= kStallMs) {
        Finish(vdplay::kExitStalled, "no picture came for " + std::to_string(kStallMs / 1000) + " s (" +
                                         std::to_string(PicturesShown()) + " pictures so far); stopping");
    }
}

void PlayerApp::OnEndNotice(LPARAM port) {
    bool all = true;
    for (int i = 0; i < portCount_; ++i) {
        if (ports_[i].number == int(port)) ports_[i].ended = true;
        all = all && ports_[i].ended;
    }
    if (all) Finish(0, "reached the end of " + options_.file);
}

void PlayerApp::OnCellsMoved() {
    if (!decoder_) return;
    for (int i = 0; i < portCount_; ++i)
        if (ports_[i].playing) decoder_->Refresh(ports_[i].number);
}

void PlayerApp::OnClose() { Finish(0, ""); }

void PlayerApp::ForEachPort(const char* what, int (*call)(Orvane::IVideoDecoder_M*, int, int), int arg) {
    for (int i = 0; i < portCount_; ++i) {
        const int result = call(decoder_, ports_[i].number, arg);
        if (result != 0)
            Say(std::string(what) + " on port " + std::to_string(ports_[i].number) + " returned " +
                vdplay::ResultText(result));
    }
}

void PlayerApp::TogglePause() {
    paused_ = !paused_;
    ForEachPort(
        "Pause", [](Orvane::IVideoDecoder_M* d, int port, int on) { return d->Pause(port, on); }, paused_ ? 1 : 0);
    Say(paused_ ? "paused" : "playing");
}

void PlayerApp::ChangeSpeed(int delta) {
    speed_ = std::clamp(speed_ + delta, -kMaxSpeed, kMaxSpeed);
    stepping_ = false;
    ForEachPort(
        "SetPlaySpeed", [](Orvane::IVideoDecoder_M* d, int port, int s) { return d->SetPlaySpeed(port, s); }, speed_);
    Say("speed exponent " + std::to_string(speed_));
}

void PlayerApp::Step() {
    stepping_ = true;
    ForEachPort(
        "OneByOne", [](Orvane::IVideoDecoder_M* d, int port, int) { return d->OneByOne(port); }, 0);
}

void PlayerApp::LeaveStep() {
    if (!stepping_) return;
    stepping_ = false;
    for (int i = 0; i < portCount_; ++i) decoder_->Play(ports_[i].number, wall_.cell(i));
    Say("playing");
}

void PlayerApp::Seek(int delta) {
    if (options_.stream) {
        Say("a live stream cannot seek");
        return;
    }
    int now = 0;
    decoder_->GetPlayTime(ports_[0].number, &now);
    int target = std::max(0, now + delta);
    if (lengthSeconds_ > 0) target = std::min(target, lengthSeconds_);
    ForEachPort(
        "SetPlayTime", [](Orvane::IVideoDecoder_M* d, int port, int s) { return d->SetPlayTime(port, s); }, target);
    Say("seek to " + vdplay::ClockOf(target));
}

void PlayerApp::ToggleSound() {
    const int port0 = ports_[0].number;
    if (!soundOn_) {
        const int result = decoder_->OpenSound(port0);
        soundOn_ = result == 0;
        if (!soundOn_) Say("no sound: OpenSound returned " + vdplay::ResultText(result));
    } else {
        decoder_->CloseSound(port0);
        soundOn_ = false;
        Say("sound off");
        return;
    }
    if (soundOn_) Say("sound on");
}

void PlayerApp::SnapshotKey() {
    if (PicturesShown() == 0) {
        Say("no picture yet; no snapshot");
        return;
    }
    const std::string path = "vdplay-snapshot-" + std::to_string(++snapshotKeyCount_) + ".bmp";
    watchdog_->Arm("Snapshot", kCallMs);
    const int result = decoder_->Snapshot(ports_[0].number, path.c_str());
    Say("snapshot " + path +
        (FileExists(path) ? "" : " not written (Snapshot returned " + vdplay::ResultText(result) + ")"));
}

void PlayerApp::OnKey(WPARAM key) {
    if (ending_) return;
    switch (key) {
        case VK_LEFT:
            Seek(-kSeekStepSeconds);
            break;
        case VK_RIGHT:
            Seek(kSeekStepSeconds);
            break;
        default:
            break;
    }
}

void PlayerApp::OnChar(char c) {
    if (ending_) return;
    switch (c) {
        case ' ':
            TogglePause();
            break;
        case '+':
        case '=':
            ChangeSpeed(1);
            break;
        case '-':
        case '_':
            ChangeSpeed(-1);
            break;
        case '.':
            Step();
            break;
        case '\r':
            LeaveStep();
            break;
        case 's':
        case 'S':
            SnapshotKey();
            break;
        case 'a':
        case 'A':
            ToggleSound();
            break;
        case 'q':
        case 'Q':
        case 27:
            Finish(0, "");
            break;
        default:
            break;
    }
}

void PlayerApp::PumpMessages(DWORD ms) {
    const ULONGLONG until = GetTickCount64() + ms;
    MSG msg;
    do {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(10);
    } while (GetTickCount64() < until);
}

// What the wall shows once its pictures are on the screen and stay there.
// The ports are paused first: each display then puts up what it holds and
// goes quiet. Reading the screen while sixteen displays present pictures can
// wait for seconds (under Wine the capture shares one connection to the
// display server with every port's drawing), and asking every port to draw
// again on each try, as this used to, only added to that. A display sets
// itself up before its first picture, which can take seconds on a busy
// machine, so this waits, bounded, until every cell shows more than one
// colour and two captures in a row agree; a cell still blank is asked to
// draw again now and then. The display puts each picture on the screen in
// two steps, the video and then the overlay, and a still screen has both.
std::string PlayerApp::CaptureStillWall(ScreenImage* image, bool* everyCellShown) {
    *everyCellShown = false;
    if (!paused_) {
        for (int i = 0; i < portCount_; ++i) decoder_->Pause(ports_[i].number, 1);
        paused_ = true;
    }
    const ULONGLONG until = GetTickCount64() + kScreenWaitMs;
    ULONGLONG nextRefresh = GetTickCount64() + kRefreshBlankMs;
    ScreenImage previous;
    for (;;) {
        watchdog_->Arm("reading the screen", kCallMs);
        const std::string problem = CaptureClientArea(wall_.window(), image);
        if (!problem.empty()) return problem;
        // Only a port that has had a picture can show one.
        std::vector<int> blank;
        for (int i = 0; i < portCount_; ++i) {
            if (ports_[i].counts.pictures.load() == 0) continue;
            const RECT r = wall_.cellRect(i);
            if (image->UniformIn(r.left, r.top, r.right - r.left, r.bottom - r.top)) blank.push_back(i);
        }
        *everyCellShown = blank.empty() && PicturesShown() > 0;
        const ULONGLONG now = GetTickCount64();
        if ((blank.empty() && image->rows == previous.rows) || now >= until) return "";
        if (now >= nextRefresh) {
            for (int i : blank) decoder_->Refresh(ports_[i].number);
            nextRefresh = now + kRefreshBlankMs;
        }
        previous = std::move(*image);
        PumpMessages(kStillCheckMs);
    }
}

// What the wall showed once every port had shown a picture (each port's
// display thread traces every picture it draws), up to the end of playing.
void PlayerApp::PrintMeasure() {
    const OutputTraces::Draws draws = outputTraces_.DrawsSoFar();
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG cpu = ProcessCpu100ns();
    const bool every = draws.everyThreadTick != 0;
    char line[256];
    std::snprintf(line, sizeof line,
                  "vdplay measure: ports=%d drawing_ports=%d drawn=%lld every_port_shown_after_ms=%lld span_ms=%lld "
                  "shown=%lld cpu_ms=%lld",
                  portCount_, draws.threads, (long long)draws.pictures,
                  every ? (long long)(draws.everyThreadTick - playStart_) : -1LL,
                  every ? (long long)(now - draws.everyThreadTick) : 0LL,
                  every ? (long long)(draws.pictures - draws.picturesThen) : 0LL,
                  every ? (long long)((cpu - draws.cpu100nsThen) / 10000) : 0LL);
    std::printf("%s\n", line);
    std::fflush(stdout);
}

void PlayerApp::WriteOutputs() {
    ending_ = true;
    if (options_.measure) PrintMeasure();
    if (!decoder_ || portCount_ == 0) return;
    watchdog_->Arm("GetPlayTime", kCallMs);
    int seconds = 0;
    if (decoder_->GetPlayTime(ports_[0].number, &seconds) == 0) positionSeconds_ = seconds;
    // Playing is over: the rest of the stream would only wait at the paused ports.
    StopFeeding();
    const bool wanted = !options_.snapshot.empty() || !options_.screenshot.empty();
    ScreenImage screen;
    std::string screenProblem = "nothing was captured";
    if (wanted) {
        bool everyCellShown = false;
        screenProblem = CaptureStillWall(&screen, &everyCellShown);
        if (PicturesShown() > 0 && screenProblem.empty() && !everyCellShown)
            Say(portCount_ == 1 ? "the screen still shows no picture; saving what there is"
                                : "some cells still show no picture; saving what there is");
    }
    if (!options_.snapshot.empty()) {
        const std::string path = NativePath(options_.snapshot);
        DeleteFileA(path.c_str());
        vdplay::OutputFile out{"snapshot", options_.snapshot, -1};
        if (PicturesShown() == 0) {
            Fail(vdplay::kExitOutputFailed, "no picture was shown, so there is no snapshot");
        } else {
            watchdog_->Arm("Snapshot", kCallMs);
            const int result = decoder_->Snapshot(ports_[0].number, path.c_str());
            out.bytes = FileSize(path);
            if (out.bytes <= 0)
                Fail(vdplay::kExitOutputFailed, "the snapshot was not written to " + options_.snapshot +
                                                    " (Snapshot returned " + vdplay::ResultText(result) + ")");
        }
        files_.push_back(out);
    }
    if (!options_.screenshot.empty()) {
        vdplay::OutputFile out{"screenshot", options_.screenshot, -1};
        std::string problem = screenProblem;
        if (problem.empty()) problem = SaveBitmap(screen, NativePath(options_.screenshot));
        if (problem.empty())
            out.bytes = FileSize(NativePath(options_.screenshot));
        else
            Fail(vdplay::kExitOutputFailed, "no screenshot: " + problem);
        files_.push_back(out);
    }
}

void PlayerApp::StopFeeding() {
    if (live_) {
        watchdog_->Arm("the receiving thread", kCallMs);
        live_->Stop();
    }
    if (!feeder_) return;
    watchdog_->Arm("the stream thread", kCallMs);
    feeder_->Stop();
    feeder_.reset();
}

void PlayerApp::Teardown() {
    StopFeeding();
    if (decoder_ && portCount_ > 0) {
        if (recordPending_) {
            recordPending_ = false;
            Fail(vdplay::kExitOutputFailed, "cannot record into " + options_.record +
                                                ": the stream never became ready to record (no picture decoded)");
        }
        if (recording_) {
            watchdog_->Arm("StopRecord", kCallMs);
            const int result = decoder_->StopRecord(ports_[0].number);
            recording_ = false;
            vdplay::OutputFile out{"record", options_.record, FileSize(NativePath(options_.record))};
            if (result != 0 || out.bytes <= 0)
                Fail(vdplay::kExitOutputFailed, "the recording " + options_.record +
                                                    " was not completed (StopRecord returned " +
                                                    vdplay::ResultText(result) + ")");
            files_.push_back(out);
        }
        for (int i = 0; i < portCount_; ++i) {
            Port& p = ports_[i];
            if (p.number < 0) continue;
            if (p.playing) {
                watchdog_->Arm("Stop", kCallMs);
                decoder_->Stop(p.number);
                p.playing = false;
            }
            if (i == 0 && soundOn_) {
                watchdog_->Arm("CloseSound", kCallMs);
                decoder_->CloseSound(p.number);
                soundOn_ = false;
            }
            watchdog_->Arm(options_.stream ? "CloseStream" : "CloseFile", kCallMs);
            if (options_.stream)
                decoder_->CloseStream(p.number);
            else
                decoder_->CloseFile(p.number);
            p.number = -1;
        }
    }
    if (watchdog_) watchdog_->Arm("Release", kCallMs);
    session_.Close();
    decoder_ = nullptr;
    wall_.Destroy();
    if (watchdog_) watchdog_->Disarm();
}

}  // namespace vdplay
