/* Registry deletion primitives against the registry of the test machine:
 * whole-tree deletion with access repair, the Administrators-only access
 * list, and the search of subkeys by a value. */
#include "harness.h"
#include "plant_registry.h"

static const char TreeRoot[] = "Software\\QT58KeyTreeTest";

/* One entry of a key's DACL. */
struct AceSummary {
    BYTE type, flags;
    ACCESS_MASK mask;
    bool administrators;
};

/* The raw security descriptor (owner and DACL) of HKLM\path, or of
 * HKEY_LOCAL_MACHINE itself for an empty path. */
static std::string SecurityOf(const std::string &path)
{
    HKEY key = HKEY_LOCAL_MACHINE;
    if (!path.empty() && RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, READ_CONTROL, &key) != ERROR_SUCCESS) {
        ADD_FAILURE() << "cannot read the security of " << path;
        return "";
    }
    BYTE buffer[4096];
    DWORD size = sizeof buffer;
    LONG status = RegGetKeySecurity(key, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer, &size);
    if (key != HKEY_LOCAL_MACHINE)
        RegCloseKey(key);
    EXPECT_EQ(ERROR_SUCCESS, status) << path;
    return status == ERROR_SUCCESS ? std::string((const char *)buffer, size) : "";
}

static std::vector<AceSummary> AcesOf(const std::string &path)
{
    std::vector<AceSummary> aces;
    std::string descriptor = SecurityOf(path);
    if (descriptor.empty())
        return aces;
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = NULL;
    GetSecurityDescriptorDacl((PSECURITY_DESCRIPTOR)descriptor.data(), &present, &acl, &defaulted);
    if (!present || acl == NULL)
        return aces;
    SID_IDENTIFIER_AUTHORITY nt = {SECURITY_NT_AUTHORITY};
    PSID administrators;
    AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                             &administrators);
    for (DWORD i = 0; i < acl->AceCount; i++) {
        ACCESS_ALLOWED_ACE *ace;
        GetAce(acl, i, (void **)&ace);
        aces.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask,
                        EqualSid(&ace->SidStart, administrators) != FALSE});
    }
    FreeSid(administrators);
    return aces;
}

static std::string Tree(const std::string &below)
{
    return std::string(TreeRoot) + "\\" + below;
}

class KeyTree : public ::testing::Test {
protected:
    void SetUp() override { ResetProgramState("winxp"); }
    RegistryPlanter planter;
};

TEST_F(KeyTree, RemovesThreeLevelTreeWhoseKeysShutOutAdministrators)
{
    for (const char *key : {"Top\\L1a\\L2a\\L3a", "Top\\L1a\\L2b", "Top\\L1b\\L2c\\L3b", "Top\\L1c"})
        planter.Value(HKEY_LOCAL_MACHINE, Tree(key), "DeviceDesc", "Quenmar T58");
    for (const char *key : {"Top\\L1a", "Top\\L1b\\L2c", "Top\\L1b\\L2c\\L3b", "Top"})
        planter.Lock(HKEY_LOCAL_MACHINE, Tree(key), LockDenyAllOwnedByAdmins);
    HKEY probe;
    ASSERT_EQ(ERROR_ACCESS_DENIED, RegOpenKeyExA(HKEY_LOCAL_MACHINE, Tree("Top\\L1a").c_str(), 0, KEY_READ, &probe));

    EXPECT_EQ(ERROR_NO_MORE_ITEMS, DeleteKeyTree(Tree("Top").c_str()));
    EXPECT_FALSE(PlantedKeyExists(HKEY_LOCAL_MACHINE, Tree("Top")));
    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, TreeRoot));
}

TEST_F(KeyTree, MissingOrEmptyPathReturnsBadKeyAndChangesNoAccessList)
{
    planter.Key(HKEY_LOCAL_MACHINE, Tree("Present"));
    std::string parentBefore = SecurityOf(TreeRoot), machineBefore = SecurityOf("");

    EXPECT_EQ(ERROR_BADKEY, DeleteKeyTree(Tree("Missing").c_str()));
    EXPECT_EQ(ERROR_BADKEY, DeleteKeyTree(""));
    EXPECT_EQ(ERROR_BADKEY, DeleteKeyTree(NULL));
    EXPECT_EQ(0, GrantKeyFullAccess(Tree("Missing").c_str()));
    EXPECT_EQ(0, GrantKeyFullAccess(""));

    EXPECT_EQ(parentBefore, SecurityOf(TreeRoot));
    EXPECT_EQ(machineBefore, SecurityOf(""));
    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, Tree("Present")));
}

