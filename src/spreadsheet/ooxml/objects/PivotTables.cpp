#include "spreadsheet/ooxml/objects/PivotTables.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/formulas/ExternalLinks.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <set>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kCacheDefinitionKind = "pivotCacheDefinition";
constexpr std::string_view kCacheRecordsKind = "pivotCacheRecords";
// A cache whose data stays in the source file points at it through this relationship.
constexpr std::string_view kExternalSourceKind = "externalLinkPath";
constexpr std::string_view kExternalSourceId = "rIdPivotSource";
constexpr std::string_view kWorkbookRelationshipIdPrefix = "rIdPivotCache";
constexpr std::string_view kPivotTableType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.pivotTable+xml";
constexpr std::string_view kCacheDefinitionType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.pivotCacheDefinition+xml";
constexpr std::string_view kCacheRecordsType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.pivotCacheRecords+xml";
constexpr std::string_view kPivotTableFolder = "xl/pivotTables/pivotTable";
constexpr std::string_view kCacheDefinitionFolder = "xl/pivotCache/pivotCacheDefinition";
constexpr std::string_view kCacheRecordsFolder = "xl/pivotCache/pivotCacheRecords";
constexpr long long kMaxRows = 1048576;
constexpr long long kMaxColumns = 16384;
// Elements of a cache fed by an OLAP cube or a data model, which the result cannot refresh.
constexpr std::string_view kOlapElements[] = {"cacheHierarchies", "dimensions", "measureGroups",
                                              "maps", "kpis"};

std::string Quoted(std::string_view text) {
    return "'" + std::string(text) + "'";
}

std::optional<long long> ToInteger(std::string_view text) {
    long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// "B3" -> true when column and row are inside a sheet's grid.
bool CellInsideSheet(std::string_view cell) {
    std::size_t i = 0;
    long long column = 0;
    while (i < cell.size() && cell[i] >= 'A' && cell[i] <= 'Z' && column <= kMaxColumns) {
        column = column * 26 + (cell[i] - 'A' + 1);
        ++i;
    }
    const auto row = ToInteger(cell.substr(i));
    return i > 0 && column <= kMaxColumns && row && *row >= 1 && *row <= kMaxRows;
}

bool RangeInsideSheet(std::string_view ref) {
    const auto colon = ref.find(':');
    if (colon == std::string_view::npos) {
        return CellInsideSheet(ref);
    }
    return CellInsideSheet(ref.substr(0, colon)) && CellInsideSheet(ref.substr(colon + 1));
}

void ForEachDescendant(XmlNode& node, std::string_view local,
                       const std::function<void(XmlNode&)>& visit) {
    for (auto& child : node.children) {
        if (child.isText()) {
            continue;
        }
        if (child.localName() == local) {
            visit(child);
        }
        ForEachDescendant(child, local, visit);
    }
}

// The prefix the root declares for the relationships namespace, declaring "r" when it has none.
std::string RelationshipPrefix(XmlNode& root) {
    for (const auto& [key, value] : root.attributes) {
        if (value == kRelationshipNamespace && key.starts_with("xmlns:")) {
            return key.substr(6);
        }
    }
    root.setAttribute("xmlns:r", std::string(kRelationshipNamespace));
    return "r";
}

const std::string* RelationshipIdOf(const XmlNode& node) {
    for (const auto& [key, value] : node.attributes) {
        if (IsRelationshipIdAttribute(key)) {
            return &value;
        }
    }
    return nullptr;
}

// Streams a records part and checks it against the cache fields: one value per database field,
// item indexes inside that field's shared items.
class RecordsChecker : public XmlHandler {
public:
    explicit RecordsChecker(const std::vector<long long>& items) : items_(items) {}

    void startElement(const char* name, const char**) override {
        ++depth_;
        xSlot_ = -1;
        const std::string_view local = LocalName(name);
        if (depth_ == 2 && local == "r") {
            inRecord_ = true;
            slot_ = 0;
            ++records_;
        } else if (depth_ == 3 && inRecord_) {
            if (slot_ >= items_.size()) {
                fail("a record holds more values than the cache has fields");
            } else if (local == "x" && items_[slot_] == 0) {
                fail("a record refers to a shared item of a field that has none");
            }
            xSlot_ = local == "x" ? static_cast<long long>(slot_) : -1;
            ++slot_;
        }
    }
    void endElement(const char*) override {
        if (depth_ == 2 && inRecord_) {
            if (slot_ != items_.size()) {
                fail("a record holds fewer values than the cache has fields");
            }
            inRecord_ = false;
        }
        --depth_;
    }
    void characters(std::string_view) override {}
    // The x elements' v attribute arrives through attributes; see checkIndex.
    void checkIndex(const char** attributes) {
        if (xSlot_ < 0) {
            return;
        }
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            if (std::string_view(attributes[i]) == "v") {
                const auto v = ToInteger(attributes[i + 1]);
                if (!v || *v < 0 || *v >= items_[static_cast<std::size_t>(xSlot_)]) {
                    fail("a record refers to a shared item that does not exist");
                }
            }
        }
    }

    long long records() const { return records_; }
    const std::string& problem() const { return problem_; }

private:
    void fail(std::string why) {
        if (problem_.empty()) {
            problem_ = std::move(why);
        }
    }
    const std::vector<long long>& items_;
    int depth_ = 0;
    bool inRecord_ = false;
    std::size_t slot_ = 0;
    long long xSlot_ = -1;
    long long records_ = 0;
    std::string problem_;
};

