/* The file phase's name tables: row counts, record widths, unique rows, folders after their
 * contents, and relative names only. */
#include "harness.h"

#include <cstring>
#include <set>

namespace {

struct NameTable {
    const char *name;
    const char *rows;
    unsigned count, width, expectedCount, expectedWidth;
};

#define TABLE(t, count, width) \
    {#t, (const char *)Table##t, Table##t##Rows, sizeof(Table##t[0]), count, width}

/* Every table with the row count and record width the file phase is built for. */
const NameTable Tables[] = {
    TABLE(C1, 10, 27),  TABLE(C2, 5, 25),   TABLE(C3, 13, 13),  TABLE(C4, 8, 18),   TABLE(C5, 465, 31),
    TABLE(C6, 2, 19),   TABLE(C7, 9, 20),   TABLE(C8, 114, 13), TABLE(C9, 8, 21),   TABLE(C10, 10, 13),
    TABLE(N1, 2, 13),   TABLE(N2, 5, 30),   TABLE(N3, 6, 33),   TABLE(N4, 25, 13),  TABLE(N5, 23, 13),
    TABLE(N6, 2, 18),   TABLE(N7, 3, 22),   TABLE(N8, 1, 20),   TABLE(S1, 1, 11),   TABLE(S2, 8, 30),
    TABLE(S3, 1, 30),   TABLE(S4, 40, 13),  TABLE(S5, 26, 13),  TABLE(S6, 1, 18),   TABLE(S7, 3, 24),
    TABLE(ProductShortcut, 1, 16), TABLE(MenuOrderKey, 1, 93), TABLE(VendorKeys, 2, 17),
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

TEST(Tables, CountsAndRecordWidths)
{
    for (const NameTable &table : Tables) {
        EXPECT_EQ(table.expectedCount, table.count) << table.name;
        EXPECT_EQ(table.expectedWidth, table.width) << table.name;
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
