#include "spreadsheet/ooxml/objects/PartGraph.h"

#include "spreadsheet/ooxml/Limits.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipReader.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <array>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::string_view kGenericFolder = "xl/parts/";
constexpr std::string_view kGenericStem = "part";
// Bytes enough to recognise a picture format by its signature.
constexpr std::size_t kSniffBytes = 16;

struct NameRule {
    std::string_view kind;
    std::string_view folder;
    std::string_view stem;
};

// Result names of the kinds Excel itself names; other kinds keep their source folder and stem.
constexpr NameRule kNameRules[] = {
    {"drawing", "xl/drawings/", "drawing"},
    {"chartUserShapes", "xl/drawings/", "drawing"},
    {"vmlDrawing", "xl/drawings/", "vmlDrawing"},
    {"chart", "xl/charts/", "chart"},
    {"chartEx", "xl/charts/", "chartEx"},
    {"chartStyle", "xl/charts/", "style"},
    {"chartColorStyle", "xl/charts/", "colors"},
    {"image", "xl/media/", "image"},
    {"comments", "xl/", "comments"},
    {"threadedComment", "xl/threadedComments/", "threadedComment"},
    {"ctrlProp", "xl/ctrlProps/", "ctrlProp"},
    {"control", "xl/activeX/", "activeX"},
    {"activeXControlBinary", "xl/activeX/", "activeX"},
    {"themeOverride", "xl/theme/", "themeOverride"},
    {"diagramData", "xl/diagrams/", "data"},
    {"diagramLayout", "xl/diagrams/", "layout"},
    {"diagramQuickStyle", "xl/diagrams/", "quickStyle"},
    {"diagramColors", "xl/diagrams/", "colors"},
    {"diagramDrawing", "xl/diagrams/", "drawing"},
};

// Families of names the workbook writer hands out itself.
constexpr std::string_view kWriterFamilies[] = {"xl/worksheets/sheet", "xl/tables/table",
                                                "xl/printerSettings/printerSettings",
                                                "xl/theme/theme"};

// Parts that belong to the workbook, never to one sheet's graph.
constexpr std::string_view kWorkbookLevelKinds[] = {"officeDocument",
                                                    "worksheet",
                                                    "chartsheet",
                                                    "dialogsheet",
                                                    "xlMacrosheet",
                                                    "styles",
                                                    "theme",
                                                    "sharedStrings",
                                                    "calcChain",
                                                    "externalLink",
                                                    "pivotCacheDefinition",
                                                    "pivotCacheRecords",
                                                    "slicerCache",
                                                    "timelineCache",
                                                    "person",
                                                    "connections",
                                                    "sheetMetadata",
                                                    "vbaProject",
                                                    "customXml",
                                                    "pivotTable"};

struct ImageFormat {
    std::string_view type;
    std::string_view extension;
};
constexpr ImageFormat kImageFormats[] = {
    {"image/png", "png"},   {"image/jpeg", "jpeg"},   {"image/gif", "gif"},
    {"image/bmp", "bmp"},   {"image/tiff", "tiff"},   {"image/x-emf", "emf"},
    {"image/x-wmf", "wmf"}, {"image/svg+xml", "svg"}, {"image/x-icon", "ico"},
    {"image/webp", "webp"},
};

std::string_view Extension(std::string_view partName) {
    const std::string_view file = partName.substr(PartFolder(partName).size());
    const auto dot = file.rfind('.');
    return dot == std::string_view::npos ? std::string_view() : file.substr(dot + 1);
}

std::string_view Stem(std::string_view partName) {
    std::string_view file = partName.substr(PartFolder(partName).size());
    if (const auto dot = file.rfind('.'); dot != std::string_view::npos) {
        file = file.substr(0, dot);
    }
    while (!file.empty() && file.back() >= '0' && file.back() <= '9') {
        file.remove_suffix(1);
    }
    return file;
}

bool IsXmlType(std::string_view type, std::string_view extension) {
    const std::string ext = FoldPartName(extension);
    return type.ends_with("+xml") || type.ends_with("/xml") || type.ends_with(".vmlDrawing") ||
           ext == "xml" || ext == "vml";
}