class CheckingHandler : public XmlHandler {
public:
    explicit CheckingHandler(RecordsChecker& checker) : checker_(checker) {}
    void startElement(const char* name, const char** attributes) override {
        checker_.startElement(name, attributes);
        checker_.checkIndex(attributes);
    }
    void endElement(const char* name) override { checker_.endElement(name); }
    void characters(std::string_view) override {}

private:
    RecordsChecker& checker_;
};

} // namespace

struct PivotCarrier::Impl {
    explicit Impl(ResultConnections& resultConnections) : connections(resultConnections) {}

    // One source cache, checked once.
    struct SourceCache {
        std::string refusal; // empty: sound
        XmlNode definition;
        std::vector<Relationship> relationships; // of the definition part
        std::string recordsId;
        std::string recordsPart;
        std::size_t fieldCount = 0;
        int connectionId = 0; // the data connection feeding it; 0: a worksheet source
    };
    struct SourceWorkbook {
        std::map<std::string, std::string> cacheParts; // cacheId -> definition part
        std::set<std::string> duplicateIds;
    };
    struct PlannedPivot {
        const SourcePackage* source = nullptr;
        int copyIndex = 0;
        std::string sourceSheet;
        std::string sourcePart;
        std::string resultPart;
        std::string cacheRelationshipId; // the pivot table's relationship to its cache
        XmlNode table;
        const SourceCache* cache = nullptr;
        std::string cacheKey;  // identity + definition part
        int resultCacheId = 0; // once written
    };
    struct ResultCache {
        int cacheId = 0;
        std::string definitionPart;
        std::string recordsPart;
    };

    std::map<std::string, SourceWorkbook> workbooks; // by identity
    std::map<std::string, SourceCache> sourceCaches; // by identity + "|" + definition part
    std::vector<PlannedPivot> pivots;
    std::map<std::string, ResultCache> resultCaches; // by source cache + where its data is
    std::vector<const ResultCache*> cacheOrder;
    int nextPivotPart = 1;
    ResultConnections& connections;

    SourceWorkbook& workbookOf(const SourcePackage& source) {
        auto [slot, added] = workbooks.try_emplace(source.identity());
        if (!added) {
            return slot->second;
        }
        const XmlNode root = ParseXmlTree(source.readTransitionalPart(source.workbookPartName()),
                                          source.displayName(), source.workbookPartName());
        if (const XmlNode* list = root.child("pivotCaches")) {
            for (const XmlNode* cache : list->childrenNamed("pivotCache")) {
                const std::string id = cache->attributeOr("cacheId", "");
                const std::string* relId = RelationshipIdOf(*cache);
                const Relationship* rel =
                    relId ? source.workbookRelationships().byId(*relId) : nullptr;
                std::string part;
                if (rel != nullptr && !rel->external) {
                    part = source.zip().find(rel->partName).value_or("");
                }
                if (!slot->second.cacheParts.emplace(id, part).second) {
                    slot->second.duplicateIds.insert(id);
                }
            }
        }
        return slot->second;
    }

