#include "spreadsheet/ooxml/WorkbookWriter.h"

#include "spreadsheet/ooxml/PackageError.h"
#include "spreadsheet/ooxml/UniqueNames.h"
#include "spreadsheet/ooxml/formulas/DefinedNames.h"
#include "spreadsheet/ooxml/formulas/ExternalLinks.h"
#include "spreadsheet/ooxml/formulas/SheetNames.h"
#include "spreadsheet/ooxml/objects/Comments.h"
#include "spreadsheet/ooxml/objects/Connections.h"
#include "spreadsheet/ooxml/objects/Drawing.h"
#include "spreadsheet/ooxml/objects/PartGraph.h"
#include "spreadsheet/ooxml/objects/PivotTables.h"
#include "spreadsheet/ooxml/objects/Slicers.h"
#include "spreadsheet/ooxml/package/ContentTypes.h"
#include "spreadsheet/ooxml/package/Relationships.h"
#include "spreadsheet/ooxml/package/ZipWriter.h"
#include "spreadsheet/ooxml/sheetcopy/CellPosition.h"
#include "spreadsheet/ooxml/sheetcopy/CopyDecisions.h"
#include "spreadsheet/ooxml/sheetcopy/Metadata.h"
#include "spreadsheet/ooxml/sheetcopy/SheetTransplant.h"
#include "spreadsheet/ooxml/sheetcopy/SourceTables.h"
#include "spreadsheet/ooxml/styles/ColumnWidths.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <map>
#include <set>
#include <unordered_map>

namespace quillory::spreadsheet::ooxml {

namespace {

// What a spreadsheet program writes for the defined name of a slicer cache.
constexpr std::string_view kSlicerCacheNameFormula = "#N/A";
constexpr std::string_view kMainNamespace =
    "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kCorePropertiesType =
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties";
constexpr std::string_view kWorkbookPart = "xl/workbook.xml";
constexpr std::string_view kThemePart = "xl/theme/theme1.xml";
constexpr std::string_view kAppPropertiesPart = "docProps/app.xml";
constexpr std::string_view kCorePropertiesPart = "docProps/core.xml";
constexpr std::string_view kApplicationName = "Quillory";
// The calculation engine version written by current spreadsheet programs.
constexpr std::string_view kCalcId = "191029";
// Serial numbers of one date differ by this many days between the 1900 and 1904 date systems.
constexpr int kDateSystemOffsetDays = 1462;
// A second "Sales" table becomes "Sales_2" (a table name has no spaces).
constexpr NumberedSuffix kTableNameSuffix{"_", 2, 99999};
constexpr std::string_view kTableDxfAttributes[] = {"headerRowDxfId",   "dataDxfId",
                                                    "totalsRowDxfId",   "headerRowBorderDxfId",
                                                    "tableBorderDxfId", "totalsRowBorderDxfId"};

std::string Quoted(std::string_view name) {
    return "'" + std::string(name) + "'";
}

// A table whose range is not one, or spans another number of columns than it names, makes a
// reader refuse the workbook.
bool TableFitsItsRange(const XmlNode& root) {
    const std::string* ref = root.attribute("ref");
    const auto area = ref ? ParseCellArea(*ref) : std::nullopt;
    const XmlNode* columns = root.child("tableColumns");
    return area && columns &&
           static_cast<std::size_t>(area->columns()) ==
               columns->childrenNamed("tableColumn").size();
}

struct SourceState {
    const SourcePackage* package = nullptr;
    SourceStyles styles;
    Theme theme;
    std::optional<SourceSharedStrings> strings;
    std::unique_ptr<ResultStyles::Importer> importer;
    std::unique_ptr<SharedStringImporter> stringImporter;
    SourceMetadata metadata;
    std::unique_ptr<ResultMetadata::Importer> metadataImporter;
    std::optional<std::set<std::string>> tableNames; // folded, every sheet's; read on first use
    // The font its column widths are measured in.
    NormalFont normalFont{"Calibri", 11};
};

struct CarriedQuery {
    std::string relationshipId; // of the table's relationship to it
    std::string resultPart;     // empty: not carried
    std::string xml;
};

struct TableCopy {
    std::string relationshipId;
    std::string sourcePart;
    std::string resultPart;
    std::string sourceName;
    std::string resultName;
    int sourceId = 0;
    int id = 0;
    XmlNode root;
    CarriedQuery query; // the query filling it, when it keeps refreshing in the result
};

struct CarriedPart { // a part copied unchanged (printer settings)
    std::string sourcePart;
    std::string resultPart;
    std::string contentType;
};

struct SheetCopy {
    int index = 0; // 0-based position in the result
    const PlannedSheet* planned = nullptr;
    SourceState* source = nullptr; // null: blank sheet
    const SourceSheet* sheet = nullptr;
    std::string partName;
    std::vector<Relationship> relationships; // carried, with result targets in partName
    std::vector<TableCopy> tables;
    std::vector<CarriedPart> parts;
    // Slicers and timelines, planned once every copy's pivot tables and tables are.
    std::vector<Relationship> filters;
    std::set<std::string> notCarried;
    std::set<std::string> keptAsValues; // report sentences, once each
    bool selected = false;
    bool usesExternalLinks = false; // a carried formula or name refers to another workbook
    SheetVisibility visibility = SheetVisibility::Visible;
};

class Builder {
public:
    Builder(const WorkbookPlan& plan, MergeReport& report) : plan_(plan), report_(report) {
        RegisterDrawingParts(graph_);
        comments_.registerWith(graph_);
    }
    void write(OutputSink& sink);

private:
    void chooseBase();
    SourceState& sourceFor(const SourcePackage& package);
    Theme themeOf(const SourcePackage& package, const std::string& part);
    void planSheets();
    void planRelationships(SheetCopy& copy);
    void planFilters(SheetCopy& copy);
    const SheetCopy* copyHolding(const SheetCopy& copy, std::string_view sheet) const;
    std::string uniqueTableName(const std::string& wanted);
    FormulaContext formulaContextFor(SheetCopy& copy);
    std::optional<std::string> resultSheetName(const SheetCopy& copy, std::string_view name);
    std::optional<std::string> resultTableName(const SheetCopy& copy, std::string_view name);
    std::optional<std::string> resultDefinedName(SheetCopy& copy, std::string_view name);
    std::optional<std::string> carryLocalName(SheetCopy& copy, const SourceDefinedName& name);
    std::optional<std::string> carryGlobalName(SheetCopy& copy, const SourceDefinedName& name);
    std::optional<std::string> rewriteNameFormula(SheetCopy& copy, const SourceDefinedName& name);
    const SheetCopy* firstCopyOf(const std::string& identity, int sourceIndex) const;
    void writeSheet(SheetCopy& copy, ZipWriter& zip);
    std::string tableXml(SheetCopy& copy, TableCopy& table, FormulaContext& context);
    bool carryQuery(SheetCopy& copy, TableCopy& table, FormulaContext& context);
    void writeGraph(const SheetCopy& copy, const FormulaContext& context, ZipWriter& zip);
    PivotSourceLookup pivotLookupFor(int copyIndex);
    void reportCopy(const SheetCopy& copy, const SheetCopyNotes& notes);
    void add(ReportKind kind, const SheetCopy& copy, std::string message);
    std::string workbookXml() const;
    std::string workbookRelationshipsXml() const;
    std::string appPropertiesXml() const;
    std::string corePropertiesXml() const;