TEST_F(KeyTree, DoesNothingOnThe9xFamily)
{
    planter.Value(HKEY_LOCAL_MACHINE, Tree("Top\\Child"), "DeviceDesc", "Quenmar T58");
    std::string topBefore = SecurityOf(Tree("Top")), childBefore = SecurityOf(Tree("Top\\Child"));
    for (const char *family : {"win98", "winme"}) {
        ResetProgramState(family);
        EXPECT_EQ(1, DeleteKeyTree(Tree("Top").c_str())) << family;
        EXPECT_EQ(1, DeleteKeyTree("")) << family;
        EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, Tree("Top\\Child"))) << family;
        EXPECT_EQ(topBefore, SecurityOf(Tree("Top"))) << family;
        EXPECT_EQ(childBefore, SecurityOf(Tree("Top\\Child"))) << family;
    }
}

TEST_F(KeyTree, GrantLeavesOneAdministratorsEntryAndSubkeysKeepTheirs)
{
    planter.Value(HKEY_LOCAL_MACHINE, Tree("Top\\Child"), "DeviceDesc", "Quenmar T58");
    planter.Lock(HKEY_LOCAL_MACHINE, Tree("Top"), LockDenyAllOwnedByAdmins);
    std::string childBefore = SecurityOf(Tree("Top\\Child"));
    ASSERT_GT(AcesOf(Tree("Top\\Child")).size(), 0u);

    ASSERT_EQ(1, GrantKeyFullAccess(Tree("Top").c_str()));

    std::vector<AceSummary> aces = AcesOf(Tree("Top"));
    ASSERT_EQ(1u, aces.size());
    EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, aces[0].type);
    EXPECT_EQ(0, aces[0].flags);
    EXPECT_EQ((ACCESS_MASK)KEY_ALL_ACCESS, aces[0].mask);
    EXPECT_TRUE(aces[0].administrators);
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, Tree("Top").c_str(), 0, KEY_ALL_ACCESS, &key));
    RegCloseKey(key);
    EXPECT_EQ(childBefore, SecurityOf(Tree("Top\\Child")));
}

/* A subkey whose access list cannot be replaced survives; its siblings still
 * go, and the key that holds it stays and reports the refused deletion. */
TEST_F(KeyTree, KeyWhoseAccessListCannotBeReplacedEndsTheLoop)
{
    for (const char *key : {"Top\\A", "Top\\B", "Top\\C\\D"})
        planter.Key(HKEY_LOCAL_MACHINE, Tree(key));
    planter.Lock(HKEY_LOCAL_MACHINE, Tree("Top\\B"), LockDeleteOnlyOwnedBySystem);
    ASSERT_EQ(0, GrantKeyFullAccess(Tree("Top\\B").c_str()));

    LONG result = 0;
    ASSERT_TRUE(EndsWithin(20000, [&] { result = DeleteKeyTree(Tree("Top").c_str()); }));

    EXPECT_NE(ERROR_NO_MORE_ITEMS, result);
    EXPECT_NE(ERROR_SUCCESS, result);
    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, Tree("Top\\B")));
    EXPECT_FALSE(PlantedKeyExists(HKEY_LOCAL_MACHINE, Tree("Top\\A")));
    EXPECT_FALSE(PlantedKeyExists(HKEY_LOCAL_MACHINE, Tree("Top\\C")));
    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, Tree("Top")));
}

/* A subkey whose path would pass 255 characters is stepped over, not cut. */
TEST_F(KeyTree, OverlongChildPathIsSteppedOver)
{
    std::string top = Tree(std::string(200, 'T'));
    std::string longChild = top + "\\" + std::string(60, 'L');
    planter.Key(HKEY_LOCAL_MACHINE, longChild);
    planter.Key(HKEY_LOCAL_MACHINE, top + "\\Short");
    ASSERT_LT(top.size(), 255u);
    ASSERT_GT(longChild.size(), 255u);

    LONG result = 0;
    ASSERT_TRUE(EndsWithin(20000, [&] { result = DeleteKeyTree(top.c_str()); }));

    EXPECT_NE(ERROR_NO_MORE_ITEMS, result);
    EXPECT_TRUE(PlantedKeyExists(HKEY_LOCAL_MACHINE, longChild));
    EXPECT_FALSE(PlantedKeyExists(HKEY_LOCAL_MACHINE, top + "\\Short"));
}

/* FindKeyByValue ----------------------------------------------------------- */

class FindByValue : public KeyTree {
protected:
    HKEY parent = NULL;
    /* Opens the test tree as the callers open a parent. */
    void OpenParent()
    {
        planter.Key(HKEY_LOCAL_MACHINE, TreeRoot);
        ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, TreeRoot, 0, KEY_ALL_ACCESS, &parent));
    }
    void TearDown() override
    {
        if (parent)
            RegCloseKey(parent);
    }
};

TEST_F(FindByValue, IgnoresLetterCaseOfNameAndData)
{
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0000"), "DriverDesc", "Acme Laser 5");
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0001"), "driverdesc", "QUENMAR t58");
    OpenParent();

    ASSERT_EQ(1, FindKeyByValue(parent, "DriverDesc", "Quenmar T58"));
    EXPECT_STREQ("0001", MatchedKeyName);
}