    const SourceCache& cacheOf(const SourcePackage& source, const std::string& part) {
        auto [slot, added] = sourceCaches.try_emplace(source.identity() + "|" + part);
        if (added) {
            check(source, part, slot->second);
        }
        return slot->second;
    }

    static void check(const SourcePackage& source, const std::string& part, SourceCache& cache) {
        try {
            cache.definition = ParseNamespacedXmlTree(source.readTransitionalPart(part),
                                                      source.displayName(), part);
        } catch (const SpreadsheetError&) {
            cache.refusal = "its cache is damaged in the workbook";
            return;
        }
        const XmlNode& root = cache.definition;
        const XmlNode* cacheSource = root.child("cacheSource");
        const std::string type = cacheSource ? cacheSource->attributeOr("type", "") : "";
        const bool connection =
            type == "external" && cacheSource->child("worksheetSource") == nullptr;
        if (connection) {
            const auto id = ToInteger(cacheSource->attributeOr("connectionId", "0"));
            cache.connectionId =
                id && *id > 0 && *id <= std::numeric_limits<int>::max() ? static_cast<int>(*id) : 0;
        }
        if (cacheSource == nullptr || (type != "worksheet" && !connection) ||
            (connection && cache.connectionId < 1) ||
            (!connection && (cacheSource->attribute("connectionId") != nullptr ||
                             cacheSource->child("worksheetSource") == nullptr)) ||
            std::any_of(std::begin(kOlapElements), std::end(kOlapElements),
                        [&](std::string_view e) { return root.child(e) != nullptr; })) {
            cache.refusal = "its data comes through a data connection, a cube or several "
                            "ranges, which the merged workbook does not carry";
            return;
        }
        cache.relationships = source.relationshipsOf(part).all();
        const std::string* recordsId = RelationshipIdOf(root);
        const Relationship* records = nullptr;
        for (const auto& rel : cache.relationships) {
            if (recordsId != nullptr && rel.id == *recordsId && !rel.external &&
                RelationshipKind(TransitionalUri(rel.type)) == kCacheRecordsKind) {
                records = &rel;
            }
        }
        const auto stored = records ? source.zip().find(records->partName) : std::nullopt;
        if (!stored) {
            cache.refusal = "its cache has no records";
            return;
        }
        cache.recordsId = records->id;
        cache.recordsPart = *stored;
        // Shared item counts of the fields that take a slot in each record.
        std::vector<long long> items;
        if (const XmlNode* fields = root.child("cacheFields")) {
            for (const XmlNode* field : fields->childrenNamed("cacheField")) {
                ++cache.fieldCount;
                if (field->attributeOr("databaseField", "1") == "0") {
                    continue;
                }
                long long count = 0;
                if (const XmlNode* shared = field->child("sharedItems")) {
                    for (const auto& item : shared->children) {
                        count += item.isText() ? 0 : 1;
                    }
                }
                items.push_back(count);
            }
        }
        if (items.empty()) {
            cache.refusal = "its cache has no fields";
            return;
        }
        RecordsChecker checker(items);
        CheckingHandler handler(checker);
        try {
            XmlStreamParser parser(handler, source.displayName(), *stored);
            source.zip().readChunks(*stored, [&](std::string_view chunk) {
                parser.feed(chunk); // element names are the same in Strict
            });
            parser.finish();
        } catch (const SpreadsheetError&) {
            cache.refusal = "its cache records are damaged in the workbook";
            return;
        }
        if (!checker.problem().empty()) {
            cache.refusal = "its cache records do not match its fields (" + checker.problem() + ")";
            return;
        }
        if (const std::string* count = root.attribute("recordCount")) {
            if (ToInteger(*count) != checker.records()) {
                cache.refusal = "its cache holds another number of records than it declares";
            }
        }
    }

