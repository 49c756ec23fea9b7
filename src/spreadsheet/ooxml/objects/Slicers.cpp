#include "spreadsheet/ooxml/objects/Slicers.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <cstdlib>
#include <map>
#include <set>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kSlicerType =
    "http://schemas.microsoft.com/office/2007/relationships/slicer";
constexpr std::string_view kSlicerCacheType =
    "http://schemas.microsoft.com/office/2007/relationships/slicerCache";
constexpr std::string_view kSlicerContentType = "application/vnd.ms-excel.slicer+xml";
constexpr std::string_view kSlicerCacheContentType = "application/vnd.ms-excel.slicerCache+xml";
constexpr std::string_view kX14Namespace =
    "http://schemas.microsoft.com/office/spreadsheetml/2009/9/main";
// The workbook extension listing the caches of pivot table slicers.
constexpr std::string_view kSlicerCachesUri = "{BBE1A952-AA13-448e-AADC-164F8A28A991}";
constexpr std::string_view kSlicerFolder = "xl/slicers/slicer";
constexpr std::string_view kSlicerCacheFolder = "xl/slicerCaches/slicerCache";
constexpr std::string_view kWorkbookRelationshipIdPrefix = "rIdSlicerCache";
constexpr int kMaxNameAttempts = 10000;

// Slicer styles every spreadsheet program knows; a custom one lives in the source's styles,
// which the result does not carry.
bool BuiltInStyle(std::string_view style) {
    static const std::set<std::string_view> kBuiltIn = {
        "SlicerStyleLight1", "SlicerStyleLight2", "SlicerStyleLight3", "SlicerStyleLight4",
        "SlicerStyleLight5", "SlicerStyleLight6", "SlicerStyleDark1",  "SlicerStyleDark2",
        "SlicerStyleDark3",  "SlicerStyleDark4",  "SlicerStyleDark5",  "SlicerStyleDark6",
        "SlicerStyleOther1", "SlicerStyleOther2"};
    return style.empty() || kBuiltIn.count(style) != 0;
}

const std::string* RelationshipIdOf(const XmlNode& node) {
    for (const auto& [key, value] : node.attributes) {
        if (IsRelationshipIdAttribute(key)) {
            return &value;
        }
    }
    return nullptr;
}

std::string ReadXml(const SourcePackage& source, std::string_view part) {
    std::string xml = source.readPart(part);
    return source.strict() ? TransitionalXml(std::move(xml)) : xml;
}

std::optional<XmlNode> ParseOrNothing(const SourcePackage& source, const std::string& part) {
    try {
        return ParseNamespacedXmlTree(ReadXml(source, part), source.displayName(), part);
    } catch (const SpreadsheetError&) {
        return std::nullopt;
    }
}

std::string PartXml(const XmlNode& root) {
    std::string xml(kXmlDeclaration);
    AppendNode(xml, root);
    return xml;
}

} // namespace

struct SlicerCarrier::Impl {
    struct SourceBook {
        std::map<std::string, int> sheetIds;       // sheet name -> sheetId
        std::map<std::string, std::string> caches; // folded cache name -> cache part
    };
    struct CarriedCache {
        int copyIndex = 0;
        XmlNode root;
        std::string resultPart;
        std::string resultName;
    };
    struct CarriedSlicer {
        int copyIndex = 0;
        XmlNode root;
        std::string resultPart;
        std::vector<std::string> cacheKeys; // per view, into `caches`
    };

    std::map<std::string, SourceBook> books;    // by identity
    std::map<std::string, CarriedCache> caches; // by copy + source cache part
    std::vector<std::string> cacheOrder;
    std::vector<CarriedSlicer> slicers;
    std::map<std::pair<int, std::string>, std::string> views; // (copy, folded name) -> result
    std::set<std::string> viewNames;                          // folded, in the result