TEST_F(FindByValue, LooksAtTheFirstHundredValuesOnly)
{
    /* Names that sort before "DriverDesc" put it at index 99 or 100. */
    for (int i = 0; i < 100; i++) {
        char name[8];
        snprintf(name, sizeof name, "A%03d", i);
        planter.Value(HKEY_LOCAL_MACHINE, Tree("Late\\0000"), name, "x");
        if (i < 99)
            planter.Value(HKEY_LOCAL_MACHINE, Tree("Last\\0000"), name, "x");
    }
    planter.Value(HKEY_LOCAL_MACHINE, Tree("Late\\0000"), "DriverDesc", "Quenmar T58");
    planter.Value(HKEY_LOCAL_MACHINE, Tree("Last\\0000"), "DriverDesc", "Quenmar T58");
    HKEY late, last;
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, Tree("Late").c_str(), 0, KEY_ALL_ACCESS, &late));
    ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, Tree("Last").c_str(), 0, KEY_ALL_ACCESS, &last));

    EXPECT_EQ(0, FindKeyByValue(late, "DriverDesc", "Quenmar T58"));
    EXPECT_EQ(1, FindKeyByValue(last, "DriverDesc", "Quenmar T58"));
    RegCloseKey(late);
    RegCloseKey(last);
}

TEST_F(FindByValue, ReturnsMatchesInEnumerationOrderAndKeepsTheLastName)
{
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0009"), "DriverDesc", "Quenmar T58");
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0002"), "DriverDesc", "Quenmar T58");
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0000"), "DriverDesc", "Quenmar T58 Series");
    OpenParent();

    ASSERT_EQ(1, FindKeyByValue(parent, "DriverDesc", "Quenmar T58"));
    EXPECT_STREQ("0002", MatchedKeyName);
    ASSERT_EQ(1, FindKeyByValue(parent, "DriverDesc", "Quenmar T58"));
    EXPECT_STREQ("0002", MatchedKeyName);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, Tree("0002").c_str()));
    ASSERT_EQ(1, FindKeyByValue(parent, "DriverDesc", "Quenmar T58"));
    EXPECT_STREQ("0009", MatchedKeyName);
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteKeyA(HKEY_LOCAL_MACHINE, Tree("0009").c_str()));
    EXPECT_EQ(0, FindKeyByValue(parent, "DriverDesc", "Quenmar T58"));
    EXPECT_STREQ("0009", MatchedKeyName);
}

TEST_F(FindByValue, NullParentAndDefaultValueNeverMatch)
{
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0000"), "", "Quenmar T58");
    OpenParent();
    strcpy(MatchedKeyName, "before");

    EXPECT_EQ(0, FindKeyByValue(NULL, "DriverDesc", "Quenmar T58"));
    EXPECT_EQ(0, FindKeyByValue(parent, "", "Quenmar T58"));
    EXPECT_STREQ("before", MatchedKeyName);
}

TEST_F(FindByValue, DataMustFitIn255Bytes)
{
    std::string fits(254, 'Q'), tooLong(255, 'Q');
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0000"), "DriverDesc", fits);
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0001"), "DriverDesc", tooLong);
    OpenParent();

    ASSERT_EQ(1, FindKeyByValue(parent, "DriverDesc", fits.c_str()));
    EXPECT_STREQ("0000", MatchedKeyName);
    EXPECT_EQ(0, FindKeyByValue(parent, "DriverDesc", tooLong.c_str()));
}

/* Data is matched as one whole string: with or without its terminator, but
 * not when a second string follows a zero. */
TEST_F(FindByValue, MatchesTheWholeStringOnly)
{
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0000"), "DriverDesc", std::string("Quenmar T58\0Other", 17),
                  REG_MULTI_SZ);
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0001"), "DriverDesc", "Quenmar T58", REG_SZ, false);
    OpenParent();

    ASSERT_EQ(1, FindKeyByValue(parent, "DriverDesc", "Quenmar T58"));
    EXPECT_STREQ("0001", MatchedKeyName);
}

/* A subkey that cannot be opened, and a value name too long for the name
 * buffer, do not stop the search. */
TEST_F(FindByValue, SkipsWhatCannotBeRead)
{
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0000"), "DriverDesc", "Quenmar T58");
    planter.Lock(HKEY_LOCAL_MACHINE, Tree("0000"), LockDeleteOnlyOwnedBySystem);
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0001"), std::string(300, 'A'), "x");
    planter.Value(HKEY_LOCAL_MACHINE, Tree("0001"), "DriverDesc", "Quenmar T58");
    OpenParent();

    ASSERT_EQ(1, FindKeyByValue(parent, "DriverDesc", "Quenmar T58"));
    EXPECT_STREQ("0001", MatchedKeyName);
}