    std::string refuse(const SourcePackage& source, const Relationship& rel, PlannedPivot& pivot) {
        const auto stored = rel.external ? std::nullopt : source.zip().find(rel.partName);
        if (!stored) {
            return "the workbook refers to it but does not contain it";
        }
        pivot.sourcePart = *stored;
        try {
            pivot.table = ParseNamespacedXmlTree(source.readTransitionalPart(*stored),
                                                 source.displayName(), *stored);
        } catch (const SpreadsheetError&) {
            return "it is damaged in the workbook";
        }
        const SourceWorkbook& workbook = workbookOf(source);
        const std::string cacheId = pivot.table.attributeOr("cacheId", "");
        const auto listed = workbook.cacheParts.find(cacheId);
        if (listed == workbook.cacheParts.end() || workbook.duplicateIds.count(cacheId) != 0) {
            return "its cache (" + cacheId + ") is not listed once in the workbook";
        }
        if (listed->second.empty()) {
            return "its cache is missing from the workbook";
        }
        const Relationships ownRelationships = source.relationshipsOf(*stored);
        for (const auto& own : ownRelationships.all()) {
            if (RelationshipKind(TransitionalUri(own.type)) != kCacheDefinitionKind) {
                continue;
            }
            if (FoldPartName(own.partName) != FoldPartName(listed->second)) {
                return "it and the workbook name different caches for it";
            }
            pivot.cacheRelationshipId = own.id;
        }
        const SourceCache& cache = cacheOf(source, listed->second);
        if (!cache.refusal.empty()) {
            return cache.refusal;
        }
        if (cache.connectionId > 0) {
            // Decided now, before the result's sheets are all known: cell parameters refuse.
            if (std::string refusal = connections.refusalOf(source, cache.connectionId, false);
                !refusal.empty()) {
                return refusal;
            }
        }
        pivot.cache = &cache;
        pivot.cacheKey = source.identity() + "|" + listed->second;
        const XmlNode* fields = pivot.table.child("pivotFields");
        if (fields == nullptr || fields->childrenNamed("pivotField").size() != cache.fieldCount) {
            return "its fields do not match its cache";
        }
        const XmlNode* location = pivot.table.child("location");
        if (location == nullptr || !RangeInsideSheet(location->attributeOr("ref", ""))) {
            return "its place on the sheet lies outside the sheet's cells";
        }
        return {};
    }

    // Where the data of a pivot table is in the result: the cache's worksheetSource rewritten,
    // and the key that tells caches of one source apart.
    struct Resolution {
        std::vector<std::pair<std::string, std::string>> attributes; // to set
        bool external = false;
        std::string key;
        std::string note; // for the report, when the data stayed behind
    };

    static Resolution resolve(const PlannedPivot& pivot, const PivotSourceLookup& lookup) {
        Resolution result;
        if (pivot.cache->connectionId > 0) {
            result.key = "connection";
            return result; // the connection comes along with the cache
        }
        const XmlNode& source =
            *pivot.cache->definition.child("cacheSource")->child("worksheetSource");
        if (RelationshipIdOf(source) != nullptr) {
            result.key = "as before";
            return result; // already in another file: its relationship comes along
        }
        const std::string name = source.attributeOr("name", "");
        const std::string sheet = source.attributeOr("sheet", "");
        const std::string& file = pivot.source->identity();
        const std::string pivotName = Quoted(pivot.table.attributeOr("name", ""));
        if (!name.empty()) {
            if (!sheet.empty()) { // a name scoped to a sheet travels with that sheet
                if (const auto copied = lookup.sheet(sheet)) {
                    result.attributes = {{"sheet", *copied}};
                    result.key = "name " + name + " on " + *copied;
                    return result;
                }
            } else if (const auto table = lookup.table(name)) {
                result.attributes = {{"name", *table}};
                result.key = "table " + *table;
                return result;
            } else if (const auto defined = lookup.definedName(name)) {
                result.attributes = {{"name", *defined}};
                result.key = "name " + *defined;
                return result;
            }
            result.external = true;
            result.key = "file";
            result.note = "The pivot table " + pivotName + " refreshes from " + Quoted(name) +
                          " in the file " + Quoted(file) +
                          ", whose data is not in the result; that file is read when the pivot "
                          "table is refreshed.";
            return result;
        }
        const std::string dataSheet = sheet.empty() ? pivot.sourceSheet : sheet;
        if (const auto copied = lookup.sheet(dataSheet)) {
            result.attributes = {{"sheet", *copied}};
            result.key = "sheet " + *copied;
            return result;
        }
        result.external = true;
        result.key = "file";
        result.note = "The pivot table " + pivotName + " refreshes from the range " +
                      source.attributeOr("ref", "") + " of the sheet " + Quoted(dataSheet) +
                      " in the file " + Quoted(file) +
                      ", as that sheet is not in the result; that file is read when the pivot "
                      "table is refreshed.";
        return result;
    }

