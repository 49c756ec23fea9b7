#include "spreadsheet/ooxml/SourcePackage.h"

#include "spreadsheet/ooxml/InputDetection.h"
#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/PackageError.h"

#include <charconv>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kContentTypesPart = "[Content_Types].xml";
constexpr std::string_view kDefaultWorkbookPart = "xl/workbook.xml";

bool IsTrue(const std::string* value) {
    return value != nullptr && (*value == "1" || *value == "true" || *value == "on");
}

std::optional<int> ParseInt(const std::string* value) {
    if (value == nullptr) {
        return std::nullopt;
    }
    int number = 0;
    const auto [end, ec] = std::from_chars(value->data(), value->data() + value->size(), number);
    if (ec != std::errc() || end != value->data() + value->size()) {
        return std::nullopt;
    }
    return number;
}

SheetKind KindOf(std::string_view relationshipKind, std::string_view contentType) {
    if (contentType == content_type::kMacrosheet || contentType == content_type::kIntlMacrosheet ||
        relationshipKind == "xlMacrosheet" || relationshipKind == "xlIntlMacrosheet") {
        return SheetKind::MacroSheet;
    }
    if (contentType == content_type::kChartsheet || relationshipKind == "chartsheet") {
        return SheetKind::ChartSheet;
    }
    if (contentType == content_type::kDialogsheet || relationshipKind == "dialogsheet") {
        return SheetKind::DialogSheet;
    }
    return SheetKind::Worksheet;
}

} // namespace

std::string TransitionalXml(std::string xml) {
    std::size_t at = 0;
    while ((at = xml.find(kStrictNamespacePrefix, at)) != std::string::npos) {
        const auto end = xml.find_first_of("\"'", at);
        if (end == std::string::npos) {
            break;
        }
        const std::string mapped = TransitionalUri(std::string_view(xml).substr(at, end - at));
        xml.replace(at, end - at, mapped);
        at += mapped.size();
    }
    return xml;
}

std::string TransitionalUri(std::string_view uri) {
    if (uri.substr(0, kStrictNamespacePrefix.size()) != kStrictNamespacePrefix) {
        return std::string(uri);
    }
    std::string_view rest = uri.substr(kStrictNamespacePrefix.size());
    struct Special {
        std::string_view strict;
        std::string_view transitional;
    };
    static constexpr Special kSpecial[] = {
        {"officeDocument/extendedProperties",
         "http://schemas.openxmlformats.org/officeDocument/2006/extended-properties"},
        {"officeDocument/customProperties",
         "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties"},
    };
    for (const auto& special : kSpecial) {
        if (rest == special.strict) {
            return std::string(special.transitional);
        }
    }
    // "<area>/<name>[/more]" -> "http://schemas.openxmlformats.org/<area>/2006/<name>[/more]"
    const auto slash = rest.find('/');
    if (slash == std::string_view::npos) {
        return std::string(uri);
    }
    return "http://schemas.openxmlformats.org/" + std::string(rest.substr(0, slash)) + "/2006/" +
           std::string(rest.substr(slash + 1));
}

std::shared_ptr<SourcePackage> SourcePackage::OpenFile(const std::filesystem::path& path,
                                                       std::string displayName) {
    std::shared_ptr<SourcePackage> package(new SourcePackage());
    package->displayName_ = displayName.empty() ? path.filename().string() : std::move(displayName);
    std::error_code ec;
    const auto canonical = std::filesystem::weakly_canonical(path, ec);
    package->identity_ = ec ? path.string() : canonical.string();
    const FileFormat format = DetectFileFormat(path, package->displayName_);
    RequireZipPackage(format, package->displayName_);
    try {
        package->zip_ = ZipReader::OpenFile(path, package->displayName_);
    } catch (const SpreadsheetError& error) {
        if (error.code() == ErrorCode::NotAZip) {
            // It starts like a zip but has no directory: the end of the file is missing.
            ThrowError(ErrorCode::TruncatedPackage,
                       QuotedFile(package->displayName_) +
                           " is incomplete: the file ends before its zip directory; it may have "
                           "been cut short while being copied or downloaded.");
        }
        throw;
    }
    package->load();
    return package;
}

std::shared_ptr<SourcePackage> SourcePackage::OpenBytes(std::string bytes,
                                                        std::string displayName) {
    std::shared_ptr<SourcePackage> package(new SourcePackage());
    package->displayName_ = displayName;
    package->identity_ = "memory:" + displayName;
    const FileFormat format = DetectFormat(bytes);
    RequireZipPackage(format, displayName);
    try {
        package->zip_ = ZipReader::OpenBytes(std::move(bytes), displayName);
    } catch (const SpreadsheetError& error) {
        if (error.code() == ErrorCode::NotAZip) {
            ThrowError(ErrorCode::TruncatedPackage,
                       QuotedFile(displayName) + " is incomplete: the file ends before its zip "
                                                 "directory.");
        }
        throw;
    }
    package->load();
    return package;
}

