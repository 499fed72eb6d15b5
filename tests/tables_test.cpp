/* The file phase's name tables: no empty or unended rows, unique rows, folders after their
 * contents, and relative names only. */
#include "harness.h"

#include <cstring>
#include <set>

namespace {

struct NameTable {
    const char *name;
    const char *rows;
    unsigned count, width;
};

#define TABLE(t) {#t, (const char *)Table##t, ARRAY_SIZE(Table##t), sizeof(Table##t[0])}

/* Every table of the file phase. */
const NameTable Tables[] = {
    TABLE(C1), TABLE(C2), TABLE(C3), TABLE(C4), TABLE(C5), TABLE(C6), TABLE(C7), TABLE(C8), TABLE(C9), TABLE(C10),
    TABLE(N1), TABLE(N2), TABLE(N3), TABLE(N4), TABLE(N5), TABLE(N6), TABLE(N7), TABLE(N8),
    TABLE(S1), TABLE(S2), TABLE(S3), TABLE(S4), TABLE(S5), TABLE(S6), TABLE(S7),
    TABLE(ProductShortcut), TABLE(MenuOrderKey), TABLE(VendorKeys),
};

/* Rows as the program fetches them. */
std::vector<std::string> RowsOf(const NameTable &table)
{
    std::vector<std::string> rows;
    char buffer[256];
    for (unsigned i = 0; i < table.count; i++) {
        CopySubstring(buffer, table.rows, i * table.width, table.width);
        rows.push_back(buffer);
    }
    return rows;
}

std::string Lower(std::string text)
{
    for (char &c : text) c = (char)tolower((unsigned char)c);
    return text;
}

std::vector<std::string> RowsNamed(const char *name)
{
    for (const NameTable &table : Tables)
        if (strcmp(table.name, name) == 0) return RowsOf(table);
    ADD_FAILURE() << "no table " << name;
    return {};
}

/* The row itself when the table holds it, else a message saying it does not. */
std::string RowOf(const char *table, const std::string &wanted)
{
    for (const std::string &row : RowsNamed(table))
        if (row == wanted) return row;
    return std::string(table) + " lacks " + wanted;
}

}  // namespace

TEST(Tables, EveryRowIsANameEndedInItsRecord)
{
    for (const NameTable &table : Tables) {
        for (unsigned i = 0; i < table.count; i++) {
            const char *record = table.rows + i * table.width;
            size_t length = strnlen(record, table.width);
            EXPECT_LT(length, table.width) << table.name << " row " << i << " has no terminator";
            EXPECT_GT(length, 0u) << table.name << " row " << i << " is empty";
        }
    }
}

TEST(Tables, RowsAreUniqueRelativeNames)
{
    for (const NameTable &table : Tables) {
        std::set<std::string> seen;
        for (const std::string &row : RowsOf(table)) {
            EXPECT_TRUE(seen.insert(Lower(row)).second) << table.name << " repeats " << row;
            EXPECT_EQ(std::string::npos, row.find(':')) << table.name << " " << row;
            EXPECT_NE('\\', row.front()) << table.name << " " << row;
            EXPECT_NE('\\', row.back()) << table.name << " " << row;
            EXPECT_EQ(std::string::npos, row.find("\\\\")) << table.name << " " << row;
            EXPECT_EQ(std::string::npos, row.find("..")) << table.name << " " << row;
            EXPECT_EQ(std::string::npos, row.find_first_of("*?\"<>|")) << table.name << " " << row;
        }
    }
}

TEST(Tables, FoldersComeAfterTheirContents)
{
    for (const NameTable &table : Tables) {
        std::vector<std::string> rows = RowsOf(table);
        for (size_t folder = 0; folder < rows.size(); folder++) {
            std::string prefix = Lower(rows[folder]) + "\\";
            for (size_t inner = folder + 1; inner < rows.size(); inner++)
                EXPECT_NE(0u, Lower(rows[inner]).rfind(prefix, 0))
                    << table.name << ": " << rows[inner] << " comes after its folder " << rows[folder];
        }
    }
}

TEST(Tables, NamesThatOtherPartsOfTheProgramRelyOn)
{
    EXPECT_EQ("REZevavav_T58.exe", RowOf("C5", "REZevavav_T58.exe"));
    EXPECT_EQ("REZevavav_T58.exe", RowOf("C7", "REZevavav_T58.exe"));
    EXPECT_EQ("Rudorid55.exe", RowOf("C5", "Rudorid55.exe"));
    EXPECT_EQ("Sprint\\Sprint.exe", RowOf("C5", "Sprint\\Sprint.exe"));
    EXPECT_EQ("QnmBceS.exe", RowOf("C10", "QnmBceS.exe"));
    EXPECT_EQ("QnmBceS.exe", RowOf("N5", "QnmBceS.exe"));
    EXPECT_EQ("inf\\QMTR.INF", RowOf("N2", "inf\\QMTR.INF"));
    EXPECT_EQ("Quenmar T58.AD2", RowOf("N3", "Quenmar T58.AD2"));
    EXPECT_EQ("Quenmar\\T58", RowsNamed("C1").back());
    EXPECT_EQ((std::vector<std::string>{"Quenmar T58.lnk"}), RowsNamed("ProductShortcut"));
    EXPECT_EQ((std::vector<std::string>{
                  "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\MenuOrder\\Start Menu\\Programs\\Quenmar T58"}),
              RowsNamed("MenuOrderKey"));
    EXPECT_EQ((std::vector<std::string>{"Software\\ZedUrar", "Software\\ZudAdov"}), RowsNamed("VendorKeys"));
    for (const char *table : {"C3", "N1"})
        for (const std::string &row : RowsNamed(table))
            EXPECT_TRUE(row.rfind("QMK_", 0) == 0 && row.substr(row.size() - 4) == ".WAV") << table << " " << row;
}
