#include "spreadsheet/ooxml/objects/Slicers.h"

#include "spreadsheet/SpreadsheetError.h"
#include "spreadsheet/ooxml/UniqueNames.h"
#include "spreadsheet/ooxml/styles/StyleXml.h"
#include "spreadsheet/ooxml/xml/Xml.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <tuple>

namespace quillory::spreadsheet::ooxml {

namespace {

constexpr std::string_view kSlicerType =
    "http://schemas.microsoft.com/office/2007/relationships/slicer";
constexpr std::string_view kSlicerCacheType =
    "http://schemas.microsoft.com/office/2007/relationships/slicerCache";
constexpr std::string_view kTimelineType =
    "http://schemas.microsoft.com/office/2011/relationships/timeline";
constexpr std::string_view kTimelineCacheType =
    "http://schemas.microsoft.com/office/2011/relationships/timelineCache";
constexpr std::string_view kSlicerContentType = "application/vnd.ms-excel.slicer+xml";
constexpr std::string_view kSlicerCacheContentType = "application/vnd.ms-excel.slicerCache+xml";
constexpr std::string_view kTimelineContentType = "application/vnd.ms-excel.timeline+xml";
constexpr std::string_view kTimelineCacheContentType = "application/vnd.ms-excel.timelineCache+xml";
// The workbook extensions listing the caches of pivot slicers, of table slicers and of
// timelines.
constexpr std::string_view kSlicerCachesUri = "{BBE1A952-AA13-448e-AADC-164F8A28A991}";
constexpr std::string_view kTableSlicerCachesUri = "{46BE6895-7355-4a93-B00E-2C351335B9C9}";
constexpr std::string_view kTimelineCachesUri = "{D0CA8CA8-9F24-4464-BF8E-62219DCF47F9}";
// The slicer cache extension naming the table a table slicer filters.
constexpr std::string_view kTableSlicerCacheUri = "{2F2917AC-EB37-4324-AD4E-5DD8C200BD13}";
constexpr std::string_view kSlicerFolder = "xl/slicers/slicer";
constexpr std::string_view kSlicerCacheFolder = "xl/slicerCaches/slicerCache";
constexpr std::string_view kTimelineFolder = "xl/timelines/timeline";
constexpr std::string_view kTimelineCacheFolder = "xl/timelineCaches/timelineCache";
constexpr std::string_view kWorkbookRelationshipIdPrefix = "rIdSlicerCache";
// Slicers and timelines are numbered "Region 1"; their caches "Slicer_Region1".
constexpr NumberedSuffix kViewNameSuffix{" ", 1, 9999};
constexpr NumberedSuffix kCacheNameSuffix{"", 1, 9999};

enum class CacheKind { PivotSlicer, TableSlicer, Timeline };

// Styles every spreadsheet program knows; a custom one comes from the source's styles.
bool BuiltInStyle(FilterViewKind kind, std::string_view style) {
    static const std::set<std::string_view> kSlicerStyles = {
        "SlicerStyleLight1", "SlicerStyleLight2", "SlicerStyleLight3", "SlicerStyleLight4",
        "SlicerStyleLight5", "SlicerStyleLight6", "SlicerStyleDark1",  "SlicerStyleDark2",
        "SlicerStyleDark3",  "SlicerStyleDark4",  "SlicerStyleDark5",  "SlicerStyleDark6",
        "SlicerStyleOther1", "SlicerStyleOther2"};
    static const std::set<std::string_view> kTimelineStyles = {
        "TimeSlicerStyleLight1", "TimeSlicerStyleLight2", "TimeSlicerStyleLight3",
        "TimeSlicerStyleLight4", "TimeSlicerStyleLight5", "TimeSlicerStyleLight6",
        "TimeSlicerStyleDark1",  "TimeSlicerStyleDark2",  "TimeSlicerStyleDark3",
        "TimeSlicerStyleDark4",  "TimeSlicerStyleDark5",  "TimeSlicerStyleDark6"};
    return style.empty() ||
           (kind == FilterViewKind::Slicer ? kSlicerStyles : kTimelineStyles).count(style) != 0;
}

const std::string* RelationshipIdOf(const XmlNode& node) {
    for (const auto& [key, value] : node.attributes) {
        if (IsRelationshipIdAttribute(key)) {
            return &value;
        }
    }
    return nullptr;
}

std::optional<XmlNode> ParseOrNothing(const SourcePackage& source, const std::string& part) {
    try {
        return ParseNamespacedXmlTree(source.readTransitionalPart(part), source.displayName(),
                                      part);
    } catch (const SpreadsheetError&) {
        return std::nullopt;
    }
}

std::string PartXml(const XmlNode& root) {
    std::string xml(kXmlDeclaration);
    AppendNode(xml, root);
    return xml;
}

bool SameUri(std::string_view a, std::string_view b) {
    return FoldPartName(a) == FoldPartName(b);
}

const XmlNode* ExtensionOf(const XmlNode& node, std::string_view uri) {
    const XmlNode* extensions = node.child("extLst");
    for (const XmlNode* ext :
         extensions ? extensions->childrenNamed("ext") : std::vector<const XmlNode*>{}) {
        if (SameUri(ext->attributeOr("uri", ""), uri)) {
            return ext;
        }
    }
    return nullptr;
}

XmlNode* TableSlicerCacheOf(XmlNode& cache) {
    const XmlNode* ext = ExtensionOf(cache, kTableSlicerCacheUri);
    return ext ? const_cast<XmlNode*>(ext)->child("tableSlicerCache") : nullptr;
}

int Number(const XmlNode& node, std::string_view attribute) {
    return std::atoi(node.attributeOr(attribute, "0").c_str());
}

std::string Quoted(std::string_view name) {
    return "'" + std::string(name) + "'";
}

} // namespace

struct SlicerCarrier::Impl {
    struct SourceBook {
        std::map<int, std::string> sheetNames;     // sheetId -> sheet name
        std::map<std::string, std::string> caches; // folded cache name -> cache part
        std::map<std::string, XmlNode> cacheRoots; // cache part -> its tree, read once
    };
    struct Target { // a carried pivot table: the copy holding it and its name
        int copyIndex = 0;
        std::string name;
    };
    struct CarriedCache {
        CacheKind kind = CacheKind::PivotSlicer;
        XmlNode root;
        std::string resultPart;
        std::string resultName;
        std::vector<Target> pivots;   // in the order of the cache's (pruned) pivot table list
        std::optional<Target> filter; // a timeline's filtered pivot table
        int tableId = 0;              // a table slicer's table in the result
    };
    struct CarriedPart {
        FilterViewKind kind = FilterViewKind::Slicer;
        XmlNode root;
        std::string resultPart;
        std::vector<std::string> cacheKeys; // per kept view, into `caches`
    };
    struct Resolved {
        std::optional<CarriedCache> cache;
        std::string reason; // why not, for the report
    };