bool IsReadableXml(const SourcePackage& source, const std::string& part) {
    try {
        ParseNamespacedXmlTree(source.readPart(part), source.displayName(), part);
        return true;
    } catch (const SpreadsheetError&) {
        return false;
    }
}

// The picture format of some bytes, from the signature; empty when not recognised.
std::string_view SniffImageType(std::string_view bytes) {
    const auto startsWith = [&](std::string_view signature) {
        return bytes.starts_with(signature);
    };
    if (startsWith("\x89PNG\r\n\x1a\n")) {
        return "image/png";
    }
    if (startsWith("\xff\xd8\xff")) {
        return "image/jpeg";
    }
    if (startsWith("GIF87a") || startsWith("GIF89a")) {
        return "image/gif";
    }
    if (startsWith("BM")) {
        return "image/bmp";
    }
    if (startsWith(std::string_view("II*\0", 4)) || startsWith(std::string_view("MM\0*", 4))) {
        return "image/tiff";
    }
    if (bytes.size() >= 44 && bytes.substr(40, 4) == " EMF") {
        return "image/x-emf";
    }
    if (startsWith("\xd7\xcd\xc6\x9a")) {
        return "image/x-wmf";
    }
    return {};
}

std::string_view ImageExtensionFor(std::string_view type) {
    for (const auto& format : kImageFormats) {
        if (type == format.type) {
            return format.extension;
        }
    }
    return {};
}

std::string UserLabel(std::string_view kind) {
    static const std::map<std::string_view, std::string_view> kLabels = {
        {"drawing", "a drawing"},
        {"chart", "a chart"},
        {"chartEx", "a chart"},
        {"image", "a picture"},
        {"chartStyle", "a chart style"},
        {"chartColorStyle", "chart colours"},
        {"chartUserShapes", "shapes drawn on a chart"},
        {"vmlDrawing", "shapes of notes or controls"},
        {"comments", "notes"},
        {"threadedComment", "threaded comments"},
        {"ctrlProp", "a form control"},
        {"control", "an ActiveX control"},
        {"activeXControlBinary", "an ActiveX control's state"},
        {"oleObject", "an embedded object"},
        {"package", "an embedded object"},
    };
    const auto found = kLabels.find(kind);
    return found != kLabels.end() ? std::string(found->second)
                                  : "a part of kind '" + std::string(kind) + "'";
}

} // namespace

LocationRewrite RewriteLocationTarget(std::string_view target, const FormulaContext& formulas) {
    LocationRewrite result{std::string(target), true};
    if (!target.starts_with('#') || target.size() == 1) {
        return result;
    }
    const FormulaRewrite rewrite = RewriteFormula(target.substr(1), formulas);
    if (!rewrite.computable) {
        result.computable = false;
    } else if (rewrite.changed) {
        result.target = "#" + rewrite.text;
    }
    return result;
}

struct PartGraph::Impl {
    struct PlannedPart {
        const SourcePackage* source = nullptr;
        int copyIndex = 0;
        std::string sourcePart; // as stored in the source zip
        std::string resultPart;
        std::string contentType;
        std::string kind;
        bool raw = false;    // copied still compressed
        bool shared = false; // media already written by an earlier part with the same bytes
        std::vector<Relationship> sourceRelationships;
        std::vector<Relationship> resultRelationships;
    };
    struct CopyPlan {
        std::vector<std::size_t> parts;
        std::map<std::string, std::size_t> bySourcePart; // folded source part -> planned
        std::vector<std::string> notes;
    };

    std::map<std::string, std::vector<PartRewriter>, std::less<>> kindRewriters;
    std::set<std::string, std::less<>> kinds;
    std::map<std::string, std::vector<PartRewriter>, std::less<>> typeRewriters;
    std::set<std::string> taken;         // folded result names
    std::map<std::string, int> counters; // folder + stem -> last number used
    std::vector<PlannedPart> parts;
    std::map<int, CopyPlan> copies;
    // Media by (CRC, size): candidates for sharing, confirmed by comparing the bytes.
    std::map<std::pair<std::uint32_t, std::uint64_t>, std::vector<std::size_t>> media;
    std::map<std::string, std::string> defaults; // extension -> content type
    std::vector<std::pair<std::string, std::string>> overrides;

