/* DemoPlay.dll, the reference play SDK: plays AVI files, live AVI streams and
 * live raw H.264/H.265 (Annex-B) streams on numbered ports and hands every decoded picture and sound block to a
 * frame callback on a decoding thread of its own.
 *
 * Files: RIFF 'AVI ' with OpenDML 'AVIX' extensions, indexed by super-indexes,
 * 'idx1' or a scan of the data. Video: I420 (IYUV), YV12, YUY2 (YUYV) and UYVY
 * delivered as stored; 32-bit and 24-bit BI_RGB delivered as 32-bit
 * bottom-up RGB; Motion-JPEG (also interlaced) decoded in studio range to
 * YV12 (4:2:0 and grey) or YUY2 (4:2:2 and 4:4:4), or to 32-bit bottom-up RGB
 * when avcodec-59.dll and avutil-57.dll are missing or the picture's layout
 * fits neither; H.264 ("H264", "X264", "AVC1") and H.265 ("HEVC", "H265",
 * "HVC1"), with start codes or length-prefixed with an avcC/hvcC record,
 * decoded to I420 by avcodec-59.dll and avutil-57.dll, which must lie beside
 * DemoPlay.dll (without them such video is KV_ERR_UNSUPPORTED). Sound: 8-,
 * 16-, 24- and 32-bit and float PCM of any rate and up to 16 channels,
 * delivered as 16 kHz mono in blocks of at most 6400 bytes. Files are paced in
 * real time; streams are delivered as their data arrives (an AVI stream's
 * pictures each as soon as its chunk is complete and decoded, the last ones
 * when its movie data ends).
 *
 * Every entry point uses the C calling convention and returns 0 or one of the
 * negative results below. Texts are NUL-terminated ANSI texts.
 */
#ifndef DEMOPLAY_SDK_H
#define DEMOPLAY_SDK_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define KV_CALL __cdecl
#define KV_CALLBACK __stdcall
#else
#define KV_CALL
#define KV_CALLBACK
#endif

/* Results. */
#define KV_OK 0
#define KV_ERR_ARGUMENT -1        /* null pointer, negative length or time, buffer of size 0 */
#define KV_ERR_BAD_PORT -2        /* no such port open */
#define KV_ERR_FILE_NOT_FOUND -3  /* the file cannot be opened for reading */
#define KV_ERR_NOT_AVI -4         /* the data starts neither with "RIFF....AVI " nor (streams) with a start code */
#define KV_ERR_CORRUPT -5         /* the headers are truncated or contradict the file */
#define KV_ERR_NO_VIDEO -6        /* no video stream */
#define KV_ERR_UNSUPPORTED -7     /* video codec or picture size not supported */
#define KV_ERR_TOO_MANY_PORTS -8  /* all 64 ports are open */
#define KV_ERR_WRONG_PORT_TYPE -9 /* a file call on a stream port or the other way round */
#define KV_ERR_BUFFER_FULL \
    -10 /* stream input beyond what the port holds (48 MiB, or two raw pictures); nothing was taken */
#define KV_ERR_NOT_SEEKABLE -11 /* seeking a stream port */
#define KV_ERR_OUT_OF_RANGE -12 /* seek past the end of the file */
#define KV_ERR_ALREADY_RECORDING -13
#define KV_ERR_NOT_RECORDING -14
#define KV_ERR_RECORD_FILE                                                                        \
    -15                        /* the recording cannot be created, written or renamed (a complete \
                                  recording that cannot be renamed stays as "<name>.recording") */
#define KV_ERR_IN_CALLBACK -16 /* closing a port from its own frame callback */
#define KV_ERR_NO_MEMORY -17
#define KV_ERR_BUFFER_TOO_SMALL -18 /* KV_GetDecoderInf: the text does not fit */
#define KV_ERR_NOT_READY -19        /* a stream whose headers have not all arrived yet */

/* Frame kinds (seventh callback argument). */
#define KV_FRAME_NOTIFY 0 /* no data: end of the file reached */
#define KV_FRAME_SOUND 1  /* 16-bit signed PCM, 16000 Hz, mono */
#define KV_FRAME_RGB32 2  /* blue, green, red, unused; rows bottom-up, stride 4 x width */
#define KV_FRAME_YV12 3
#define KV_FRAME_UYVY 4
#define KV_FRAME_I420 5
#define KV_FRAME_YUY2 6

