#include "video/output_choice.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace vd {

OutputSetting ParseOutputSetting(const char* value) {
    if (!value) return OutputSetting::kAuto;
    std::string lower(value);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "ddraw") return OutputSetting::kDirectDraw;
    if (lower == "drawdib") return OutputSetting::kDrawDib;
    return OutputSetting::kAuto;
}

void OutputTrial::Record(bool directDraw, std::int64_t costUs) {
    if (pick_ != Pick::kUndecided) return;
    const int index = directDraw ? 0 : 1;
    next_ = 1 - index;
    if (++seen_[index] <= kWarmUpPictures) return;
    if (static_cast<int>(costs_[index].size()) < kCountedPictures) costs_[index].push_back(costUs < 0 ? 0 : costUs);
    if (directDraw && costUs >= kHopelessUs) {
        pick_ = Pick::kDrawDib;
        return;
    }
    if (static_cast<int>(costs_[0].size()) < kCountedPictures ||
        static_cast<int>(costs_[1].size()) < kCountedPictures) {
        return;
    }
    const std::int64_t directDrawUs = MedianUs(true);
    const std::int64_t drawDibUs = MedianUs(false);
    const bool dearer = static_cast<double>(directDrawUs) > kCostFactor * static_cast<double>(drawDibUs) &&
                        directDrawUs - drawDibUs >= kMarginUs;
    pick_ = dearer ? Pick::kDrawDib : Pick::kDirectDraw;
}

std::int64_t OutputTrial::MedianUs(bool directDraw) const {
    std::vector<std::int64_t> sorted = costs_[directDraw ? 0 : 1];
    if (sorted.empty()) return 0;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

}  // namespace vd
