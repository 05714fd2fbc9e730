// vdplay: plays a recording, or feeds it as a live stream, through the
// video-decoder plug-in in a window, as a surveillance client does.
#include <cstdio>
#include <string>
#include <vector>

#include "player/exit_codes.h"
#include "player/options.h"
#include "player/report.h"
#include "vdplay/player_app.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    vdplay::Options options;
    const std::string problem = vdplay::ParseOptions(args, &options);
    if (options.help) {
        std::fputs(vdplay::Usage(), stdout);
        return vdplay::kExitOk;
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "vdplay: error: %s\n%s", problem.c_str(), vdplay::Usage());
        return vdplay::kExitUsage;
    }
    vdplay::PlayerApp app(options);
    const int code = app.Run();
    std::printf("%s\n", vdplay::SummaryLine(app.Summary()).c_str());
    std::fflush(stdout);
    return code;
}
