#!/usr/bin/python3
"""A live camera for vdplay's tests, the demo and the benchmarks: GStreamer's
RTSP server serving the pictures (and the sound) of an uncompressed AVI that
vdsample wrote, in a loop, in real time, as

  rtsp://127.0.0.1:PORT/h264     H.264 (no B-pictures)
  rtsp://127.0.0.1:PORT/h265     H.265
  rtsp://127.0.0.1:PORT/mjpeg    Motion-JPEG
  and each of them with "-pcmu" (G.711 mu-law), "-pcma" (G.711 A-law) or
  "-aac" after it with the recording's sound.

One pipeline per path is shared by every client, so a second client joins
the running stream. The server says "ready PORT" on its output once it
listens; it ends on SIGTERM or SIGINT.

Usage: rtsp_camera.py --port PORT --pattern FILE.avi [--key-every N]
       [--user NAME --password WORD] [--times FILE]

--times FILE: a line "NUMBER SECONDS" for every picture as it goes to the
encoder (its number in the recording, time.monotonic()), so that a reader
of the screen can tell how late each picture is shown.
"""
import argparse
import signal
import struct
import sys
import threading
import time

import gi

gi.require_version("Gst", "1.0")
gi.require_version("GstRtspServer", "1.0")
from gi.repository import GLib, Gst, GstRtspServer  # noqa: E402


def read_avi(path):
    """The pictures (I420 or YV12 bytes) and the sound (16-bit PCM) of an
    uncompressed AVI, with its size, rate and sound format."""
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"AVI ":
        raise SystemExit(f"{path} is not an AVI")
    info = {"pictures": [], "sound": bytearray(), "rate": 25, "sound_rate": 0, "channels": 1}
    stream_types = []

    def walk(start, end):
        pos = start
        while pos + 8 <= end:
            cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
            body = pos + 8
            if cid == b"LIST":
                walk(body + 4, min(body + size, end))
            elif cid == b"avih":
                info["width"], info["height"] = struct.unpack_from("<II", data, body + 32)
            elif cid == b"strh":
                stream_types.append(data[body:body + 4])
                if data[body:body + 4] == b"vids":
                    scale, rate = struct.unpack_from("<II", data, body + 20)
                    info["rate"] = rate / scale if scale else 25
                    info["fourcc"] = data[body + 4:body + 8]
            elif cid == b"strf" and stream_types and stream_types[-1] == b"auds":
                _, channels, rate = struct.unpack_from("<HHI", data, body)
                info["channels"], info["sound_rate"] = channels, rate
            elif cid[2:] in (b"db", b"dc") and cid[:2] == b"00":
                info["pictures"].append(data[body:body + size])
            elif cid[2:] == b"wb":
                info["sound"] += data[body:body + size]
            pos = body + size + (size & 1)

    walk(12, len(data))
    if not info["pictures"]:
        raise SystemExit(f"{path} has no pictures")
    return info


VIDEO = {
    "h264": "x264enc tune=zerolatency sliced-threads=false threads=1 speed-preset=ultrafast key-int-max={key} bframes=0 "
            "! video/x-h264,profile=constrained-baseline ! rtph264pay name=pay0 pt=96 config-interval=-1",
    "h265": "x265enc tune=zerolatency speed-preset=ultrafast key-int-max={key} "
            "! rtph265pay name=pay0 pt=96 config-interval=-1",
    "mjpeg": "jpegenc quality=85 ! rtpjpegpay name=pay0 pt=26",
}
SOUND = {
    "": None,
    "pcmu": "audioresample ! audio/x-raw,rate=8000 ! mulawenc ! rtppcmupay name=pay1 pt=0",
    "pcma": "audioresample ! audio/x-raw,rate=8000 ! alawenc ! rtppcmapay name=pay1 pt=8",
    "aac": "audioresample ! audio/x-raw,rate=16000 ! voaacenc ! rtpmp4gpay name=pay1 pt=97",
}