    std::map<std::string, SourceBook> books;    // by identity
    std::map<std::string, CarriedCache> caches; // by source cache and what it filters
    std::vector<std::string> cacheOrder;
    std::vector<CarriedPart> parts;
    int slicerParts = 0;
    int timelineParts = 0;
    int slicerCaches = 0;
    int timelineCaches = 0;
    std::map<std::tuple<int, FilterViewKind, std::string>, std::string> views; // -> result name
    std::set<std::string> viewNames;                                // folded, in the result
    std::set<std::tuple<int, FilterViewKind, std::string>> leftOut; // reported views

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
                slot->second.sheetNames[Number(*sheet, "sheetId")] = sheet->attributeOr("name", "");
            }
        }
        const std::pair<std::string_view, std::string_view> kLists[] = {
            {kSlicerCachesUri, "slicerCaches"},
            {kTableSlicerCachesUri, "slicerCaches"},
            {kTimelineCachesUri, "timelineCacheRefs"}};
        for (const auto& [uri, listName] : kLists) {
            const XmlNode* ext = ExtensionOf(*root, uri);
            const XmlNode* list = ext ? ext->child(listName) : nullptr;
            for (const auto& entry : list ? list->children : std::vector<XmlNode>{}) {
                const std::string* id = entry.isText() ? nullptr : RelationshipIdOf(entry);
                const Relationship* rel = id ? source.workbookRelationships().byId(*id) : nullptr;
                const auto stored =
                    rel && !rel->external ? source.zip().find(rel->partName) : std::nullopt;
                auto cache = stored ? ParseOrNothing(source, *stored) : std::nullopt;
                if (cache && slot->second.caches
                                 .emplace(FoldPartName(cache->attributeOr("name", "")), *stored)
                                 .second) {
                    slot->second.cacheRoots.emplace(*stored, std::move(*cache));
                }
            }
        }
        return slot->second;
    }

    // The pivot tables of a pivot slicer or timeline cache that came along over the cache it
    // names; the list keeps only those.
    static bool resolvePivots(CarriedCache& cache, const std::string& key, const SourceBook& book,
                              const FilterTargets& targets, std::string& reason) {
        XmlNode* list = cache.root.child("pivotTables");
        if (list == nullptr || key.empty()) {
            reason = "it is damaged in the workbook";
            return false;
        }
        const auto resolve = [&](const XmlNode& entry) -> std::optional<Target> {
            const auto sheet = book.sheetNames.find(Number(entry, "tabId"));
            const std::string name = entry.attributeOr("name", "");
            const auto found =
                sheet == book.sheetNames.end() ? std::nullopt : targets.pivot(sheet->second, name);
            if (!found || found->second != key) {
                if (reason.empty()) {
                    reason = "the pivot table " + Quoted(name) +
                             (found ? " it filters uses another pivot cache than it names"
                                    : " it filters is not in the result or is kept as values");
                }
                return std::nullopt;
            }
            return Target{found->first, name};
        };
        std::erase_if(list->children, [&](const XmlNode& entry) {
            if (entry.isText()) {
                return true;
            }
            auto target = resolve(entry);
            if (target) {
                cache.pivots.push_back(std::move(*target));
            }
            return !target;
        });
        if (cache.pivots.empty()) {
            return false;
        }
        reason.clear();
        if (cache.kind != CacheKind::Timeline) {
            return true;
        }
        const XmlNode* state = cache.root.child("state");
        if (state->attribute("filterPivotName") != nullptr) {
            XmlNode entry;
            entry.attributes = {{"tabId", state->attributeOr("filterTabId", "0")},
                                {"name", state->attributeOr("filterPivotName", "")}};
            cache.filter = resolve(entry);
            if (!cache.filter) {
                reason = "the pivot table " + Quoted(entry.attributeOr("name", "")) +
                         " holding its filter is not in the result or is kept as values";
                return false;
            }
        }
        return true;
    }

    static Resolved resolve(XmlNode root, const SourceBook& book, const FilterTargets& targets) {
        Resolved out;
        CarriedCache cache;
        cache.root = std::move(root);
        const XmlNode* data = cache.root.child("data");
        const XmlNode* tabular = data ? data->child("tabular") : nullptr;
        const XmlNode* state = cache.root.child("state");
        std::string key;
        if (cache.root.localName() == "timelineCacheDefinition" && state != nullptr) {
            cache.kind = CacheKind::Timeline;
            key = state->attributeOr("pivotCacheId", "");
        } else if (cache.root.localName() == "slicerCacheDefinition" && tabular != nullptr) {
            key = tabular->attributeOr("pivotCacheId", "");
        } else if (XmlNode* table = cache.root.localName() == "slicerCacheDefinition"
                                        ? TableSlicerCacheOf(cache.root)
                                        : nullptr) {
            cache.kind = CacheKind::TableSlicer;
            const auto resultId = targets.table(Number(*table, "tableId"));
            if (!resultId) {
                out.reason = "the table it filters is not in the result";
                return out;
            }
            cache.tableId = *resultId;
            out.cache = std::move(cache);
            return out;
        } else {
            out.reason = data != nullptr && data->child("olap") != nullptr
                             ? "it filters a data model or OLAP source"
                             : "it is damaged in the workbook";
            return out;
        }
        if (resolvePivots(cache, key, book, targets, out.reason)) {
            out.cache = std::move(cache);
        }
        return out;
    }

    static std::string cacheKey(const SourcePackage& source, const std::string& part,
                                const CarriedCache& cache) {
        std::string key = source.identity() + "|" + part + "|" + std::to_string(cache.tableId);
        for (const auto& target : cache.pivots) {
            key += "|" + std::to_string(target.copyIndex) + ":" + target.name;
        }
        return key;
    }

    std::string uniqueViewName(const std::string& wanted) {
        const std::string name =
            UniqueName(wanted, kViewNameSuffix, [&](const std::string& candidate) {
                return viewNames.count(FoldPartName(candidate)) == 0;
            });
        viewNames.insert(FoldPartName(name));
        return name;
    }
};