/* The frame callback: nine 32-bit arguments, standard-call convention.
 * data is valid only during the call. stamp: milliseconds from the start of
 * the file or stream. For sound blocks width and height are the picture's. */
typedef int(KV_CALLBACK* KV_FrameCallBack)(int port, const unsigned char* data, int size, int width, int height,
                                           unsigned int stamp, int kind, int frameRate, void* user);

/* The 12-byte block of KV_GetMediaInfo: width and height as signed 16-bit
 * little-endian values, the frame rate in whole pictures per second; the
 * rest is zero. */
typedef struct KV_MediaInfo {
    short width;
    short height;
    unsigned char frameRate;
    unsigned char reserved[7];
} KV_MediaInfo;

int KV_CALL KV_Initial(void);
int KV_CALL KV_Free(void); /* closes every port */
/* "Protocol=AVI,H264,H265;Check=0,4,RIFF|8,4,AVI ;FileHeadLen=12;
 *  Video=I420,YV12,YUY2,UYVY,RGB,MJPG,H264,H265" */
int KV_CALL KV_GetDecoderInf(char* text, int size);

int KV_CALL KV_OpenFile(const char* fileName, int* port);
int KV_CALL KV_CloseFile(int port);
int KV_CALL KV_GetFileTime(int port, int* seconds); /* whole seconds; 0 for streams */

/* The header holds at least the first 12 bytes of an AVI file; usually all of
 * it up to and including the 12-byte header of its 'movi' list. Whatever of
 * the headers it lacks, and everything after them, comes through
 * KV_InputData in pieces of any size.
 * Or the header is the first bytes (at least 6) of a raw H.264 or H.265
 * Annex-B stream, starting with a start code (00 00 01 or 00 00 00 01), and
 * the stream goes on through KV_InputData in pieces of any size. Its
 * pictures are stamped and paced by the stream's own timing information,
 * else by the rate given with KV_SetStreamFrameRate, else by the environment
 * variable DEMOPLAY_STREAM_FPS (pictures per second, e.g. "30" or "29.97")
 * as it was when the stream was opened, else at 25 per second. */
int KV_CALL KV_OpenStream(const void* header, int length, int* port);
int KV_CALL KV_CloseStream(int port);
int KV_CALL KV_InputData(int port, const void* data, int length);
int KV_CALL KV_ClearBuffer(int port); /* drops stream data not yet delivered */
/* Not one of the 17 entry points the plug-in calls: the picture rate
 * (rate / scale pictures per second, 0.1 to 1000) of a raw H.264/H.265 stream
 * that carries no timing of its own; best called right after KV_OpenStream.
 * KV_ERR_WRONG_PORT_TYPE for other ports. */
int KV_CALL KV_SetStreamFrameRate(int port, int rate, int scale);

int KV_CALL KV_GetMediaInfo(int port, void* mediaInfo);
/* Starts (or, after KV_Stop, resumes) decoding on the port's own thread; on
 * a port that plays, hands the following frames to the new callback. After
 * the end of a file it starts again from the beginning. */
int KV_CALL KV_Play(int port, KV_FrameCallBack callback, void* user);
/* When it returns, no callback for the port is running or will start. Called
 * from the port's own callback it only stops further callbacks. */
int KV_CALL KV_Stop(int port);
int KV_CALL KV_SetPlayTime(int port, int seconds);
int KV_CALL KV_GetPlayTime(int port, int* seconds);
/* Writes what the port plays from now on as an AVI file: the chunks as
 * stored, an 'idx1' index over the first gigabyte and OpenDML extensions and
 * indexes beyond it. It is written as "<name>.recording" and takes its name
 * when KV_StopRecord (or closing the port) completes it. H.264/H.265 is
 * recorded from the last key picture at or before the picture on display
 * on (kept, bounded, from before the call), with the parameter sets it needs
 * in-band before it, and sound from that picture's time on; a raw stream's
 * pictures go into an AVI file of their own codec, size and rate, which
 * KV_ERR_NOT_READY until its first picture is decoded. KV_StopRecord is
 * KV_ERR_NOT_READY, and leaves no file, when the port has seen no key
 * picture. */
int KV_CALL KV_StartRecord(int port, const char* fileName);
int KV_CALL KV_StopRecord(int port);

#ifdef __cplusplus
}
#endif

#endif