void SourcePackage::load() {
    const std::string file = QuotedFile(displayName_);
    if (!zip_->contains(kContentTypesPart)) {
        if (zip_->contains("mimetype") && zip_->contains("content.xml")) {
            ThrowError(ErrorCode::NotAWorkbook,
                       file + " is an OpenDocument file (.ods), not an .xlsx workbook; save it "
                              "as an .xlsx workbook and try again.");
        }
        ThrowError(ErrorCode::NotAWorkbook,
                   file + " is a zip archive but not a workbook: it has no list of content "
                          "types.");
    }
    contentTypes_ = ContentTypes::Parse(readPart(kContentTypesPart), displayName_);

    const Relationships packageRels = relationshipsOf("");
    const Relationship* office = packageRels.firstOfKind("officeDocument");
    workbookPart_ = office != nullptr ? office->partName : std::string(kDefaultWorkbookPart);
    if (!zip_->contains(workbookPart_)) {
        ThrowError(ErrorCode::NotAWorkbook,
                   file + " is not a workbook: it has no workbook part (" + workbookPart_ + ").");
    }
    const std::string type = contentTypes_.typeOf(workbookPart_);
    if (type == content_type::kBinaryWorkbook || workbookPart_.ends_with(".bin")) {
        ThrowError(ErrorCode::BinaryWorkbook,
                   file + " is an Excel binary workbook (.xlsb), which this reader does not "
                          "take; save it as an .xlsx workbook and try again.");
    }
    if (type.find("wordprocessingml") != std::string::npos ||
        type.find("presentationml") != std::string::npos) {
        ThrowError(ErrorCode::NotAWorkbook,
                   file + " is a text document or a presentation, not a spreadsheet workbook.");
    }
    workbookRels_ = relationshipsOf(workbookPart_);
    readWorkbook();
}

void SourcePackage::readWorkbook() {
    const XmlNode root = ParseXmlTree(readPart(workbookPart_), displayName_, workbookPart_);
    if (root.localName() != "workbook") {
        ThrowDamaged(ErrorCode::NotAWorkbook, displayName_, workbookPart_,
                     "the workbook part holds something else");
    }
    for (const auto& [key, value] : root.attributes) {
        if ((key == "xmlns" || key.starts_with("xmlns:")) &&
            value.starts_with(kStrictNamespacePrefix)) {
            strict_ = true;
        }
    }
    if (root.attributeOr("conformance", "") == "strict") {
        strict_ = true;
    }
    if (const XmlNode* properties = root.child("workbookPr")) {
        date1904_ = IsTrue(properties->attribute("date1904"));
    }
    if (const XmlNode* views = root.child("bookViews")) {
        if (const XmlNode* view = views->child("workbookView")) {
            activeTab_ = ParseInt(view->attribute("activeTab")).value_or(0);
        }
    }
    const XmlNode* sheets = root.child("sheets");
    if (sheets == nullptr) {
        ThrowDamaged(ErrorCode::NotAWorkbook, displayName_, workbookPart_,
                     "the workbook lists no sheets");
    }
    int position = 0;
    for (const XmlNode* node : sheets->childrenNamed("sheet")) {
        SourceSheet sheet;
        sheet.name = node->attributeOr("name", "");
        sheet.position = position++;
        const std::string relId = node->attributeOr("id", "");
        const Relationship* rel = workbookRels_.byId(relId);
        if (rel == nullptr || rel->external) {
            ThrowDamaged(ErrorCode::MissingPart, displayName_, workbookPart_,
                         "the sheet '" + sheet.name + "' names no part of the package");
        }
        if (!zip_->contains(rel->partName)) {
            ThrowError(ErrorCode::MissingPart, QuotedFile(displayName_) + " is damaged: the part " +
                                                   rel->partName + " of the sheet '" + sheet.name +
                                                   "' is missing.");
        }
        sheet.partName = rel->partName;
        sheet.kind = KindOf(RelationshipKind(rel->type), contentTypes_.typeOf(sheet.partName));
        const std::string state = node->attributeOr("state", "visible");
        sheet.visibility = state == "hidden"       ? SheetVisibility::Hidden
                           : state == "veryHidden" ? SheetVisibility::VeryHidden
                                                   : SheetVisibility::Visible;
        sheets_.push_back(std::move(sheet));
    }
    if (const XmlNode* names = root.child("definedNames")) {
        for (const XmlNode* node : names->childrenNamed("definedName")) {
            SourceDefinedName name;
            name.name = node->attributeOr("name", "");
            name.localSheetId = ParseInt(node->attribute("localSheetId"));
            name.formula = node->textContent();
            name.node = *node;
            definedNames_.push_back(std::move(name));
        }
    }
}

std::optional<std::string> SourcePackage::workbookPart(std::string_view relationshipKind) const {
    const Relationship* rel = workbookRels_.firstOfKind(relationshipKind);
    if (rel == nullptr || rel->external || !zip_->contains(rel->partName)) {
        return std::nullopt;
    }
    return rel->partName;
}

std::string SourcePackage::readPart(std::string_view partName) const {
    return zip_->readWhole(partName, kMaxWholePartBytes);
}

std::string SourcePackage::readTransitionalPart(std::string_view partName) const {
    std::string xml = readPart(partName);
    return strict_ ? TransitionalXml(std::move(xml)) : xml;
}

Relationships SourcePackage::relationshipsOf(std::string_view partName) const {
    const std::string relsPart = RelationshipsPartFor(partName);
    if (!zip_->contains(relsPart)) {
        return {};
    }
    return Relationships::Parse(readPart(relsPart), partName, displayName_);
}

} // namespace quillory::spreadsheet::ooxml