SlicerCarrier::SlicerCarrier() : impl_(std::make_unique<Impl>()) {}
SlicerCarrier::~SlicerCarrier() = default;

FilterPlan SlicerCarrier::plan(const SourcePackage& source, int copyIndex, const Relationship& rel,
                               std::string_view resultSheetPart, const FilterTargets& targets) {
    FilterPlan out;
    const FilterViewKind kind = RelationshipKind(rel.type) == kTimelineRelationshipKind
                                    ? FilterViewKind::Timeline
                                    : FilterViewKind::Slicer;
    const std::string what = kind == FilterViewKind::Timeline ? "Timeline" : "Slicer";
    const std::string viewElement = kind == FilterViewKind::Timeline ? "timeline" : "slicer";
    const std::string unreadable =
        what + "s of this sheet were not copied: their part is missing, empty or damaged in the "
               "workbook.";
    const auto stored = rel.external ? std::nullopt : source.zip().find(rel.partName);
    auto root = stored ? ParseOrNothing(source, *stored) : std::nullopt;
    if (!root) {
        out.leftOut.push_back(unreadable);
        return out;
    }
    const Impl::SourceBook& book = impl_->bookOf(source);

    Impl::CarriedPart part;
    part.kind = kind;
    std::vector<XmlNode> kept;
    std::vector<std::string> sourceNames;
    // Views sharing a cache share its resolution; each carries its own copy.
    std::map<std::string, Impl::Resolved> resolvedCaches; // by cache part
    for (auto& view : root->children) {
        if (view.isText() || view.localName() != viewElement) {
            continue;
        }
        const std::string name = view.attributeOr("name", "");
        std::string reason;
        std::optional<Impl::CarriedCache> cache;
        const auto cachePart = book.caches.find(FoldPartName(view.attributeOr("cache", "")));
        if (name.empty() || cachePart == book.caches.end()) {
            reason = "its cache is missing or damaged in the workbook";
        } else {
            auto known = resolvedCaches.find(cachePart->second);
            if (known == resolvedCaches.end()) {
                known = resolvedCaches
                            .emplace(
                                cachePart->second,
                                Impl::resolve(book.cacheRoots.at(cachePart->second), book, targets))
                            .first;
            }
            Impl::Resolved resolved = known->second;
            const bool timelineCache =
                resolved.cache && resolved.cache->kind == CacheKind::Timeline;
            if (resolved.cache && timelineCache != (kind == FilterViewKind::Timeline)) {
                reason = "its cache is damaged in the workbook";
            } else {
                reason = std::move(resolved.reason);
                cache = std::move(resolved.cache);
            }
        }
        // A view that names no style shows its workbook's default one, which may not be the
        // result's.
        std::string style = view.attributeOr("style", "");
        if (style.empty() && targets.defaultStyle) {
            style = targets.defaultStyle(kind);
        }
        std::optional<std::string> resultStyle = style;
        if (cache && !BuiltInStyle(kind, style)) {
            resultStyle = targets.style ? targets.style(kind, style) : std::nullopt;
            if (!resultStyle) {
                reason = "its custom style could not be copied";
                cache.reset();
            }
        }
        if (!cache) {
            impl_->leftOut.insert({copyIndex, kind, FoldPartName(name)});
            out.leftOut.push_back(what + " " + Quoted(name) + " was not copied: " + reason +
                                  "; the data it filtered is unchanged.");
            continue;
        }
        const std::string key = Impl::cacheKey(source, cachePart->second, *cache);
        if (impl_->caches.count(key) == 0) {
            const bool timeline = cache->kind == CacheKind::Timeline;
            cache->resultPart =
                std::string(timeline ? kTimelineCacheFolder : kSlicerCacheFolder) +
                std::to_string(++(timeline ? impl_->timelineCaches : impl_->slicerCaches)) + ".xml";
            impl_->caches.emplace(key, std::move(*cache));
            impl_->cacheOrder.push_back(key);
        }
        part.cacheKeys.push_back(key);
        if (!style.empty()) {
            view.setAttribute("style", *resultStyle);
        }
        sourceNames.push_back(name);
        kept.push_back(std::move(view));
    }
    if (kept.empty()) {
        if (out.leftOut.empty()) {
            out.leftOut.push_back(unreadable);
        }
        return out;
    }
    std::erase_if(root->children, [&](const XmlNode& child) {
        return child.isText() || child.localName() == viewElement;
    });
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const std::string resultName = impl_->uniqueViewName(sourceNames[i]);
        impl_->views[{copyIndex, kind, FoldPartName(sourceNames[i])}] = resultName;
        kept[i].setAttribute("name", resultName);
    }
    // Views come first in both part types; whatever else the part holds (extLst) follows.
    root->children.insert(root->children.begin(), std::make_move_iterator(kept.begin()),
                          std::make_move_iterator(kept.end()));
    part.root = std::move(*root);
    const bool timeline = kind == FilterViewKind::Timeline;
    part.resultPart = std::string(timeline ? kTimelineFolder : kSlicerFolder) +
                      std::to_string(++(timeline ? impl_->timelineParts : impl_->slicerParts)) +
                      ".xml";
    Relationship carried = rel;
    carried.type = std::string(timeline ? kTimelineType : kSlicerType);
    carried.target = RelativeTarget(resultSheetPart, part.resultPart);
    carried.partName = part.resultPart;
    impl_->parts.push_back(std::move(part));
    out.relationship = std::move(carried);
    return out;
}

