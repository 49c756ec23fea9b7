// The quillory-merge command line, run as a program: exit statuses, whole-file and entries-file
// merges read back with --list, folders in name order, the JSON report.

#include "../spreadsheet/EnginePackages.h"
#include "support/TempDir.h"

#include <array>
#include <cstdio>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace quillory::testing {
namespace {

struct ToolRun {
    int status = -1;
    std::string output; // stdout and stderr together
};

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

ToolRun Merge(const std::vector<std::string>& arguments) {
    std::string command = Quote(std::string(QUILLORY_BINARY_DIR) + "/src/quillory-merge");
    for (const auto& argument : arguments) {
        command += " " + Quote(argument);
    }
    command += " 2>&1";
    ToolRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return run;
    }
    std::array<char, 4096> buffer{};
    std::size_t n = 0;
    while ((n = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), n);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::filesystem::path Book(const TempDir& dir, const std::string& name,
                           const std::vector<std::string>& sheets) {
    MiniWorkbook book;
    for (const auto& sheet : sheets) {
        book.sheets.emplace_back(sheet);
    }
    const auto file = dir / name;
    std::filesystem::create_directories(file.parent_path());
    BuildPackage(book).write(file);
    return file;
}

// The worksheets of a workbook as the tool lists them, one a line.
std::string Listed(const std::filesystem::path& file) {
    return Merge({"--list", file.string()}).output;
}

TEST(QuilloryMergeUsage, WrongCommandLinesExitWithTwo) {
    EXPECT_EQ(Merge({}).status, 2);
    EXPECT_EQ(Merge({"book.xlsx"}).status, 2) << "no -o";
    EXPECT_EQ(Merge({"-o", "out.xlsx"}).status, 2) << "nothing to merge";
    EXPECT_EQ(Merge({"-o", "out.xlsx", "--entries", "e.tsv", "book.xlsx"}).status, 2);
    EXPECT_EQ(Merge({"--frobnicate"}).status, 2);
    const ToolRun help = Merge({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.output.find("--entries"), std::string::npos);
}

TEST(QuilloryMergeRun, WorkbooksAndFoldersInOrder) {
    TempDir dir;
    const auto single = Book(dir, "single.xlsx", {"Solo"});
    Book(dir, "folder/b.xlsx", {"B1"});
    Book(dir, "folder/a.xlsx", {"A1", "A2"});
    dir.write("folder/.~lock.a.xlsx#", "lock");
    const auto out = dir / "out.xlsx";
    const auto report = dir / "report.json";
    const ToolRun run = Merge({"-o", out.string(), "--report", report.string(), single.string(),
                               (dir / "folder").string(), single.string()});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(Listed(out), "Solo\nA1\nA2\nB1\nSolo (2)\n");
    // The notes as the window's details give them; the JSON report keeps one item per sheet.
    EXPECT_EQ(run.output, "single.xlsx\n  Renamed:\n  - Solo renamed to Solo (2), as the result "
                          "already had a sheet of that name.\n");
    const std::string json = readFile(report);
    EXPECT_NE(json.find("\"succeeded\": true"), std::string::npos);
    EXPECT_NE(json.find("\"kind\": \"sheet-renamed\""), std::string::npos);
    EXPECT_NE(json.find("\"resultSheet\": \"Solo (2)\""), std::string::npos);
}

TEST(QuilloryMergeRun, EntriesFileAndFailures) {
    TempDir dir;
    Book(dir, "src/x.xlsx", {"Keep", "Skip"});
    dir.write("src/entries.tsv", "# merge list\r\nx.xlsx\tKeep\r\n\r\n");
    const auto out = dir / "out.xlsx";
    const ToolRun run =
        Merge({"-q", "-o", out.string(), "--entries", (dir / "src/entries.tsv").string()});
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "") << "quiet";
    EXPECT_EQ(Listed(out), "Keep\n");

    // A worksheet the workbook does not hold fails the whole merge and leaves no result.
    dir.write("src/bad.tsv", "x.xlsx\tKeep\nx.xlsx\tGone\n");
    const auto failed = dir / "failed.xlsx";
    const auto report = dir / "failed.json";
    const ToolRun bad = Merge({"-o", failed.string(), "--report", report.string(), "--entries",
                               (dir / "src/bad.tsv").string()});
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.output.find("Gone"), std::string::npos) << bad.output;
    EXPECT_FALSE(std::filesystem::exists(failed));
    EXPECT_NE(readFile(report).find("\"succeeded\": false"), std::string::npos);

    dir.write("src/notab.tsv", "x.xlsx Keep\n");
    EXPECT_EQ(Merge({"-o", failed.string(), "--entries", (dir / "src/notab.tsv").string()}).status,
              2);
    // The result never replaces a workbook being merged.
    const auto source = dir / "src/x.xlsx";
    const std::string before = readFile(source);
    EXPECT_EQ(Merge({"-o", source.string(), source.string()}).status, 2);
    EXPECT_EQ(readFile(source), before);
    const ToolRun missing = Merge({"--list", (dir / "none.xlsx").string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.output.find("'none.xlsx' does not exist"), std::string::npos);
}

} // namespace
} // namespace quillory::testing