class Feeder:
    """Pushes the recording's pictures and sound into one shared pipeline in
    real time, in a loop, for as long as the pipeline lives. Each picture is
    stamped with the pipeline's running time as it is pushed, as a camera
    stamps what it captures: the server sends it on at once, not when a
    stamp counted from some earlier start falls due."""

    def __init__(self, info, video_src, sound_src, times=None):
        self.info, self.video_src, self.sound_src, self.times = info, video_src, sound_src, times
        self.stop = threading.Event()
        threading.Thread(target=self.run, daemon=True).start()

    def running_time(self):
        """The pipeline's running time, or None before it plays."""
        if self.video_src.get_state(0)[1] != Gst.State.PLAYING:
            return None
        clock = self.video_src.get_clock()
        return clock.get_time() - self.video_src.get_base_time() if clock else None

    def run(self):
        info = self.info
        period = 1.0 / info["rate"]
        per_picture = 0
        if info["sound_rate"]:
            per_picture = int(info["sound_rate"] / info["rate"]) * 2 * info["channels"]
        while not self.stop.is_set() and self.running_time() is None:
            time.sleep(0.005)
        start = time.monotonic()
        n = 0
        while not self.stop.is_set():
            index = n % len(info["pictures"])
            ns = self.running_time()
            if ns is None:  # paused: the pictures wait
                time.sleep(0.005)
                start = time.monotonic() - n * period
                continue
            picture = Gst.Buffer.new_wrapped(bytes(info["pictures"][index]))
            picture.pts, picture.duration = ns, int(period * Gst.SECOND)
            if self.video_src.emit("push-buffer", picture) != Gst.FlowReturn.OK:
                break
            if self.times:
                self.times.write("%d %.6f\n" % (index, time.monotonic()))
                self.times.flush()
            if self.sound_src is not None and per_picture:
                at = (index * per_picture) % max(1, len(info["sound"]))
                block = bytes(info["sound"][at:at + per_picture]).ljust(per_picture, b"\0")
                sound = Gst.Buffer.new_wrapped(block)
                sound.pts, sound.duration = ns, int(period * Gst.SECOND)
                self.sound_src.emit("push-buffer", sound)
            n += 1
            wait = start + n * period - time.monotonic()
            if wait > 0:
                time.sleep(wait)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--port", type=int, required=True)
    parser.add_argument("--pattern", required=True)
    parser.add_argument("--key-every", type=int, default=25)
    parser.add_argument("--user", default="")
    parser.add_argument("--password", default="")
    parser.add_argument("--times", default="")
    args = parser.parse_args()
    times = open(args.times, "a") if args.times else None
    Gst.init(None)
    info = read_avi(args.pattern)
    planar = "YV12" if info.get("fourcc", b"") == b"YV12" else "I420"
    video_caps = (f"video/x-raw,format={planar},width={info['width']},height={info['height']},"
                  f"framerate={int(round(info['rate']))}/1")
    sound_caps = f"audio/x-raw,format=S16LE,layout=interleaved,rate={info['sound_rate']},channels={info['channels']}"

    server = GstRtspServer.RTSPServer()
    server.set_address("127.0.0.1")
    server.set_service(str(args.port))
    mounts = server.get_mount_points()
    feeders = []
    for video, encode in VIDEO.items():
        for sound, sound_encode in SOUND.items():
            if sound and not info["sound_rate"]:
                continue
            launch = (f"( appsrc name=vsrc is-live=true format=time caps={video_caps} ! videoconvert ! queue "
                      f"! {encode.format(key=args.key_every)}")
            if sound_encode:
                launch += f" appsrc name=asrc is-live=true format=time caps={sound_caps} ! audioconvert ! {sound_encode}"
            launch += " )"
            factory = GstRtspServer.RTSPMediaFactory()
            factory.set_launch(launch)
            factory.set_shared(True)
            factory.set_latency(0)

            def configure(_factory, media, with_sound=bool(sound_encode)):
                element = media.get_element()
                feeder = Feeder(info, element.get_by_name_recurse_up("vsrc"),
                                element.get_by_name_recurse_up("asrc") if with_sound else None, times)
                feeders.append(feeder)
                media.connect("unprepared", lambda *_: feeder.stop.set())

            factory.connect("media-configure", configure)
            if args.user:
                # Basic authentication for every path.
                auth = GstRtspServer.RTSPAuth()
                token = GstRtspServer.RTSPToken()
                token.set_string(GstRtspServer.RTSP_TOKEN_MEDIA_FACTORY_ROLE, "user")
                auth.add_basic(GstRtspServer.RTSPAuth.make_basic(args.user, args.password), token)
                server.set_auth(auth)
                permissions = GstRtspServer.RTSPPermissions()
                permissions.add_permission_for_role("user", "media.factory.access", True)
                permissions.add_permission_for_role("user", "media.factory.construct", True)
                factory.set_permissions(permissions)
            mounts.add_factory("/" + video + ("-" + sound if sound else ""), factory)

    if server.attach(None) == 0:
        raise SystemExit(f"cannot listen on 127.0.0.1:{args.port}")
    loop = GLib.MainLoop()
    for sig in (signal.SIGTERM, signal.SIGINT):
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, sig, loop.quit)
    print(f"ready {server.get_bound_port()}", flush=True)
    loop.run()
    for feeder in feeders:
        feeder.stop.set()


if __name__ == "__main__":
    sys.exit(main())
