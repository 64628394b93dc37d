// The manual in the built bundle: every picture it shows is there, rendered by the build, and
// every link inside it leads somewhere.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "ImageFiles.h"

namespace {

const std::filesystem::path kResources = std::filesystem::path(VELMORA_BUNDLE) / "Contents" / "Resources";

std::string manualText() {
    std::ifstream file(kResources / "velmora.html");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::set<std::string> matches(const std::string& text, const std::string& pattern) {
    std::set<std::string> found;
    const std::regex re(pattern);
    for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it)
        found.insert((*it)[1].str());
    return found;
}

}  // namespace

TEST(Manual, ShowsEveryPictureTheBuildRendersAndEachOneIsThere) {
    const std::string html = manualText();
    ASSERT_FALSE(html.empty());
    const std::set<std::string> shown = matches(html, "<img src=\"([^\"]+)\"");
    for (const char* control :
         {"amount", "highlight-unfilled", "directional", "post-blur", "retexture", "grain"})
        EXPECT_EQ(shown.count(std::string("pictures/control-") + control + ".png"), 1u) << control;

    for (const std::string& source : shown) {
        SCOPED_TRACE(source);
        const vhost::ImagePtr picture = imagefiles::readImage((kResources / source).string());
        EXPECT_GE(picture->width(), 200);
        EXPECT_GE(picture->height(), 100);
    }
    std::set<std::string> rendered;
    for (const auto& entry : std::filesystem::directory_iterator(kResources / "pictures"))
        rendered.insert("pictures/" + entry.path().filename().string());
    EXPECT_EQ(rendered, shown);
}

TEST(Manual, EveryLinkInsideItLeadsToASection) {
    const std::string html = manualText();
    const std::set<std::string> ids = matches(html, " id=\"([^\"]+)\"");
    for (const std::string& target : matches(html, "href=\"#([^\"]+)\""))
        EXPECT_EQ(ids.count(target), 1u) << target;
    for (const char* section : {"sizing", "offsets", "object-visible", "velmora-render", "render-farm"})
        EXPECT_EQ(ids.count(section), 1u) << section;
}