    bool hasRewriter(std::string_view kind, std::string_view type) const {
        return kindRewriters.find(kind) != kindRewriters.end() ||
               typeRewriters.find(type) != typeRewriters.end();
    }

    std::string allocate(std::string_view kind, std::string_view sourcePart,
                         std::string_view extension) {
        std::string folder;
        std::string stem;
        for (const auto& rule : kNameRules) {
            if (rule.kind == kind) {
                folder = rule.folder;
                stem = rule.stem;
            }
        }
        if (folder.empty()) {
            folder = PartFolder(sourcePart);
            stem = Stem(sourcePart);
            const std::string family = FoldPartName(folder + stem);
            const bool writers =
                std::any_of(std::begin(kWriterFamilies), std::end(kWriterFamilies),
                            [&](std::string_view f) { return FoldPartName(f) == family; });
            if (!folder.starts_with("xl/") || stem.empty() || writers ||
                folder.find("_rels") != std::string::npos) {
                folder = kGenericFolder;
                stem = kGenericStem;
            }
        }
        int& counter = counters[FoldPartName(folder + stem)];
        std::string name;
        do {
            name = folder + stem + std::to_string(++counter);
            if (!extension.empty()) {
                name += ".";
                name += extension;
            }
        } while (taken.count(FoldPartName(name)) != 0);
        taken.insert(FoldPartName(name));
        return name;
    }

    std::size_t sharedMedia(const SourcePackage& source, const std::string& stored) {
        const ZipEntryInfo info = source.zip().info(stored);
        auto& candidates = media[{info.crc, info.size}];
        std::string bytes;
        bool read = false;
        for (const std::size_t candidate : candidates) {
            const PlannedPart& other = parts[candidate];
            if (other.source == &source && FoldPartName(other.sourcePart) == FoldPartName(stored)) {
                return candidate;
            }
            if (!read) {
                bytes = source.readPart(stored);
                read = true;
            }
            if (other.source->readPart(other.sourcePart) == bytes) {
                return candidate;
            }
        }
        return kNone;
    }

    void rememberMedia(const SourcePackage& source, const std::string& stored, std::size_t index) {
        const ZipEntryInfo info = source.zip().info(stored);
        media[{info.crc, info.size}].push_back(index);
    }

    std::optional<Relationship> planRelationship(const SourcePackage& source, int copyIndex,
                                                 const Relationship& rel,
                                                 std::string_view fromResultPart, int depth,
                                                 CopyPlan& copy) {
        Relationship out = rel;
        out.type = TransitionalUri(rel.type);
        const std::string kind(RelationshipKind(out.type));
        if (rel.external || kind == "hyperlink") {
            return out; // verbatim; internal locations are rewritten when written
        }
        const bool workbookLevel =
            std::find(std::begin(kWorkbookLevelKinds), std::end(kWorkbookLevelKinds), kind) !=
            std::end(kWorkbookLevelKinds);
        if (depth > 0 && workbookLevel) {
            copy.notes.push_back("Not copied: " + UserLabel(kind) +
                                 " that a drawing or chart of the sheet refers to (it belongs "
                                 "to the whole workbook).");
            return std::nullopt;
        }
        if (depth >= kMaxPartGraphDepth) {
            copy.notes.push_back("Not copied: " + UserLabel(kind) +
                                 " nested too deeply below the sheet.");
            return std::nullopt;
        }
        const auto stored = rel.partName.empty() ? std::nullopt : source.zip().find(rel.partName);
        if (!stored) {
            copy.notes.push_back("Not copied: " + UserLabel(kind) + " ('" + rel.target +
                                 "') that the workbook refers to but does not contain.");
            return std::nullopt;
        }
        const std::size_t index = planPart(source, copyIndex, *stored, kind, depth, copy);
        if (index == kNone) {
            return std::nullopt;
        }
        out.target = RelativeTarget(fromResultPart, parts[index].resultPart);
        out.partName = parts[index].resultPart;
        return out;
    }

