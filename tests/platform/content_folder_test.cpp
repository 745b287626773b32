// The content-folder search over a pretend file system: a named folder is
// taken outright, the places are searched in order, and a failure names
// every place it looked.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform/content_folder.h"

namespace {

std::set<std::string> folders;  // what the pretend file system holds

bool pretendCheck(const std::string& folder, std::string& reason)
{
    reason = "No such file or directory";
    return folders.count(folder) != 0;
}

TEST(ContentSearch, BesideTheProgramThenInstalledThenOneLineNamingEach)
{
    const auto places = contentPlaces("/usr/games/", "../share/games/quillmoor");
    std::string folder, failure;
    folders = {"/usr/share/games/quillmoor", "/usr/games/Data"};
    ASSERT_TRUE(searchContentFolder("", places, pretendCheck, folder, failure));
    EXPECT_EQ("/usr/games/Data", folder);
    folders.erase("/usr/games/Data");
    ASSERT_TRUE(searchContentFolder("", places, pretendCheck, folder, failure));
    EXPECT_EQ("/usr/share/games/quillmoor", folder);
    folders.clear();
    EXPECT_FALSE(searchContentFolder("", places, pretendCheck, folder, failure));
    EXPECT_EQ("/usr/games/Data", folder);
    EXPECT_EQ("no content: looked in /usr/games/Data (beside the program) and /usr/share/games/quillmoor "
              "(installed); name the folder with --data DIR",
              failure);
    EXPECT_EQ("/share/games/quillmoor", contentPlaces("/", "../share/games/quillmoor")[1].folder);
    EXPECT_EQ(1u, contentPlaces("/opt/", nullptr).size());
}

TEST(ContentSearch, NamedFolderIsTakenWithoutSearchingElsewhere)
{
    const auto places = contentPlaces("/usr/games/", nullptr);
    std::string folder, failure;
    folders = {"/usr/games/Data", "/srv/content", "/"};
    ASSERT_TRUE(searchContentFolder("/srv/content//", places, pretendCheck, folder, failure));
    EXPECT_EQ("/srv/content", folder);
    ASSERT_TRUE(searchContentFolder("/", places, pretendCheck, folder, failure));
    EXPECT_EQ("/", folder);
    EXPECT_FALSE(searchContentFolder("/srv/gone/", places, pretendCheck, folder, failure));
    EXPECT_EQ("/srv/gone", folder);
    EXPECT_EQ("content folder /srv/gone: No such file or directory", failure);
}

}  // namespace
