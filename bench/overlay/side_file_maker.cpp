#include "side_file_maker.h"

#include <cstdio>

namespace vdtest {

std::string MakeSideFile(int seconds) {
    std::string text = "<Overlay>\r\n";
    unsigned seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) & 0x7FFF;
    };
    char buffer[256];
    const int groups = seconds * kGroupsPerSecond;
    for (int group = 0; group < groups; ++group) {
        std::snprintf(buffer, sizeof buffer, "  <Group Stamp=\"%d.%03d\">\r\n", group / kGroupsPerSecond,
                      (group % kGroupsPerSecond) * (1000 / kGroupsPerSecond));
        text += buffer;
        const int lines = 2 + static_cast<int>(next() % 3);
        for (int l = 0; l < lines; ++l) {
            const int id = (group * 3 + l) % 97;
            if (next() % 10 < 3) {
                // Mentioned again without a colour: the earlier Line lasts until here.
                std::snprintf(buffer, sizeof buffer, "    <Line ID=\"L%d\"/>\r\n", id);
                text += buffer;
                continue;
            }
            std::snprintf(buffer, sizeof buffer, "    <Line ID=\"L%d\" Color=\"%02x%02x%02X\">", id, next() & 0xFF,
                          next() & 0xFF, next() & 0xFF);
            text += buffer;
            const int points = 2 + static_cast<int>(next() % 4);
            for (int p = 0; p < points; ++p) {
                std::snprintf(buffer, sizeof buffer, "<Point>%d, %d</Point>", static_cast<int>(next() % 704),
                              static_cast<int>(next() % 576));
                text += buffer;
            }
            text += "</Line>\r\n";
        }
        std::snprintf(buffer, sizeof buffer,
                      "    <Text ID=\"T%d\" Color=\"00ff00\" Pos=\"%d,%d\">Car %d &gt; 50 km/h</Text>\r\n", group % 53,
                      static_cast<int>(next() % 704), static_cast<int>(next() % 576), group % 1000);
        text += buffer;
        text += "  </Group>\r\n";
    }
    text += "</Overlay>\r\n";
    return text;
}

}  // namespace vdtest
