#include "platform/SystemMimeTypes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

using orvant::platform::ReadMimeTypesFile;

TEST(SystemMimeTypes, ReadsTypesAndExtensionsInFileOrder)
{
    const orvant::test::TTempDir dir;
    const auto path = dir.WriteFile("mime.types", "# comment line\r\n"
                                                  "\n"
                                                  "application/x-7z-compressed\t\t\t7z\r\n"
                                                  "text/plain txt  text conf # trailing comment\n"
                                                  "   application/no-extension   \n"
                                                  "#text/hidden hid\n"
                                                  "audio/Ogg oga ogg Opus");
    const auto r = ReadMimeTypesFile(path.string());

    ASSERT_EQ(r.size(), 7u);
    EXPECT_EQ(r[0].Extension, u"7z");
    EXPECT_EQ(r[0].MimeType, u"application/x-7z-compressed");
    EXPECT_EQ(r[1].Extension, u"txt");
    EXPECT_EQ(r[3].Extension, u"conf");
    EXPECT_EQ(r[3].MimeType, u"text/plain");
    // Written as they stand: the caller decides about case.
    EXPECT_EQ(r[6].Extension, u"Opus");
    EXPECT_EQ(r[6].MimeType, u"audio/Ogg");
}

TEST(SystemMimeTypes, MissingFileGivesNoRegistrations)
{
    EXPECT_TRUE(ReadMimeTypesFile("/nonexistent/orvant/mime.types").empty());
    EXPECT_TRUE(ReadMimeTypesFile("/").empty()); // a folder
}