    const SourceBook& bookOf(const SourcePackage& source) {
        auto [slot, added] = books.try_emplace(source.identity());
        if (!added) {
            return slot->second;
        }
        const auto root = ParseOrNothing(source, source.workbookPartName());
        if (!root) {
            return slot->second;
        }
        if (const XmlNode* sheets = root->child("sheets")) {
            for (const XmlNode* sheet : sheets->childrenNamed("sheet")) {
                slot->second.sheetIds[FoldPartName(sheet->attributeOr("name", ""))] =
                    std::atoi(sheet->attributeOr("sheetId", "0").c_str());
            }
        }
        const XmlNode* extensions = root->child("extLst");
        for (const XmlNode* ext :
             extensions ? extensions->childrenNamed("ext") : std::vector<const XmlNode*>{}) {
            if (FoldPartName(ext->attributeOr("uri", "")) != FoldPartName(kSlicerCachesUri)) {
                continue;
            }
            const XmlNode* list = ext->child("slicerCaches");
            for (const XmlNode* entry :
                 list ? list->childrenNamed("slicerCache") : std::vector<const XmlNode*>{}) {
                const std::string* id = RelationshipIdOf(*entry);
                const Relationship* rel = id ? source.workbookRelationships().byId(*id) : nullptr;
                const auto stored =
                    rel && !rel->external ? source.zip().find(rel->partName) : std::nullopt;
                const auto cache = stored ? ParseOrNothing(source, *stored) : std::nullopt;
                if (cache) {
                    slot->second.caches.emplace(FoldPartName(cache->attributeOr("name", "")),
                                                *stored);
                }
            }
        }
        return slot->second;
    }

    // Whether the cache filters only pivot tables of this sheet that came along, all over the
    // cache the slicer names.
    static bool cacheCarried(const XmlNode& cache, int sheetId, const PivotCacheKey& keyOf) {
        const XmlNode* data = cache.child("data");
        const XmlNode* tabular = data ? data->child("tabular") : nullptr;
        const XmlNode* pivots = cache.child("pivotTables");
        if (tabular == nullptr || pivots == nullptr || cache.attribute("name") == nullptr) {
            return false;
        }
        const std::string key = tabular->attributeOr("pivotCacheId", "");
        const auto listed = pivots->childrenNamed("pivotTable");
        if (listed.empty() || key.empty()) {
            return false;
        }
        for (const XmlNode* pivot : listed) {
            const auto carried = keyOf(pivot->attributeOr("name", ""));
            if (std::atoi(pivot->attributeOr("tabId", "0").c_str()) != sheetId || !carried ||
                *carried != key) {
                return false;
            }
        }
        return true;
    }

    std::string uniqueViewName(const std::string& wanted) {
        std::string name = wanted;
        for (int n = 1; viewNames.count(FoldPartName(name)) != 0 && n < kMaxNameAttempts; ++n) {
            name = wanted + " " + std::to_string(n);
        }
        viewNames.insert(FoldPartName(name));
        return name;
    }
};

SlicerCarrier::SlicerCarrier() : impl_(std::make_unique<Impl>()) {}
SlicerCarrier::~SlicerCarrier() = default;

std::optional<Relationship> SlicerCarrier::plan(const SourcePackage& source, int copyIndex,
                                                std::string_view sourceSheet,
                                                const Relationship& rel,
                                                std::string_view resultSheetPart,
                                                const PivotCacheKey& pivotCacheKey) {
    const auto stored = rel.external ? std::nullopt : source.zip().find(rel.partName);
    const auto root = stored ? ParseOrNothing(source, *stored) : std::nullopt;
    if (!root) {
        return std::nullopt;
    }
    const Impl::SourceBook& book = impl_->bookOf(source);
    const auto sheetId = book.sheetIds.find(FoldPartName(sourceSheet));
    if (sheetId == book.sheetIds.end()) {
        return std::nullopt;
    }
    // Every view, or none: a part the result holds only in pieces would be a new slicer.
    std::vector<std::pair<std::string, XmlNode>> cachesOfViews;
    const auto viewsOf = root->childrenNamed("slicer");
    if (viewsOf.empty()) {
        return std::nullopt;
    }
    for (const XmlNode* view : viewsOf) {
        const auto part = book.caches.find(FoldPartName(view->attributeOr("cache", "")));
        if (view->attribute("name") == nullptr || part == book.caches.end() ||
            !BuiltInStyle(view->attributeOr("style", ""))) {
            return std::nullopt;
        }
        auto cache = ParseOrNothing(source, part->second);
        if (!cache || !Impl::cacheCarried(*cache, sheetId->second, pivotCacheKey)) {
            return std::nullopt;
        }
        cachesOfViews.emplace_back(part->second, std::move(*cache));
    }

    Impl::CarriedSlicer slicer;
    slicer.copyIndex = copyIndex;
    slicer.root = std::move(*root);
    slicer.resultPart =
        std::string(kSlicerFolder) + std::to_string(impl_->slicers.size() + 1) + ".xml";
    for (auto& [part, cache] : cachesOfViews) {
        const std::string key = std::to_string(copyIndex) + "|" + part;
        if (impl_->caches.count(key) == 0) {
            Impl::CarriedCache carried;
            carried.copyIndex = copyIndex;
            carried.root = std::move(cache);
            carried.resultPart = std::string(kSlicerCacheFolder) +
                                 std::to_string(impl_->cacheOrder.size() + 1) + ".xml";
            impl_->caches.emplace(key, std::move(carried));
            impl_->cacheOrder.push_back(key);
        }
        slicer.cacheKeys.push_back(key);
    }
    for (auto& view : slicer.root.children) {
        if (view.isText() || view.localName() != "slicer") {
            continue;
        }
        const std::string sourceName = view.attributeOr("name", "");
        const std::string resultName = impl_->uniqueViewName(sourceName);
        impl_->views[{copyIndex, FoldPartName(sourceName)}] = resultName;
        view.setAttribute("name", resultName);
    }
    Relationship carried = rel;
    carried.type = std::string(kSlicerType);
    carried.target = RelativeTarget(resultSheetPart, slicer.resultPart);
    carried.partName = slicer.resultPart;
    impl_->slicers.push_back(std::move(slicer));
    return carried;
}

