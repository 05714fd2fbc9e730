// vdplay's run from start to end: checks the file, loads the plug-in and
// prints its catalogue entry, opens the ports, plays them in the video wall
// with the keyboard controls, feeds live streams, writes the snapshot,
// screenshot and recording asked for, and tears everything down in the
// client's order. Every failure ends with one message and its exit code.
#ifndef VD_VDPLAY_PLAYER_APP_H
#define VD_VDPLAY_PLAYER_APP_H

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "player/avi_stream_plan.h"
#include "player/options.h"
#include "player/report.h"
#include "vdplay/output_traces.h"
#include "vdplay/live_view.h"
#include "vdplay/plugin_session.h"
#include "vdplay/screen_capture.h"
#include "vdplay/stream_feeder.h"
#include "vdplay/video_wall.h"
#include "vdplay/watchdog.h"

namespace vdplay {

// What the decode callback counts for one port (it runs on the SDK's thread).
struct DecodeCounts {
    std::atomic<long> pictures{0};
    std::atomic<long> soundBlocks{0};
    std::atomic<long> lastStampMs{-1};
    std::atomic<ULONGLONG> lastPictureTick{0};
    LiveView* live = nullptr;  // the port whose pictures the live view follows
};

class PlayerApp : public WallEvents {
public:
    explicit PlayerApp(const vdplay::Options& options);
    ~PlayerApp();

    // Runs everything; returns the exit code. The failure message, if any, has
    // been printed; Summary() tells the rest.
    int Run();
    vdplay::Summary Summary();

private:
    struct Port {
        int number = -1;
        std::atomic<int> opened{-1};  // the number as opened, kept after the port closes
        bool playing = false;
        bool ended = false;
        DecodeCounts counts;
    };

    int Fail(int code, const std::string& message);
    int Prepare();  // file, plug-in, catalogue, decoder
    int OpenPorts();
    // Why OpenStream/OpenFile's `result` stopped the run.
    Failure OpenRefused(int result) const;
    // Opens (or opens again) the ports a camera plays on with its header;
    // *openedWith gets how many of its bytes OpenStream took.
    Failure OpenLivePorts(int source, const std::vector<uint8_t>& head, bool reopen, size_t* openedWith);
    std::vector<int> PortsOfSource(int source) const;
    // Says, once per reconnection, how soon pictures came again.
    void ReportPicturesAgain();
    int StartPlaying();
    void Teardown();
    void TryStartRecording();
    void WriteOutputs();
    std::string CaptureStillWall(ScreenImage* image, bool* everyCellShown);
    void StopFeeding();
    void ReportOutputs();
    void PrintMeasure();
    void PumpMessages(DWORD ms);
    void UpdateTitle();
    void Finish(int code, const std::string& message);
    int64_t PicturesShown() const;

    // WallEvents
    void OnKey(WPARAM key) override;
    void OnChar(char c) override;
    void OnTimer() override;
    void OnEndNotice(LPARAM port) override;
    void OnCellsMoved() override;
    void OnClose() override;
    void OnSourceMessage(WPARAM source) override;

    void TogglePause();
    void ChangeSpeed(int delta);
    void Step();
    void LeaveStep();
    void Seek(int deltaSeconds);
    void ToggleSound();
    void SnapshotKey();
    void ForEachPort(const char* what, int (*call)(Orvane::IVideoDecoder_M*, int port, int arg), int arg);

    vdplay::Options options_;
    std::string file_;  // as the system takes it
    std::vector<uint8_t> head_;
    vdplay::StreamTiming timing_;
    size_t streamHeaderBytes_ = 0;

    PluginSession session_;
    Orvane::IVideoDecoder_M* decoder_ = nullptr;
    std::unique_ptr<Port[]> ports_;
    OutputTraces outputTraces_;
    int portCount_ = 0;
    VideoWall wall_{this};
    std::unique_ptr<Watchdog> watchdog_;
    std::unique_ptr<StreamFeeder> feeder_;
    std::unique_ptr<LiveView> live_;          // a camera on the network
    std::vector<ULONGLONG> reportedConnect_;  // per camera: the (re)connection whose pictures were reported

    bool ending_ = false;  // the message loop has ended; ticks and keys do nothing
    bool paused_ = false;
    bool stepping_ = false;
    bool soundOn_ = false;
    bool volumeSet_ = false;
    bool recording_ = false;
    bool recordPending_ = false;  // StartRecord to be asked again: the stream was not ready
    int speed_ = 0;
    int snapshotKeyCount_ = 0;
    ULONGLONG playStart_ = 0;
    int exitCode_ = 0;
    int width_ = 0, height_ = 0;
    int lengthSeconds_ = -1;
    int positionSeconds_ = -1;
    std::vector<vdplay::OutputFile> files_;
};

}  // namespace vdplay

#endif  // VD_VDPLAY_PLAYER_APP_H
