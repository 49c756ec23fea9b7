#include "spreadsheet/ooxml/objects/ShapeIds.h"

#include "spreadsheet/ooxml/PackageError.h"

#include <algorithm>
#include <charconv>

namespace quillory::spreadsheet::ooxml {

namespace {

std::optional<long> ParseNonNegative(std::string_view text) {
    long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, error] = std::from_chars(text.data(), end, value);
    if (error != std::errc() || ptr != end || value < 0 || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

} // namespace

std::vector<long> ParseIdMapBlocks(std::string_view data) {
    std::vector<long> blocks;
    while (!data.empty()) {
        const auto comma = data.find(',');
        const auto piece = Trimmed(data.substr(0, comma));
        if (const auto block = ParseNonNegative(piece); block && *block <= kMaxShapeIdBlock) {
            if (std::find(blocks.begin(), blocks.end(), *block) == blocks.end()) {
                blocks.push_back(*block);
            }
        }
        if (comma == std::string_view::npos) {
            break;
        }
        data.remove_prefix(comma + 1);
    }
    return blocks;
}

std::optional<long> ParseShapeId(std::string_view id) {
    if (!id.starts_with(kShapeIdPrefix)) {
        return std::nullopt;
    }
    const auto number = ParseNonNegative(id.substr(kShapeIdPrefix.size()));
    if (!number || *number / kShapeIdsPerBlock > kMaxShapeIdBlock) {
        return std::nullopt;
    }
    return number;
}

std::string FormatShapeId(long id) {
    return std::string(kShapeIdPrefix) + std::to_string(id);
}

std::optional<long> ShapeIdMap::map(long sourceId) const {
    if (sourceId < 0) {
        return std::nullopt;
    }
    const auto block = blocks_.find(sourceId / kShapeIdsPerBlock);
    if (block == blocks_.end()) {
        return std::nullopt;
    }
    return block->second * kShapeIdsPerBlock + sourceId % kShapeIdsPerBlock;
}

std::string ShapeIdMap::mapShapeId(std::string_view id) const {
    if (const auto number = ParseShapeId(id)) {
        if (const auto mapped = map(*number)) {
            return FormatShapeId(*mapped);
        }
    }
    return std::string(id);
}

std::string ShapeIdMap::mapNumber(std::string_view number) const {
    if (const auto value = ParseNonNegative(Trimmed(number))) {
        if (const auto mapped = map(*value)) {
            return std::to_string(*mapped);
        }
    }
    return std::string(number);
}

std::optional<long> ShapeIdMap::takeFreshId() {
    if (nextFresh_ >= freshEnd_) {
        return std::nullopt;
    }
    return nextFresh_++;
}

std::string ShapeIdMap::idMapData() const {
    std::string data;
    for (const long block : resultBlocks_) {
        if (!data.empty()) {
            data += ',';
        }
        data += std::to_string(block);
    }
    return data;
}

long ShapeIdAllocator::takeBlock() {
    if (nextBlock_ > kMaxShapeIdBlock) {
        ThrowError(ErrorCode::LimitExceeded,
                   "The result has more drawing shapes (notes, form controls) than a workbook can "
                   "number.");
    }
    return nextBlock_++;
}

ShapeIdMap ShapeIdAllocator::allocate(const VmlShapeIdUse& use) {
    ShapeIdMap result;
    const auto addSourceBlock = [&](long block) {
        if (result.blocks_.count(block) == 0) {
            const long target = takeBlock();
            result.blocks_[block] = target;
            result.resultBlocks_.push_back(target);
        }
    };
    for (const long block : use.declaredBlocks) {
        addSourceBlock(block);
    }
    for (const long id : use.usedIds) {
        addSourceBlock(id / kShapeIdsPerBlock);
    }
    if (use.unnumberedShapes == 0) {
        return result;
    }
    // Unnumbered shapes go after the highest id used in the first block when they fit there.
    const auto needed = static_cast<long>(use.unnumberedShapes);
    if (!result.resultBlocks_.empty()) {
        const long firstSource = result.blocks_.begin()->first;
        long highest = 0;
        for (const long id : use.usedIds) {
            if (id / kShapeIdsPerBlock == firstSource) {
                highest = std::max(highest, id % kShapeIdsPerBlock);
            }
        }
        const long base = result.blocks_.begin()->second * kShapeIdsPerBlock;
        if (highest + 1 + needed <= kShapeIdsPerBlock) {
            result.nextFresh_ = base + highest + 1;
            result.freshEnd_ = result.nextFresh_ + needed;
            return result;
        }
    }
    // Otherwise in fresh blocks of their own (taken in a row, so the range is contiguous).
    const long first = takeBlock();
    result.resultBlocks_.push_back(first);
    long capacity = kShapeIdsPerBlock - 1;
    while (capacity < needed) {
        result.resultBlocks_.push_back(takeBlock());
        capacity += kShapeIdsPerBlock;
    }
    result.nextFresh_ = first * kShapeIdsPerBlock + 1;
    result.freshEnd_ = result.nextFresh_ + needed;
    return result;
}

std::string MapDrawingShapeIds(std::string_view drawingXml,
                               const std::function<std::optional<long>(long)>& lookup) {
    constexpr std::string_view kCompat = "compatExt";
    constexpr std::string_view kSpid = "spid=\"";
    constexpr std::string_view kNonVisual = "cNvPr";
    constexpr std::string_view kId = " id=\"";
    struct Replacement {
        std::size_t at;
        std::size_t length;
        std::string text;
    };
    std::vector<Replacement> replacements;
    std::size_t from = 0;
    std::size_t searchedUpTo = 0; // a cNvPr before this was already handled
    while (lookup) {
        const auto compat = drawingXml.find(kCompat, from);
        if (compat == std::string_view::npos) {
            break;
        }
        from = compat + kCompat.size();
        const auto tagEnd = drawingXml.find('>', compat);
        const auto spid = drawingXml.find(kSpid, compat);
        if (spid == std::string_view::npos || spid > tagEnd) {
            continue;
        }
        const auto valueBegin = spid + kSpid.size();
        const auto valueEnd = drawingXml.find('"', valueBegin);
        const auto source = ParseShapeId(drawingXml.substr(valueBegin, valueEnd - valueBegin));
        const auto mapped = source ? lookup(*source) : std::nullopt;
        if (!mapped) {
            continue;
        }
        replacements.push_back({valueBegin, valueEnd - valueBegin, FormatShapeId(*mapped)});
        // The id of the shape's cNvPr that holds this extension.
        const auto nonVisual = drawingXml.rfind(kNonVisual, compat);
        if (nonVisual == std::string_view::npos || nonVisual < searchedUpTo) {
            continue;
        }
        searchedUpTo = compat;
        const auto nonVisualEnd = drawingXml.find('>', nonVisual);
        const auto id = drawingXml.find(kId, nonVisual);
        if (id == std::string_view::npos || id > nonVisualEnd) {
            continue;
        }
        const auto idBegin = id + kId.size();
        const auto idEnd = drawingXml.find('"', idBegin);
        const auto current = ParseNonNegative(drawingXml.substr(idBegin, idEnd - idBegin));
        if (current && *current == *source) {
            replacements.push_back({idBegin, idEnd - idBegin, std::to_string(*mapped)});
        }
    }
    std::sort(replacements.begin(), replacements.end(),
              [](const Replacement& a, const Replacement& b) { return a.at < b.at; });
    std::string out;
    out.reserve(drawingXml.size() + replacements.size() * 4);
    std::size_t copied = 0;
    for (const auto& replacement : replacements) {
        out.append(drawingXml.substr(copied, replacement.at - copied));
        out += replacement.text;
        copied = replacement.at + replacement.length;
    }
    out.append(drawingXml.substr(copied));
    return out;
}

} // namespace quillory::spreadsheet::ooxml