    std::size_t planPart(const SourcePackage& source, int copyIndex, const std::string& stored,
                         const std::string& kind, int depth, CopyPlan& copy) {
        const std::string key = FoldPartName(stored);
        if (const auto seen = copy.bySourcePart.find(key); seen != copy.bySourcePart.end()) {
            return seen->second;
        }
        std::string type = source.contentTypes().typeOf(stored);
        std::string extension = FoldPartName(Extension(stored));
        const bool picture = kind == "image" || type.starts_with("image/");
        if (picture && (type.empty() || ImageExtensionFor(type).empty())) {
            // Pictures under odd names: their bytes say what they are.
            std::string head;
            source.zip().readChunks(stored, [&](std::string_view chunk) {
                if (head.size() < kSniffBytes * 4) {
                    head.append(chunk.substr(0, kSniffBytes * 4 - head.size()));
                }
            });
            if (const std::string_view sniffed = SniffImageType(head); !sniffed.empty()) {
                type = sniffed;
            }
        }
        if (picture && !ImageExtensionFor(type).empty()) {
            extension = ImageExtensionFor(type);
        }
        if (type.empty()) {
            copy.notes.push_back("Not copied: " + UserLabel(kind) + " ('" + stored +
                                 "') of a kind the workbook does not declare.");
            return kNone;
        }
        // Written as the source has it (no rewriter, or one that only maps theme colours), a
        // damaged XML part would make the whole result unreadable: it is left out instead.
        const bool asStored =
            !hasRewriter(kind, type) || kind == "chartStyle" || kind == "chartColorStyle";
        if (asStored && IsXmlType(type, extension) && !IsReadableXml(source, stored)) {
            copy.notes.push_back("Not copied: " + UserLabel(kind) + " ('" + stored +
                                 "'), which is damaged (not readable XML).");
            return kNone;
        }
        const Relationships rels = source.relationshipsOf(stored);
        const bool isMedia =
            rels.all().empty() && !hasRewriter(kind, type) && !IsXmlType(type, extension);

        PlannedPart part;
        part.source = &source;
        part.copyIndex = copyIndex;
        part.sourcePart = stored;
        part.contentType = type;
        part.kind = kind;
        part.raw = !hasRewriter(kind, type) && !(source.strict() && IsXmlType(type, extension));
        part.sourceRelationships = rels.all();
        if (isMedia) {
            if (const std::size_t same = sharedMedia(source, stored); same != kNone) {
                part.resultPart = parts[same].resultPart;
                part.shared = true;
                parts.push_back(std::move(part));
                copy.bySourcePart[key] = parts.size() - 1;
                copy.parts.push_back(parts.size() - 1);
                return parts.size() - 1;
            }
        }
        part.resultPart = allocate(kind, stored, extension);
        if (isMedia) {
            if (const auto known = defaults.find(extension); known == defaults.end()) {
                defaults[extension] = type;
            } else if (known->second != type) {
                overrides.emplace_back(part.resultPart, type);
            }
        } else {
            overrides.emplace_back(part.resultPart, type);
        }
        parts.push_back(std::move(part));
        const std::size_t index = parts.size() - 1;
        if (isMedia) {
            rememberMedia(source, stored, index);
        }
        copy.bySourcePart[key] = index;
        copy.parts.push_back(index);
        const std::string resultPart = parts[index].resultPart;
        for (const Relationship& child : rels.all()) {
            if (auto carried =
                    planRelationship(source, copyIndex, child, resultPart, depth + 1, copy)) {
                parts[index].resultRelationships.push_back(std::move(*carried));
            }
        }
        return index;
    }

