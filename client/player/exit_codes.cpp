#include "player/exit_codes.h"

namespace vdplay {

const char* ExitCodeName(int code) {
    switch (code) {
        case kExitOk:
            return "ok";
        case kExitUsage:
            return "usage";
        case kExitNoPlugin:
            return "no-plugin";
        case kExitNotAPlugin:
            return "not-a-plugin";
        case kExitNoSdk:
            return "no-sdk";
        case kExitUnreadableFile:
            return "unreadable-file";
        case kExitUnsupportedFile:
            return "unsupported-file";
        case kExitPluginRefused:
            return "plugin-refused";
        case kExitOutputFailed:
            return "output-failed";
        case kExitNoDisplay:
            return "no-display";
        case kExitHung:
            return "hung";
        case kExitStalled:
            return "stalled";
        case kExitNoConnection:
            return "no-connection";
        case kExitConnectionLost:
            return "connection-lost";
        case kExitSilent:
            return "silent";
    }
    return "failed";
}

}  // namespace vdplay