std::optional<std::string> SlicerCarrier::viewName(int copyIndex, FilterViewKind kind,
                                                   std::string_view sourceName) const {
    const auto found = impl_->views.find({copyIndex, kind, FoldPartName(sourceName)});
    if (found == impl_->views.end()) {
        return std::nullopt;
    }
    return found->second;
}

bool SlicerCarrier::leftOut(int copyIndex, FilterViewKind kind, std::string_view sourceName) const {
    return impl_->leftOut.count({copyIndex, kind, FoldPartName(sourceName)}) != 0;
}

void SlicerCarrier::write(const std::function<int(int, std::string_view)>& resultCacheKey,
                          const std::function<bool(std::string_view)>& nameTaken,
                          const std::function<void(const std::string&)>& addName, ZipWriter& zip,
                          ContentTypesWriter& types) {
    // The pivot tables and cache ids first. A field has one timeline cache per result cache: a
    // timeline over the same field of a cache that an earlier one filters joins that one.
    std::map<std::pair<int, std::string>, std::string> timelineOf; // (cache id, field) -> cache
    std::map<std::string, std::string> joined;
    for (const auto& key : impl_->cacheOrder) {
        Impl::CarriedCache& cache = impl_->caches.at(key);
        if (cache.kind == CacheKind::TableSlicer) {
            TableSlicerCacheOf(cache.root)->setAttribute("tableId", std::to_string(cache.tableId));
            continue;
        }
        // Pivot tables of one source cache may land on different caches of the result (their
        // data sources differ there); the cache keeps those on the first one's.
        const int pivotCacheKey =
            resultCacheKey(cache.pivots.front().copyIndex, cache.pivots.front().name);
        XmlNode* list = cache.root.child("pivotTables");
        std::size_t i = 0;
        std::erase_if(list->children, [&](XmlNode& entry) {
            const Impl::Target& target = cache.pivots.at(i++);
            if (resultCacheKey(target.copyIndex, target.name) != pivotCacheKey) {
                return true;
            }
            entry.setAttribute("tabId", std::to_string(target.copyIndex + 1));
            return false;
        });
        const bool timeline = cache.kind == CacheKind::Timeline;
        XmlNode* keyed =
            timeline ? cache.root.child("state") : cache.root.child("data")->child("tabular");
        keyed->setAttribute("pivotCacheId", std::to_string(pivotCacheKey));
        if (!timeline) {
            continue;
        }
        if (cache.filter) {
            keyed->setAttribute("filterTabId", std::to_string(cache.filter->copyIndex + 1));
        }
        const auto [earlier, first] = timelineOf.try_emplace(
            {pivotCacheKey, FoldPartName(cache.root.attributeOr("sourceName", ""))}, key);
        if (!first) {
            XmlNode* joinedList = impl_->caches.at(earlier->second).root.child("pivotTables");
            for (auto& entry : list->children) {
                joinedList->children.push_back(std::move(entry));
            }
            joined.emplace(key, earlier->second);
        }
    }
    std::erase_if(impl_->cacheOrder, [&](const std::string& key) { return joined.count(key); });

    std::set<std::string> cacheNames; // folded
    for (const auto& key : impl_->cacheOrder) {
        Impl::CarriedCache& cache = impl_->caches.at(key);
        const std::string wanted = cache.root.attributeOr("name", "");
        const std::string name =
            UniqueName(wanted, kCacheNameSuffix, [&](const std::string& candidate) {
                return !nameTaken(candidate) && cacheNames.count(FoldPartName(candidate)) == 0;
            });
        cacheNames.insert(FoldPartName(name));
        cache.resultName = name;
        addName(name);
        cache.root.setAttribute("name", name);
        zip.addEntry(cache.resultPart, PartXml(cache.root));
        types.addOverride(cache.resultPart,
                          std::string(cache.kind == CacheKind::Timeline ? kTimelineCacheContentType
                                                                        : kSlicerCacheContentType));
    }
    for (auto& [key, survivor] : joined) {
        impl_->caches.at(key).resultName = impl_->caches.at(survivor).resultName;
    }
    for (auto& part : impl_->parts) {
        std::size_t i = 0;
        for (auto& view : part.root.children) {
            if (!view.isText() && i < part.cacheKeys.size()) {
                view.setAttribute("cache", impl_->caches.at(part.cacheKeys.at(i++)).resultName);
            }
        }
        zip.addEntry(part.resultPart, PartXml(part.root));
        types.addOverride(part.resultPart,
                          std::string(part.kind == FilterViewKind::Timeline ? kTimelineContentType
                                                                            : kSlicerContentType));
    }
}

