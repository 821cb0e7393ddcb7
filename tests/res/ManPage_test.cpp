#include "engine/MediaFormats.h"

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <sstream>
#include <string>

namespace {

// The text roff shows of a man page: its lines that are no requests (a line that begins with
// a full stop or an apostrophe is one), with the zero-width escape taken out.
std::string ShownText(std::istream& page)
{
    std::string shown;
    std::string line;
    while (std::getline(page, line)) {
        if (!line.empty() && (line.front() == '.' || line.front() == '\''))
            continue;
        for (std::size_t at = line.find("\\&"); at != std::string::npos; at = line.find("\\&"))
            line.erase(at, 2);
        shown += line + "\n";
    }
    return shown;
}

// Whether text holds ".<ext>" as a whole extension (".mp" not counted in ".mp3").
bool NamesExtension(const std::string& text, const std::string& ext)
{
    const std::string wanted = "." + ext;
    for (std::size_t at = text.find(wanted); at != std::string::npos;
         at = text.find(wanted, at + 1)) {
        const std::size_t end = at + wanted.size();
        if (end == text.size() || std::isalnum(static_cast<unsigned char>(text[end])) == 0)
            return true;
    }
    return false;
}

// Catches a man page line that begins with an extension (".opus), ..."): roff takes it for a
// request and drops the line, so the rendered page leaves out some of the formats played.
TEST(ManPage, TheRenderedPageNamesEveryPlayableExtension)
{
    std::ifstream page(std::string(SORVANE_SOURCE_DIR) + "/res/sorvane.1");
    ASSERT_TRUE(page.is_open());
    const std::string shown = ShownText(page);
    for (const MediaFormat& format : MediaFormats())
        EXPECT_TRUE(NamesExtension(shown, format.pszExtension)) << format.pszExtension;
}

} // namespace