std::optional<std::string> SlicerCarrier::viewName(int copyIndex,
                                                   std::string_view sourceName) const {
    const auto found = impl_->views.find({copyIndex, FoldPartName(sourceName)});
    if (found == impl_->views.end()) {
        return std::nullopt;
    }
    return found->second;
}

void SlicerCarrier::write(const std::function<int(int, std::string_view)>& resultCacheKey,
                          const std::function<bool(std::string_view)>& nameTaken,
                          const std::function<void(const std::string&)>& addName, ZipWriter& zip,
                          ContentTypesWriter& types) {
    std::set<std::string> cacheNames; // folded
    for (const auto& key : impl_->cacheOrder) {
        Impl::CarriedCache& cache = impl_->caches.at(key);
        const std::string wanted = cache.root.attributeOr("name", "");
        std::string name = wanted;
        for (int n = 1;
             (nameTaken(name) || cacheNames.count(FoldPartName(name)) != 0) && n < kMaxNameAttempts;
             ++n) {
            name = wanted + std::to_string(n);
        }
        cacheNames.insert(FoldPartName(name));
        cache.resultName = name;
        addName(name);
        cache.root.setAttribute("name", name);
        int pivotCacheKey = 0;
        XmlNode* pivots = cache.root.child("pivotTables");
        for (auto& pivot : pivots->children) {
            if (!pivot.isText()) {
                pivot.setAttribute("tabId", std::to_string(cache.copyIndex + 1));
                pivotCacheKey = resultCacheKey(cache.copyIndex, pivot.attributeOr("name", ""));
            }
        }
        cache.root.child("data")->child("tabular")->setAttribute("pivotCacheId",
                                                                 std::to_string(pivotCacheKey));
        zip.addEntry(cache.resultPart, PartXml(cache.root));
        types.addOverride(cache.resultPart, std::string(kSlicerCacheContentType));
    }
    for (auto& slicer : impl_->slicers) {
        std::size_t i = 0;
        for (auto& view : slicer.root.children) {
            if (!view.isText() && view.localName() == "slicer") {
                view.setAttribute("cache", impl_->caches.at(slicer.cacheKeys.at(i++)).resultName);
            }
        }
        zip.addEntry(slicer.resultPart, PartXml(slicer.root));
        types.addOverride(slicer.resultPart, std::string(kSlicerContentType));
    }
}

std::string SlicerCarrier::workbookExtensionXml() const {
    if (impl_->cacheOrder.empty()) {
        return {};
    }
    std::string xml = "<extLst><ext uri=\"" + std::string(kSlicerCachesUri) + "\" xmlns:x14=\"" +
                      std::string(kX14Namespace) + "\"><x14:slicerCaches>";
    for (std::size_t i = 1; i <= impl_->cacheOrder.size(); ++i) {
        AppendStartTag(xml, "x14:slicerCache",
                       {{"r:id", std::string(kWorkbookRelationshipIdPrefix) + std::to_string(i)}},
                       true);
    }
    xml += "</x14:slicerCaches></ext></extLst>";
    return xml;
}

std::vector<Relationship> SlicerCarrier::workbookRelationships() const {
    std::vector<Relationship> rels;
    for (std::size_t i = 0; i < impl_->cacheOrder.size(); ++i) {
        Relationship rel;
        rel.id = std::string(kWorkbookRelationshipIdPrefix) + std::to_string(i + 1);
        rel.type = std::string(kSlicerCacheType);
        rel.target =
            RelativeTarget("xl/workbook.xml", impl_->caches.at(impl_->cacheOrder[i]).resultPart);
        rels.push_back(std::move(rel));
    }
    return rels;
}

} // namespace quillory::spreadsheet::ooxml
