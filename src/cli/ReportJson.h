#pragma once
// The merge report as JSON, for scripts that run quillory-merge.

#include "merge/MergeSheets.h"

#include <filesystem>
#include <string>

namespace quillory::cli {

std::string ReportJson(const merge::MergeOutcome& outcome, const std::filesystem::path& output,
                       bool succeeded);

// Text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

} // namespace quillory::cli