    const ResultCache& resultCache(const PlannedPivot& pivot, const PivotSourceLookup& lookup,
                                   ZipWriter& zip, ContentTypesWriter& types) {
        Resolution where = resolve(pivot, lookup);
        const SourcePackage& source = *pivot.source;
        // Only a file the user named can be linked to: a converted legacy workbook is read
        // from a temporary copy, and a package read from memory has no file at all.
        const bool linkable =
            source.identity().starts_with("/") &&
            std::filesystem::path(source.identity()).filename() == source.displayName();
        if (where.external && !linkable) {
            where.note = "The pivot table " + Quoted(pivot.table.attributeOr("name", "")) +
                         " keeps what it showed but cannot be refreshed: its data is not in "
                         "the result.";
        }
        if (!where.note.empty()) {
            // A pivot table that cannot be refreshed keeps what it showed; one that refreshes
            // from its source file works, but from outside the result.
            lookup.report(where.external && !linkable ? ReportKind::FormulaAsValue
                                                      : ReportKind::MayLookDifferent,
                          where.note);
        }
        const std::string key = pivot.cacheKey + "|" + where.key;
        if (const auto found = resultCaches.find(key); found != resultCaches.end()) {
            return found->second;
        }
        ResultCache& made = resultCaches[key];
        made.cacheId = static_cast<int>(resultCaches.size());
        const std::string number = std::to_string(made.cacheId);
        made.definitionPart = std::string(kCacheDefinitionFolder) + number + ".xml";
        made.recordsPart = std::string(kCacheRecordsFolder) + number + ".xml";
        cacheOrder.push_back(&made);

        XmlNode definition = pivot.cache->definition;
        for (auto& [attribute, value] : definition.attributes) {
            if (attribute == "xmlns" || attribute.starts_with("xmlns:")) {
                value = TransitionalUri(value);
            }
        }
        XmlNode& cacheSource = *definition.child("cacheSource");
        if (pivot.cache->connectionId > 0) {
            // Checked when planned, and no cell parameters: it comes along.
            ConnectionUse use = connections.carry(source, pivot.cache->connectionId, {},
                                                  [](std::string_view) { return std::nullopt; });
            if (!use.id) {
                throw SpreadsheetError(ErrorCode::Internal,
                                       "A pivot cache's data connection, accepted when planned, "
                                       "could not be carried: " +
                                           use.refusal);
            }
            cacheSource.setAttribute("connectionId", std::to_string(*use.id));
            if (!use.renamed.empty()) {
                lookup.report(ReportKind::NameChanged, use.renamed);
            }
        }
        XmlNode* worksheetSource = cacheSource.child("worksheetSource");
        for (const auto& [attribute, value] : where.attributes) {
            worksheetSource->setAttribute(attribute, value);
        }
        std::vector<Relationship> rels;
        for (const auto& rel : pivot.cache->relationships) {
            if (rel.id == pivot.cache->recordsId) {
                Relationship records = rel;
                records.type =
                    std::string(kRelationshipTypePrefix) + std::string(kCacheRecordsKind);
                records.target = RelativeTarget(made.definitionPart, made.recordsPart);
                rels.push_back(std::move(records));
            } else if (rel.external) {
                Relationship link = rel;
                link.target = AnchoredLinkTarget(rel.target, source.identity());
                rels.push_back(std::move(link));
            }
        }
        if (where.external && linkable) {
            worksheetSource->setAttribute(RelationshipPrefix(definition) + ":id",
                                          std::string(kExternalSourceId));
            Relationship link;
            link.id = kExternalSourceId;
            link.type = std::string(kRelationshipTypePrefix) + std::string(kExternalSourceKind);
            link.target = FileUri(source.identity());
            link.external = true;
            rels.push_back(std::move(link));
        }
        // Slicers key on this id; it must be unique in the workbook and not 0.
        ForEachDescendant(definition, "pivotCacheDefinition", [&](XmlNode& ext) {
            if (ext.attribute("pivotCacheId") != nullptr) {
                ext.setAttribute("pivotCacheId", number);
            }
        });
        std::string xml(kXmlDeclaration);
        AppendNode(xml, definition);
        zip.addEntry(made.definitionPart, xml);
        zip.addEntry(RelationshipsPartFor(made.definitionPart), RelationshipsXml(rels));
        if (source.strict()) {
            zip.addEntry(made.recordsPart, source.readTransitionalPart(pivot.cache->recordsPart));
        } else {
            zip.addRawEntry(made.recordsPart, source.zip(), pivot.cache->recordsPart);
        }
        types.addOverride(made.definitionPart, std::string(kCacheDefinitionType));
        types.addOverride(made.recordsPart, std::string(kCacheRecordsType));
        return made;
    }

