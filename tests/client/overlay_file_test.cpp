// The sample's ".lti" side file read with the plug-in's own XML document and
// the side-file rules (an item lasts from the group that defines it to the
// last group that mentions it again, both ends included).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sample/overlay_file.h"
#include "sample/test_pattern.h"
#include "xml/xml_document.h"

namespace {

struct Item {
    std::string id;
    bool line = false;
    uint32_t begin = 0, end = 0xFFFFFFFFu;
    std::vector<std::pair<int, int>> points;
    std::string text;
};

uint32_t StampOf(const std::string& text) { return uint32_t(int64_t(std::atof(text.c_str()) * 1000.0)); }

std::pair<int, int> PointOf(const std::string& text) {
    const size_t comma = text.find(',');
    return {std::atoi(text.substr(0, comma).c_str()), std::atoi(text.substr(comma + 1).c_str())};
}

std::vector<Item> ReadItems(const std::string& document) {
    std::vector<Item> items;
    vd::XmlDocument doc;
    doc.SetText(document);
    EXPECT_TRUE(doc.ParseText()) << doc.ResultLog();
    EXPECT_TRUE(doc.NextElement());
    doc.EnterElement();
    while (doc.NextElement()) {
        const uint32_t stamp = StampOf(doc.AttributeValue("Stamp"));
        doc.EnterElement();
        while (doc.NextElement()) {
            const std::string name = doc.ElementName();
            if (name != "Line" && name != "Text") continue;
            const bool line = name == "Line";
            const std::string id = doc.AttributeValue("ID"), colour = doc.AttributeValue("Color");
            bool found = false;
            for (Item& it : items) {
                if (it.id == id && it.line == line) {
                    it.end = stamp;
                    found = true;
                    break;
                }
            }
            if (found && colour.empty()) continue;
            Item it;
            it.id = id;
            it.line = line;
            it.begin = stamp;
            if (line) {
                while (doc.NextChildElement())
                    if (doc.ChildElementName() == "Point") it.points.push_back(PointOf(doc.ChildElementText()));
            } else {
                it.text = doc.ElementText();
                it.points.push_back(PointOf(doc.AttributeValue("Pos")));
            }
            items.push_back(it);
        }
        doc.LeaveElement();
    }
    return items;
}

TEST(SampleOverlay, StampsReadBackAsTheExactMillisecond) {
    for (uint32_t ms = 0; ms < 200000; ms += 7) ASSERT_EQ(StampOf(vdsample::StampText(ms)), ms) << ms;
    EXPECT_EQ(StampOf(vdsample::StampText(3600000)), 3600000u);
}

TEST(SampleOverlay, EveryPictureHasExactlyOneBoxAroundTheSquareAndTheCaption) {
    for (int fps : {25, 30}) {
        SCOPED_TRACE(fps);
        vdsample::OverlayPlan plan;
        plan.width = 320;
        plan.height = 240;
        plan.fps = fps;
        plan.pictures = 3 * fps;
        const std::vector<Item> items = ReadItems(vdsample::OverlayDocument(plan));
        for (int i = 0; i < plan.pictures; ++i) {
            const uint32_t ms = vdsample::PictureStampMs(i, fps);
            std::vector<const Item*> boxes, texts;
            for (const Item& it : items) {
                if (it.begin <= ms && ms <= it.end) (it.line ? boxes : texts).push_back(&it);
            }
            ASSERT_EQ(boxes.size(), 1u) << "picture " << i;
            ASSERT_EQ(texts.size(), 2u) << "picture " << i;  // the caption and the box's tag
            const vdsample::Rect square = vdsample::SquareRect(plan.width, plan.height, ms);
            ASSERT_EQ(boxes[0]->points.size(), 5u);
            for (const auto& p : boxes[0]->points) {
                EXPECT_TRUE(p.first < square.left || p.first >= square.right) << "picture " << i;
                EXPECT_TRUE(p.second < square.top || p.second >= square.bottom) << "picture " << i;
            }
            EXPECT_EQ(boxes[0]->points.front(), boxes[0]->points.back());
        }
        ASSERT_FALSE(items.empty());
        EXPECT_EQ(items[0].text, plan.caption);
        EXPECT_EQ(items[0].end, 0xFFFFFFFFu);
    }
}

TEST(SampleOverlay, CaptionIsEscaped) {
    vdsample::OverlayPlan plan;
    plan.width = 64;
    plan.height = 48;
    plan.pictures = 1;
    plan.caption = "A&B <\"cam\">";
    const std::vector<Item> items = ReadItems(vdsample::OverlayDocument(plan));
    ASSERT_FALSE(items.empty());
    EXPECT_EQ(items[0].text, plan.caption);
}

}  // namespace
