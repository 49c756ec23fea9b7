#include "cli/CommandLine.h"

#include "browsing/WorkbookListing.h"

#include <fstream>

namespace quillory::cli {

Options ParseArguments(const std::vector<std::string>& arguments) {
    Options options;
    bool listing = false;
    const auto valueOf = [&](std::size_t& i, const std::string& option) -> const std::string& {
        if (i + 1 >= arguments.size()) {
            throw UsageError(option + " needs a value");
        }
        return arguments[++i];
    };
    bool onlyPaths = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (onlyPaths || argument.empty() || argument[0] != '-' || argument == "-") {
            options.paths.push_back(argument);
        } else if (argument == "--") {
            onlyPaths = true;
        } else if (argument == "-o" || argument == "--output") {
            options.output = valueOf(i, argument);
        } else if (argument == "--entries") {
            options.entriesFile = valueOf(i, argument);
        } else if (argument == "--report") {
            options.reportFile = valueOf(i, argument);
        } else if (argument == "--list") {
            listing = true;
            options.paths.push_back(valueOf(i, argument));
        } else if (argument == "-q" || argument == "--quiet") {
            options.quiet = true;
        } else if (argument == "-h" || argument == "--help") {
            options.mode = Options::Mode::Help;
            return options;
        } else if (argument == "--version") {
            options.mode = Options::Mode::Version;
            return options;
        } else {
            throw UsageError("unknown option " + argument);
        }
    }
    if (listing) {
        if (!options.output.empty() || !options.entriesFile.empty() || options.paths.size() != 1) {
            throw UsageError("--list takes one workbook and no other option");
        }
        options.mode = Options::Mode::List;
        return options;
    }
    if (options.output.empty()) {
        throw UsageError("the result file is missing (-o OUT.xlsx)");
    }
    if (options.entriesFile.empty() == options.paths.empty()) {
        throw UsageError(options.paths.empty()
                             ? "nothing to merge: give workbooks, folders or --entries FILE"
                             : "give either workbooks and folders or --entries FILE, not both");
    }
    return options;
}

std::vector<MergeEntry> ReadEntriesFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        throw UsageError("the entries file " + file.string() + " cannot be read");
    }
    const std::filesystem::path folder = file.parent_path();
    std::vector<MergeEntry> entries;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            throw UsageError("line " + std::to_string(number) + " of " + file.string() +
                             " has no TAB between the workbook and the worksheet");
        }
        std::filesystem::path path = line.substr(0, tab);
        if (path.is_relative()) {
            path = folder / path;
        }
        entries.push_back({path.string(), line.substr(tab + 1)});
    }
    return entries;
}

std::vector<std::filesystem::path> WorkbooksOf(const std::string& path) {
    std::error_code ec;
    if (!std::filesystem::is_directory(path, ec)) {
        return {std::filesystem::path(path)};
    }
    std::vector<std::filesystem::path> files;
    for (const auto& name : browsing::WorkbookFilesIn(path)) {
        files.push_back(std::filesystem::path(path) / name);
    }
    return files;
}

std::string UsageText() {
    return "Usage: quillory-merge -o OUT.xlsx [--report REPORT.json] [-q] PATH...\n"
           "       quillory-merge -o OUT.xlsx [--report REPORT.json] [-q] --entries FILE\n"
           "       quillory-merge --list WORKBOOK\n"
           "\n"
           "Copies worksheets of several workbooks into one new workbook OUT.xlsx.\n"
           "  PATH...          every worksheet of each workbook, in tab order; a folder\n"
           "                   stands for its workbooks in name order\n"
           "  --entries FILE   one entry per line: workbook path, TAB, worksheet name\n"
           "  --list WORKBOOK  print the workbook's worksheet names, one per line\n"
           "  --report FILE    write what the merge could not carry exactly as JSON\n"
           "  -q, --quiet      no progress line\n"
           "Exit status: 0 success, 1 the merge failed, 2 wrong command line.\n";
}

} // namespace quillory::cli