    const WorkbookPlan& plan_;
    MergeReport& report_;
    std::unique_ptr<ResultStyles> styles_;
    ResultSharedStrings strings_;
    ResultMetadata metadata_;
    ResultExternalLinks externalLinks_;
    std::set<std::string> macrosReported_; // identities of sources whose macros were reported
    std::set<std::string> fontsReported_;  // ... whose standard font was reported
    // The result's Normal font.
    NormalFont baseFont_{"Calibri", 11};
    Theme theme_ = Theme::builtinDefault();
    bool date1904_ = false;
    std::map<const SourcePackage*, std::unique_ptr<SourceState>> sources_;
    // Workbooks written by one program carry the same theme byte for byte: each distinct theme
    // is parsed once, which matters when hundreds of small workbooks are merged.
    std::unordered_map<std::string, Theme> themesByXml_;
    std::vector<SheetCopy> copies_;
    ResultDefinedNames names_;
    std::set<std::string> tableNames_;    // folded
    std::set<std::string> reservedNames_; // folded defined names of every source
    int nextTableId_ = 1;
    int nextTablePart_ = 1;
    int nextPrinterSettings_ = 1;
    int nextQueryTablePart_ = 1;
    std::set<std::pair<std::string, std::string>> namesInProgress_;
    std::map<std::pair<int, std::string>, std::optional<std::string>> localNameCache_;
    PartGraph graph_;               // drawings, charts, pictures and what hangs off them
    CommentCarrier comments_;       // notes, threads, people, form controls, OLE objects
    ResultConnections connections_; // before the pivot tables, which carry connections too
    PivotCarrier pivots_{connections_};
    SlicerCarrier slicers_;
};

void Builder::chooseBase() {
    // The result takes its theme, Normal style and date system from the first copied sheet's
    // workbook, so that sheet looks exactly as it did; later sources are translated into it.
    for (const auto& planned : plan_.sheets) {
        if (planned.source) {
            const SourcePackage& package = *planned.source;
            if (const auto part = package.workbookPart("theme")) {
                theme_ = themeOf(package, *part);
            }
            date1904_ = package.date1904();
            styles_ = std::make_unique<ResultStyles>(theme_);
            baseFont_ = sourceFor(package).normalFont;
            return;
        }
    }
    styles_ = std::make_unique<ResultStyles>(theme_);
}

SourceState& Builder::sourceFor(const SourcePackage& package) {
    auto& slot = sources_[&package];
    if (slot) {
        return *slot;
    }
    slot = std::make_unique<SourceState>();
    SourceState& state = *slot;
    state.package = &package;
    if (const auto part = package.workbookPart("styles")) {
        const std::string stylesXml = package.readPart(*part);
        state.styles = SourceStyles::parse(stylesXml, package.displayName());
        state.normalFont = NormalFontOf(stylesXml, package.displayName());
    } else {
        state.styles = SourceStyles::empty(package.displayName());
    }
    if (const auto part = package.workbookPart("theme")) {
        state.theme = themeOf(package, *part);
    } else {
        state.theme = Theme::builtinDefault();
    }
    if (const auto part = package.workbookPart("sharedStrings")) {
        state.strings =
            SourceSharedStrings::parse(package.readPart(*part), package.displayName(), *part);
    }
    state.importer = styles_->importerFor(state.styles, state.theme);
    state.metadata = ReadSourceMetadata(package);
    state.metadataImporter = metadata_.importerFor(state.metadata);
    if (state.strings) {
        state.stringImporter =
            std::make_unique<SharedStringImporter>(*state.strings, strings_, state.importer.get());
    }
    return state;
}

Theme Builder::themeOf(const SourcePackage& package, const std::string& part) {
    std::string xml = package.readPart(part);
    if (const auto found = themesByXml_.find(xml); found != themesByXml_.end()) {
        return found->second;
    }
    Theme theme = Theme::parse(TransitionalXml(xml), package.displayName());
    themesByXml_.emplace(std::move(xml), theme);
    return theme;
}

void Builder::planSheets() {
    for (const auto& planned : plan_.sheets) {
        if (planned.source) {
            for (const auto& name : planned.source->definedNames()) {
                reservedNames_.insert(FoldPartName(name.name));
            }
        }
    }
    copies_.resize(plan_.sheets.size());
    for (std::size_t i = 0; i < plan_.sheets.size(); ++i) {
        SheetCopy& copy = copies_[i];
        copy.index = static_cast<int>(i);
        copy.planned = &plan_.sheets[i];
        copy.partName = "xl/worksheets/sheet" + std::to_string(i + 1) + ".xml";
        graph_.reserve(copy.partName);
        copy.visibility = copy.planned->visibility;
        if (copy.planned->source) {
            copy.source = &sourceFor(*copy.planned->source);
            copy.sheet = &copy.planned->source->sheets().at(
                static_cast<std::size_t>(copy.planned->sourceIndex));
            planRelationships(copy);
        }
    }
    for (auto& copy : copies_) {
        if (copy.source != nullptr) {
            planFilters(copy);
        }
    }
    // A workbook needs a visible sheet, and the selected (active) sheet must be visible.
    const bool anyVisible = std::any_of(copies_.begin(), copies_.end(), [](const SheetCopy& c) {
        return c.visibility == SheetVisibility::Visible;
    });
    if (!anyVisible && !copies_.empty()) {
        copies_.front().visibility = SheetVisibility::Visible;
        add(ReportKind::MayLookDifferent, copies_.front(),
            "Every copied sheet was hidden; this one was made visible, as a workbook needs one "
            "visible sheet.");
    }
    int active = std::clamp(plan_.activeSheet, 0, static_cast<int>(copies_.size()) - 1);
    if (copies_[static_cast<std::size_t>(active)].visibility != SheetVisibility::Visible) {
        for (const auto& copy : copies_) {
            if (copy.visibility == SheetVisibility::Visible) {
                active = copy.index;
                break;
            }
        }
    }
    copies_[static_cast<std::size_t>(active)].selected = true;
}

std::string Builder::uniqueTableName(const std::string& wanted) {
    const auto free = [&](const std::string& name) {
        const std::string folded = FoldPartName(name);
        return tableNames_.count(folded) == 0 && reservedNames_.count(folded) == 0;
    };
    const std::string name = UniqueName(wanted, kTableNameSuffix, free);
    tableNames_.insert(FoldPartName(name));
    return name;
}

void Builder::planRelationships(SheetCopy& copy) {
    const SourcePackage& package = *copy.source->package;
    const Relationships rels = package.relationshipsOf(copy.sheet->partName);
    for (const Relationship& rel : rels.all()) {
        const std::string_view kind = RelationshipKind(rel.type);
        if (kind == kSlicerRelationshipKind || kind == kTimelineRelationshipKind) {
            copy.filters.push_back(rel);
            continue;
        }
        Relationship carried = rel;
        carried.type = TransitionalUri(rel.type);
        if (kind == "hyperlink") {
            copy.relationships.push_back(std::move(carried));
            continue;
        }
        comments_.planSheetRelationship(package, copy.index, rel);
        if (kind == kPivotTableRelationshipKind) {
            PivotPlan pivot =
                pivots_.plan(package, copy.index, copy.sheet->name, rel, copy.partName);
            if (pivot.relationship) {
                graph_.reserve(pivot.relationship->partName);
                copy.relationships.push_back(std::move(*pivot.relationship));
            } else {
                add(ReportKind::FormulaAsValue, copy, std::move(pivot.refusal));
            }
            continue;
        }
        if (graph_.carries(kind)) {
            if (auto planned = graph_.plan(package, copy.index, rel, copy.partName)) {
                copy.relationships.push_back(std::move(*planned));
            }
            continue;
        }
        const auto stored = rel.external ? std::nullopt : package.zip().find(rel.partName);
        if (kind == "table" && stored) {
            XmlNode root;
            try {
                root = ParseNamespacedXmlTree(package.readPart(*stored), package.displayName(),
                                              *stored);
            } catch (const SpreadsheetError&) {
                // Written back from its tree, a damaged table would leave a part no reader opens.
                copy.notCarried.insert("tables that are damaged in the workbook");
                continue;
            }
            if (!TableFitsItsRange(root)) {
                copy.notCarried.insert("tables whose range does not match their columns");
                continue;
            }
            TableCopy table;
            table.relationshipId = rel.id;
            table.sourcePart = *stored;
            table.resultPart = "xl/tables/table" + std::to_string(nextTablePart_++) + ".xml";
            graph_.reserve(table.resultPart);
            table.root = std::move(root);
            table.sourceName =
                table.root.attributeOr("name", table.root.attributeOr("displayName", ""));
            table.sourceId = std::atoi(table.root.attributeOr("id", "0").c_str());
            table.resultName = uniqueTableName(table.sourceName);
            table.id = nextTableId_++;
            carried.target = RelativeTarget(copy.partName, table.resultPart);
            copy.relationships.push_back(std::move(carried));
            copy.tables.push_back(std::move(table));
            continue;
        }
        if (kind == "printerSettings" && stored) {
            CarriedPart part;
            part.sourcePart = *stored;
            part.resultPart = "xl/printerSettings/printerSettings" +
                              std::to_string(nextPrinterSettings_++) + ".bin";
            graph_.reserve(part.resultPart);
            part.contentType = package.contentTypes().typeOf(*stored);
            if (part.contentType.empty()) {
                part.contentType = content_type::kPrinterSettings;
            }
            carried.target = RelativeTarget(copy.partName, part.resultPart);
            copy.relationships.push_back(std::move(carried));
            copy.parts.push_back(std::move(part));
            continue;
        }
        static const std::map<std::string_view, std::string_view> kLabels = {
            {"drawing", "drawings, charts and pictures"},
            {"comments", "comments (notes)"},
            {"threadedComment", "threaded comments"},
            {"ctrlProp", "form controls"},
            {"oleObject", "embedded objects"},
            {"package", "embedded objects"},
            {"image", "the background picture"},
            {"customProperty", "custom sheet properties"},
            {"queryTable", "data connections"},
        };
        if (const auto label = kLabels.find(kind); label != kLabels.end()) {
            copy.notCarried.insert(std::string(label->second));
        } else if (kind != "vmlDrawing" && kind != "table" && kind != "printerSettings") {
            copy.notCarried.insert("parts of kind '" + std::string(kind) + "'");
        }
    }
}

// The copy holding what a formula of `copy` finds on the source sheet `sheet`: its own sheet,
// else the first copy of that sheet.
const SheetCopy* Builder::copyHolding(const SheetCopy& copy, std::string_view sheet) const {
    if (SheetNamesEqual(copy.sheet->name, sheet)) {
        return &copy;
    }
    const auto& sheets = copy.source->package->sheets();
    for (std::size_t j = 0; j < sheets.size(); ++j) {
        if (SheetNamesEqual(sheets[j].name, sheet)) {
            return firstCopyOf(copy.source->package->identity(), static_cast<int>(j));
        }
    }
    return nullptr;
}

void Builder::planFilters(SheetCopy& copy) {
    FilterTargets targets;
    targets.pivot = [this,
                     &copy](std::string_view sheet,
                            std::string_view name) -> std::optional<std::pair<int, std::string>> {
        const SheetCopy* holder = copyHolding(copy, sheet);
        const auto key = holder ? pivots_.sourceSlicerKey(holder->index, name) : std::nullopt;
        if (!key) {
            return std::nullopt;
        }
        return std::make_pair(holder->index, *key);
    };
    targets.table = [this, &copy](int sourceId) -> std::optional<int> {
        const auto find = [sourceId](const SheetCopy& in) -> std::optional<int> {
            for (const auto& table : in.tables) {
                if (table.sourceId == sourceId) {
                    return table.id;
                }
            }
            return std::nullopt;
        };
        if (const auto own = find(copy)) {
            return own;
        }
        for (const auto& other : copies_) {
            if (other.source != nullptr &&
                other.source->package->identity() == copy.source->package->identity()) {
                if (const auto found = find(other)) {
                    return found;
                }
            }
        }
        return std::nullopt;
    };
    ResultStyles::Importer* styles = copy.source->importer.get();
    targets.style = [styles](FilterViewKind kind,
                             const std::string& name) -> std::optional<std::string> {
        try {
            return styles->filterStyle(name, kind == FilterViewKind::Timeline);
        } catch (const SpreadsheetError&) {
            return std::nullopt; // a style naming formats its workbook lacks: the view stays out
        }
    };
    targets.defaultStyle = [styles](FilterViewKind kind) {
        return styles->defaultFilterStyle(kind == FilterViewKind::Timeline);
    };
    for (const Relationship& rel : copy.filters) {
        FilterPlan plan =
            slicers_.plan(*copy.source->package, copy.index, rel, copy.partName, targets);
        if (plan.relationship) {
            graph_.reserve(plan.relationship->partName);
            copy.relationships.push_back(std::move(*plan.relationship));
        }
        for (auto& sentence : plan.leftOut) {
            add(ReportKind::PartNotCarried, copy, std::move(sentence));
        }
    }
}

const SheetCopy* Builder::firstCopyOf(const std::string& identity, int sourceIndex) const {
    for (const auto& copy : copies_) {
        if (copy.source != nullptr && copy.planned->sourceIndex == sourceIndex &&
            copy.source->package->identity() == identity) {
            return &copy;
        }
    }
    return nullptr;
}

std::optional<std::string> Builder::resultSheetName(const SheetCopy& copy, std::string_view name) {
    const auto& sheets = copy.source->package->sheets();
    for (std::size_t j = 0; j < sheets.size(); ++j) {
        if (!SheetNamesEqual(sheets[j].name, name)) {
            continue;
        }
        if (static_cast<int>(j) == copy.planned->sourceIndex) {
            return copy.planned->name;
        }
        if (const SheetCopy* other =
                firstCopyOf(copy.source->package->identity(), static_cast<int>(j))) {
            return other->planned->name;
        }
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> Builder::resultTableName(const SheetCopy& copy, std::string_view name) {
    for (const auto& table : copy.tables) {
        if (DefinedNamesEqual(table.sourceName, name)) {
            return table.resultName;
        }
    }
    for (const auto& other : copies_) {
        if (other.source == nullptr ||
            other.source->package->identity() != copy.source->package->identity()) {
            continue;
        }
        for (const auto& table : other.tables) {
            if (DefinedNamesEqual(table.sourceName, name)) {
                return table.resultName;
            }
        }
    }
    return std::nullopt;
}

std::optional<std::string> Builder::rewriteNameFormula(SheetCopy& copy,
                                                       const SourceDefinedName& name) {
    const auto key =
        std::make_pair(copy.source->package->identity() + "#" + std::to_string(copy.index),
                       FoldPartName(name.name));
    if (namesInProgress_.count(key) != 0) {
        return name.formula; // a name that refers to itself: leave the loop to the program
    }
    namesInProgress_.insert(key);
    FormulaContext context = formulaContextFor(copy);
    const FormulaRewrite result = RewriteFormula(name.formula, context);
    namesInProgress_.erase(key);
    if (!result.computable) {
        add(ReportKind::PartNotCarried, copy,
            "The name " + Quoted(name.name) + " was not carried: " + result.reason + ".");
        return std::nullopt;
    }
    return result.text;
}

std::optional<std::string> Builder::carryLocalName(SheetCopy& copy, const SourceDefinedName& name) {
    const auto cacheKey = std::make_pair(copy.index, FoldPartName(name.name));
    if (const auto cached = localNameCache_.find(cacheKey); cached != localNameCache_.end()) {
        return cached->second;
    }
    localNameCache_[cacheKey] = name.name; // provisional, for names that refer to themselves
    std::optional<std::string> result;
    if (const auto text = rewriteNameFormula(copy, name)) {
        names_.add({name.name, copy.index, *text, name.node, copy.source->package->identity(),
                    name.formula});
        result = name.name;
    }
    localNameCache_[cacheKey] = result;
    return result;
}

std::optional<std::string> Builder::carryGlobalName(SheetCopy& copy,
                                                    const SourceDefinedName& name) {
    const std::string& identity = copy.source->package->identity();
    if (const ResultDefinedName* existing = names_.find(name.name, std::nullopt)) {
        if (existing->origin == identity && existing->sourceText == name.formula) {
            return existing->name;
        }
        // Another workbook's name of the same spelling: a local copy overrides it on this sheet.
        if (names_.find(name.name, copy.index) == nullptr) {
            const auto result = carryLocalName(copy, name);
            if (result) {
                add(ReportKind::NameChanged, copy,
                    "The name " + Quoted(name.name) +
                        " was made local to this sheet, because the result already has a "
                        "different name of that spelling.");
            }
            return result;
        }
        return name.name;
    }
    const auto text = rewriteNameFormula(copy, name);
    if (!text) {
        return std::nullopt;
    }
    if (names_.find(name.name, std::nullopt) == nullptr) { // not added while rewriting
        names_.add({name.name, std::nullopt, *text, name.node, identity, name.formula});
    }
    return name.name;
}

std::optional<std::string> Builder::resultDefinedName(SheetCopy& copy, std::string_view name) {
    const SourcePackage& package = *copy.source->package;
    for (const auto& defined : package.definedNames()) {
        if (defined.localSheetId == copy.sheet->position && DefinedNamesEqual(defined.name, name)) {
            return carryLocalName(copy, defined);
        }
    }
    for (const auto& defined : package.definedNames()) {
        if (!defined.localSheetId && DefinedNamesEqual(defined.name, name)) {
            return carryGlobalName(copy, defined);
        }
    }
    if (auto table = resultTableName(copy, name)) {
        return table;
    }
    // A table of the source whose sheet is not in the result: the formula cannot compute here.
    if (!copy.source->tableNames) {
        copy.source->tableNames = SourceTableNames(package);
    }
    if (copy.source->tableNames->count(FoldPartName(name)) != 0) {
        return std::nullopt;
    }
    // A name the source does not define either meant nothing there and keeps that meaning.
    if (!names_.contains(name)) {
        return std::string(name);
    }
    return std::nullopt;
}

FormulaContext Builder::formulaContextFor(SheetCopy& copy) {
    FormulaContext context;
    context.currentSheet = copy.planned->name;
    context.externalLink = [this, &copy](int number) {
        const auto result = externalLinks_.number(*copy.source->package, number);
        copy.usesExternalLinks = copy.usesExternalLinks || result.has_value();
        return result;
    };
    context.sheet = [this, &copy](std::string_view name) { return resultSheetName(copy, name); };
    context.table = [this, &copy](std::string_view name) { return resultTableName(copy, name); };
    context.definedName = [this, &copy](std::string_view name) {
        return resultDefinedName(copy, name);
    };
    context.sheetSpan = [this, &copy](std::string_view first, std::string_view last) {
        const auto& sheets = copy.source->package->sheets();
        int from = -1;
        int to = -1;
        for (std::size_t j = 0; j < sheets.size(); ++j) {
            if (SheetNamesEqual(sheets[j].name, first)) {
                from = static_cast<int>(j);
            }
            if (SheetNamesEqual(sheets[j].name, last)) {
                to = static_cast<int>(j);
            }
        }
        if (from < 0 || to < 0 || from > to) {
            return false;
        }
        // Every sheet of the span copied, next to each other and in the same order.
        int previous = -1;
        for (int j = from; j <= to; ++j) {
            const SheetCopy* c = firstCopyOf(copy.source->package->identity(), j);
            if (c == nullptr || (previous >= 0 && c->index != previous + 1)) {
                return false;
            }
            previous = c->index;
        }
        return true;
    };
    return context;
}

void Builder::add(ReportKind kind, const SheetCopy& copy, std::string message) {
    report_.add({kind, copy.source != nullptr ? copy.source->package->displayName() : std::string(),
                 copy.sheet != nullptr ? copy.sheet->name : copy.planned->name, copy.planned->name,
                 std::move(message)});
}

std::string Builder::tableXml(SheetCopy& copy, TableCopy& table, FormulaContext& context) {
    XmlNode& root = table.root;
    for (auto& [key, value] : root.attributes) {
        if (key == "xmlns" || key.starts_with("xmlns:")) {
            value = TransitionalUri(value);
        }
    }
    root.setAttribute("id", std::to_string(table.id));
    root.setAttribute("name", table.resultName);
    root.setAttribute("displayName", table.resultName);
    if (table.resultName != table.sourceName) {
        add(ReportKind::NameChanged, copy,
            "The table " + Quoted(table.sourceName) + " was named " + Quoted(table.resultName) +
                " because the result already had that name.");
    }
    const bool query = root.attribute("tableType") != nullptr && carryQuery(copy, table, context);
    if (root.attribute("tableType") != nullptr && !query) {
        root.removeAttribute("tableType");
        root.removeAttribute("connectionId");
        copy.notCarried.insert("data connections (the table keeps its data)");
    }
    ResultStyles::Importer& styles = *copy.source->importer;
    const auto mapDxf = [&](XmlNode& node) {
        for (const auto attribute : kTableDxfAttributes) {
            if (const std::string* value = node.attribute(attribute)) {
                node.setAttribute(attribute, std::to_string(styles.dxf(std::atoi(value->c_str()))));
            }
        }
        for (const auto attribute : {"headerRowCellStyle", "dataCellStyle", "totalsRowCellStyle"}) {
            // Named styles of the source; the cells keep their look through their own formats.
            node.removeAttribute(attribute);
        }
    };
    mapDxf(root);
    std::function<void(XmlNode&)> mapFilterDxfs = [&](XmlNode& node) {
        if (node.localName() == "colorFilter" || node.localName() == "sortCondition") {
            if (const std::string* value = node.attribute("dxfId")) {
                node.setAttribute("dxfId", std::to_string(styles.dxf(std::atoi(value->c_str()))));
            }
        }
        for (auto& child : node.children) {
            if (!child.isText()) {
                mapFilterDxfs(child);
            }
        }
    };
    for (auto& child : root.children) {
        if (child.isText()) {
            continue;
        }
        const std::string_view local = child.localName();
        if (local == "autoFilter" || local == "sortState") {
            mapFilterDxfs(child);
        } else if (local == "tableColumns") {
            for (auto& column : child.children) {
                if (column.isText()) {
                    continue;
                }
                mapDxf(column);
                if (!query) {
                    column.removeAttribute("queryTableFieldId");
                }
                std::erase_if(column.children, [&](XmlNode& formula) {
                    if (formula.isText() || (formula.localName() != "calculatedColumnFormula" &&
                                             formula.localName() != "totalsRowFormula")) {
                        return false;
                    }
                    const FormulaRewrite result = RewriteFormula(formula.textContent(), context);
                    if (!result.computable) {
                        add(ReportKind::FormulaAsValue, copy,
                            "A column formula of the table " + Quoted(table.resultName) +
                                " was not carried: " + result.reason + ".");
                        return true;
                    }
                    if (result.changed) {
                        formula.setTextContent(result.text);
                    }
                    return false;
                });
            }
        } else if (local == "tableStyleInfo") {
            if (const std::string* name = child.attribute("name")) {
                child.setAttribute("name", styles.tableStyle(*name));
            }
        }
    }
    std::string xml(kXmlDeclaration);
    AppendNode(xml, root);
    return xml;
}

// Carries the query table that fills `table` and the connection it reads, or says in the report
// why the table keeps its data as a plain table.
bool Builder::carryQuery(SheetCopy& copy, TableCopy& table, FormulaContext& context) {
    XmlNode& root = table.root;
    const SourcePackage& package = *copy.source->package;
    if (root.attributeOr("tableType", "") != "queryTable") {
        return false; // an XML map's table: the map is not carried
    }
    const Relationships tableRels = package.relationshipsOf(table.sourcePart);
    const Relationship* rel = tableRels.firstOfKind(kQueryTableRelationshipKind);
    const auto stored =
        rel != nullptr && !rel->external ? package.zip().find(rel->partName) : std::nullopt;
    XmlNode query;
    std::string refusal;
    if (!stored) {
        refusal = "its query is missing from the workbook";
    } else {
        try {
            query = ParseNamespacedXmlTree(package.readTransitionalPart(*stored),
                                           package.displayName(), *stored);
        } catch (const SpreadsheetError&) {
            refusal = "its query is damaged in the workbook";
        }
    }
    const auto cells = [&context](std::string_view cell) -> std::optional<std::string> {
        const FormulaRewrite result = RewriteFormula(cell, context);
        return result.computable ? std::optional<std::string>(result.text) : std::nullopt;
    };
    // Every connection id the table and its query name is carried before anything changes.
    std::vector<std::pair<XmlNode*, int>> users;
    for (XmlNode* node : {&root, &query}) {
        if (const std::string* id = node->attribute("connectionId"); id != nullptr) {
            users.emplace_back(node, std::atoi(id->c_str()));
        }
    }
    if (refusal.empty() && (users.empty() || users.back().first != &query)) {
        refusal = "its query names no data connection";
    }
    std::vector<std::pair<XmlNode*, int>> resultIds;
    std::vector<std::string> renames;
    for (const auto& [node, sourceId] : users) {
        if (!refusal.empty()) {
            break;
        }
        ConnectionUse use =
            connections_.carry(package, sourceId, std::to_string(copy.index), cells);
        if (!use.id) {
            refusal = std::move(use.refusal);
            break;
        }
        resultIds.emplace_back(node, *use.id);
        if (!use.renamed.empty()) {
            renames.push_back(std::move(use.renamed));
        }
    }
    if (!refusal.empty()) {
        copy.keptAsValues.insert("A table filled by a query or connection is kept as a plain "
                                 "table with its data (" +
                                 refusal + "): it no longer refreshes from its source.");
        return false;
    }
    for (const auto& [node, id] : resultIds) {
        node->setAttribute("connectionId", std::to_string(id));
    }
    for (auto& sentence : renames) {
        add(ReportKind::NameChanged, copy, std::move(sentence));
    }
    for (auto& [key, value] : query.attributes) {
        if (key == "xmlns" || key.starts_with("xmlns:")) {
            value = TransitionalUri(value);
        }
    }
    table.query.relationshipId = rel->id;
    table.query.resultPart =
        "xl/queryTables/queryTable" + std::to_string(nextQueryTablePart_++) + ".xml";
    graph_.reserve(table.query.resultPart);
    table.query.xml = std::string(kXmlDeclaration) + SerializeNode(query);
    return true;
}

void Builder::writeSheet(SheetCopy& copy, ZipWriter& zip) {
    if (copy.source == nullptr) {
        zip.addEntry(copy.partName, BlankWorksheetXml(copy.selected));
        return;
    }
    FormulaContext context = formulaContextFor(copy);
    SheetCopyContext sheetContext;
    sheetContext.source = copy.source->package;
    sheetContext.sheet = copy.sheet;
    sheetContext.resultName = copy.planned->name;
    sheetContext.selected = copy.selected;
    sheetContext.styles = copy.source->importer.get();
    sheetContext.strings = copy.source->stringImporter.get();
    sheetContext.resultStrings = &strings_;
    sheetContext.sourceStyles = &copy.source->styles;
    sheetContext.formulas = &context;
    sheetContext.progress = plan_.progress;
    sheetContext.metadata = copy.source->metadataImporter.get();
    sheetContext.shapeIds = comments_.shapeIdsOf(copy.index);
    for (const auto& rel : copy.relationships) {
        sheetContext.carriedRelationships.insert(rel.id);
        sheetContext.pivotTables =
            sheetContext.pivotTables || RelationshipKind(rel.type) == kPivotTableRelationshipKind;
    }
    if (copy.source->package->date1904() != date1904_) {
        sheetContext.dateShiftDays = date1904_ ? -kDateSystemOffsetDays : kDateSystemOffsetDays;
    }
    ColumnWidthDecision sizes = DecideColumnWidths(copy.source->normalFont, baseFont_);
    sheetContext.sizes = sizes.sizes;
    if (!sizes.note.empty() && fontsReported_.insert(copy.source->package->identity()).second) {
        // Converted sizes look as in the source; sizes copied as stored may not.
        add(sizes.sizes ? ReportKind::Adjusted : ReportKind::MayLookDifferent, copy,
            std::move(sizes.note));
    }
    const SheetCopyNotes notes = TransplantSheet(sheetContext, zip, copy.partName);

    // Every name scoped to the sheet travels with it (print areas, filter ranges, ...).
    for (const auto& defined : copy.source->package->definedNames()) {
        if (defined.localSheetId == copy.sheet->position &&
            defined.node.attributeOr("function", "0") != "1" &&
            defined.node.attributeOr("vbProcedure", "0") != "1") {
            carryLocalName(copy, defined);
        }
    }
    for (auto& table : copy.tables) {
        zip.addEntry(table.resultPart, tableXml(copy, table, context));
        if (!table.query.resultPart.empty()) {
            zip.addEntry(table.query.resultPart, table.query.xml);
            Relationship toQuery;
            toQuery.id = table.query.relationshipId;
            toQuery.type =
                std::string(kRelationshipTypePrefix) + std::string(kQueryTableRelationshipKind);
            toQuery.target = RelativeTarget(table.resultPart, table.query.resultPart);
            zip.addEntry(RelationshipsPartFor(table.resultPart), RelationshipsXml({toQuery}));
            table.query.xml.clear();
        }
    }
    for (const auto& part : copy.parts) {
        zip.addRawEntry(part.resultPart, copy.source->package->zip(), part.sourcePart);
    }
    writeGraph(copy, context, zip);
    if (!copy.relationships.empty()) {
        zip.addEntry(RelationshipsPartFor(copy.partName), RelationshipsXml(copy.relationships));
    }
    reportCopy(copy, notes);
}

void Builder::writeGraph(const SheetCopy& copy, const FormulaContext& context, ZipWriter& zip) {
    PartCopyContext parts;
    parts.source = copy.source->package;
    parts.copyIndex = copy.index;
    parts.sourceSheet = copy.sheet->name;
    parts.resultSheet = copy.planned->name;
    parts.formulas = &context;
    parts.sourceTheme = &copy.source->theme;
    parts.resultTheme = &theme_;
    auto reported = std::make_shared<std::set<std::string>>();
    parts.report = [this, &copy, reported](ReportKind kind, const std::string& message) {
        if (reported->insert(message).second) {
            add(kind, copy, message);
        }
    };
    parts.pivotTable = [this, &copy](std::string_view sheet,
                                     std::string_view name) -> std::optional<std::string> {
        const auto resultName = resultSheetName(copy, sheet);
        for (const auto& other : copies_) {
            if (resultName && other.planned->name == *resultName &&
                pivots_.carries(other.index, name)) {
                return resultName;
            }
        }
        return std::nullopt;
    };
    parts.filterView = [this, &copy](FilterViewKind kind, std::string_view name) {
        return slicers_.viewName(copy.index, kind, name);
    };
    parts.filterViewReported = [this, &copy](FilterViewKind kind, std::string_view name) {
        return slicers_.leftOut(copy.index, kind, name);
    };
    graph_.write(parts, zip);
}

PivotSourceLookup Builder::pivotLookupFor(int copyIndex) {
    SheetCopy& copy = copies_.at(static_cast<std::size_t>(copyIndex));
    PivotSourceLookup lookup;
    lookup.sheet = [this, &copy](std::string_view name) { return resultSheetName(copy, name); };
    lookup.table = [this, &copy](std::string_view name) { return resultTableName(copy, name); };
    lookup.definedName = [this, &copy](std::string_view name) -> std::optional<std::string> {
        for (const auto& defined : copy.source->package->definedNames()) {
            if (!defined.localSheetId && DefinedNamesEqual(defined.name, name)) {
                // Another workbook's name of that spelling: the source file has the data.
                const ResultDefinedName* taken = names_.find(defined.name, std::nullopt);
                if (taken != nullptr && (taken->origin != copy.source->package->identity() ||
                                         taken->sourceText != defined.formula)) {
                    return std::nullopt;
                }
                return carryGlobalName(copy, defined);
            }
        }
        return std::nullopt;
    };
    ResultStyles::Importer* styles = copy.source->importer.get();
    lookup.dxf = [styles](int index) { return styles->dxf(index); };
    lookup.tableStyle = [styles](const std::string& name) { return styles->tableStyle(name); };
    lookup.report = [this, &copy](ReportKind kind, const std::string& message) {
        add(kind, copy, message);
    };
    return lookup;
}

void Builder::reportCopy(const SheetCopy& copy, const SheetCopyNotes& notes) {
    if (HasMacros(*copy.source->package) &&
        macrosReported_.insert(copy.source->package->identity()).second) {
        add(ReportKind::PartNotCarried, copy, std::string(kMacrosNotCarried));
    }
    if (notes.formulasAsValues > 0) {
        std::string message =
            std::to_string(notes.formulasAsValues) +
            (notes.formulasAsValues == 1 ? " formula refers" : " formulas refer") +
            " to something that is not in the result and kept "
            "the value it last showed";
        if (!notes.formulaExamples.empty()) {
            message += ", for example ";
            for (std::size_t i = 0; i < notes.formulaExamples.size(); ++i) {
                message += (i > 0 ? "; " : "") + notes.formulaExamples[i];
            }
        }
        add(ReportKind::FormulaAsValue, copy, message + ".");
    }
    if (notes.rulesDropped > 0) {
        std::string message = std::to_string(notes.rulesDropped) +
                              " rule(s) refer to sheets that are not in the result and were left "
                              "out";
        if (!notes.ruleExamples.empty()) {
            message += ": ";
            for (std::size_t i = 0; i < notes.ruleExamples.size(); ++i) {
                message += (i > 0 ? "; " : "") + notes.ruleExamples[i];
            }
        }
        add(ReportKind::PartNotCarried, copy, message + ".");
    }
    std::set<std::string> notCarried = copy.notCarried;
    notCarried.insert(notes.notCarried.begin(), notes.notCarried.end());
    for (const auto& what : notCarried) {
        add(NotCarriedKind(what), copy, NotCarriedSentence(what));
    }
    for (const auto& sentence : copy.keptAsValues) {
        add(ReportKind::FormulaAsValue, copy, sentence);
    }
    for (const auto& what : notes.mayDiffer) {
        add(ReportKind::MayLookDifferent, copy, what);
    }
    if (copy.source->package->date1904() != date1904_) {
        add(ReportKind::MayLookDifferent, copy,
            "The workbook counts dates from 1904, the result from 1900 (or the other way round): " +
                std::to_string(notes.shiftedDates) +
                " date cell(s) were adjusted; dates computed inside formulas may be four years "
                "off.");
    }
    if (copy.usesExternalLinks) {
        add(ReportKind::MayLookDifferent, copy,
            "Formulas or names that use other workbooks keep their links and last values; the "
            "spreadsheet program may ask whether to update them.");
    }
    if (copy.source->importer->themeDiffers()) {
        add(ReportKind::Adjusted, copy, std::string(kThemeFixedNote));
    }
}

std::string Builder::workbookXml() const {
    std::string xml(kXmlDeclaration);
    xml += "<workbook xmlns=\"";
    xml += kMainNamespace;
    xml += "\" xmlns:r=\"";
    xml += kRelationshipNamespace;
    xml += "\">";
    xml += date1904_ ? "<workbookPr date1904=\"1\"/>" : "<workbookPr/>";
    int active = 0;
    for (const auto& copy : copies_) {
        if (copy.selected) {
            active = copy.index;
        }
    }
    xml += "<bookViews><workbookView activeTab=\"" + std::to_string(active) + "\"/></bookViews>";
    xml += "<sheets>";
    for (const auto& copy : copies_) {
        std::vector<std::pair<std::string, std::string>> attributes = {
            {"name", copy.planned->name}, {"sheetId", std::to_string(copy.index + 1)}};
        if (copy.visibility == SheetVisibility::Hidden) {
            attributes.emplace_back("state", "hidden");
        } else if (copy.visibility == SheetVisibility::VeryHidden) {
            attributes.emplace_back("state", "veryHidden");
        }
        attributes.emplace_back("r:id", "rId" + std::to_string(copy.index + 1));
        AppendStartTag(xml, "sheet", attributes, true);
    }
    xml += "</sheets>";
    xml += externalLinks_.referencesXml();
    xml += names_.toXml();
    xml += "<calcPr calcId=\"";
    xml += kCalcId;
    xml += "\" fullCalcOnLoad=\"1\"/>";
    xml += pivots_.pivotCachesXml();
    xml += slicers_.workbookExtensionXml();
    xml += "</workbook>";
    return xml;
}

std::string Builder::workbookRelationshipsXml() const {
    std::string xml(kXmlDeclaration);
    xml += "<Relationships xmlns=\"";
    xml += kPackageRelationshipNamespace;
    xml += "\">";
    const auto relationship = [&](const std::string& id, std::string_view kind,
                                  const std::string& target) {
        AppendStartTag(xml, "Relationship",
                       {{"Id", id},
                        {"Type", std::string(kRelationshipTypePrefix) + std::string(kind)},
                        {"Target", target}},
                       true);
    };
    for (const auto& copy : copies_) {
        relationship("rId" + std::to_string(copy.index + 1), "worksheet",
                     RelativeTarget(kWorkbookPart, copy.partName));
    }
    const std::size_t n = copies_.size();
    relationship("rId" + std::to_string(n + 1), "theme", "theme/theme1.xml");
    relationship("rId" + std::to_string(n + 2), "styles", "styles.xml");
    if (!strings_.empty()) {
        relationship("rId" + std::to_string(n + 3), "sharedStrings", "sharedStrings.xml");
    }
    if (!metadata_.empty()) {
        relationship("rIdMetadata", std::string(kMetadataRelationshipKind),
                     RelativeTarget(kWorkbookPart, kMetadataPartName));
    }
    if (comments_.hasPersons()) {
        AppendStartTag(xml, "Relationship",
                       {{"Id", "rIdPersons"},
                        {"Type", std::string(kPersonRelationshipType)},
                        {"Target", RelativeTarget(kWorkbookPart, kPersonPartName)}},
                       true);
    }
    for (std::size_t i = 0; i < externalLinks_.size(); ++i) {
        relationship(externalLinks_.relationshipId(i), std::string(kExternalLinkRelationshipKind),
                     RelativeTarget(kWorkbookPart, externalLinks_.partName(i)));
    }
    auto carriedParts = pivots_.workbookRelationships();
    for (auto& rel : slicers_.workbookRelationships()) {
        carriedParts.push_back(std::move(rel));
    }
    if (!connections_.empty()) {
        carriedParts.push_back(connections_.workbookRelationship());
    }
    for (const Relationship& rel : carriedParts) {
        AppendStartTag(xml, "Relationship",
                       {{"Id", rel.id}, {"Type", rel.type}, {"Target", rel.target}}, true);
    }
    xml += "</Relationships>";
    return xml;
}

std::string Builder::appPropertiesXml() const {
    std::string xml(kXmlDeclaration);
    xml += "<Properties xmlns=\"http://schemas.openxmlformats.org/officeDocument/2006/"
           "extended-properties\" xmlns:vt=\"http://schemas.openxmlformats.org/officeDocument/"
           "2006/docPropsVTypes\"><Application>";
    xml += kApplicationName;
    xml += "</Application><HeadingPairs><vt:vector size=\"2\" baseType=\"variant\"><vt:variant>"
           "<vt:lpstr>Worksheets</vt:lpstr></vt:variant><vt:variant><vt:i4>";
    xml += std::to_string(copies_.size());
    xml += "</vt:i4></vt:variant></vt:vector></HeadingPairs><TitlesOfParts><vt:vector size=\"";
    xml += std::to_string(copies_.size());
    xml += "\" baseType=\"lpstr\">";
    for (const auto& copy : copies_) {
        xml += "<vt:lpstr>";
        EscapeTextInto(xml, copy.planned->name);
        xml += "</vt:lpstr>";
    }
    xml += "</vt:vector></TitlesOfParts></Properties>";
    return xml;
}

std::string Builder::corePropertiesXml() const {
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string xml(kXmlDeclaration);
    xml += "<cp:coreProperties xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/"
           "metadata/core-properties\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
           "xmlns:dcterms=\"http://purl.org/dc/terms/\" xmlns:xsi=\"http://www.w3.org/2001/"
           "XMLSchema-instance\"><dc:creator>";
    xml += kApplicationName;
    xml += "</dc:creator><dcterms:created xsi:type=\"dcterms:W3CDTF\">";
    xml += stamp;
    xml += "</dcterms:created></cp:coreProperties>";
    return xml;
}

void Builder::write(OutputSink& sink) {
    chooseBase();
    planSheets();
    ZipWriter zip(sink);
    ContentTypesWriter types;
    for (auto& copy : copies_) {
        writeSheet(copy, zip);
        types.addOverride(copy.partName, content_type::kWorksheet);
        for (const auto& table : copy.tables) {
            types.addOverride(table.resultPart, content_type::kTable);
            if (!table.query.resultPart.empty()) {
                types.addOverride(table.query.resultPart, kQueryTableContentType);
            }
        }
        for (const auto& part : copy.parts) {
            types.addOverride(part.resultPart, part.contentType);
        }
    }
    graph_.addContentTypes(types);
    // After every sheet: a pivot table's data source may be a sheet, table or name copied later.
    pivots_.write([this](int copyIndex) { return pivotLookupFor(copyIndex); }, zip, types);
    slicers_.write(
        [this](int copyIndex, std::string_view pivot) {
            return pivots_.resultSlicerKey(copyIndex, pivot);
        },
        [this](std::string_view name) {
            return names_.contains(name) || tableNames_.count(FoldPartName(name)) != 0;
        },
        [this](const std::string& name) {
            const std::string formula(kSlicerCacheNameFormula);
            names_.add({name, std::nullopt, formula, XmlNode{}, std::string(), formula});
        },
        zip, types);
    externalLinks_.write(zip, types);
    connections_.write(zip, types);
    zip.addEntry(kWorkbookPart, workbookXml());
    zip.addEntry(RelationshipsPartFor(kWorkbookPart), workbookRelationshipsXml());
    zip.addEntry(kThemePart, theme_.xml());
    zip.addEntry(kStylesPartName, styles_->toXml());
    if (!strings_.empty()) {
        zip.beginEntry(kSharedStringsPartName);
        strings_.write([&](std::string_view piece) { zip.write(piece); });
        zip.endEntry();
        types.addOverride(kSharedStringsPartName, content_type::kSharedStrings);
    }
    if (!metadata_.empty()) {
        zip.addEntry(std::string(kMetadataPartName), metadata_.toXml());
        types.addOverride(std::string(kMetadataPartName), std::string(kMetadataContentType));
    }
    if (comments_.hasPersons()) {
        zip.addEntry(std::string(kPersonPartName), comments_.personsXml());
        types.addOverride(kPersonPartName, kPersonContentType);
    }
    zip.addEntry(kAppPropertiesPart, appPropertiesXml());
    zip.addEntry(kCorePropertiesPart, corePropertiesXml());
    std::string packageRels(kXmlDeclaration);
    packageRels += "<Relationships xmlns=\"";
    packageRels += kPackageRelationshipNamespace;
    packageRels += "\">";
    AppendStartTag(packageRels, "Relationship",
                   {{"Id", "rId1"},
                    {"Type", std::string(kRelationshipTypePrefix) + "officeDocument"},
                    {"Target", std::string(kWorkbookPart)}},
                   true);
    AppendStartTag(packageRels, "Relationship",
                   {{"Id", "rId2"},
                    {"Type", std::string(kRelationshipTypePrefix) + "extended-properties"},
                    {"Target", std::string(kAppPropertiesPart)}},
                   true);
    AppendStartTag(packageRels, "Relationship",
                   {{"Id", "rId3"},
                    {"Type", std::string(kCorePropertiesType)},
                    {"Target", std::string(kCorePropertiesPart)}},
                   true);
    packageRels += "</Relationships>";
    zip.addEntry("_rels/.rels", packageRels);
    types.addOverride(kWorkbookPart, content_type::kWorkbook);
    types.addOverride(kThemePart, content_type::kTheme);
    types.addOverride(kStylesPartName, content_type::kStyles);
    types.addOverride(kAppPropertiesPart, content_type::kExtendedProperties);
    types.addOverride(kCorePropertiesPart, content_type::kCoreProperties);
    zip.addEntry("[Content_Types].xml", types.toXml());
    zip.finish();
}

} // namespace

void WriteWorkbook(const WorkbookPlan& plan, OutputSink& sink, MergeReport& report) {
    if (plan.sheets.empty()) {
        ThrowError(ErrorCode::NotAWorksheet, "A workbook needs at least one worksheet.");
    }
    Builder builder(plan, report);
    builder.write(sink);
    if (plan.progress != nullptr) {
        plan.progress->finish(); // before the file is renamed into place, so it may still fail
    }
}

void SaveWorkbookFile(const WorkbookPlan& plan, const std::filesystem::path& file,
                      MergeReport& report, const SinkDecorator& decorate) {
    RequireWorkbookResultName(file);
    // The report of a failed write is not kept: nothing was written.
    MergeReport pending;
    WriteFileAtomically(
        file, [&](OutputSink& sink) { WriteWorkbook(plan, sink, pending); }, decorate);
    for (auto& item : pending.items) {
        report.add(std::move(item));
    }
}

} // namespace quillory::spreadsheet::ooxml
