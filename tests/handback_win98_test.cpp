/*
 * Hand-back on Windows 98, where a key with subkeys goes with a plain key
 * deletion, and the copy application's path is formed the same way.
 */
#include "handback_fixture.h"

namespace {

class HandBack98 : public HandBack {
protected:
    const char *Family() override { return "win98"; }
};

TEST_F(HandBack98, OcrEntryGoesWithItsSubkeysAndTheCopyApplicationIsFound)
{
    std::string program = std::string(SecondDrive) + "\\Scan Apps\\Rudorid55.exe";
    WriteTextFile(program, "copy application");
    EXPECT_EQ(1, Run());
    EXPECT_EQ(ExpectedCommands(ShortPathOf(program)), DocumentCommands());
    ExpectCopyAppPaths(program);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, OcrAppPaths));
    EXPECT_EQ("Quenmar T60", RegGet(HKEY_LOCAL_MACHINE, CopyAppKey, "Product"));
}

}  // namespace