    void writePivot(PlannedPivot& pivot, const PivotSourceLookup& lookup, ZipWriter& zip,
                    ContentTypesWriter& types) {
        const ResultCache& cache = resultCache(pivot, lookup, zip, types);
        pivot.resultCacheId = cache.cacheId;
        XmlNode& table = pivot.table;
        for (auto& [attribute, value] : table.attributes) {
            if (attribute == "xmlns" || attribute.starts_with("xmlns:")) {
                value = TransitionalUri(value);
            }
        }
        table.setAttribute("cacheId", std::to_string(cache.cacheId));
        ForEachDescendant(table, "format", [&](XmlNode& format) {
            if (const std::string* dxf = format.attribute("dxfId")) {
                if (const auto index = ToInteger(*dxf)) {
                    format.setAttribute("dxfId",
                                        std::to_string(lookup.dxf(static_cast<int>(*index))));
                }
            }
        });
        for (XmlNode* style : table.childrenNamed("pivotTableStyleInfo")) {
            if (const std::string* name = style->attribute("name")) {
                style->setAttribute("name", lookup.tableStyle(*name));
            }
        }
        std::string xml(kXmlDeclaration);
        AppendNode(xml, table);
        zip.addEntry(pivot.resultPart, xml);
        Relationship toCache;
        toCache.id = pivot.cacheRelationshipId.empty() ? "rId1" : pivot.cacheRelationshipId;
        toCache.type = std::string(kRelationshipTypePrefix) + std::string(kCacheDefinitionKind);
        toCache.target = RelativeTarget(pivot.resultPart, cache.definitionPart);
        zip.addEntry(RelationshipsPartFor(pivot.resultPart), RelationshipsXml({toCache}));
        types.addOverride(pivot.resultPart, std::string(kPivotTableType));
    }
};

PivotCarrier::PivotCarrier(ResultConnections& connections)
    : impl_(std::make_unique<Impl>(connections)) {}
PivotCarrier::~PivotCarrier() = default;