    void writePart(const PartCopyContext& context, PlannedPart& part, ZipWriter& zip) {
        if (part.shared) {
            return;
        }
        if (part.raw) {
            zip.addRawEntry(part.resultPart, part.source->zip(), part.sourcePart);
        } else {
            std::string xml = part.source->readTransitionalPart(part.sourcePart);
            PartInTransit transit{context,
                                  part.sourcePart,
                                  part.resultPart,
                                  part.contentType,
                                  part.kind,
                                  part.sourceRelationships,
                                  {},
                                  std::move(xml)};
            for (const auto& rel : part.resultRelationships) {
                transit.carriedIds.insert(rel.id);
            }
            if (const auto t = typeRewriters.find(part.contentType); t != typeRewriters.end()) {
                for (const auto& rewriter : t->second) {
                    rewriter(transit);
                }
            }
            if (const auto k = kindRewriters.find(part.kind); k != kindRewriters.end()) {
                for (const auto& rewriter : k->second) {
                    rewriter(transit);
                }
            }
            zip.addEntry(part.resultPart, transit.xml);
        }
        if (part.resultRelationships.empty()) {
            return;
        }
        std::string rels(kXmlDeclaration);
        rels += "<Relationships xmlns=\"";
        rels += kPackageRelationshipNamespace;
        rels += "\">";
        bool reportedLocation = false;
        for (const auto& rel : part.resultRelationships) {
            std::string target = rel.target;
            if (!rel.external && RelationshipKind(rel.type) == "hyperlink" &&
                context.formulas != nullptr) {
                const LocationRewrite location = RewriteLocationTarget(target, *context.formulas);
                target = location.target;
                if (!location.computable && !reportedLocation && context.report) {
                    context.report(ReportKind::MayLookDifferent,
                                   "A link in a drawing points at a place in a sheet that is "
                                   "not in the result.");
                    reportedLocation = true;
                }
            }
            std::vector<std::pair<std::string, std::string>> attributes = {
                {"Id", rel.id}, {"Type", rel.type}, {"Target", target}};
            if (rel.external) {
                attributes.emplace_back("TargetMode", "External");
            }
            AppendStartTag(rels, "Relationship", attributes, true);
        }
        rels += "</Relationships>";
        zip.addEntry(RelationshipsPartFor(part.resultPart), rels);
    }
};

PartGraph::PartGraph() : impl_(std::make_unique<Impl>()) {}
PartGraph::~PartGraph() = default;

void PartGraph::registerKind(std::string kind, PartRewriter rewriter) {
    impl_->kinds.insert(kind);
    if (rewriter) {
        impl_->kindRewriters[std::move(kind)].push_back(std::move(rewriter));
    }
}

void PartGraph::registerContentType(std::string contentType, PartRewriter rewriter) {
    if (rewriter) {
        impl_->typeRewriters[std::move(contentType)].push_back(std::move(rewriter));
    }
}

bool PartGraph::carries(std::string_view kind) const {
    return impl_->kinds.find(kind) != impl_->kinds.end();
}

void PartGraph::reserve(std::string_view partName) {
    impl_->taken.insert(FoldPartName(partName));
}

std::optional<Relationship> PartGraph::plan(const SourcePackage& source, int copyIndex,
                                            const Relationship& rel,
                                            std::string_view resultSheetPart) {
    return impl_->planRelationship(source, copyIndex, rel, resultSheetPart, 0,
                                   impl_->copies[copyIndex]);
}

void PartGraph::write(const PartCopyContext& copy, ZipWriter& zip) {
    const auto found = impl_->copies.find(copy.copyIndex);
    if (found == impl_->copies.end()) {
        return;
    }
    for (const std::size_t index : found->second.parts) {
        impl_->writePart(copy, impl_->parts[index], zip);
    }
    if (copy.report) {
        for (const auto& note : found->second.notes) {
            copy.report(ReportKind::PartNotCarried, note);
        }
    }
}

void PartGraph::addContentTypes(ContentTypesWriter& types) const {
    for (const auto& [extension, type] : impl_->defaults) {
        types.addDefault(extension, type);
    }
    for (const auto& [part, type] : impl_->overrides) {
        types.addOverride(part, type);
    }
}

} // namespace quillory::spreadsheet::ooxml
