#include "common/codec_clips.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "common/host_command.h"

namespace vdtest {

std::string ClipPath(const std::string& name) {
    std::string dir = VD_CLIPS_DIR;
    if (!dir.empty() && dir[0] == '/') dir = "Z:" + dir;  // the build's host path, seen from Wine
    return dir + "/" + name;
}

std::vector<uint8_t> ReadClip(const std::string& name) {
    std::ifstream in(ClipPath(name), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

namespace {
std::vector<std::vector<uint8_t>> CutPictures(const std::vector<uint8_t>& all, int width, int height, bool yuv422) {
    const size_t w = size_t(width), h = size_t(height);
    const size_t bytes = w * h + 2 * ((w + 1) / 2) * (yuv422 ? h : (h + 1) / 2);
    std::vector<std::vector<uint8_t>> pictures;
    for (size_t at = 0; bytes > 0 && at + bytes <= all.size(); at += bytes)
        pictures.emplace_back(all.begin() + ptrdiff_t(at), all.begin() + ptrdiff_t(at + bytes));
    return pictures;
}
}  // namespace

std::vector<std::vector<uint8_t>> ReferencePictures(const std::string& yuvName, int width, int height, bool yuv422) {
    return CutPictures(ReadClip(yuvName), width, height, yuv422);
}

std::vector<uint8_t> SwapChromaPlanes(const std::vector<uint8_t>& picture, int width, int height) {
    const size_t luma = size_t(width) * size_t(height), chroma = size_t(width / 2) * size_t(height / 2);
    std::vector<uint8_t> out(picture);
    if (picture.size() < luma + 2 * chroma) return out;
    std::copy(picture.begin() + ptrdiff_t(luma), picture.begin() + ptrdiff_t(luma + chroma),
              out.begin() + ptrdiff_t(luma + chroma));
    std::copy(picture.begin() + ptrdiff_t(luma + chroma), picture.begin() + ptrdiff_t(luma + 2 * chroma),
              out.begin() + ptrdiff_t(luma));
    return out;
}

std::vector<uint8_t> PackYuy2(const std::vector<uint8_t>& planar422, int width, int height) {
    const size_t w = size_t(width), h = size_t(height), luma = w * h, chroma = w / 2 * h;
    std::vector<uint8_t> out(2 * luma);
    if (planar422.size() < luma + 2 * chroma) return {};
    const uint8_t* y = planar422.data();
    const uint8_t* u = y + luma;
    const uint8_t* v = u + chroma;
    for (size_t i = 0; i < luma / 2; ++i) {
        out[4 * i] = y[2 * i];
        out[4 * i + 1] = u[i];
        out[4 * i + 2] = y[2 * i + 1];
        out[4 * i + 3] = v[i];
    }
    return out;
}

int FindPicture(const std::vector<std::vector<uint8_t>>& pictures, const uint8_t* data, size_t size, size_t from) {
    for (size_t i = from; i < pictures.size(); ++i)
        if (pictures[i].size() == size && std::memcmp(pictures[i].data(), data, size) == 0) return int(i);
    return -1;
}

namespace {
uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | (uint32_t(b[at + 1]) << 8) | (uint32_t(b[at + 2]) << 16) | (uint32_t(b[at + 3]) << 24);
}
}  // namespace

AviPieces CutAvi(const std::vector<uint8_t>& file) {
    AviPieces out;
    size_t at = 12;
    size_t moviEnd = 0;
    while (at + 12 <= file.size()) {
        const uint32_t len = Le32(file, at + 4);
        if (std::memcmp(&file[at], "LIST", 4) == 0 && std::memcmp(&file[at + 8], "movi", 4) == 0) {
            out.headerLength = at + 12;
            moviEnd = std::min(file.size(), at + 8 + size_t(len));
            break;
        }
        at += 8 + len + (len & 1);
    }
    at = out.headerLength;
    while (out.headerLength && at + 8 <= moviEnd) {
        const uint32_t len = Le32(file, at + 4);
        const size_t length = std::min(moviEnd - at, size_t(8) + len + (len & 1));
        out.chunks.push_back({at, length, file[at + 2] == 'd'});
        at += length;
    }
    out.restOffset = at;
    return out;
}

FfmpegView ViewWithFfmpeg(const std::string& windowsPath, int width, int height, bool yuv422, bool topFieldFirst) {
    FfmpegView view;
    const std::string host = HostPath(windowsPath);
    if (host.empty()) return view;
    const std::string file = ShellWord(host), yuv = ShellWord(host + ".yuv");
    const HostResult probe = RunHostCommand(
        "ffprobe -v error -count_packets -select_streams v:0 -show_entries stream=nb_frames,nb_read_packets "
        "-of default=nw=1 " +
            file + " && ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 " + file +
            " | sed 's/^/packet=/' && ffmpeg -nostdin -v error -y -threads 1 " +
            (topFieldFirst ? "-field_order tt " : "") + "-i " + file +
            " -map 0:v -fps_mode passthrough -f rawvideo -pix_fmt " + (yuv422 ? "yuv422p " : "yuv420p ") + yuv +
            " 2>&1 | sed 's/^/decode: /'",
        120000);
    if (!probe.finished || probe.exitCode != 0) {
        view.errors = probe.output;
        return view;
    }
    view.ran = true;
    size_t start = 0;
    while (start < probe.output.size()) {
        size_t end = probe.output.find('\n', start);
        if (end == std::string::npos) end = probe.output.size();
        const std::string line = probe.output.substr(start, end - start);
        start = end + 1;
        if (line.rfind("nb_frames=", 0) == 0) {
            view.headerFrames = std::atoi(line.c_str() + 10);
        } else if (line.rfind("nb_read_packets=", 0) == 0) {
            view.packets = std::atoi(line.c_str() + 16);
        } else if (line.rfind("packet=", 0) == 0) {
            view.keyFlags += line.size() > 7 && line[7] == 'K' ? 'K' : '_';
        } else if (!line.empty()) {
            view.errors += line + "\n";
        }
    }
    std::ifstream in(windowsPath + ".yuv", std::ios::binary);
    const std::vector<uint8_t> all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileA((windowsPath + ".yuv").c_str());
    view.pictures = CutPictures(all, width, height, yuv422);
    return view;
}

std::vector<uint8_t> FfmpegSound(const std::string& windowsPath, const char* format, std::string* errors) {
    const std::string host = HostPath(windowsPath);
    if (host.empty()) {
        *errors = "no host path for " + windowsPath;
        return {};
    }
    const HostResult r = RunHostCommand("ffmpeg -nostdin -v error -y -i " + ShellWord(host) + " -map 0:a -f " + format +
                                            " " + ShellWord(host + ".sound"),
                                        120000);
    *errors = r.finished && r.exitCode == 0 ? r.output : "ffmpeg failed: " + r.output;
    std::ifstream in(windowsPath + ".sound", std::ios::binary);
    std::vector<uint8_t> all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();
    DeleteFileA((windowsPath + ".sound").c_str());
    return all;
}

std::vector<uint8_t> SoundChunkData(const std::vector<uint8_t>& file, size_t* chunks) {
    std::vector<uint8_t> all;
    if (chunks) *chunks = 0;
    for (const AviPieces::Chunk& c : CutAvi(file).chunks) {
        if (c.video || std::memcmp(&file[c.offset + 2], "wb", 2) != 0) continue;
        const size_t size = std::min<size_t>(Le32(file, c.offset + 4), c.length - 8);
        if (chunks) ++*chunks;
        all.insert(all.end(), file.begin() + ptrdiff_t(c.offset + 8), file.begin() + ptrdiff_t(c.offset + 8 + size));
    }
    return all;
}

}  // namespace vdtest
