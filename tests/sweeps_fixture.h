/* The file phase run in-process on a planted machine, shared by the NT-family and 9x-family
 * sweep tests: one family and one combination of the start-up flags per case. */
#ifndef QUENMAR_SWEEPS_FIXTURE_H
#define QUENMAR_SWEEPS_FIXTURE_H

#include "harness.h"
#include "plant_files.h"

#include <shlobj.h>
#include <tuple>

enum PrinterFlags { NoOtherPrinter, OtherMakerPrinter, SiblingModel };

inline const char *FlagName(PrinterFlags flags)
{
    return flags == NoOtherPrinter ? "none" : flags == OtherMakerPrinter ? "othermaker" : "sibling";
}

/* Plants the product for the family and flags (a sibling model is always also another printer of
   the maker), sets the program's start-up values as discovery would, and cleans the machine up. */
struct SweepTest : ::testing::TestWithParam<std::tuple<const char *, PrinterFlags>> {
    PlantedFiles files;
    std::string family;
    bool otherMaker = false, sibling = false;

    /* The default folder, and on some families a found installation folder elsewhere. */
    static std::string DefaultDir() { return "C:\\Program Files\\QuenmarT58"; }
    std::string InstallDirFor() const
    {
        return family == "win2k" || family == "winme" ? "C:\\Apps\\Scan Suite\\QuenmarT58" : DefaultDir();
    }

    void SetUp() override
    {
        family = std::get<0>(GetParam());
        PrinterFlags flags = std::get<1>(GetParam());
        sibling = flags == SiblingModel;
        otherMaker = flags != NoOtherPrinter;
        ClearScheduledRemovals();
        files = PlantProductFiles(family.c_str(), otherMaker, sibling, InstallDirFor(), DefaultDir());
        ASSERT_FALSE(files.items.empty());
        ResetProgramState(family.c_str());
        OtherMakerPrinterPresent = otherMaker;
        SiblingModelPresent = sibling;
        if (sibling) strcpy(SiblingDriverName, "Quenmar T60");
        strcpy(InstallDir, InstallDirFor().c_str());
        strcpy(DefaultInstallDir, DefaultDir().c_str());
    }
    void TearDown() override
    {
        char windows[MAX_PATH];
        GetWindowsDirectoryA(windows, sizeof windows);
        SetCurrentDirectoryA(windows);
        RemovePlantedFiles(files);
        ClearScheduledRemovals();
    }

    /* The lines of UnexpectedItems, joined for a failure message. */
    std::string Report() const
    {
        std::string text;
        for (const std::string &line : UnexpectedItems(files)) text += line + "\n";
        return text;
    }
    std::string Installed(const std::string &row) const { return InstallDirFor() + "\\" + row; }
    std::string Group() const
    {
        return ShellFolder(family == "winxp" || family == "win2k" ? CSIDL_COMMON_PROGRAMS : CSIDL_PROGRAMS) +
               "\\Quenmar T58";
    }
};

inline std::string SweepCaseName(const ::testing::TestParamInfo<SweepTest::ParamType> &info)
{
    return std::string(std::get<0>(info.param)) + "_" + FlagName(std::get<1>(info.param));
}

#endif
