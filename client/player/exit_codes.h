// vdplay's exit codes: one for each kind of failure, so that scripts can tell
// them apart without reading the message.
#ifndef VD_PLAYER_EXIT_CODES_H
#define VD_PLAYER_EXIT_CODES_H

namespace vdplay {

enum ExitCode : int {
    kExitOk = 0,
    kExitUsage = 2,            // the command line is wrong
    kExitNoPlugin = 3,         // the plug-in file is missing or cannot be loaded
    kExitNotAPlugin = 4,       // the file loads but is not a decoder plug-in
    kExitNoSdk = 5,            // the plug-in cannot load or bind its play SDK
    kExitUnreadableFile = 6,   // the media file is missing or cannot be read
    kExitUnsupportedFile = 7,  // the media file is not something the plug-in plays
    kExitPluginRefused = 8,    // the plug-in refused to open or play (e.g. E_NOTIMPL)
    kExitOutputFailed = 9,     // a snapshot, recording or screenshot was not written
    kExitNoDisplay = 10,       // no window could be made (no display)
    kExitHung = 11,            // a call into the plug-in did not come back in time
    kExitStalled = 12,         // playback started but pictures stopped coming
    kExitNoConnection = 13,    // a network source cannot be reached (or its port taken)
    kExitConnectionLost = 14,  // the network source closed or broke the connection
    kExitSilent = 15,          // the network source sent nothing for too long
};

// A short name for the code ("no-plugin", ...), for the summary line.
const char* ExitCodeName(int code);

}  // namespace vdplay

#endif  // VD_PLAYER_EXIT_CODES_H