std::string SlicerCarrier::workbookExtensionXml() const {
    if (impl_->cacheOrder.empty()) {
        return {};
    }
    const auto entries = [&](CacheKind kind, std::string_view element) {
        std::string xml;
        for (std::size_t i = 0; i < impl_->cacheOrder.size(); ++i) {
            if (impl_->caches.at(impl_->cacheOrder[i]).kind == kind) {
                AppendStartTag(
                    xml, element,
                    {{"r:id", std::string(kWorkbookRelationshipIdPrefix) + std::to_string(i + 1)}},
                    true);
            }
        }
        return xml;
    };
    const std::string x14 = "xmlns:x14=\"" + std::string(kX14Ns) + "\"";
    const std::string x15 = "xmlns:x15=\"" + std::string(kX15Ns) + "\"";
    std::string xml = "<extLst>";
    if (const auto list = entries(CacheKind::PivotSlicer, "x14:slicerCache"); !list.empty()) {
        xml += "<ext uri=\"" + std::string(kSlicerCachesUri) + "\" " + x14 + "><x14:slicerCaches>" +
               list + "</x14:slicerCaches></ext>";
    }
    if (const auto list = entries(CacheKind::TableSlicer, "x14:slicerCache"); !list.empty()) {
        xml += "<ext uri=\"" + std::string(kTableSlicerCachesUri) + "\" " + x15 +
               "><x15:slicerCaches " + x14 + ">" + list + "</x15:slicerCaches></ext>";
    }
    if (const auto list = entries(CacheKind::Timeline, "x15:timelineCacheRef"); !list.empty()) {
        xml += "<ext uri=\"" + std::string(kTimelineCachesUri) + "\" " + x15 +
               "><x15:timelineCacheRefs>" + list + "</x15:timelineCacheRefs></ext>";
    }
    xml += "</extLst>";
    return xml;
}

std::vector<Relationship> SlicerCarrier::workbookRelationships() const {
    std::vector<Relationship> rels;
    for (std::size_t i = 0; i < impl_->cacheOrder.size(); ++i) {
        const Impl::CarriedCache& cache = impl_->caches.at(impl_->cacheOrder[i]);
        Relationship rel;
        rel.id = std::string(kWorkbookRelationshipIdPrefix) + std::to_string(i + 1);
        rel.type =
            std::string(cache.kind == CacheKind::Timeline ? kTimelineCacheType : kSlicerCacheType);
        rel.target = RelativeTarget("xl/workbook.xml", cache.resultPart);
        rels.push_back(std::move(rel));
    }
    return rels;
}

} // namespace quillory::spreadsheet::ooxml
