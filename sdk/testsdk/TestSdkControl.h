// Control entry points of the scriptable play SDK that the tests use in place
// of a real one. A test loads the same DLL file the plug-in will load, so both
// share its state: results to return, the text KV_GetDecoderInf writes, and
// the log of every KV_ call with its arguments.
#ifndef TESTSDK_CONTROL_H
#define TESTSDK_CONTROL_H

#ifdef __cplusplus
extern "C" {
#endif

// Forgets every setting and the call log.
typedef void(__cdecl* TestSdkResetFn)(void);
// Result that the named entry point (e.g. "KV_Initial") returns from now on.
typedef void(__cdecl* TestSdkSetResultFn)(const char* entryPoint, int result);
// Bytes that KV_GetDecoderInf copies into the caller's buffer (at most the
// buffer's size; no NUL is added, so a text without one can be scripted).
typedef void(__cdecl* TestSdkSetDecoderInfFn)(const void* bytes, int length);
// Port that KV_OpenFile and KV_OpenStream write.
typedef void(__cdecl* TestSdkSetOpenPortFn)(int port);
// Seconds that KV_GetFileTime writes.
typedef void(__cdecl* TestSdkSetFileTimeFn)(int seconds);
// The 12 bytes that KV_GetMediaInfo writes.
typedef void(__cdecl* TestSdkSetMediaInfoFn)(const void* info12);
// Copies the call log ("KV_Name(arg,arg)\n" per call) into buffer and
// returns its full length.
typedef int(__cdecl* TestSdkCallLogFn)(char* buffer, int size);
// Number of calls of the named entry point.
typedef int(__cdecl* TestSdkCallCountFn)(const char* entryPoint);
// Calls the frame callback that KV_Play was given for port, on the calling
// thread (any thread: tests deliver from threads of their own, as a real SDK
// does); -1 when the port is not playing. KV_Stop waits for calls in progress.
typedef int(__cdecl* TestSdkDeliverFn)(int port, const void* data, int size, int width, int height, unsigned int stamp,
                                       int kind, int frameRate);

// Number of frame-callback calls running for the port right now.
typedef int(__cdecl* TestSdkDeliveringFn)(int port);
// What KV_Stop returns when a frame callback did not come back within 20 s.
#define TESTSDK_STOP_TIMED_OUT (-99)

#ifdef __cplusplus
}
#endif

#endif