PivotPlan PivotCarrier::plan(const SourcePackage& source, int copyIndex,
                             std::string_view sourceSheet, const Relationship& rel,
                             std::string_view resultSheetPart) {
    Impl::PlannedPivot pivot;
    pivot.source = &source;
    pivot.copyIndex = copyIndex;
    pivot.sourceSheet = sourceSheet;
    PivotPlan result;
    if (std::string refusal = impl_->refuse(source, rel, pivot); !refusal.empty()) {
        const std::string name = pivot.table.attributeOr("name", "");
        result.refusal = "The pivot table" + (name.empty() ? std::string() : " " + Quoted(name)) +
                         " is kept as what it showed (its cells keep their values and formats, "
                         "but it can no longer be refreshed or rearranged): " +
                         refusal + ".";
        return result;
    }
    pivot.resultPart =
        std::string(kPivotTableFolder) + std::to_string(impl_->nextPivotPart++) + ".xml";
    Relationship carried = rel;
    carried.type = std::string(kRelationshipTypePrefix) + std::string(kPivotTableRelationshipKind);
    carried.target = RelativeTarget(resultSheetPart, pivot.resultPart);
    carried.partName = pivot.resultPart;
    result.relationship = std::move(carried);
    impl_->pivots.push_back(std::move(pivot));
    return result;
}

void PivotCarrier::write(const std::function<PivotSourceLookup(int copyIndex)>& lookupFor,
                         ZipWriter& zip, ContentTypesWriter& types) {
    std::map<int, PivotSourceLookup> lookups;
    for (auto& pivot : impl_->pivots) {
        auto found = lookups.find(pivot.copyIndex);
        if (found == lookups.end()) {
            found = lookups.emplace(pivot.copyIndex, lookupFor(pivot.copyIndex)).first;
        }
        impl_->writePivot(pivot, found->second, zip, types);
    }
}

bool PivotCarrier::carries(int copyIndex, std::string_view name) const {
    return std::any_of(impl_->pivots.begin(), impl_->pivots.end(), [&](const auto& pivot) {
        return pivot.copyIndex == copyIndex && pivot.table.attributeOr("name", "") == name;
    });
}

std::optional<std::string> PivotCarrier::sourceSlicerKey(int copyIndex,
                                                         std::string_view name) const {
    for (const auto& pivot : impl_->pivots) {
        if (pivot.copyIndex != copyIndex || pivot.table.attributeOr("name", "") != name) {
            continue;
        }
        const XmlNode* extensions = pivot.cache->definition.child("extLst");
        for (const XmlNode* ext :
             extensions ? extensions->childrenNamed("ext") : std::vector<const XmlNode*>{}) {
            if (const XmlNode* x14 = ext->child("pivotCacheDefinition")) {
                if (const std::string* id = x14->attribute("pivotCacheId")) {
                    return *id;
                }
            }
        }
    }
    return std::nullopt;
}

int PivotCarrier::resultSlicerKey(int copyIndex, std::string_view name) const {
    for (const auto& pivot : impl_->pivots) {
        if (pivot.copyIndex == copyIndex && pivot.table.attributeOr("name", "") == name) {
            return pivot.resultCacheId;
        }
    }
    return 0;
}

bool PivotCarrier::empty() const {
    return impl_->cacheOrder.empty();
}

std::string PivotCarrier::pivotCachesXml() const {
    if (impl_->cacheOrder.empty()) {
        return {};
    }
    std::string xml = "<pivotCaches>";
    for (const auto* cache : impl_->cacheOrder) {
        const std::string id = std::to_string(cache->cacheId);
        AppendStartTag(xml, "pivotCache",
                       {{"cacheId", id}, {"r:id", std::string(kWorkbookRelationshipIdPrefix) + id}},
                       true);
    }
    xml += "</pivotCaches>";
    return xml;
}

std::vector<Relationship> PivotCarrier::workbookRelationships() const {
    std::vector<Relationship> rels;
    for (const auto* cache : impl_->cacheOrder) {
        Relationship rel;
        rel.id = std::string(kWorkbookRelationshipIdPrefix) + std::to_string(cache->cacheId);
        rel.type = std::string(kRelationshipTypePrefix) + std::string(kCacheDefinitionKind);
        rel.target = RelativeTarget("xl/workbook.xml", cache->definitionPart);
        rels.push_back(std::move(rel));
    }
    return rels;
}

} // namespace quillory::spreadsheet::ooxml
