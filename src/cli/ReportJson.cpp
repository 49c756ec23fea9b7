#include "cli/ReportJson.h"

#include <cstdio>

namespace quillory::cli {

namespace {

const char* KindName(spreadsheet::ReportKind kind) {
    using spreadsheet::ReportKind;
    switch (kind) {
    case ReportKind::SheetRenamed:
        return "sheet-renamed";
    case ReportKind::FormulaAsValue:
        return "formula-as-value";
    case ReportKind::NameChanged:
        return "name-changed";
    case ReportKind::PartNotCarried:
        return "not-carried";
    case ReportKind::MayLookDifferent:
        return "may-look-different";
    case ReportKind::Converted:
        return "converted";
    case ReportKind::Adjusted:
        return "adjusted";
    }
    return "other";
}

} // namespace

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

std::string ReportJson(const merge::MergeOutcome& outcome, const std::filesystem::path& output,
                       bool succeeded) {
    std::string json = "{\n  \"output\": " + JsonString(output.string()) +
                       ",\n  \"succeeded\": " + (succeeded ? "true" : "false");
    if (!succeeded) {
        json += ",\n  \"failure\": {\"number\": " + std::to_string(outcome.failureNumber) +
                ", \"description\": " + JsonString(outcome.failure) + "}";
    }
    json += ",\n  \"items\": [";
    bool first = true;
    for (const auto& item : outcome.report.items) {
        json += first ? "\n" : ",\n";
        first = false;
        json += "    {\"kind\": " + JsonString(KindName(item.kind)) +
                ", \"sourceFile\": " + JsonString(item.sourceFile) +
                ", \"sourceSheet\": " + JsonString(item.sourceSheet) +
                ", \"resultSheet\": " + JsonString(item.resultSheet) +
                ", \"message\": " + JsonString(item.message) + "}";
    }
    json += first ? "]\n}\n" : "\n  ]\n}\n";
    return json;
}

} // namespace quillory::cli
