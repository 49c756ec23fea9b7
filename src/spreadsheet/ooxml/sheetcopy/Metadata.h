#pragma once
// Cell and value metadata (the workbook's metadata part): what makes a formula spill (dynamic
// arrays) and what ties a cell to a rich value (pictures and data types in cells). Cells point
// into it by 1-based block numbers (c/@cm, c/@vm) that only mean something inside their own
// package, so every source's blocks are renumbered into the one part of the result. Only blocks
// whose every record is of a kind that needs nothing else of the source are carried; the rest
// (rich values, cube-function metadata) stay behind and the caller reports them.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillory::spreadsheet::ooxml {

inline constexpr std::string_view kMetadataPartName = "xl/metadata.xml";
inline constexpr std::string_view kMetadataRelationshipKind = "sheetMetadata";
inline constexpr std::string_view kMetadataContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.sheetMetadata+xml";
// The metadata kind of a spilling (dynamic-array) formula.
inline constexpr std::string_view kDynamicArrayMetadataType = "XLDAPR";

class SourceMetadata {
public:
    // A source without a metadata part: no block can be carried.
    SourceMetadata() = default;
    // Throws SpreadsheetError naming the file and part when the XML cannot be read.
    static SourceMetadata parse(std::string_view xml, const std::string& fileName,
                                const std::string& partName);

    std::size_t cellBlockCount() const { return cellBlocks_.size(); }
    std::size_t valueBlockCount() const { return valueBlocks_.size(); }

    // One record of a block: which kind of metadata, and which of its entries.
    struct Record {
        int type = 0;  // 1-based into the metadata types
        int value = 0; // 0-based into the type's future-metadata blocks
    };
    using Block = std::vector<Record>;

private:
    friend class ResultMetadata;

    struct Type {
        std::string name;
        std::vector<std::pair<std::string, std::string>> attributes; // as written
    };
    std::vector<Type> types_;
    // Future-metadata blocks per type name, each serialized with the namespace declarations it
    // needs, so that it reads the same under the result's root.
    std::map<std::string, std::vector<std::string>> futureBlocks_;
    std::vector<Block> cellBlocks_;
    std::vector<Block> valueBlocks_;
};

class SourcePackage;
// The metadata of a source package; empty when it has none or the part cannot be read (its
// cells then lose their metadata, which the copy reports).
SourceMetadata ReadSourceMetadata(const SourcePackage& package);

class ResultMetadata {
    // Blocks of the result in order, with an index by content so alike blocks are found at once.
    struct BlockList {
        std::vector<SourceMetadata::Block> blocks;
        std::map<std::vector<std::pair<int, int>>, int> numbers; // records -> 1-based number
    };

public:
    // Maps one source's block numbers to the result's, adding blocks to the result as cells use
    // them, so the result holds only what its cells need.
    class Importer {
    public:
        // The result's 1-based block number for the source's `cm` / `vm` text, or nullopt when
        // the block does not exist or cannot be carried.
        std::optional<int> cellMetadata(std::string_view sourceNumber);
        std::optional<int> valueMetadata(std::string_view sourceNumber);

    private:
        friend class ResultMetadata;
        Importer(ResultMetadata& result, const SourceMetadata& source)
            : result_(result), source_(source) {}
        std::optional<int> map(std::string_view sourceNumber,
                               const std::vector<SourceMetadata::Block>& blocks,
                               BlockList& resultBlocks, std::map<int, std::optional<int>>& cache);

        ResultMetadata& result_;
        const SourceMetadata& source_;
        std::map<int, std::optional<int>> cellCache_;
        std::map<int, std::optional<int>> valueCache_;
    };

    std::unique_ptr<Importer> importerFor(const SourceMetadata& source);

    // Nothing was carried: the result needs no metadata part.
    bool empty() const { return cellBlocks_.blocks.empty() && valueBlocks_.blocks.empty(); }
    std::string toXml() const;

private:
    // The result's 1-based type number for a source type, adding it on first use.
    int typeNumber(const SourceMetadata::Type& type);
    // The result's 0-based future block index for this serialized block of a type.
    int futureBlock(const std::string& typeName, const std::string& block);

    std::vector<SourceMetadata::Type> types_;
    std::map<std::string, std::vector<std::string>> futureBlocks_;
    std::map<std::pair<std::string, std::string>, int> futureIndex_; // (type, block) -> index
    BlockList cellBlocks_;
    BlockList valueBlocks_;
};

} // namespace quillory::spreadsheet::ooxml
